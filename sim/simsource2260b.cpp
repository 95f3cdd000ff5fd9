#include "tavlosim/simsource2260b.h"

#include <QRegularExpression>

#include <algorithm>

QString TSimSource2260B::Describe() const {
    return QStringLiteral("Keithley 2260B-800-1 power supply, load %1 ohm").arg(LoadOhms);
}

double TSimSource2260B::OutputVoltage() const {
    if (!OutputOn)
        return 0;
    // Constant voltage until the current limit, then constant current.
    return std::min(VoltageSetpoint, CurrentLimit * LoadOhms);
}

double TSimSource2260B::OutputCurrent() const { return OutputVoltage() / LoadOhms; }

bool TSimSource2260B::Command(const QString& command) {
    const QString upper = command.toUpper();
    auto number = [](const QString& text, double& value) {
        bool ok = false;
        value = text.trimmed().toDouble(&ok);
        return ok;
    };
    if (upper == QLatin1String("*IDN?")) {
        Output("Keithley Instruments Inc., 2260B-800-1, 1448032, 01.04.20151001");
        return true;
    }
    if (upper == QLatin1String("*CLS") || upper == QLatin1String("*RST"))
        return true;
    if (upper == QLatin1String("MEAS:VOLT?") || upper == QLatin1String("MEASURE:VOLTAGE?")) {
        Output(QByteArray::number(OutputVoltage(), 'f', 3));
        return true;
    }
    if (upper == QLatin1String("MEAS:CURR?") || upper == QLatin1String("MEASURE:CURRENT?")) {
        Output(QByteArray::number(OutputCurrent(), 'f', 4));
        return true;
    }
    static const QRegularExpression set(QStringLiteral("^(SOUR(CE)?:)?(VOLT|CURR)(AGE|ENT)?\\s+(\\S+)$"));
    const QRegularExpressionMatch m = set.match(upper);
    if (m.hasMatch()) {
        double v = 0;
        if (!number(m.captured(5), v))
            return false;
        (m.captured(3) == QLatin1String("VOLT") ? VoltageSetpoint : CurrentLimit) = v;
        return true;
    }
    if (upper == QLatin1String("OUTP ON") || upper == QLatin1String("OUTP 1")) {
        OutputOn = true;
        return true;
    }
    if (upper == QLatin1String("OUTP OFF") || upper == QLatin1String("OUTP 0")) {
        OutputOn = false;
        return true;
    }
    if (upper.startsWith(QLatin1String(":SYST:BEEP ")) || upper.startsWith(QLatin1String(":SYSTEM:BEEPER "))) {
        ++Beeps;
        return true;
    }
    if (upper == QLatin1String(":SYSTEM:COFIGURE:BEEPER OFF")) {
        BeeperOn = false;
        return true;
    }
    if (upper == QLatin1String("SYSTEM:KLOCK OFF")) {
        KeysLocked = false;
        return true;
    }
    return false;
}
