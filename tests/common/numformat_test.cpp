#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "tavlo/numformat.h"

TEST(GeneralFloatText, MatchesThePlatformFormat) {
    const struct {
        double value;
        const char* dot;
    } cases[] = {
        {0, "0"},
        {1, "1"},
        {-2.5, "-2.5"},
        {41192.4952388542, "41192.4952388542"},
        {0.1 + 0.2, "0.3"},                        // rounded to 15 significant digits
        {1.5e-5, "1.5E-5"},                        // exponent form below 1E-4
        {0.0001, "0.0001"},
        {1e20, "1E20"},
        {123456789012345.0, "123456789012345"},    // 15 digits stay fixed
        {1234567890123456.0, "1.23456789012346E15"},
        {-1.25e-300, "-1.25E-300"},
        {std::numeric_limits<double>::quiet_NaN(), "NAN"},
        {std::numeric_limits<double>::infinity(), "INF"},
        {-std::numeric_limits<double>::infinity(), "-INF"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(FloatToStrDot(c.value).toStdString(), c.dot) << c.dot;
        QString comma = QString::fromLatin1(c.dot);
        comma.replace(u'.', u',');
        EXPECT_EQ(FloatToStr(c.value, ','), comma);
    }
}

TEST(GeneralFloatText, FollowsTheProcessSeparator) {
    TDecimalSeparatorScope comma(u',');
    EXPECT_EQ(FloatToStr(1.5), QStringLiteral("1,5"));
    {
        TDecimalSeparatorScope dot(u'.');
        EXPECT_EQ(FloatToStr(1.5), QStringLiteral("1.5"));
    }
    EXPECT_EQ(DecimalSeparator(), u',');
}

TEST(TextToFloat, AcceptsDecimalNumbersOnly) {
    const struct {
        const char* text;
        char16_t sep;
        bool ok;
        double value;
    } cases[] = {
        {"1.5", u'.', true, 1.5},     {"1,5", u',', true, 1.5},   {"1,5", u'.', false, 0},
        {" -2.25E-3 ", u'.', true, -2.25e-3}, {"+7", u'.', true, 7}, {".5", u'.', true, 0.5},
        {"5.", u'.', true, 5},        {"1e5", u'.', true, 1e5},   {"abc", u'.', false, 0},
        {"", u'.', false, 0},         {"1.2.3", u'.', false, 0},  {"NAN", u'.', false, 0},
        {"1e", u'.', false, 0},       {"-", u'.', false, 0},      {"1 2", u'.', false, 0},
    };
    for (const auto& c : cases) {
        double v = -99;
        EXPECT_EQ(TryTextToFloat(QString::fromLatin1(c.text), c.sep, v), c.ok) << c.text;
        if (c.ok) {
            EXPECT_DOUBLE_EQ(v, c.value) << c.text;
        }
    }
}

TEST(TextToFloat, RoundTripsTheGeneralText) {
    for (double v : {41192.4952388542, 1.5e-5, 1e20, -0.000123, 6.02214076e23}) {
        double back = 0;
        ASSERT_TRUE(TryTextToFloat(FloatToStrDot(v), u'.', back));
        EXPECT_DOUBLE_EQ(back, v);
    }
}

// Reference: the value rounded to 15 significant digits by printf, then spelled as the
// general format spells it.
static std::string ReferenceGeneral(double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.15g", v);
    std::string s(buf);
    const auto e = s.find('e');
    if (e == std::string::npos)
        return s;
    std::string mantissa = s.substr(0, e);
    const int exp = std::stoi(s.substr(e + 1));
    return mantissa + "E" + std::to_string(exp);
}

TEST(GeneralFloatText, AgreesWithPrintfRoundingOnRandomValues) {
    std::mt19937_64 rng(12345);
    std::uniform_real_distribution<double> mantissa(-10, 10);
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (int i = 0; i < 200000; ++i) {
        double v = mantissa(rng) * std::pow(10.0, exponent(rng));
        if (i % 3 == 0)
            v = std::round(v * 1e4) / 1e4; // short decimals, as measured values often are
        if (v == 0)
            continue; // zero, also negative zero, is "0"
        ASSERT_EQ(FloatToStrDot(v).toStdString(), ReferenceGeneral(v)) << v;
    }
}
