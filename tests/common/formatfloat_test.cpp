#include <gtest/gtest.h>

#include <cmath>

#include "tavlo/formatfloat.h"

TEST(FormatFloat, Pictures) {
    const struct {
        const char* picture;
        double value;
        const char* text;
    } cases[] = {
        {"0.00", 3.14159, "3.14"},   {"0.00", -3.14159, "-3.14"}, {"0", 2.5, "3"},
        {"#.##", 0.5, ".5"},         {"0.###", 1.5, "1.5"},       {"000.0", 7.25, "007.3"},
        {"0.0E+00", 815.6, "8.2E+02"}, {"0.00E-0", 0.00123, "1.23E-3"}, {"0.0E+00", 0, "0.0E+00"},
        {"'V='0.0' V'", 1.25, "V=1.3 V"}, {"0.0;(0.0)", -2, "(2.0)"}, {"0.0;;'zero'", 0, "zero"},
        {"0.00", -0.001, "0.00"},    {"", 1.5, "1.5"},            {"0.0", NAN, "NAN"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatFloat(QString::fromLatin1(c.picture), c.value), QString::fromLatin1(c.text))
            << c.picture << " " << c.value;
}

TEST(FormatFloat, WithSeparatorFromTheRule) {
    EXPECT_EQ(FormatWithSeparator("0,000", 1.5), "1,500");
    EXPECT_EQ(FormatWithSeparator("0.000", 1.5), "1.500");
    EXPECT_EQ(FormatWithSeparator("0,0E+00", 1234), "1,2E+03");
}

TEST(FormatFloat, ExponentText) {
    EXPECT_EQ(FloatToStrExponent(150, 6, 2, u'.'), "1.50000E+02");
    EXPECT_EQ(FloatToStrExponent(-0.000123, 3, 1, u','), "-1,23E-4");
    EXPECT_EQ(FloatToStrExponent(1e100, 2, 2, u'.'), "1.0E+100");
    EXPECT_EQ(FloatToStrExponent(0, 4, 0, u'.'), "0.000E+0");
}
