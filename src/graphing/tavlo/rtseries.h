#pragma once

#include <QObject>
#include <QString>

#include <functional>

#include "tavlo/rtstyles.h"

class TRtAxis;
class TRtCustomDoubleVector;
class TRtGraph2D;
class TRtLinearRegression;

// Transforms a value of a series before it is used (value, index -> value).
using TRtValueTransformation = std::function<double(double value, int index)>;

// A series joins an X and a Y data vector. The measurement fields (expressions, regression
// range, expression variable) tell the measurement how to fill it.
class TRtSeries : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Visible MEMBER Visible)
    Q_PROPERTY(QString Caption MEMBER Caption)
    Q_PROPERTY(bool IncludeInLegend MEMBER IncludeInLegend)
    Q_PROPERTY(QString XExpression READ XExpression WRITE SetXExpression)
    Q_PROPERTY(QString YExpression READ YExpression WRITE SetYExpression)
    Q_PROPERTY(int CoefRange MEMBER CoefRange)
    Q_PROPERTY(bool CoefExtrapolate MEMBER CoefExtrapolate)
    Q_PROPERTY(QString ExpressionVariable MEMBER ExpressionVariable)

public:
    explicit TRtSeries(QObject* aOwner = nullptr);
    ~TRtSeries() override;

    bool Visible = true;
    QString Caption;
    bool IncludeInLegend = true;
    TRtSeries* MergeLegendItemWith = nullptr;
    int CoefRange = 0;
    bool CoefExtrapolate = false;
    QString ExpressionVariable;

    // Not stored.
    bool ExpressionsTested = false;
    bool ExpressionsValid = false;
    bool ExpressionsChanged = false;

    QString XExpression() const { return FXExpression; }
    QString YExpression() const { return FYExpression; }
    // A different text marks the expressions untested, invalid and changed.
    void SetXExpression(const QString& value);
    void SetYExpression(const QString& value);

    // The graph that owns the series, if any.
    TRtGraph2D* Graph() const;
    // The number of points (0 for a series without data).
    virtual int Count() const { return 0; }

    // Notifications from the data vectors.
    virtual void VectorChanged(TRtCustomDoubleVector* vector);
    virtual void VectorCleared(TRtCustomDoubleVector* vector);
    virtual void VectorDestroyed(TRtCustomDoubleVector* vector);
    // Values were added or changed since the series last looked.
    bool PointsModified() const { return FPointsModified; }
    void ClearPointsModified() { FPointsModified = false; }

protected:
    bool FPointsModified = false;

private:
    QString FXExpression;
    QString FYExpression;
};

// A series drawn as a polyline over two data vectors.
class TRtLineSeries : public TRtSeries {
    Q_OBJECT
    Q_PROPERTY(bool AutoUpdate MEMBER AutoUpdate)
    Q_PROPERTY(bool OutliersVisible MEMBER OutliersVisible)

public:
    Q_INVOKABLE explicit TRtLineSeries(QObject* aOwner = nullptr);
    ~TRtLineSeries() override;

    bool AutoUpdate = true;
    bool OutliersVisible = false;
    TRtAxis* XAxis = nullptr;
    TRtAxis* YAxis = nullptr;
    TRtLineSeries* DrawBandTo = nullptr;
    TRtLineSettings* const Line;  // visible, red
    TRtAreaSettings* const Area;  // invisible
    TRtValueTransformation XValueTransformation;
    TRtValueTransformation YValueTransformation;

    TRtCustomDoubleVector* XData() const { return FXData; }
    TRtCustomDoubleVector* YData() const { return FYData; }
    void SetXData(TRtCustomDoubleVector* vector);
    void SetYData(TRtCustomDoubleVector* vector);

    // The smaller of the two vectors' counts.
    int Count() const override;
    // The value of a point after the series' transformation.
    double TransformedX(int index) const;
    double TransformedY(int index) const;

    void VectorDestroyed(TRtCustomDoubleVector* vector) override;

private:
    TRtCustomDoubleVector* FXData = nullptr;
    TRtCustomDoubleVector* FYData = nullptr;
};

// A line series with point symbols; the measurement fills these.
class TRtPointSeries : public TRtLineSeries {
    Q_OBJECT
public:
    Q_INVOKABLE explicit TRtPointSeries(QObject* aOwner = nullptr);

    TRtPointSymbolSettings* const PointSymbol; // symbols visible

    // The number k of the node "Nk" whose sweep quantities the X (else Y) expression uses;
    // 0 when none.
    int GetSweepNode() const;
    // The series' own regression line (the owned component named as the series + "R").
    TRtLinearRegression* Regression() const;
};
