#include "tavlosim/simkeithley2000.h"

#include <QRegularExpression>

#include <cmath>

namespace {
// Canonical function names from the long and short SCPI forms.
QString CanonicalFunction(QString name) {
    name = name.trimmed().toUpper();
    name.remove(u'"');
    name.remove(u'\'');
    static const QRegularExpression voltage(QStringLiteral("^VOLT(AGE)?(:DC)?$"));
    static const QRegularExpression voltageAc(QStringLiteral("^VOLT(AGE)?:AC$"));
    static const QRegularExpression current(QStringLiteral("^CURR(ENT)?(:DC)?$"));
    static const QRegularExpression currentAc(QStringLiteral("^CURR(ENT)?:AC$"));
    static const QRegularExpression res(QStringLiteral("^RES(ISTANCE)?$"));
    static const QRegularExpression fres(QStringLiteral("^FRES(ISTANCE)?$"));
    if (voltage.match(name).hasMatch())
        return QStringLiteral("VOLT:DC");
    if (voltageAc.match(name).hasMatch())
        return QStringLiteral("VOLT:AC");
    if (current.match(name).hasMatch())
        return QStringLiteral("CURR:DC");
    if (currentAc.match(name).hasMatch())
        return QStringLiteral("CURR:AC");
    if (res.match(name).hasMatch())
        return QStringLiteral("RES");
    if (fres.match(name).hasMatch())
        return QStringLiteral("FRES");
    return {};
}

QByteArray ReadingText(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%+.8E", value);
    return QByteArray(buf);
}
} // namespace

QString TSimKeithley2000::Describe() const {
    return QStringLiteral("Keithley 2000 multimeter (") + QString::fromLatin1(Identification) +
           QStringLiteral("), resistor ") + QString::number(Resistance) + QStringLiteral(" ohm");
}

void TSimKeithley2000::Clear() { TSimScpiInstrument::Clear(); }

bool TSimKeithley2000::SetFunction(const QString& name) {
    const QString f = CanonicalFunction(name);
    if (f.isEmpty())
        return false;
    Function = f;
    return true;
}

double TSimKeithley2000::Measure() {
    double value = 0;
    if (Function == QStringLiteral("RES"))
        value = Resistance + LeadResistance;
    else if (Function == QStringLiteral("FRES"))
        value = Resistance;
    else if (Function == QStringLiteral("CURR:DC") || Function == QStringLiteral("CURR:AC"))
        value = Current;
    else
        value = Voltage;
    std::normal_distribution<double> noise(0.0, std::fabs(value) * RelativeNoise);
    LastReading = value + noise(Random);
    return LastReading;
}

bool TSimKeithley2000::Command(const QString& raw) {
    QString command = raw;
    if (command.startsWith(u':'))
        command.remove(0, 1);
    const QString upper = command.toUpper();
    static const QRegularExpression func(
        QStringLiteral("^(SENS(E)?:)?FUNC(TION)?\\s+(.+)$"));
    static const QRegularExpression measure(
        QStringLiteral("^(MEAS(URE)?|CONF(IGURE)?)(:([A-Z:]+))?\\?$"));
    if (upper == QStringLiteral("*IDN?")) {
        Output(Identification);
    } else if (upper == QStringLiteral("*CLS")) {
        ClearStatus();
    } else if (upper == QStringLiteral("*RST")) {
        Function = QStringLiteral("VOLT:DC");
    } else if (upper == QStringLiteral("*OPC?")) {
        Output("1");
    } else if (upper == QStringLiteral("*STB?")) {
        Output(QByteArray::number(StatusByte()));
    } else if (upper == QStringLiteral("SYST:ERR?") || upper == QStringLiteral("SYSTEM:ERROR?")) {
        Output(PopError().toLatin1());
    } else if (upper == QStringLiteral("FUNC?") || upper == QStringLiteral("SENS:FUNC?")) {
        Output('"' + Function.toLatin1() + '"');
    } else if (const auto m = func.match(upper); m.hasMatch()) {
        return SetFunction(m.captured(4));
    } else if (const auto m = measure.match(upper); m.hasMatch()) {
        if (!m.captured(5).isEmpty() && !SetFunction(m.captured(5)))
            return false;
        if (m.captured(1).startsWith(u'C')) {
            Output('"' + Function.toLatin1() + '"');
            return true;
        }
        Output(ReadingText(Measure()), MeasureMs);
    } else if (upper == QStringLiteral("READ?")) {
        Output(ReadingText(Measure()), MeasureMs);
    } else if (upper == QStringLiteral("FETC?") || upper == QStringLiteral("FETCH?")) {
        Output(ReadingText(LastReading));
    } else if (upper.startsWith(QStringLiteral("INIT")) || upper.startsWith(QStringLiteral("ROUT")) ||
               upper.startsWith(QStringLiteral("TRIG")) || upper.startsWith(QStringLiteral("SYST:BEEP")) ||
               upper.startsWith(QStringLiteral("FORM"))) {
        // accepted, no effect on the simulation
    } else {
        return false;
    }
    return true;
}
