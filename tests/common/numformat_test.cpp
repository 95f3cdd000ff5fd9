#include <gtest/gtest.h>

#include <cmath>
#include <limits>

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
