// Parse and evaluate arbitrary text. Every input must end in a value, an EbcParserError or
// an arithmetic fault; anything else (another exception, a crash, a hang) is a finding.
#include "tavlo/bcparser.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

namespace {

void Run(const std::string& text, bool optimize, bool resolver) {
    TbcParser parser;
    parser.SetOptimizationOn(optimize);
    parser.SetMeasurementStartTime(45000.5);
    if (resolver) {
        parser.SetX(std::numeric_limits<long double>::quiet_NaN());
        parser.SetY(std::numeric_limits<long double>::infinity());
        parser.SetOnVariableFound([](TbcParser&, const std::string& name, long double& value) {
            value = static_cast<long double>(name.size()) - 2;
        });
    }
    parser.SetExpression(text);
    try {
        volatile long double value = parser.Evaluate();
        (void)value;
        if (resolver) {
            parser.GetVariablesUsed();
            parser.IsFunctionUsed("SIN");
        }
    } catch (const EbcParserError&) {
    } catch (const EMathError&) {
    } catch (const EIntError&) {
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Run(text, true, false);
    Run(text, false, true);
    return 0;
}
