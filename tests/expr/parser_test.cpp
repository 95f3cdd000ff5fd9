// The expression parser: grammar, folding, life cycle, name tables and parse errors.
#include "exprtest.h"

#include "tavlo/bcfunctions.h"

#include <algorithm>
#include <charconv>
#include <random>
#include <cmath>
#include <limits>
#include <thread>

namespace {

constexpr long double NaN = std::numeric_limits<long double>::quiet_NaN();

struct TValueCase {
    const char* Expression;
    long double Value;
};

TEST(Parser, EvaluatesGrammar) {
    const TValueCase cases[] = {
        {"[1+2]*{3}", 9},       {"2^3^2", 64},         {"10-4-3", 3},
        {"-2^2", -4},           {"2^-1", 0.5},         {"2*-3", -6},
        {"2--3", 5},            {"-2*3", -6},          {"-2+3", 1},
        {"7%2", 3},             {"1<2=1", 1},          {"2=2<>0", 0},
        {"1.5E+3*2", 3000},     {"0.5E-3*2", 0.001L},  {"0.5", 0.5},
        {"-0.5", -0.5},         {"+5", 5},             {"--5", 5},
        {"1 + 2 * 3", 7},       {"(1+2)*(3+4)", 21},   {"((1)+(2))", 3},
        {"  ( ( 4 ) )  ", 4},   {"2*(3)", 6},          {"!0", 1},
        {"!5", 0},              {"!0|0", 1},           {"!1&0", 0},
        {"1|0&0", 1},           {"3>2", 1},            {"3<2", 0},
        {"2<=2", 1},            {"2>=3", 0},           {"1<>2", 1},
        {"1<=-2", 0},           {"2>-1", 1},           {"5.", 5},
        {".5", 0.5},            {"1E3", 1000},         {"6/4", 1.5},
        {"sin(pi/2)", std::sin(3.14159265358979L / 2)},
        {"Max(2, 7)", 7},       {"if (1, 2, 3)", 2},   {"SIN (0)", 0},
        {"LOGN(2,8)", 3},       {"-(1+2)*2", -6},      {"2*3^2", 18},
        {"1+2<4", 1},           {"1E-5000", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Expression);
        EXPECT_NEAR(static_cast<double>(Eval(c.Expression)), static_cast<double>(c.Value), 1e-15);
    }
}

TEST(Parser, WorksInExtendedPrecision) {
    // 2^64 + 1 needs 65 bits: lost in double, kept apart from 2^64 in extended.
    EXPECT_EQ(Eval("2^63+1-2^63"), 1);
    EXPECT_EQ(Eval("(1+2^-63)-1"), std::pow(2.0L, -63));
    EXPECT_EQ(Eval("1/3"), 1.0L / 3.0L);
    EXPECT_NE(Eval("1/3"), static_cast<long double>(1.0 / 3.0));
    EXPECT_EQ(Eval("PI"), 3.14159265358979L); // the 15-digit value, not full-precision pi
    EXPECT_GT(Eval("EXP(1000)"), 1e434L);     // far beyond the double range
}

TEST(Parser, NumberLiteralsAreCorrectlyRounded) {
    // Short literals take an exact path; it must give the same value as a full conversion.
    std::mt19937_64 random(12345);
    for (int i = 0; i < 20000; ++i) {
        std::string text = std::to_string(random() % 100000000000ULL);
        const int point = static_cast<int>(random() % (text.size() + 1));
        text.insert(static_cast<size_t>(point), ".");
        if (random() % 2)
            text += "E" + std::to_string(static_cast<int>(random() % 80) - 40);
        if (text[0] == '0' && text.size() > 1 && text[1] != '.')
            continue; // not a literal
        long double expected = 0;
        const auto res = std::from_chars(text.data(), text.data() + text.size(), expected);
        if (res.ec != std::errc() || res.ptr != text.data() + text.size())
            continue; // "." alone and the like
        ASSERT_EQ(Eval(text), expected) << text;
    }
    EXPECT_EQ(Eval("123456789012345678901234567890"), 123456789012345678901234567890.0L);
    EXPECT_EQ(Eval("0.1"), 0.1L);
    EXPECT_EQ(Eval("1E-30"), 1E-30L);
    EXPECT_EQ(Eval("4.9E-4951") > 0, true); // smallest extended denormals are kept
}

TEST(Parser, ExponentLetterAndNames) {
    TbcParser parser;
    parser.CreateVar("X1E", 10);
    parser.SetExpression("X1E-5");
    EXPECT_EQ(parser.Evaluate(), 5);
    parser.SetExpression("x1e-5*2"); // case-insensitive; the E is part of the name
    EXPECT_EQ(parser.Evaluate(), 0);
    parser.SetExpression("2*1.5E+3");
    EXPECT_EQ(parser.Evaluate(), 3000);
    parser.SetExpression("X1E+1E+1");
    EXPECT_EQ(parser.Evaluate(), 20);
}

TEST(Parser, ParseErrorsCarryMessageAndPortions) {
    const std::string tooLong(256, 'A');
    struct TCase {
        std::string Expression;
        TParserErrorText Error;
    } cases[] = {
        {"", {"Expression is empty.", "", ""}},
        {"   ", {"Syntax error in expression    ", "   ", "   "}},
        {"(1+2", {"Missing bracket \")\" in expression (1+2.", "(1+2", "(1+2"}},
        {"1+2)", {"Bracket mismatch in expression 1+2) at index 4.", "1+2)", "1+2)"}},
        {"a)+(b", {"Bracket mismatch in expression A)+(B at index 2.", "A)", "A)+(B"}},
        {"2---3", {"Syntax error in expression 2---3", "2---3", "2---3"}},
        {".5E-3*2", {"Sub expression <.5E> in <.5E-3*2> is not valid.", ".5E", ".5E-3*2"}},
        {"05", {"Syntax error in expression 05", "05", "05"}},
        {"MAX(1,2,3)", {"Sub expression <1,2> in <MAX(1,2,3)> is not valid.", "1,2", "MAX(1,2,3)"}},
        {"SIN()", {"Syntax error in expression SIN()", "SIN()", "SIN()"}},
        {"sin()", {"Syntax error in expression sin()", "SIN()", "SIN()"}},
        {"1!2", {"Syntax error in expression 1!2", "1!2", "1!2"}},
        {"IF(1,2,3,4)", {"Sub expression <3,4> in <IF(1,2,3,4)> is not valid.", "3,4", "IF(1,2,3,4)"}},
        {"1+foo", {"Sub expression <FOO> in <1+FOO> is not valid.", "FOO", "1+FOO"}},
        {"2*(1+)", {"Sub expression <(1+)> in <2*(1+)> is not valid.", "(1+)", "2*(1+)"}},
        {"*5", {"Sub expression <> in <*5> is not valid.", "", "*5"}},
        {"TCK(0; 25)", {"Syntax error in expression TCK(0; 25)", "TCK(0; 25)", "TCK(0; 25)"}},
        {"1E5000", {"Syntax error in expression 1E5000", "1E5000", "1E5000"}},
        {"NAN", {"Syntax error in expression NAN", "NAN", "NAN"}},
        {"-INF", {"Sub expression <INF> in <-INF> is not valid.", "INF", "-INF"}},
        {tooLong + "(1)",
         {"Function name in " + tooLong + "(1) is too long. Maximum possible name length is 255.",
          tooLong.substr(0, 255), tooLong + "(1)"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Expression);
        const TParserErrorText e = ParserError(c.Expression);
        EXPECT_EQ(e.Message, c.Error.Message);
        EXPECT_EQ(e.Invalid, c.Error.Invalid);
        EXPECT_EQ(e.Sub, c.Error.Sub);
    }
    // 255 characters are a valid (unknown) name, so the call is only a syntax error.
    EXPECT_EQ(ParserError(std::string(255, 'A') + "(1)").Message,
              "Syntax error in expression " + std::string(255, 'A') + "(1)");
}

TEST(Parser, BracketIndexCountsCharacters) {
    // "µ" is two bytes in UTF-8 but one character.
    EXPECT_EQ(ParserError("\xC2\xB5)").Message, "Bracket mismatch in expression \xC2\xB5) at index 2.");
}

TEST(Parser, DeepNestingIsRefusedNotOverflowed) {
    const int depth = TbcParser::MaxNesting;
    // At the limit: fine.
    std::string ok = std::string(depth - 1, '(') + "1" + std::string(depth - 1, ')');
    EXPECT_EQ(Eval(ok), 1);
    std::string negations;
    for (int i = 0; i < depth - 1; ++i)
        negations += "-(";
    negations += "1" + std::string(depth - 1, ')');
    EXPECT_EQ(Eval(negations), (depth - 1) % 2 ? -1 : 1);
    // Beyond it: a clear parser error, for brackets, prefix operators, calls and long chains.
    const std::string brackets = std::string(100000, '(') + "1" + std::string(100000, ')');
    std::string calls;
    for (int i = 0; i < 2000; ++i)
        calls += "SIN(";
    calls += "1" + std::string(2000, ')');
    std::string chain = "1";
    for (int i = 0; i < 3000; ++i)
        chain += "+1";
    for (const std::string& text : {brackets, negations + "+-(-1)", calls, chain}) {
        TbcParser parser;
        parser.SetExpression(text);
        const TParserErrorText e = ParserError(parser);
        EXPECT_NE(e.Message.find("is nested too deeply. Maximum nesting depth is 1000."),
                  std::string::npos)
            << e.Message.substr(0, 80);
    }
    // A chain below the limit evaluates.
    std::string sum = "1";
    for (int i = 0; i < 900; ++i)
        sum += "+1";
    EXPECT_EQ(Eval(sum), 901);
}

TEST(Parser, VariablesAreReadThroughTheirStorage) {
    TbcParser parser;
    parser.SetOptimizationOn(false);
    parser.SetExpression("X*2");
    parser.SetX(3);
    EXPECT_EQ(parser.Evaluate(), 6);
    EXPECT_FALSE(parser.Dirty());
    parser.SetX(5); // no new parse
    EXPECT_FALSE(parser.Dirty());
    EXPECT_EQ(parser.Evaluate(), 10);
    parser.AssignVar("x", 7); // names ignore case
    EXPECT_EQ(parser.Evaluate(), 14);
    parser.DeleteVar("X");
    EXPECT_TRUE(parser.Dirty());
    const TParserErrorText e = ParserError(parser);
    EXPECT_EQ(e.Message, "Sub expression <X> in <X*2> is not valid.");
    EXPECT_EQ(e.Invalid, "X");
    EXPECT_EQ(e.Sub, "X*2");
    // A failed parse leaves no tree and stays dirty.
    EXPECT_EQ(parser.Root(), nullptr);
    EXPECT_TRUE(parser.Dirty());
    EXPECT_THROW(parser.Evaluate(), EbcParserError);
}

TEST(Parser, VariableTable) {
    TbcParser parser;
    EXPECT_EQ(parser.GetVariables(), (std::vector<std::string>{"PI", "X", "Y"}));
    EXPECT_EQ(parser.GetVar("pi"), 3.14159265358979L);
    parser.CreateVar("Alpha_1", 2);
    EXPECT_TRUE(parser.IsVariable("ALPHA_1"));
    EXPECT_EQ(parser.GetVariables(), (std::vector<std::string>{"Alpha_1", "PI", "X", "Y"}));
    parser.SetExpression("alpha_1*10");
    EXPECT_EQ(parser.Evaluate(), 20);
    parser.CreateVar("ALPHA_1", 4); // existing: value replaced, tree stays valid
    EXPECT_FALSE(parser.Dirty());
    EXPECT_EQ(parser.Evaluate(), 40);
    parser.DeleteVar("nothing"); // absent: nothing happens
    EXPECT_FALSE(parser.Dirty());

    const std::string longName(256, 'V');
    struct TCase {
        std::string Name;
        TParserErrorText Error;
    } cases[] = {
        {longName,
         {longName + " is too long. Maximum variable or function name length is 255.",
          longName.substr(0, 255), longName}},
        {"1abc", {"1abc is not a valid variable name.", "1abc", "1abc"}},
        {"a b", {"a b is not a valid variable name.", "a b", "a b"}},
        {"\xC3\xA4", {"\xC3\xA4 is not a valid variable name.", "\xC3\xA4", "\xC3\xA4"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            parser.CreateVar(c.Name, 1);
            ADD_FAILURE() << "accepted";
        } catch (const EbcParserError& e) {
            EXPECT_EQ(e.Message(), c.Error.Message);
            EXPECT_EQ(e.GetInvalidPortionOfExpression(), c.Error.Invalid);
            EXPECT_EQ(e.GetSubExpression(), c.Error.Sub);
        }
    }
    parser.CreateVar(std::string(255, 'V'), 1); // 255 is allowed
    try {
        parser.GetVar("Missing");
        ADD_FAILURE();
    } catch (const EbcParserError& e) {
        EXPECT_EQ(e.Message(), "Variable Missing is not found.");
    }
    parser.DeleteAllVars();
    EXPECT_TRUE(parser.GetVariables().empty());
    EXPECT_THROW(parser.X(), EbcParserError);
    parser.SetY(2); // writing a missing variable creates it
    EXPECT_EQ(parser.Y(), 2);
}

long double Twice(long double a) { return 2 * a; }
long double Diff(long double a, long double b) { return a - b; }
long double Sum4(const long double* v) { return v[0] + v[1] + v[2] + v[3]; }

TEST(Parser, FunctionTable) {
    TbcParser parser;
    parser.SetExpression("1");
    parser.Evaluate();
    parser.CreateOneParamFunc("Twice", Twice);
    EXPECT_TRUE(parser.Dirty());
    parser.CreateTwoParamFunc("DIFF", Diff);
    parser.CreateNParamFunc("SUM4", Sum4, 4);
    parser.SetExpression("twice(3)+diff(10,4)+sum4(1,2,3,4)");
    EXPECT_EQ(parser.Evaluate(), 22);
    EXPECT_TRUE(parser.IsOneParamFunction("TWICE"));
    EXPECT_TRUE(parser.IsTwoParamFunction("diff"));
    EXPECT_TRUE(parser.IsNParamFunction("Sum4"));
    EXPECT_TRUE(parser.IsFunction("sum4"));
    EXPECT_FALSE(parser.IsFunction("nope"));

    struct TCase {
        std::string Name;
        int Kind;
        std::string Message;
    } cases[] = {
        {"sin", 1, "Function sin already exists."},
        {"MAX", 1, "Function MAX already exists."},
        {"Twice", 2, "Function Twice already exists."},
        {"IF", 3, "Function IF already exists."},
        {"9x", 1, "9x is not a valid function name."},
        {"a.b", 3, "a.b is not a valid function name."},
        {std::string(256, 'F'), 2,
         std::string(256, 'F') + " is too long. Maximum variable or function name length is 255."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        try {
            if (c.Kind == 1)
                parser.CreateOneParamFunc(c.Name, Twice);
            else if (c.Kind == 2)
                parser.CreateTwoParamFunc(c.Name, Diff);
            else
                parser.CreateNParamFunc(c.Name, Sum4, 4);
            ADD_FAILURE() << "accepted";
        } catch (const EbcParserError& e) {
            EXPECT_EQ(e.Message(), c.Message);
        }
    }
    // A one-argument name may also exist as N-argument function; the one-argument form wins.
    parser.CreateOneParamFunc("SUM4", Twice);
    parser.SetExpression("SUM4(5)");
    EXPECT_EQ(parser.Evaluate(), 10);

    parser.DeleteFunc("sum4"); // the one-argument entry goes first
    EXPECT_TRUE(parser.IsNParamFunction("SUM4"));
    EXPECT_FALSE(parser.IsOneParamFunction("SUM4"));
    parser.DeleteFunc("SIN");
    parser.SetExpression("SIN(1)");
    EXPECT_EQ(ParserError(parser).Message, "Syntax error in expression SIN(1)");

    // Another instance still has the whole library: tables are shared until changed.
    TbcParser other;
    TbcParser third;
    EXPECT_EQ(&other.FunctionDesc(), &third.FunctionDesc());
    EXPECT_TRUE(other.IsFunction("SIN"));
    EXPECT_FALSE(other.IsFunction("TWICE"));
    other.SetExpression("SIN(0)");
    EXPECT_EQ(other.Evaluate(), 0);

    parser.DeleteAllFuncs();
    EXPECT_TRUE(parser.GetFunctions().empty());
    EXPECT_FALSE(parser.IsFunction("ABS"));
    parser.CreateDefaultFuncs();
    EXPECT_EQ(parser.GetFunctions(), other.GetFunctions());
    EXPECT_THROW(parser.CreateDefaultFuncs(), EbcParserError); // "Function ABS already exists."
}

TEST(Parser, UsageQueries) {
    TbcParser parser;
    parser.SetExpression("sin(x)+IF(y,1,2)");
    EXPECT_TRUE(parser.IsVariableUsed("X"));
    EXPECT_TRUE(parser.IsVariableUsed("y"));
    EXPECT_FALSE(parser.IsVariableUsed("PI"));
    EXPECT_FALSE(parser.IsVariableUsed("UNKNOWN"));
    EXPECT_TRUE(parser.IsFunctionUsed("SIN"));
    EXPECT_TRUE(parser.IsFunctionUsed("if"));
    EXPECT_FALSE(parser.IsFunctionUsed("COS"));
    EXPECT_EQ(parser.GetVariablesUsed(), (std::vector<std::string>{"X", "Y"}));

    TbcParser fresh;
    fresh.SetExpression("");
    EXPECT_TRUE(fresh.GetVariablesUsed().empty());
    fresh.SetExpression("2*3");
    EXPECT_TRUE(fresh.GetVariablesUsed().empty());
}

TEST(Parser, UnknownVariablesGoToTheResolver) {
    TbcParser parser;
    std::vector<std::string> asked;
    parser.SetOnVariableFound([&](TbcParser&, const std::string& name, long double& value) {
        asked.push_back(name);
        value = name == "TEMP" ? 20 : 0.5L;
    });
    parser.SetExpression("temp*2+IF(a,b,c)+x");
    parser.SetX(1);
    EXPECT_EQ(parser.Evaluate(), 41.5L);
    EXPECT_EQ(asked, (std::vector<std::string>{"TEMP", "A", "B", "C"}));
    EXPECT_TRUE(parser.IsVariableUsed("Temp"));
    EXPECT_FALSE(parser.IsVariableUsed("D"));
    // Defined variables first (sorted), then unknown names: N-argument children last to first.
    EXPECT_EQ(parser.GetVariablesUsed(), (std::vector<std::string>{"X", "TEMP", "C", "B", "A"}));
    EXPECT_NE(dynamic_cast<const TTwoParamNode*>(parser.Root()), nullptr); // never folded
}

TEST(Parser, ConstantFolding) {
    TbcParser parser;
    parser.SetExpression("(10955.6222)*2");
    parser.Parse();
    ASSERT_NE(dynamic_cast<const TBasicNode*>(parser.Root()), nullptr);
    EXPECT_EQ(parser.Evaluate(), 10955.6222L * 2);

    parser.SetExpression("x+2*3");
    parser.Parse();
    const auto* sum = dynamic_cast<const TTwoParamNode*>(parser.Root());
    ASSERT_NE(sum, nullptr);
    EXPECT_NE(dynamic_cast<const TVarNode*>(sum->Left.get()), nullptr);
    EXPECT_NE(dynamic_cast<const TBasicNode*>(sum->Right.get()), nullptr);

    parser.SetOptimizationOn(false);
    parser.SetExpression("2*3");
    parser.Parse();
    EXPECT_NE(dynamic_cast<const TTwoParamNode*>(parser.Root()), nullptr);

    // Faults met while folding come out of Parse; the parse leaves no tree.
    parser.SetOptimizationOn(true);
    parser.SetExpression("x+1/0");
    EXPECT_THROW(parser.Parse(), EZeroDivide);
    EXPECT_EQ(parser.Root(), nullptr);
    EXPECT_TRUE(parser.Dirty());
    parser.SetOptimizationOn(false);
    EXPECT_NO_THROW(parser.Parse());
    EXPECT_THROW(parser.Evaluate(), EZeroDivide);
}

TEST(Parser, RandomIsFoldedOnce) {
    TbcParser parser;
    parser.SetExpression("RANDOM(10)");
    const long double first = parser.Evaluate();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_EQ(parser.Evaluate(), first);
    EXPECT_EQ(parser.Evaluate(), first);
    EXPECT_GE(first, 0);
    EXPECT_LT(first, 10);
    // Parsed again: a new draw (the clock has moved on).
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    parser.Parse();
    EXPECT_NE(parser.Evaluate(), first);
    // Without folding every evaluation draws.
    parser.SetOptimizationOn(false);
    parser.SetExpression("RANDOM(1000000)");
    const long double a = parser.Evaluate();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    EXPECT_NE(parser.Evaluate(), a);
}

TEST(Parser, DescriptionsInRegistrationOrder) {
    TbcParser parser;
    const std::vector<std::string>& desc = parser.FunctionDesc();
    ASSERT_EQ(desc.size(), 37u);
    EXPECT_EQ(desc[0], "ABS(A)\r\n  Absolute value\r\n  Return the absolute value of A.\r\n");
    EXPECT_EQ(desc[6].substr(0, 34), "EHour(T)\r\n  Elapsed hours\r\n  retur");
    EXPECT_EQ(desc[35],
              "NERPO2(E,T,R)\r\n  Return pO2 in ATM when E is the sensor voltage, T is the "
              "temperature in Celsius, R is the reference gas pO2 in ATM.\r\n");
    EXPECT_EQ(desc[36].substr(0, 20), "NEREMF(REF,EXP,)\r\n  ");
    EXPECT_EQ(desc[31].substr(desc[31].size() - 12), "0103F45)\r\n\r\n");
    EXPECT_NE(desc[29].find("(from K-type thermocouple) with valid range of -6 mV to 54 mV."),
              std::string::npos);
    EXPECT_NE(desc[30].find("(from S-type thermocouple) with valid range of -0.235 mV to "
                            "18.693 mV."),
              std::string::npos);
    const char* order[] = {"ABS(",  "ATAN(", "CEIL(",  "COS(",  "COSH(",   "COTAN(", "EHour(",
                           "EMin(", "ESec(", "EXP(",   "FLOOR(", "IF(",    "INTPOW(", "LN(",
                           "LOG(",  "LOGN(", "MAX(",   "MIN(",  "MOD(",    "MOSE(",  "POW(",
                           "RANDOM(", "RND(", "SIGN(", "SIN(",  "SINH(",   "SQR(",   "SQRT(",
                           "TAN(",  "TCK(",  "TCS(",   "TT2(",  "TPP(",    "TRUNC(", "VDP(",
                           "NERPO2(", "NEREMF("};
    for (size_t i = 0; i < desc.size(); ++i)
        EXPECT_EQ(desc[i].rfind(order[i], 0), 0u) << i;
    // Sorted copies for the editor.
    const auto sorted = parser.GetFunctionDecriptions();
    EXPECT_TRUE(std::is_sorted(sorted.begin(), sorted.end(), TNameLess()));
    EXPECT_EQ(sorted.size(), desc.size());
    const auto names = parser.GetFunctions();
    EXPECT_EQ(names.size(), 37u);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), TNameLess()));
    EXPECT_NE(std::find(names.begin(), names.end(), "EHour"), names.end());
}

TEST(Parser, ParserErrorIsAnException) {
    try {
        Eval("1+foo");
        ADD_FAILURE() << "no error";
    } catch (const std::exception& e) {
        EXPECT_STREQ(ExceptionClassName(e), "EbcParserError");
        EXPECT_STREQ(e.what(), "Sub expression <FOO> in <1+FOO> is not valid.");
    }
    EXPECT_STREQ(ExceptionClassName(std::bad_alloc()), "EOutOfMemory");
    EXPECT_STREQ(ExceptionClassName(std::runtime_error("x")), "Exception");
}

} // namespace
