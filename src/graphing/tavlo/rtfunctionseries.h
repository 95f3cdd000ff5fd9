#pragma once

#include <stdexcept>

#include "tavlo/rtseries.h"

// A calculation that cannot run (no data vector).
class ERtCalculationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A curve computed from the data of its vectors over a calculation range and drawn over a
// display range.
class TRtFunctionSeries : public TRtLineSeries {
    Q_OBJECT
    Q_PROPERTY(bool AutoStart MEMBER AutoStart)
    Q_PROPERTY(bool AutoStop MEMBER AutoStop)
    Q_PROPERTY(double CalculationStart MEMBER CalculationStart)
    Q_PROPERTY(double CalculationStop MEMBER CalculationStop)
    Q_PROPERTY(bool DisplayAutoStart MEMBER DisplayAutoStart)
    Q_PROPERTY(bool DisplayAutoStop MEMBER DisplayAutoStop)
    Q_PROPERTY(double DisplayStart MEMBER DisplayStart)
    Q_PROPERTY(double DisplayStop MEMBER DisplayStop)
    Q_PROPERTY(bool CoupleCalculationAndDisplay MEMBER CoupleCalculationAndDisplay)
    Q_PROPERTY(bool ClipYValues MEMBER ClipYValues)

public:
    explicit TRtFunctionSeries(QObject* aOwner = nullptr);

    TRtCustomDoubleVector* Weight = nullptr;
    TRtValueTransformation WeightValueTransformation;
    bool AutoStart = true;
    bool AutoStop = true;
    double CalculationStart = 0;
    double CalculationStop = 0;
    bool DisplayAutoStart = true;
    bool DisplayAutoStop = true;
    double DisplayStart = 0;
    double DisplayStop = 0;
    bool CoupleCalculationAndDisplay = true;
    bool ClipYValues = false;

    // Logarithmic axes: the calculation uses lg(X) / lg(Y). A series without axes is linear.
    bool LogX = false;
    bool LogY = false;

    // Sets the limits and runs the calculation; throws ERtCalculationError without vectors.
    virtual void Calculate();
    virtual double GetY(double x) const = 0;
    virtual QString GetFormula() const = 0;

    // One point that takes part in the calculation (values after transformation and lg).
    struct TValidPoint {
        double X, Y, W;
    };
    // The points that take part: not outliers, X within the calculation range.
    std::vector<TValidPoint> ValidPoints() const;

protected:
    void SetLimits();
    virtual void RunCalculation() = 0;
};

// The least-squares line Y = a + mX of the data (or with a fixed offset a).
class TRtLinearRegression : public TRtFunctionSeries {
    Q_OBJECT
    Q_PROPERTY(bool FixedOffset MEMBER FixedOffset)
    Q_PROPERTY(double Offset MEMBER Offset)

public:
    Q_INVOKABLE explicit TRtLinearRegression(QObject* aOwner = nullptr);

    bool FixedOffset = false;
    double Offset = 0;
    // Results.
    double Slope = 0;
    double DeltaSlope = 0;
    double DeltaOffset = 0;
    double AverageX = 0;
    double AverageY = 0;
    double VarianceX = 0;
    double VarianceY = 0;
    double Probability = 0;
    double Correlation = 0;
    double SumOfResiduals = 0;

    double GetY(double x) const override;
    QString GetFormula() const override;

protected:
    void RunCalculation() override;
};
