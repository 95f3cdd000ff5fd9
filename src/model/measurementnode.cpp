#include "tavlo/measurementnode.h"

#include <cmath>
#include <limits>

#include "tavlo/clock.h"
#include "tavlo/componenttext.h"
#include "tavlo/datastring.h"
#include "tavlo/numformat.h"
#include "tavlo/userinteraction.h"

namespace {
constexpr double RadToDeg = 57.29577951308232;
constexpr double TwoPi = 6.283185307179586;
const double NaN = std::numeric_limits<double>::quiet_NaN();
} // namespace

TMeasurementNode::TMeasurementNode(QObject* aOwner) : QObject(aOwner) {}

TMeasurementNode::~TMeasurementNode() = default;

void TMeasurementNode::SetDataCount(int count) {
    if (count >= 0)
        FData.resize(static_cast<size_t>(count));
}

TMeasurementResult TMeasurementNode::GetData(int aIndex, const TMeasurementResult& previous) const {
    if (FData.empty() && aIndex <= 0)
        return TMeasurementResult{};
    if (aIndex >= 0 && aIndex < DataCount())
        return FData[static_cast<size_t>(aIndex)];
    return previous;
}

void TMeasurementNode::SetData(int aIndex, const TMeasurementResult& aValue) {
    if (aIndex < 0 || aIndex >= DataCount()) {
        UserInteraction().ShowMessage(QStringLiteral("Set fData, out of index:") +
                                      QString::number(aIndex));
        return;
    }
    FData[static_cast<size_t>(aIndex)] = aValue;
}

void TMeasurementNode::AddData(double aTime, double aValue1, double aValue2, double aValue3) {
    FData.push_back({aTime, aValue1, aValue2, aValue3});
}

void TMeasurementNode::ClearData() { FData.clear(); }

void TMeasurementNode::DataSize(int aNewSize) {
    if (aNewSize < 0)
        return;
    const size_t old = FData.size();
    FData.resize(static_cast<size_t>(aNewSize));
    if (static_cast<size_t>(aNewSize) > old) {
        const double now = Now();
        for (size_t i = old; i < FData.size(); ++i)
            if (FData[i].Time == 0)
                FData[i].Time = now;
    }
}

QString TMeasurementNode::DataString() const {
    return FormatDataString(FData, static_cast<char>(DecimalSeparator()));
}

void TMeasurementNode::SetDataString(const QString& text) {
    FData = ParseDataString(text, DecimalSeparator());
}

QString TMeasurementNode::AsText() const {
    // One pass over the component text: '*', '"' and '\'' become their escapes.
    static const QString escapes[3] = {QStringLiteral("#\u00A4%&%\u00A4#_001"),
                                       QStringLiteral("#\u00A4%&%\u00A4#_002"),
                                       QStringLiteral("#\u00A4%&%\u00A4#_003")};
    const QByteArray bytes = ComponentToBytes(this);
    QString text;
    text.reserve(bytes.size() + bytes.size() / 8);
    qsizetype start = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const char c = bytes.at(i);
        const int e = c == '*' ? 0 : c == '"' ? 1 : c == '\'' ? 2 : -1;
        if (e < 0)
            continue;
        text.append(QLatin1String(bytes.constData() + start, i - start));
        text.append(escapes[e]);
        start = i + 1;
    }
    text.append(QLatin1String(bytes.constData() + start, bytes.size() - start));
    return text;
}

QString TMeasurementNode::DataFieldCaption(int aField, const QString& aNodeType,
                                           const QString& aAUType) {
    if (aField < 1 || aField > 3)
        return QString();
    struct TRow {
        const char* Type;
        const char* AU;
        const char* V[3];
    };
    static const TRow rows[] = {
        {"OX", nullptr, {"pO2", "", ""}},
        {"P1", nullptr, {"Voltage", "Current", ""}},
        {"IC", nullptr, {"Resistance", "Reactance", "Frequency"}},
        {"IS", nullptr, {"Resistance", "Reactance", "Frequency"}},
        {"M2", nullptr, {"Resistance", "", ""}},
        {"M4", nullptr, {"Resistance", "", ""}},
        {"MV", nullptr, {"Voltage", "", ""}},
        {"MC", nullptr, {"Current", "Applied voltage", "V/I"}},
        {"ET", nullptr, {"ET/Temperature", "WSP/Working sp", "OP/Output Power %"}},
        {"FL", nullptr, {"FL/Flow", "FLS/Setpoint", ""}},
        {"GF", nullptr, {"GPIB Free1", "GPIB Free2", "GPIB Free3"}},
        {"AU", "", {"AU1", "AU2", "AU3"}},
        {"AU", "Furnace", {"AF1/Setpoint", "AF2/Ramprate", "AF3/Apply"}},
        {"AU", "GPIB", {"AG1", "AG2", "AG3"}},
        {"AU", "Flow", {"AM1/Setpoint", "", ""}},
        {"TI", nullptr, {"", "", ""}},
    };
    for (const TRow& row : rows) {
        if (aNodeType != QLatin1String(row.Type))
            continue;
        if (row.AU && aAUType != QLatin1String(row.AU))
            continue;
        return QString::fromLatin1(row.V[aField - 1]);
    }
    return QString();
}

double TMeasurementNode::MaxVal(int aFieldID) const {
    double result = std::numeric_limits<double>::lowest();
    if (aFieldID < 1 || aFieldID > 3)
        return result;
    for (const TMeasurementResult& p : FData) {
        const double v = aFieldID == 1 ? p.Value1 : aFieldID == 2 ? p.Value2 : p.Value3;
        if (v > result)
            result = v;
    }
    return result;
}

double TMeasurementNode::ElapsedDays(int aIndex) const {
    if (DataCount() < aIndex)
        return NaN;
    const TMeasurementResult first = GetData(0);
    const TMeasurementResult at = GetData(aIndex);
    if (!(first.Time > 0) || !(at.Time > 0))
        return NaN;
    return at.Time - first.Time;
}

double TMeasurementNode::TS(int aIndex) const {
    const double d = ElapsedDays(aIndex);
    return std::isnan(d) ? -1 : d * SecondsPerDay;
}

double TMeasurementNode::TM(int aIndex) const {
    const double d = ElapsedDays(aIndex);
    return std::isnan(d) ? -1 : d * MinutesPerDay;
}

double TMeasurementNode::TH(int aIndex) const {
    const double d = ElapsedDays(aIndex);
    return std::isnan(d) ? -1 : d * HoursPerDay;
}

double TMeasurementNode::TD(int aIndex) const {
    const double d = ElapsedDays(aIndex);
    return std::isnan(d) ? -1 : d;
}

double TMeasurementNode::GetFAM() const { return FAM == -1 ? -1 : (Now() - FAM) * 24 * 60; }

double TMeasurementNode::GetLAM() const { return LAM == -1 ? -1 : (Now() - LAM) * 24 * 60; }

TMeasurementImpResult TMeasurementNode::Imp(int aIndex,
                                            const TMeasurementImpResult& previous) const {
    TMeasurementImpResult r = previous;
    const TMeasurementResult point = GetData(aIndex);
    const double RS = point.Value1;
    const double X = point.Value2;
    const double F = point.Value3;
    if (RS == 0 || X == 0) {
        r.P = r.Z = r.Y = r.G = r.B = r.RP = r.LS = r.LP = r.CS = r.CP = NaN;
        return r;
    }
    const double theta = std::atan(X / RS);
    r.P = theta * RadToDeg;
    r.PA2 = std::atan2(X, RS) * RadToDeg;
    r.Z = std::sqrt(RS * RS + X * X);
    r.Y = 1 / r.Z;
    r.G = std::cos(-theta) * r.Y;
    r.B = std::sin(-theta) * r.Y;
    r.RP = 1 / r.G;
    const double omega = TwoPi * F;
    r.LS = X / omega;
    r.LP = -1 / (r.B * omega);
    r.CS = -1 / (X * omega);
    r.CP = r.B / omega;
    return r;
}
