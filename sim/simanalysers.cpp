#include "tavlosim/simanalysers.h"

#include <QRegularExpression>

#include <cmath>
#include <cstdio>
#include <numbers>

namespace {
QByteArray Fmt(const char* format, double value) {
    char buf[48];
    std::snprintf(buf, sizeof buf, format, value);
    return QByteArray(buf);
}

// The number after a command's letters: "VA +1.0E-01", "GFR=1000", "OL0.100EN", "FR1.0000EN".
bool Argument(const QString& command, const QString& head, double& value) {
    QString rest = command.mid(head.size()).trimmed();
    if (rest.startsWith(u'='))
        rest.remove(0, 1);
    if (rest.endsWith(QLatin1String("EN")))
        rest.chop(2);
    bool ok = false;
    value = rest.trimmed().toDouble(&ok);
    return ok;
}
} // namespace

std::complex<double> TSimRcSample::Impedance(double frequency) const {
    const double omega = 2 * std::numbers::pi * frequency;
    const std::complex<double> parallel =
        ParallelResistance / std::complex<double>(1.0, omega * ParallelResistance * Capacitance);
    return SeriesResistance + parallel;
}

// ---- TSimImpedanceAnalyser ----

void TSimImpedanceAnalyser::StartMeasurement() {
    ++Measurements;
    double ms = MeasureMs;
    if (Frequency > 0)
        ms = std::max(ms, std::min(MaxPeriodMs, 1000.0 / Frequency));
    ReadyAt = SimNowMs() + ms;
    Measuring = true;
}

bool TSimImpedanceAnalyser::MeasurementReady() const {
    return Measuring && !NeverReady && SimNowMs() >= ReadyAt;
}

std::complex<double> TSimImpedanceAnalyser::Measured() {
    const std::complex<double> z = Sample.Impedance(Frequency);
    if (std::abs(z) > MaxImpedance)
        return {9.9e37, 9.9e37};
    std::normal_distribution<double> noise(0.0, RelativeNoise);
    return {z.real() * (1 + noise(Random)), z.imag() * (1 + noise(Random))};
}

bool TSimImpedanceAnalyser::Number(const QString& text, double& value) {
    bool ok = false;
    value = text.trimmed().toDouble(&ok);
    return ok;
}

// ---- Hioki 3522-50 ----

QString TSimHioki3522::Describe() const {
    return QStringLiteral("Hioki 3522-50 LCR meter (") + QLatin1String(Identification) +
           QStringLiteral("), RC sample");
}

bool TSimHioki3522::Command(const QString& raw) {
    QString c = raw.toUpper();
    if (c.startsWith(u':'))
        c.remove(0, 1);
    double v = 0;
    if (c == QLatin1String("*IDN?")) {
        Output(Identification);
    } else if (c == QLatin1String("*CLS")) {
        ClearStatus();
    } else if (c == QLatin1String("*RST")) {
        Frequency = 1000;
        Amplitude = 1;
        ConstantCurrent = false;
        Measuring = false;
    } else if (c == QLatin1String("LEV CV")) {
        ConstantCurrent = false;
    } else if (c == QLatin1String("LEV CC")) {
        ConstantCurrent = true;
    } else if (c.startsWith(QLatin1String("LEV:CVOLT")) || c.startsWith(QLatin1String("LEV:CCURR"))) {
        if (!Argument(c, c.left(9), v))
            return false;
        Amplitude = v;
    } else if (c.startsWith(QLatin1String("FREQ "))) {
        if (!Argument(c, QStringLiteral("FREQ"), v) || v < 0.001 || v > 100000)
            return false;
        Frequency = v;
    } else if (c == QLatin1String("*TRG")) {
        StartMeasurement();
    } else if (c == QLatin1String("MEAS?")) {
        if (NeverReady)
            return true;
        const std::complex<double> z = Measured();
        Output(Fmt("%.5E", z.real()) + ',' + Fmt("%.5E", z.imag()),
               Measuring ? std::max(0.0, ReadyAt - SimNowMs()) : 0);
        Measuring = false;
    } else if (c.startsWith(QLatin1String("PAR")) || c.startsWith(QLatin1String("MEAS:ITEM")) ||
               c.startsWith(QLatin1String("HEAD")) || c.startsWith(QLatin1String("RANG")) ||
               c.startsWith(QLatin1String("TRIG")) || c.startsWith(QLatin1String("*SRE")) ||
               c.startsWith(QLatin1String("*ESE"))) {
        // accepted
    } else {
        return false;
    }
    return true;
}

// ---- Solartron 1260 ----

QString TSimSolartron1260::Describe() const {
    return QStringLiteral("Solartron 1260 impedance analyser (") + QLatin1String(Identification) +
           QStringLiteral("), RC sample");
}

uint8_t TSimSolartron1260::StatusByte() {
    uint8_t status = TSimScpiInstrument::StatusByte();
    if (status & 0x10)
        status |= 0x02 | 0x40; // result available, service request
    return status;
}

bool TSimSolartron1260::Command(const QString& raw) {
    const QString c = raw.toUpper().trimmed();
    double v = 0;
    if (c == QLatin1String("*IDN?")) {
        Output(Identification);
    } else if (c == QLatin1String("*CLS")) {
        ClearStatus();
    } else if (c.startsWith(QLatin1String("VA"))) {
        if (!Argument(c, QStringLiteral("VA"), v) || v < 0 || v > 3)
            return false;
        Amplitude = v;
    } else if (c.startsWith(QLatin1String("FR"))) {
        if (!Argument(c, QStringLiteral("FR"), v) || v < 1e-5 || v > 3.2e7)
            return false;
        Frequency = v;
    } else if (c.startsWith(QLatin1String("VB"))) {
        if (!Argument(c, QStringLiteral("VB"), v))
            return false;
        Bias = v;
        BiasOn = v != 0;
    } else if (c == QLatin1String("SI")) {
        StartMeasurement();
        if (!NeverReady) {
            const std::complex<double> z = Measured();
            Output(Fmt("%+.7E", Frequency) + ',' + Fmt("%+.7E", z.real()) + ',' +
                       Fmt("%+.7E", z.imag()),
                   ReadyAt - SimNowMs());
        }
    } else if (c == QLatin1String("BK") || c == QLatin1String("RM") || c == QLatin1String("FC") ||
               c == QLatin1String("CE") || c.startsWith(QLatin1String("TT")) ||
               c.startsWith(QLatin1String("BP")) || c.startsWith(QLatin1String("*ESE")) ||
               c.startsWith(QLatin1String("*SRE")) || c.startsWith(QLatin1String("SO")) ||
               c.startsWith(QLatin1String("CZ")) || c.startsWith(QLatin1String("OP")) ||
               c.startsWith(QLatin1String("GT"))) {
        // accepted
    } else {
        return false;
    }
    return true;
}

// ---- Novocontrol Alpha ----

QString TSimNovocontrolAlpha::Describe() const {
    return QStringLiteral("Novocontrol Alpha analyser (") + QLatin1String(Identification) +
           QStringLiteral("), RC sample");
}

uint8_t TSimNovocontrolAlpha::StatusByte() {
    uint8_t status = TSimScpiInstrument::StatusByte();
    if (MeasurementReady())
        status |= 0x01;
    return status;
}

bool TSimNovocontrolAlpha::Command(const QString& raw) {
    const QString c = raw.toUpper().trimmed();
    double v = 0;
    if (c == QLatin1String("*IDN?")) {
        Output(Identification);
    } else if (c.startsWith(QLatin1String("ACV="))) {
        if (!Argument(c, QStringLiteral("ACV"), v) || v < 0 || v > 3)
            return false;
        Amplitude = v;
    } else if (c.startsWith(QLatin1String("GFR="))) {
        if (!Argument(c, QStringLiteral("GFR"), v) || v < 0 || v > 4e7)
            return false;
        if (v > 0)
            Frequency = v;
    } else if (c.startsWith(QLatin1String("DCE="))) {
        BiasOn = c.endsWith(u'1');
    } else if (c.startsWith(QLatin1String("DCV="))) {
        if (!Argument(c, QStringLiteral("DCV"), v))
            return false;
        Bias = v;
    } else if (c == QLatin1String("MST")) {
        StartMeasurement();
    } else if (c == QLatin1String("ZRE?")) {
        const std::complex<double> z = Measured();
        Output("ZRE=" + Fmt("%.6E", z.real()) + ',' + Fmt("%.6E", z.imag()) + ',' +
               Fmt("%.6E", Frequency) + ',' + QByteArray::number(ResultState));
        Measuring = false;
    } else if (c == QLatin1String("MBK") || c.startsWith(QLatin1String("MODE=")) ||
               c.startsWith(QLatin1String("FRS=")) || c.startsWith(QLatin1String("DEC="))) {
        // accepted
    } else {
        return false;
    }
    return true;
}

// ---- HP 4192A ----

QString TSimHP4192A::Describe() const {
    return QStringLiteral("HP 4192A LF impedance analyser (no *IDN?), RC sample");
}

uint8_t TSimHP4192A::StatusByte() {
    return (TSimScpiInstrument::StatusByte() & 0x10) ? 0x41 : 0x00;
}

bool TSimHP4192A::Command(const QString& raw) {
    const QString c = raw.toUpper().trimmed();
    double v = 0;
    if (c.startsWith(QLatin1String("OL"))) {
        if (!Argument(c, QStringLiteral("OL"), v) || v < 0 || v > 1.1)
            return false;
        Amplitude = v;
    } else if (c.startsWith(QLatin1String("FR"))) {
        if (!Argument(c, QStringLiteral("FR"), v) || v < 0.005 || v > 13000)
            return false;
        Frequency = v * 1000;
    } else if (c == QLatin1String("C3")) {
        Parallel = true;
    } else if (c == QLatin1String("C1") || c == QLatin1String("C2")) {
        Parallel = false;
    } else if (c == QLatin1String("EX")) {
        StartMeasurement();
        if (NeverReady)
            return true;
        const std::complex<double> z = Measured();
        QByteArray a, b;
        if (FixedDisplay) {
            a = "NR" + Fmt("%+.4E", FixedDisplay->first);
            b = "NX" + Fmt("%+.4E", FixedDisplay->second);
        } else if (Parallel) {
            const std::complex<double> y = 1.0 / z;
            a = "NG" + Fmt("%+.4E", y.real());
            b = "NB" + Fmt("%+.4E", y.imag());
        } else {
            a = "NR" + Fmt("%+.4E", z.real());
            b = "NX" + Fmt("%+.4E", z.imag());
        }
        Output(a + ',' + b + ",K" + Fmt("%+010.3f", Frequency / 1000), ReadyAt - SimNowMs());
    } else if (c == QLatin1String("FFR") || c.startsWith(u'T') || c.startsWith(u'A') ||
               c.startsWith(u'F') || c.startsWith(u'D') || c.startsWith(u'B')) {
        // accepted: display, trigger and data format settings
    } else {
        return false;
    }
    return true;
}

// ---- Solartron 1287 ----

QString TSimSolartron1287::Describe() const {
    return QStringLiteral("Solartron 1287 electrochemical interface (no *IDN?), cell ") +
           QString::number(CellResistance) + QStringLiteral(" ohm");
}

uint8_t TSimSolartron1287::StatusByte() {
    uint8_t status = TSimScpiInstrument::StatusByte();
    if (status & 0x10)
        status |= 0x80;
    return status;
}

bool TSimSolartron1287::Command(const QString& raw) {
    const QString c = raw.toUpper().trimmed();
    if (c == QLatin1String("RU1")) {
        StartMeasurement();
        if (NeverReady)
            return true;
        std::normal_distribution<double> noise(0.0, RelativeNoise);
        const double v = CellPotential * (1 + noise(Random));
        const double i = CellPotential / CellResistance * (1 + noise(Random));
        Output(Fmt("%+.5E", v) + ',' + Fmt("%+.5E", i), ReadyAt - SimNowMs());
        return true;
    }
    static const QRegularExpression setting(QStringLiteral("^[A-Z]{2}[0-9]+$"));
    if (c == QLatin1String("CE") || setting.match(c).hasMatch())
        return true;
    return false;
}
