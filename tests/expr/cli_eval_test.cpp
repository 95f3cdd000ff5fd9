// tavlo-cli eval: value on stdout, parser errors and arithmetic faults on stderr.
#include <gtest/gtest.h>

#include <QProcess>

#include "testutil.h"

namespace {

using TRun = TProcessRun;

TRun Cli(const QStringList& args) { return RunProcess(QStringLiteral(TAVLO_CLI), args); }

TEST(CliEval, PrintsValuesAsGeneralFloatText) {
    const struct {
        const char* Expression;
        const char* Out;
    } cases[] = {
        {"(10955.6222)*2", "21911.2444\n"},
        {"1/3", "0.333333333333333\n"},
        {"2^-20", "9.5367431640625E-7\n"},
        {"1E20*10", "1E21\n"},
        {"-1.5", "-1.5\n"},
        {"TCK(0, 25) > 24.99", "1\n"},
        {"EXP(1000)", "1.97007111401705E434\n"}, // extended range kept
        {"2^-1100", "7.36215182902286E-332\n"},
    };
    for (const auto& c : cases) {
        const TRun r = Cli({"eval", c.Expression});
        EXPECT_EQ(r.Code, 0) << c.Expression << ": " << r.Err.toStdString();
        EXPECT_EQ(r.Out.toStdString(), c.Out) << c.Expression;
        EXPECT_TRUE(r.Err.isEmpty());
    }
    // Several arguments form one expression.
    const TRun joined = Cli({"eval", "1", "+", "2"});
    EXPECT_EQ(joined.Out.toStdString(), "3\n");
}

TEST(CliEval, ReportsErrorsOnStderr) {
    const struct {
        const char* Expression;
        const char* Err;
    } cases[] = {
        {"(1+2", "Missing bracket \")\" in expression (1+2.\n"},
        {"1+foo", "Sub expression <FOO> in <1+FOO> is not valid.\n"},
        {"", "Expression is empty.\n"},
        {"1/0", "EZeroDivide: Floating point division by zero\n"},
        {"sqrt(-1)", "EInvalidOp: Invalid floating point operation\n"},
        {"exp(20000)", "EOverflow: Floating point overflow\n"},
        {"5%0", "EDivByZero: Division by zero\n"},
    };
    for (const auto& c : cases) {
        const TRun r = Cli({"eval", c.Expression});
        EXPECT_EQ(r.Code, 1) << c.Expression;
        EXPECT_TRUE(r.Out.isEmpty()) << c.Expression;
        EXPECT_EQ(r.Err.toStdString(), c.Err) << c.Expression;
    }
    EXPECT_EQ(Cli({"eval"}).Code, 2);
}

} // namespace
