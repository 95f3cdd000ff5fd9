#include "tavlo/rtfunctionseries.h"

#include <cfloat>
#include <cmath>

#include "tavlo/rtvector.h"

TRtFunctionSeries::TRtFunctionSeries(QObject* aOwner) : TRtLineSeries(aOwner) {}

void TRtFunctionSeries::SetLimits() {
    const TRtCustomDoubleVector* x = XData();
    const double smallest = OutliersVisible ? x->GetMinimumInclOutliers() : x->GetMinimum();
    const double largest = OutliersVisible ? x->GetMaximumInclOutliers() : x->GetMaximum();
    if (AutoStart)
        CalculationStart = smallest;
    if (AutoStop)
        CalculationStop = largest;
    if (CoupleCalculationAndDisplay) {
        DisplayStart = CalculationStart;
        DisplayStop = CalculationStop;
    } else {
        if (DisplayAutoStart)
            DisplayStart = smallest;
        if (DisplayAutoStop)
            DisplayStop = largest;
    }
}

void TRtFunctionSeries::Calculate() {
    if (!XData())
        throw ERtCalculationError("No X vector defined for calculation");
    if (!YData())
        throw ERtCalculationError("No Y vector defined for calculation");
    SetLimits();
    RunCalculation();
    FPointsModified = false;
}

std::vector<TRtFunctionSeries::TValidPoint> TRtFunctionSeries::ValidPoints() const {
    std::vector<TValidPoint> points;
    const TRtCustomDoubleVector* x = XData();
    const TRtCustomDoubleVector* y = YData();
    if (!x || !y)
        return points;
    int n = std::min(x->Count(), y->Count());
    if (Weight)
        n = std::min(n, Weight->Count());
    points.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        // With OutliersVisible the marks are ignored; the calculation range still applies.
        if (!OutliersVisible &&
            (x->IsOutlier(i) || y->IsOutlier(i) || (Weight && Weight->IsOutlier(i))))
            continue;
        const double rawX = x->GetValue(i);
        if (!(rawX >= CalculationStart && rawX <= CalculationStop))
            continue; // a NaN X never lies in the range
        double px = TransformedX(i);
        double py = TransformedY(i);
        double w = 1;
        if (Weight) {
            w = Weight->GetValue(i);
            if (WeightValueTransformation)
                w = WeightValueTransformation(w, i);
            w = std::fabs(w);
        }
        if (LogX)
            px = std::log10(px);
        if (LogY)
            py = std::log10(py);
        points.push_back({px, py, w});
    }
    return points;
}

TRtLinearRegression::TRtLinearRegression(QObject* aOwner) : TRtFunctionSeries(aOwner) {}

double TRtLinearRegression::GetY(double x) const {
    const double y = Slope * (LogX ? std::log10(x) : x) + Offset;
    return LogY ? std::pow(10.0, y) : y;
}

QString TRtLinearRegression::GetFormula() const {
    return QString::fromLatin1(LogY ? "lg(Y)=a+b(" : "Y=a+b(") +
           QString::fromLatin1(LogX ? "lg(X))" : "X)");
}

namespace {
// The quotient when it is a finite number; false where the platform would raise.
bool Divide(double numerator, double denominator, double& result) {
    if (denominator == 0 || std::isnan(numerator) || std::isnan(denominator))
        return false;
    result = numerator / denominator;
    return std::isfinite(result);
}

bool Root(double value, double& result) {
    if (!(value >= 0))
        return false;
    result = std::sqrt(value);
    return true;
}
} // namespace

void TRtLinearRegression::RunCalculation() {
    if (Count() <= 1)
        return;
    Slope = DeltaOffset = AverageX = AverageY = VarianceX = VarianceY = 0;
    Probability = Correlation = SumOfResiduals = 0;
    DeltaSlope = -DBL_MAX;
    DeltaOffset = DBL_MAX;
    if (!FixedOffset)
        Offset = 0;

    const std::vector<TValidPoint> points = ValidPoints();
    double W = 0, sx = 0, sy = 0;
    for (const TValidPoint& p : points) {
        W += p.W;
        sx += p.W * p.X;
        sy += p.W * p.Y;
    }
    if (!Divide(sx, W, AverageX) || !Divide(sy, W, AverageY))
        return; // no weight: nothing to average
    const double xm = AverageX;
    const double ym = AverageY;
    double Sxx = 0, Syy = 0, Sxy = 0;
    for (const TValidPoint& p : points) {
        Sxx += p.W * (p.X - xm) * (p.X - xm);
        Syy += p.W * (p.Y - ym) * (p.Y - ym);
        Sxy += p.W * (p.X - xm) * p.Y;
    }

    if (FixedOffset) {
        const double a = Offset;
        double sxyA = 0, sxx0 = 0;
        for (const TValidPoint& p : points) {
            sxyA += p.W * (p.Y - a) * p.X;
            sxx0 += p.W * p.X * p.X;
        }
        DeltaOffset = 0;
        bool ok = Divide(sxyA, sxx0, Slope);
        if (ok) {
            SumOfResiduals = 0;
            for (const TValidPoint& p : points) {
                const double r = p.Y - Slope * p.X - a;
                SumOfResiduals += p.W * r * r;
            }
            double q = 0, r = 0;
            ok = Divide(SumOfResiduals, (W - 1) * sxx0, q) && Root(q, DeltaSlope) &&
                 Divide(SumOfResiduals, Syy, r) && Divide(Sxx, W - 1, VarianceX) &&
                 Divide(Syy, W - 1, VarianceY);
            Probability = 1 - r;
        }
        if (!ok) {
            SumOfResiduals = 0;
            DeltaSlope = 0;
            Probability = 1;
        }
        return;
    }

    if (points.size() < 2)
        return;
    if (W > 1) {
        VarianceX = Sxx / (W - 1);
        VarianceY = Syy / (W - 1);
    }
    if (Sxx > 0) {
        Slope = Sxy / Sxx;
        Offset = ym - Slope * xm;
        SumOfResiduals = 0;
        for (const TValidPoint& p : points) {
            const double r = p.Y - Slope * p.X - Offset;
            SumOfResiduals += p.W * r * r;
        }
        double rootX = 0, rootY = 0, corr = 0, q = 0;
        const bool ok = Root(VarianceX, rootX) && Root(VarianceY, rootY) &&
                        Divide(rootX * Slope, rootY, corr) && Divide(SumOfResiduals, Syy, q);
        if (ok) {
            Correlation = corr;
            Probability = 1 - q;
        } else {
            Slope = 0;
            Offset = ym;
            Correlation = 1;
            Probability = 1;
            SumOfResiduals = 0;
        }
    } else {
        Slope = DBL_MAX;
        Offset = DBL_MAX;
        Correlation = 1;
        Probability = 1;
        SumOfResiduals = 0;
    }
    double q1 = 0, q2 = 0, ds = 0, dof = 0;
    const bool ok = Divide(SumOfResiduals, (W - 2) * Sxx, q1) && Root(q1, ds) &&
                    Divide(1.0, W, q2) && Divide(xm * xm, Sxx, dof) &&
                    Root((q2 + dof) * SumOfResiduals / (W - 2), dof) && std::isfinite(dof);
    if (ok) {
        DeltaSlope = ds;
        DeltaOffset = dof;
    } else {
        DeltaSlope = 0;
        DeltaOffset = 0;
        SumOfResiduals = 0;
    }
}
