// The function library and operator values: results, NaN rules, arithmetic faults, and the
// scientific conversions against published reference values.
#include "exprtest.h"

#include "tavlo/bcfunctions.h"

#include <cmath>
#include <limits>
#include <thread>

namespace {

constexpr long double NaN = std::numeric_limits<long double>::quiet_NaN();
constexpr long double Inf = std::numeric_limits<long double>::infinity();

long double EvalWithX(const std::string& expression, long double x) {
    TbcParser parser;
    parser.SetX(x);
    parser.SetExpression(expression);
    return parser.Evaluate();
}

std::string RaisedWithX(const std::string& expression, long double x) {
    try {
        EvalWithX(expression, x);
    } catch (const Exception& e) {
        return e.ClassName();
    }
    return "none";
}

struct TValueCase {
    const char* Expression;
    long double Value;
};

TEST(Functions, Values) {
    const long double pi15 = 3.14159265358979L;
    const TValueCase cases[] = {
        {"MOD(5,3)", 2},          {"MOD(5.5,3)", 2},        {"MOD(-5,3)", -2},
        {"MOD(5,-3)", 2},         {"5%3", 1},               {"-7%2", -3},
        {"INTPOW(2,3.4)", 8},     {"INTPOW(2,-2)", 0.25},   {"INTPOW(-3,3)", -27},
        {"LOGN(2,8)", 3},         {"LOGN(10, 100)", 2},     {"CEIL(2)", 2},
        {"CEIL(-1.5)", -1},       {"CEIL(1.2)", 2},         {"FLOOR(-1.5)", -2},
        {"FLOOR(1.5)", 1},        {"TRUNC(-1.5)", -1},      {"TRUNC(2.7)", 2},
        {"ABS(-3)", 3},           {"SQR(3)", 9},            {"SQRT(16)", 4},
        {"EXP(0)", 1},            {"LN(EXP(2))", 2},        {"LOG(1000)", 3},
        {"POW(2,10)", 1024},      {"2^0.5", std::sqrt(2.0L)}, {"SIGN(-2)", -1},
        {"SIGN(0)", 0},           {"SIGN(5)", 1},           {"IF(0,2,3)", 3},
        {"IF(-1,2,3)", 2},        {"MAX(1,2)", 2},          {"MAX(3,2)", 3},
        {"MIN(1,2)", 1},          {"MIN(3,2)", 2},          {"COSH(0)", 1},
        {"SINH(0)", 0},           {"COSH(1)", (std::exp(1.0L) + std::exp(-1.0L)) / 2},
        {"COTAN(1)", 1 / std::tan(1.0L)}, {"ATAN(1)", std::atan(1.0L)}, {"COS(0)", 1},
        {"TAN(PI/4)", std::tan(pi15 / 4)}, {"SIN(PI/2)", std::sin(pi15 / 2)},
        {"NERPO2(0, 500, 0.21)", 0.21L}, {"NERPO2(0, -100, 7)", 7},
        {"NEREMF(0.21, 0.21, 700)", 0}, {"NEREMF(3, 3, 25)", 0},
        {"MOSE(700, 0, 0, 0)", 20.9L}, {"TT2(10000)", 24.998235751178726L},
        {"ehour(0)", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Expression);
        EXPECT_NEAR(static_cast<double>(Eval(c.Expression)), static_cast<double>(c.Value), 1e-12);
    }
}

TEST(Functions, OperatorsAndFunctionsWithNaN) {
    const TValueCase cases[] = {
        {"X=1", 0},         {"1=X", 0},       {"X<>1", 1},       {"X<1", 1},
        {"X>1", 1},         {"X<=1", 1},      {"X>=1", 1},       {"X&0", 0},
        {"X&1", 1},         {"X|0", 1},       {"!X", 0},         {"SIGN(X)", -1},
        {"IF(X,2,3)", 2},   {"MAX(1,X)", 1},  {"MIN(1,X)", 1},   {"X*0=0", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Expression);
        EXPECT_EQ(EvalWithX(c.Expression, NaN), c.Value);
    }
    // NaN propagates quietly through arithmetic and the elementary functions.
    for (const char* e : {"X+1", "X-1", "X*0", "X/0", "0/X", "X^2", "2^X", "SQRT(X)", "LN(X)",
                          "LOG(X)", "EXP(X)", "SIN(X)", "TAN(X)", "COTAN(X)", "COSH(X)",
                          "MAX(X,1)", "MIN(X,1)", "ABS(X)", "CEIL(X)", "FLOOR(X)", "TRUNC(X)",
                          "SQR(X)", "-X", "RANDOM(X)", "LOGN(X,2)", "TCK(X,25)", "TCK(0,X)",
                          "TCS(0,X)", "TT2(X)", "TPP(X)", "VDP(X,1)", "VDP(1,X)", "EHour(X)",
                          "NERPO2(X,500,0.2)", "MOSE(X,1,1,1)"}) {
        SCOPED_TRACE(e);
        EXPECT_TRUE(std::isnan(EvalWithX(e, NaN)));
    }
}

TEST(Functions, ArithmeticFaultsRaiseThePlatformClasses) {
    struct TCase {
        const char* Expression;
        const char* Class;
    } cases[] = {
        {"1/0", "EZeroDivide"},         {"-1/0", "EZeroDivide"},
        {"0/0", "EInvalidOp"},          {"SQRT(-1)", "EInvalidOp"},
        {"LN(0)", "EZeroDivide"},       {"LN(-1)", "EInvalidOp"},
        {"LOG(0)", "EZeroDivide"},      {"LOG(-5)", "EInvalidOp"},
        {"LOGN(1,8)", "EZeroDivide"},   {"LOGN(1,1)", "EInvalidOp"},
        {"LOGN(2,-1)", "EInvalidOp"},   {"EXP(11357)", "EOverflow"},
        {"EXP(11356)", "none"},         {"EXP(-20000)", "none"},
        {"10^5000", "EOverflow"},       {"0^-1", "EZeroDivide"},
        {"(-8)^(1/3)", "EInvalidOp"},   {"(-8)^3", "none"},
        {"SINH(12000)", "EOverflow"},   {"COSH(-12000)", "EOverflow"},
        {"COTAN(0)", "EZeroDivide"},    {"TAN(0)", "none"},
        {"1E4000*1E4000", "EOverflow"}, {"1E-4000*1E-4000", "none"},
        {"1E4000/1E-4000", "EOverflow"}, {"SQR(1E3000)", "EOverflow"},
        {"INTPOW(10,5000)", "EOverflow"}, {"INTPOW(0,-1)", "EZeroDivide"},
        {"5%0", "EDivByZero"},          {"5%0.5", "EDivByZero"},
        {"MOD(5,0)", "EDivByZero"},     {"MOD(5,0.9)", "EDivByZero"},
        {"1E19%2", "EInvalidOp"},       {"2%1E19", "EInvalidOp"},
        {"MOD(1E19,2)", "EInvalidOp"},  {"INTPOW(2,1E19)", "EInvalidOp"},
        {"RND(1E19)", "EInvalidOp"},    {"(-2^63)%(-1)", "EIntOverflow"},
        {"MOD(-2^63,-1)", "none"},      {"(2^63-1)%1", "none"},
        {"NERPO2(1, -273.15, 1)", "EZeroDivide"}, {"NEREMF(0, 1, 25)", "EZeroDivide"},
        {"NEREMF(1, -1, 25)", "EInvalidOp"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Expression);
        EXPECT_EQ(Raised(c.Expression), c.Class);
    }
    // With an infinite variable: invalid operations and quiet infinities.
    EXPECT_EQ(RaisedWithX("X-X", Inf), "EInvalidOp");
    EXPECT_EQ(RaisedWithX("X*0", Inf), "EInvalidOp");
    EXPECT_EQ(RaisedWithX("SIN(X)", Inf), "EInvalidOp");
    EXPECT_EQ(RaisedWithX("MOD(X,2)", Inf), "EInvalidOp");
    EXPECT_EQ(RaisedWithX("MOD(X,2)", NaN), "EInvalidOp"); // truncation of NaN
    EXPECT_EQ(EvalWithX("X+1", Inf), Inf);
    EXPECT_EQ(EvalWithX("1/X", Inf), 0);
    EXPECT_EQ(EvalWithX("X/0", Inf), Inf);
    // The messages callers log.
    struct TMessage {
        const char* Expression;
        const char* Message;
    } messages[] = {
        {"1/0", "Floating point division by zero"},
        {"0/0", "Invalid floating point operation"},
        {"EXP(20000)", "Floating point overflow"},
        {"1%0", "Division by zero"},
        {"(-2^63)%(-1)", "Integer overflow"},
    };
    for (const auto& m : messages) {
        try {
            Eval(m.Expression);
            ADD_FAILURE() << m.Expression;
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), m.Message);
        }
    }
    // IF evaluates all three arguments.
    EXPECT_EQ(RaisedWithX("IF(1, 2, 1/X)", 0), "EZeroDivide");
}

// NIST ITS-90 reference tables (Monograph 175): EMF in mV at the temperature in °C.
struct TReference {
    double Celsius;
    double Millivolts;
};
const TReference TypeK[] = {
    {-200, -5.891}, {-100, -3.554}, {0, 0},         {25, 1.000},     {100, 4.096},
    {200, 8.138},   {300, 12.209},  {400, 16.397},  {500, 20.644},   {600, 24.905},
    {700, 29.129},  {800, 33.275},  {900, 37.326},  {1000, 41.276},  {1100, 45.119},
    {1200, 48.838}, {1300, 52.410}, {1370, 54.819},
};
const TReference TypeS[] = {
    {-50, -0.236},  {0, 0},         {25, 0.143},    {100, 0.646},   {200, 1.441},
    {300, 2.323},   {400, 3.259},   {500, 4.233},   {600, 5.239},   {700, 6.275},
    {800, 7.345},   {900, 8.449},   {1000, 9.587},  {1100, 10.757}, {1200, 11.951},
    {1300, 13.159}, {1400, 14.373}, {1500, 15.582}, {1600, 16.777}, {1700, 17.947},
};

double MillivoltsAt(const TReference* table, size_t n, double celsius) {
    for (size_t i = 0; i < n; ++i)
        if (table[i].Celsius == celsius)
            return table[i].Millivolts;
    ADD_FAILURE() << "no reference at " << celsius;
    return 0;
}

std::string Call(const char* function, double volts, double ambient) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%s(%.9g, %.9g)", function, volts, ambient);
    return buf;
}

// Table EMFs are rounded to 1 µV: about 0.03 °C for K and 0.1 °C for S at low temperatures,
// on top of the inverse polynomials' own error (NIST: within 0.06 °C for K, 0.02 °C for S),
// met twice with a cold junction (its EMF is found on the inverse polynomial too).
TEST(Thermocouples, MatchPublishedTablesWithColdJunction) {
    struct TType {
        const char* Function;
        const TReference* Table;
        size_t Count;
        double Tolerance;
    } types[] = {
        {"TCK", TypeK, std::size(TypeK), 0.15},
        {"TCS", TypeS, std::size(TypeS), 0.15},
    };
    for (const auto& type : types) {
        for (const double ambient : {0.0, 25.0, 100.0}) {
            const double reference = MillivoltsAt(type.Table, type.Count, ambient);
            for (size_t i = 0; i < type.Count; ++i) {
                const TReference& r = type.Table[i];
                const double volts = (r.Millivolts - reference) / 1000;
                const std::string e = Call(type.Function, volts, ambient);
                SCOPED_TRACE(e);
                if (volts * 1e6 < static_cast<double>(ThermocoupleMinMicrovolts(
                                      type.Table == TypeK ? TThermocoupleType::K
                                                          : TThermocoupleType::S)))
                    continue; // the measured voltage itself would be out of range
                EXPECT_NEAR(static_cast<double>(Eval(e)), r.Celsius, type.Tolerance);
            }
        }
    }
}

TEST(Thermocouples, ReferenceJunctionEmfMatchesTables) {
    for (const auto& r : TypeK) {
        if (r.Celsius < -100 || r.Celsius > 100)
            continue;
        EXPECT_NEAR(static_cast<double>(ThermocoupleReferenceEmf(TThermocoupleType::K, r.Celsius)),
                    r.Millivolts * 1000, 3.0)
            << r.Celsius;
    }
    for (const auto& r : TypeS) {
        if (r.Celsius < -100 || r.Celsius > 100)
            continue;
        EXPECT_NEAR(static_cast<double>(ThermocoupleReferenceEmf(TThermocoupleType::S, r.Celsius)),
                    r.Millivolts * 1000, 1.0)
            << r.Celsius;
    }
}

TEST(Thermocouples, RangesAndRefusal) {
    EXPECT_NEAR(static_cast<double>(Eval("TCK(0, 25)")), 25, 0.001);
    EXPECT_NEAR(static_cast<double>(Eval("TCS(0, 25)")), 25, 0.001);
    EXPECT_NEAR(static_cast<double>(Eval("TCK(0, -100)")), -100, 0.001);
    EXPECT_EQ(Eval("TCK(0.06, 25)"), -1000);
    EXPECT_EQ(Eval("TCK(0.001, 101)"), -1000);
    EXPECT_EQ(Eval("TCK(0.001, -100.5)"), -1000);
    EXPECT_EQ(Eval("TCK(-0.007, 25)"), -1000);
    EXPECT_EQ(Eval("TCK(0.054, 100)"), -1000); // in range alone, beyond it with the junction
    EXPECT_NEAR(static_cast<double>(Eval("TCK(0.054886, -0.001)")), 1372, 0.1); // inclusive
    EXPECT_NE(Eval("TCS(0.01, 20)"), -1000);
    // 10.113 mV: between 1000 °C (9.587 mV) and 1100 °C (10.757 mV), near 1045 °C.
    EXPECT_NEAR(static_cast<double>(Eval("TCS(0.01, 20)")), 1045, 1);
    EXPECT_EQ(Eval("TCS(0.019, 20)"), -1000);
    EXPECT_EQ(Eval("TCS(-0.0003, 20)"), -1000);
    EXPECT_EQ(Eval("TCK(1E4000, 20)"), -1000);
}

// The 10 kΩ NTC R/T curve of the part (25 °C at 10 kΩ, B 3977 K), as published in the
// manufacturers' tables.
TEST(Thermistor, MatchesPublishedCurve) {
    const TReference curve[] = {{0, 32650}, {10, 19900}, {20, 12490}, {25, 10000},
                                {30, 8057}, {40, 5327},  {50, 3603}};
    for (const auto& p : curve) {
        char e[32];
        std::snprintf(e, sizeof e, "TT2(%g)", p.Millivolts);
        if (p.Millivolts > 32600)
            EXPECT_EQ(Eval(e), -1000) << e;
        else
            EXPECT_NEAR(static_cast<double>(Eval(e)), p.Celsius, 0.02) << e;
    }
    EXPECT_EQ(Eval("TT2(2985)"), -1000);
    EXPECT_EQ(Eval("TT2(32601)"), -1000);
    EXPECT_NEAR(static_cast<double>(Eval("TT2(2986)")), 55.0, 0.05);
    EXPECT_NEAR(static_cast<double>(Eval("TT2(32600)")), 0.03, 0.02);
}

TEST(Functions, PlatinumThermopower) {
    EXPECT_NEAR(static_cast<double>(Eval("TPP(25)")), -5.0174898e-6, 1e-12);
    EXPECT_NEAR(static_cast<double>(Eval("TPP(0)")), -4.2441027e-6, 1e-12);
    EXPECT_EQ(Raised("TPP(-365.0826573170825)"), "EZeroDivide");
}

TEST(Functions, VanDerPauw) {
    const long double expected = 3.14159265358979323846L / std::log(2.0L);
    EXPECT_NEAR(static_cast<double>(Eval("VDP(1,1)")), static_cast<double>(expected), 1e-5);
    EXPECT_NEAR(static_cast<double>(Eval("VDP(-1,-1)")), static_cast<double>(-expected), 1e-5);
    EXPECT_EQ(Eval("VDP(1,-1)"), -1000);
    EXPECT_EQ(Eval("VDP(0,1)"), -1000);
    EXPECT_EQ(Eval("VDP(1,0)"), -1000);
    // The result satisfies the van der Pauw equation, also for unequal resistances.
    for (const auto& [a, b] : {std::pair{1.0L, 2.0L}, {1.0L, 100.0L}, {250.0L, 0.5L},
                               {1e-9L, 3e-9L}, {1e9L, 3e9L}, {1.0L, 1e6L}}) {
        long double r = 0;
        std::string message;
        ASSERT_TRUE(SolveVanDerPauw(a, b, r, message)) << static_cast<double>(b);
        const long double e = std::exp(-3.14159265358979323846L * a / r) +
                              std::exp(-3.14159265358979323846L * b / r) - 1;
        EXPECT_LE(std::fabs(e), 1e-7L) << static_cast<double>(a) << " " << static_cast<double>(b);
    }
    long double r = 0;
    std::string message;
    EXPECT_FALSE(SolveVanDerPauw(1, -2, r, message));
    EXPECT_EQ(message, "Parameters are on opposing sides of zero, cannot solve.");
    EXPECT_FALSE(SolveVanDerPauw(0, 2, r, message));
    EXPECT_EQ(message, "One or both of the parameters are zero. Cannot solve.");
    EXPECT_FALSE(SolveVanDerPauw(Inf, 2, r, message));
    EXPECT_EQ(EvalWithX("VDP(X,1)", Inf), -1000);
}

TEST(Functions, OxygenSensors) {
    // Nernst: p = pref * exp(-4FE/RT); 4F/R = 46418.6 K/V (CODATA) against 46421.
    const double tk = 973.15;
    const double nernst = 0.21 * std::exp(-4 * 96485.33212 * 0.1 / (8.314462618 * tk));
    EXPECT_NEAR(static_cast<double>(Eval("NERPO2(0.1, 700, 0.21)")), nernst, nernst * 1e-3);
    // NEREMF is the inverse of NERPO2 (its constant is RT ln10 / 4F per kelvin).
    TbcParser parser;
    parser.SetExpression("NEREMF(0.21, NERPO2(0.1, 700, 0.21), 700)");
    EXPECT_NEAR(static_cast<double>(parser.Evaluate()), 0.1, 0.1 * 2e-4);
    const long double mose =
        20.9L * std::exp(46.4158749248346362L * 50 / 773.15L - 100 / 773.15L - 1);
    EXPECT_NEAR(static_cast<double>(Eval("MOSE(500, 0.05, 100, 1)")), static_cast<double>(mose),
                1e-9);
}

TEST(Functions, ElapsedTimeReadsTheStartTime) {
    TbcParser parser;
    parser.SetMeasurementStartTime(45000.25);
    EXPECT_EQ(TbcParser::ProcessMeasurementStartTime(), 45000.25);
    parser.SetExpression("EHour(45001.25)");
    EXPECT_EQ(parser.Evaluate(), 24);
    parser.SetExpression("ESec(45000.25)");
    EXPECT_EQ(parser.Evaluate(), 0);
    parser.SetExpression("EMin(45000.25 + 1/1440)");
    EXPECT_NEAR(static_cast<double>(parser.Evaluate()), 1, 1e-9);
    // An instance that never set its own reads the process-wide value.
    TbcParser other;
    other.SetExpression("ESec(45000.25 + 1/86400)");
    EXPECT_NEAR(static_cast<double>(other.Evaluate()), 1, 1e-6);
    // Each instance keeps the start time it was given.
    TbcParser later;
    later.SetMeasurementStartTime(45100.25);
    parser.SetExpression("EHour(45001.25)");
    EXPECT_EQ(parser.Evaluate(), 24);
    later.SetExpression("EHour(45101.25)");
    EXPECT_EQ(later.Evaluate(), 24);
}

TEST(Functions, ThreadsKeepTheirOwnStartTimes) {
    auto run = [](double start, int& wrong) {
        for (int i = 0; i < 2000; ++i) {
            TbcParser parser;
            parser.SetMeasurementStartTime(start);
            parser.SetExpression("EHour(" + std::to_string(start) + "+0.5)");
            if (parser.Evaluate() != 12)
                ++wrong;
        }
    };
    int wrongA = 0;
    int wrongB = 0;
    std::thread a(run, 40000.0, std::ref(wrongA));
    std::thread b(run, 50000.0, std::ref(wrongB));
    a.join();
    b.join();
    EXPECT_EQ(wrongA, 0);
    EXPECT_EQ(wrongB, 0);
}

TEST(Functions, RandomNumbers) {
    TbcParser parser;
    parser.SetOptimizationOn(false);
    for (const char* e : {"RANDOM(5)", "RND(10)", "RND(10.9)", "RANDOM(-3)"}) {
        parser.SetExpression(e);
        for (int i = 0; i < 50; ++i) {
            const long double v = parser.Evaluate();
            if (e[1] == 'N') {
                EXPECT_EQ(v, std::trunc(v)) << e;
                EXPECT_GE(v, 0);
                EXPECT_LT(v, 10);
            } else if (e[7] == '-') {
                EXPECT_LE(v, 0);
                EXPECT_GT(v, -3);
            } else {
                EXPECT_GE(v, 0);
                EXPECT_LT(v, 5);
            }
        }
    }
}

} // namespace
