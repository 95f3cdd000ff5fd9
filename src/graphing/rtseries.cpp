#include "tavlo/rtseries.h"

#include <algorithm>
#include <cmath>

#include "tavlo/rtfunctionseries.h"
#include "tavlo/rtgraph.h"
#include "tavlo/rtvector.h"

TRtSeries::TRtSeries(QObject* aOwner) : QObject(aOwner) {}

TRtSeries::~TRtSeries() = default;

void TRtSeries::SetXExpression(const QString& value) {
    if (value == FXExpression)
        return;
    FXExpression = value;
    ExpressionsTested = false;
    ExpressionsValid = false;
    ExpressionsChanged = true;
}

void TRtSeries::SetYExpression(const QString& value) {
    if (value == FYExpression)
        return;
    FYExpression = value;
    ExpressionsTested = false;
    ExpressionsValid = false;
    ExpressionsChanged = true;
}

TRtGraph2D* TRtSeries::Graph() const { return qobject_cast<TRtGraph2D*>(parent()); }

void TRtSeries::VectorChanged(TRtCustomDoubleVector*) { FPointsModified = true; }

void TRtSeries::VectorCleared(TRtCustomDoubleVector*) { FPointsModified = true; }

void TRtSeries::VectorDestroyed(TRtCustomDoubleVector*) { FPointsModified = true; }

TRtLineSeries::TRtLineSeries(QObject* aOwner)
    : TRtSeries(aOwner), Line(new TRtLineSettings(this)), Area(new TRtAreaSettings(this)) {}

TRtLineSeries::~TRtLineSeries() {
    if (FXData)
        FXData->DetachSeries(this);
    if (FYData)
        FYData->DetachSeries(this);
}

void TRtLineSeries::SetXData(TRtCustomDoubleVector* vector) {
    if (FXData == vector)
        return;
    if (FXData && FXData != FYData)
        FXData->DetachSeries(this);
    FXData = vector;
    if (FXData)
        FXData->AttachSeries(this);
    FPointsModified = true;
}

void TRtLineSeries::SetYData(TRtCustomDoubleVector* vector) {
    if (FYData == vector)
        return;
    if (FYData && FYData != FXData)
        FYData->DetachSeries(this);
    FYData = vector;
    if (FYData)
        FYData->AttachSeries(this);
    FPointsModified = true;
}

int TRtLineSeries::Count() const {
    if (!FXData || !FYData)
        return 0;
    return std::min(FXData->Count(), FYData->Count());
}

double TRtLineSeries::TransformedX(int index) const {
    const double v = FXData ? FXData->GetValue(index) : std::nan("");
    return XValueTransformation ? XValueTransformation(v, index) : v;
}

double TRtLineSeries::TransformedY(int index) const {
    const double v = FYData ? FYData->GetValue(index) : std::nan("");
    return YValueTransformation ? YValueTransformation(v, index) : v;
}

void TRtLineSeries::VectorDestroyed(TRtCustomDoubleVector* vector) {
    if (FXData == vector)
        FXData = nullptr;
    if (FYData == vector)
        FYData = nullptr;
    TRtSeries::VectorDestroyed(vector);
}

TRtPointSeries::TRtPointSeries(QObject* aOwner)
    : TRtLineSeries(aOwner), PointSymbol(new TRtPointSymbolSettings(this)) {}

int TRtPointSeries::GetSweepNode() const {
    static const char* const quantities[] = {".RS", ".X",  ".F",  ".P",  ".Z",  ".Y", ".G",
                                             ".B",  ".RP", ".LS", ".LP", ".CS", ".CP"};
    for (const QString& expression : {XExpression().toUpper(), YExpression().toUpper()}) {
        for (const char* q : quantities) {
            const qsizetype dot = expression.indexOf(QLatin1String(q));
            if (dot < 0)
                continue;
            // The four characters from two before the dot, digits only ("$N12.F" -> 12).
            const QString four = expression.mid(std::max<qsizetype>(0, dot - 2), 4);
            QString digits;
            for (QChar c : four)
                if (c.isDigit())
                    digits += c;
            return digits.toInt();
        }
    }
    return 0;
}

TRtLinearRegression* TRtPointSeries::Regression() const {
    const QString name = objectName() + u'R';
    for (QObject* child : children())
        if (auto* regression = qobject_cast<TRtLinearRegression*>(child))
            if (regression->objectName() == name)
                return regression;
    return nullptr;
}
