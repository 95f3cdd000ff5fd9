#include "tavlo/actionvalues.h"

#include <QString>

#include <cmath>
#include <limits>

#include "tavlo/clock.h"
#include "tavlo/formatfloat.h"
#include "tavlo/log.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/variables.h"

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

// Evaluates at the measurement's MaxIndexAll; the message is logged.
double EvaluateLogged(const TMeasurementNode& node, const QString& expression,
                      const QString& logPrefix = QString()) {
    if (!node.Measurement)
        return NaN;
    const TEvaluationResult r =
        EvaluateExpressionAt(*node.Measurement, node.Measurement->MaxIndexAll(), expression);
    LogLine(logPrefix + r.Message);
    return r.Value;
}

// Rounds half to even into an int; false for NaN and values outside the int range.
bool RoundToInt(double value, int& result) {
    const double r = std::nearbyint(value);
    if (!(r >= static_cast<double>(std::numeric_limits<int>::min()) &&
          r <= static_cast<double>(std::numeric_limits<int>::max())))
        return false;
    result = static_cast<int>(r);
    return true;
}

double TieToLimit(double value, double limit) {
    return value > 0 ? std::min(value, limit) : std::max(value, -limit);
}

// The last non-NaN value of a field (1 or 2), or -1 when there is none.
double LastValue(const TMeasurementNode& node, int field) {
    const auto& points = node.Points();
    for (auto it = points.rbegin(); it != points.rend(); ++it) {
        const double v = field == 1 ? it->Value1 : it->Value2;
        if (!std::isnan(v))
            return v;
    }
    return -1;
}

bool LastSendFailed(const TMeasurementNode& node) {
    return node.DataCount() > 0 && node.Points().back().Value3 == -1;
}

void Furnace(TMeasurementNode& node) {
    node.AFTime = Now();
    const double v1 = EvaluateLogged(node, node.AF1Expression);
    const double v2 = EvaluateLogged(node, node.AF2Expression);
    int max1 = 0, max2 = 0, r1 = 0, r2 = 0;
    if (!RoundToInt(node.AF1Max, max1) || !RoundToInt(node.AF2Max, max2) ||
        !RoundToInt(v1, r1) || !RoundToInt(v2, r2)) {
        // Nothing sensible to send: the previous values stay and nothing is sent.
        node.AF3Value = 0;
        LogLine(QStringLiteral("Furnace setpoint or ramp rate of '%1' is not a number (%2, %3); "
                               "previous values kept, nothing sent")
                    .arg(node.Caption, FloatToStr(v1), FloatToStr(v2)));
        return;
    }
    node.AF1Value = std::min(max1, r1);
    node.AF2Value = std::min(max2, r2);
    node.AF3Value = 0;
    if (LastValue(node, 1) != node.AF1Value || LastValue(node, 2) != node.AF2Value)
        node.AF3Value = 1;
    if (LastSendFailed(node))
        node.AF3Value = 1;
    LogLine(QStringLiteral("Furnace Requires new setpoint: ") + FloatToStr(node.AF3Value));
}

void Gpib(TMeasurementNode& node) {
    node.SetAGTime(Now());
    node.AG1Value = TieToLimit(EvaluateLogged(node, node.AG1Expression), node.AG1Max);
    node.AG2Value = TieToLimit(EvaluateLogged(node, node.AG2Expression), node.AG2Max);
    node.AG3Value = TieToLimit(EvaluateLogged(node, node.AG3Expression), node.AG3Max);
    QString code = node.AGGPIBCode;
    code.replace(QLatin1String("$AG1"), FormatWithSeparator(node.AG1Format, node.AG1Value));
    code.replace(QLatin1String("$AG2"), FormatWithSeparator(node.AG2Format, node.AG2Value));
    code.replace(QLatin1String("$AG3"), FormatWithSeparator(node.AG3Format, node.AG3Value));
    node.AGGPIBEvaluated = code;
}

void Flow(TMeasurementNode& node) {
    node.AMTime = Now();
    const double v = EvaluateLogged(node, node.AM1Expression);
    node.AM1Value = static_cast<float>(std::isnan(v) ? v : std::min(v, node.AM1Max));
    node.AM3B = 0;
    if (LastValue(node, 1) != static_cast<double>(node.AM1Value))
        node.AM3B = 1;
    if (LastSendFailed(node))
        node.AM3B = 1;
    LogLine(FloatToStr(node.AM1Value));
}

} // namespace

void UtilityEvaluate(TMeasurementNode& node) {
    if (node.NodeType != QLatin1String("AU"))
        return;
    if (node.AUType == QLatin1String("Furnace"))
        Furnace(node);
    else if (node.AUType == QLatin1String("GPIB"))
        Gpib(node);
    else if (node.AUType == QLatin1String("Flow"))
        Flow(node);
    else if (node.AUType == QLatin1String("COM"))
        node.AUCOMValue = EvaluateLogged(node, node.AUCOMExpression);
}

void GPIBExpressionEvaluate(TMeasurementNode& node) {
    double value = NaN;
    if (node.Measurement) {
        const TEvaluationResult r = EvaluateExpressionAt(
            *node.Measurement, node.Measurement->MaxIndexAll(), node.AGPIB1Expression);
        if (!r.Success)
            LogLine(QStringLiteral("$GPIB1 expression ") + r.Message);
        value = r.Value;
    }
    if (std::isnan(value))
        value = 0;
    else
        value = TieToLimit(value, node.AGPIB1Bound);
    node.AGPIB1 = value;
    LogLine(QStringLiteral("$GPIB1 value tied to bounds: ") + FloatToStr(value));
    node.AGPIB1S = FloatToStrExponent(value, node.AGPIB1FormatA, node.AGPIB1FormatB,
                                      QChar(DecimalSeparator()));
}
