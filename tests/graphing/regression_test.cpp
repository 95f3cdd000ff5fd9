#include <gtest/gtest.h>

#include <cfloat>
#include <memory>

#include "tavlo/rtfunctionseries.h"
#include "tavlo/rtvector.h"

namespace {
struct TFixture {
    TRtDoubleVector X, Y, W;
    TRtLinearRegression R;
    TFixture(std::vector<double> xs, std::vector<double> ys) {
        X.AddRange(xs);
        Y.AddRange(ys);
        R.SetXData(&X);
        R.SetYData(&Y);
    }
};
} // namespace

TEST(LinearRegression, ExactLine) {
    TFixture f({0, 1, 2}, {1, 3, 5});
    f.R.Calculate();
    EXPECT_DOUBLE_EQ(f.R.Slope, 2);
    EXPECT_DOUBLE_EQ(f.R.Offset, 1);
    EXPECT_DOUBLE_EQ(f.R.SumOfResiduals, 0);
    EXPECT_DOUBLE_EQ(f.R.Probability, 1);
    EXPECT_DOUBLE_EQ(f.R.Correlation, 1);
    EXPECT_DOUBLE_EQ(f.R.DeltaSlope, 0);
    EXPECT_DOUBLE_EQ(f.R.AverageX, 1);
    EXPECT_DOUBLE_EQ(f.R.AverageY, 3);
    EXPECT_DOUBLE_EQ(f.R.VarianceX, 1);
    EXPECT_DOUBLE_EQ(f.R.VarianceY, 4);
    EXPECT_DOUBLE_EQ(f.R.GetY(10), 21);
    EXPECT_EQ(f.R.GetFormula(), "Y=a+b(X)");
    EXPECT_EQ(f.R.CalculationStart, 0);
    EXPECT_EQ(f.R.CalculationStop, 2);
    EXPECT_EQ(f.R.DisplayStop, 2);
}

TEST(LinearRegression, ScatteredPointsMatchTheTextbookFormulas) {
    // x = 1..5, y = 2.1 3.9 6.2 7.8 10.1: slope 1.99, offset 0.05.
    TFixture f({1, 2, 3, 4, 5}, {2.1, 3.9, 6.2, 7.8, 10.1});
    f.R.Calculate();
    EXPECT_NEAR(f.R.Slope, 1.99, 1e-12);
    EXPECT_NEAR(f.R.Offset, 0.05, 1e-12);
    // residuals: 0.06 -0.13 0.18 -0.21 0.10
    const double sor = 0.0036 + 0.0169 + 0.0324 + 0.0441 + 0.01;
    EXPECT_NEAR(f.R.SumOfResiduals, sor, 1e-12);
    EXPECT_NEAR(f.R.DeltaSlope, std::sqrt(sor / (3 * 10)), 1e-12);
    EXPECT_NEAR(f.R.DeltaOffset, std::sqrt((0.2 + 9.0 / 10) * sor / 3), 1e-12);
    const double syy = 39.708; // sum (y - 6.02)^2
    EXPECT_NEAR(f.R.Probability, 1 - sor / syy, 1e-12);
    EXPECT_NEAR(f.R.Correlation, std::sqrt(2.5) * 1.99 / std::sqrt(syy / 4), 1e-12);
}

TEST(LinearRegression, DegenerateData) {
    {
        TFixture two({1, 2}, {1, 3});
        two.R.Calculate();
        EXPECT_DOUBLE_EQ(two.R.Slope, 2);
        EXPECT_EQ(two.R.DeltaSlope, 0); // W - 2 = 0
        EXPECT_EQ(two.R.DeltaOffset, 0);
    }
    {
        TFixture sameX({3, 3, 3}, {1, 2, 3});
        sameX.R.Calculate();
        EXPECT_EQ(sameX.R.Slope, DBL_MAX);
        EXPECT_EQ(sameX.R.Offset, DBL_MAX);
        EXPECT_EQ(sameX.R.Correlation, 1);
        EXPECT_EQ(sameX.R.Probability, 1);
        EXPECT_EQ(sameX.R.SumOfResiduals, 0);
    }
    {
        TFixture flatY({1, 2, 3}, {4, 4, 4}); // Syy = 0: the division fails
        flatY.R.Calculate();
        EXPECT_EQ(flatY.R.Slope, 0);
        EXPECT_EQ(flatY.R.Offset, 4);
        EXPECT_EQ(flatY.R.Correlation, 1);
        EXPECT_EQ(flatY.R.Probability, 1);
    }
    {
        // One point inside the calculation range.
        TFixture one({1, 2, 3}, {5, 6, 7});
        one.R.AutoStart = one.R.AutoStop = false;
        one.R.CalculationStart = 1.5;
        one.R.CalculationStop = 2.5;
        one.R.Calculate();
        EXPECT_EQ(one.R.AverageX, 2);
        EXPECT_EQ(one.R.AverageY, 6);
        EXPECT_EQ(one.R.Slope, 0);
        EXPECT_EQ(one.R.DeltaSlope, -DBL_MAX);
    }
}

TEST(LinearRegression, WeightsCountByTheirMagnitude) {
    TFixture a({0, 1, 2}, {1, 2, 6});
    a.W.AddRange({-3, 1, 1});
    a.R.Weight = &a.W;
    a.R.Calculate();
    TFixture b({0, 1, 2}, {1, 2, 6});
    b.W.AddRange({3, 1, 1});
    b.R.Weight = &b.W;
    b.R.Calculate();
    EXPECT_DOUBLE_EQ(a.R.Slope, b.R.Slope);
    EXPECT_DOUBLE_EQ(a.R.Offset, b.R.Offset);
    TFixture plain({0, 1, 2}, {1, 2, 6});
    plain.R.Calculate();
    EXPECT_NE(plain.R.Slope, a.R.Slope); // the weights do matter
}

TEST(LinearRegression, FixedOffset) {
    TFixture f({1, 2}, {3, 5});
    f.R.FixedOffset = true;
    f.R.Offset = 1;
    f.R.Calculate();
    EXPECT_DOUBLE_EQ(f.R.Slope, 2);
    EXPECT_EQ(f.R.Offset, 1);
    EXPECT_EQ(f.R.DeltaOffset, 0);
    EXPECT_EQ(f.R.Correlation, 0);
    EXPECT_DOUBLE_EQ(f.R.SumOfResiduals, 0);
}

TEST(LinearRegression, OutliersAndRangeLimitThePoints) {
    TFixture f({0, 1, 2, 3, 4}, {1, 3, 100, 7, 9});
    f.Y.AddOutlier(2);
    f.R.Calculate();
    EXPECT_DOUBLE_EQ(f.R.Slope, 2);
    EXPECT_DOUBLE_EQ(f.R.Offset, 1);
    // The last two points only.
    f.Y.ClearOutlieres();
    f.R.AutoStart = false;
    f.R.CalculationStart = 3;
    f.R.Calculate();
    EXPECT_DOUBLE_EQ(f.R.Slope, 2);
    EXPECT_DOUBLE_EQ(f.R.Offset, 1);
}

TEST(LinearRegression, NeedsBothVectors) {
    TRtLinearRegression r;
    try {
        r.Calculate();
        ADD_FAILURE();
    } catch (const ERtCalculationError& e) {
        EXPECT_STREQ(e.what(), "No X vector defined for calculation");
    }
    TRtDoubleVector x;
    r.SetXData(&x);
    EXPECT_THROW(r.Calculate(), ERtCalculationError);
}
