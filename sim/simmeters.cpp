#include "tavlosim/simmeters.h"

#include <QRegularExpression>

#include <cmath>
#include <cstdio>

namespace {
constexpr double Overflow = 9.9e37;

QByteArray Fmt(const char* format, double value) {
    char buf[48];
    std::snprintf(buf, sizeof buf, format, value);
    return QByteArray(buf);
}

// Canonical sense function from the texts the instruments take.
QString CanonicalFunction(QString name) {
    name = name.trimmed().toUpper();
    name.remove(u'"');
    name.remove(u'\'');
    const qsizetype comma = name.indexOf(u',');
    if (comma >= 0)
        name = name.left(comma).trimmed();
    const qsizetype blank = name.indexOf(u' ');
    if (blank >= 0)
        name = name.left(blank);
    if (name.startsWith(QLatin1String("FRES")))
        return QStringLiteral("FRES");
    if (name.startsWith(QLatin1String("RES")))
        return QStringLiteral("RES");
    if (name.startsWith(QLatin1String("VOLT")))
        return QStringLiteral("VOLT");
    if (name.startsWith(QLatin1String("CURR")))
        return QStringLiteral("CURR");
    return {};
}
} // namespace

TSimScpiMeter::TSimScpiMeter(TModel model) : Model(model) {
    switch (model) {
    case HP4339B:
    case Keithley6514:
    case KeysightB2985B:
        MaxResistance = 1.0e16;
        break;
    case Keithley2400:
    case Keithley6430:
        MaxResistance = 2.1e8;
        break;
    default:
        break;
    }
    Random.seed(1000 + static_cast<unsigned>(model));
}

const char* TSimScpiMeter::IdentificationOf(TModel model) {
    switch (model) {
    case HP34970A: return "HEWLETT-PACKARD,34970A,0,13-2-2";
    case HP34420A: return "HEWLETT-PACKARD,34420A,0,2.0-3.0-1.0";
    case HP34401A: return "HEWLETT-PACKARD,34401A,0,11-5-2";
    case AgilentE3642A: return "Agilent Technologies,E3642A,0,1.4-5.0-1.0";
    case HP3458A: return "HP3458A";
    case HP4339B: return "HEWLETT-PACKARD,4339B,0,01.00";
    case Keithley2200_20_5: return "Keithley instruments, 2200-20-5, 9201234, 1.10-1.04";
    case Keithley2200_30_5: return "Keithley instruments, 2200-30-5, 9201235, 1.10-1.04";
    case Keithley2400: return "KEITHLEY INSTRUMENTS INC.,MODEL 2400,1234567,C30   Mar 17 2006 09:29:29/A02  /K/J";
    case Keithley6430: return "KEITHLEY INSTRUMENTS INC.,MODEL 6430,1234568,C25   Aug 20 2004 10:31:11/A02  /D/B";
    case Keithley6514: return "KEITHLEY INSTRUMENTS INC.,MODEL 6514,1234569,A13  /W";
    case KeithleyDMM6500: return "KEITHLEY INSTRUMENTS,MODEL DMM6500,04412345,1.7.5b";
    case KeysightB2985B: return "Keysight Technologies,B2985B,MY54321012,5.1.2020.1121";
    }
    return "";
}

QString TSimScpiMeter::Describe() const {
    return QString::fromLatin1(IdentificationOf(Model)) + QStringLiteral(", resistor ") +
           QString::number(Resistance) + QStringLiteral(" ohm");
}

uint8_t TSimScpiMeter::StatusByte() {
    uint8_t status = TSimScpiInstrument::StatusByte();
    // These models announce a reading with bit 7 (operation status / data ready).
    if ((Model == HP3458A || Model == HP4339B) && (status & 0x10))
        status |= 0x80;
    return status;
}

void TSimScpiMeter::Clear() {
    TSimScpiInstrument::Clear();
    Pending.clear();
}

bool TSimScpiMeter::SetFunction(const QString& text) {
    const QString f = CanonicalFunction(text);
    if (f.isEmpty())
        return false;
    Function = f;
    return true;
}

double TSimScpiMeter::Measure(const QString& function) {
    const bool supply = Model == AgilentE3642A || Model == Keithley2200_20_5 ||
                        Model == Keithley2200_30_5;
    double value = 0;
    bool overflow = false;
    if (function == QLatin1String("RES") || function == QLatin1String("FRES")) {
        value = Resistance + (function == QLatin1String("RES") ? LeadResistance : 0);
        overflow = Resistance > MaxResistance;
    } else if (function == QLatin1String("VOLT")) {
        if (supply)
            value = OutputOn ? SourceVoltage : 0;
        else if (OutputOn && SourceIsCurrent)
            value = SourceCurrent * Resistance + SampleVoltage;
        else if (OutputOn)
            value = SourceVoltage;
        else
            value = SampleVoltage;
    } else {
        if ((supply || !SourceIsCurrent) && OutputOn && Resistance > 0)
            value = SourceVoltage / Resistance;
        else if (OutputOn && SourceIsCurrent)
            value = SourceCurrent;
        else
            value = SampleCurrent;
    }
    if (overflow)
        return Overflow;
    std::normal_distribution<double> noise(0.0, std::fabs(value) * RelativeNoise);
    LastReading = value + noise(Random);
    return LastReading;
}

QByteArray TSimScpiMeter::Reply(const QString& function) {
    switch (Model) {
    case HP4339B: {
        const double r = Measure(QStringLiteral("FRES"));
        return Fmt("%+.5E", SourceVoltage) + ',' + Fmt("%+.5E", r) + ",+0";
    }
    case Keithley2400:
    case Keithley6430: {
        const double v = Measure(QStringLiteral("VOLT"));
        const double i = Measure(QStringLiteral("CURR"));
        const double r = function == QLatin1String("RES") || function == QLatin1String("FRES")
                             ? Measure(QStringLiteral("FRES"))
                             : Overflow;
        const QStringList all = {QStringLiteral("VOLT"), QStringLiteral("CURR"),
                                 QStringLiteral("RES"), QStringLiteral("TIME"),
                                 QStringLiteral("STAT")};
        QByteArrayList fields;
        for (const QString& e : Elements.isEmpty() ? all : Elements) {
            if (e == QLatin1String("VOLT"))
                fields.append(Fmt("%+.6E", v));
            else if (e == QLatin1String("CURR"))
                fields.append(Fmt("%+.6E", i));
            else if (e == QLatin1String("RES"))
                fields.append(Fmt("%+.6E", r));
            else if (e == QLatin1String("TIME"))
                fields.append(Fmt("%+.6E", SimNowMs() / 1000.0));
            else
                fields.append(Fmt("%+.6E", 8.0));
        }
        return fields.join(',');
    }
    case KeysightB2985B: {
        if (function == QLatin1String("RES"))
            return Fmt("%+.6E", Measure(QStringLiteral("FRES")));
        return Fmt("%+.6E", Measure(QStringLiteral("VOLT"))) + ',' +
               Fmt("%+.6E", Measure(QStringLiteral("CURR"))) + ',' + Fmt("%+.6E", SourceVoltage);
    }
    case Keithley6514: {
        const QByteArray reading = Fmt("%+.6E", Measure(function));
        if (ReadingOnly)
            return reading;
        return reading + ',' + Fmt("%+.6E", SimNowMs() / 1000.0) + ',' + Fmt("%+.6E", 0.0);
    }
    default:
        return Fmt("%+.8E", Measure(function));
    }
}

bool TSimScpiMeter::Command(const QString& raw) {
    QString upper = raw.toUpper();
    if (upper.startsWith(u':'))
        upper.remove(0, 1);
    static const QRegularExpression senseFunc(
        QStringLiteral("^(SENS(E)?:)?FUNC(TION)?\\s+(.+)$"));
    static const QRegularExpression configure(QStringLiteral("^CONF(IGURE)?:([A-Z:]+)"));
    static const QRegularExpression source(
        QStringLiteral("^SOUR(CE)?:(VOLT|CURR)(:LEV(EL)?)?\\s+([-+0-9.E]+)$"));
    static const QRegularExpression sourceFunc(
        QStringLiteral("^SOUR(CE)?[: ]FUNC(:MODE)?\\s+(VOLT|CURR)"));
    static const QRegularExpression output(QStringLiteral("^OUTP(UT)?(:STAT(E)?)?\\s+(ON|OFF|1|0)$"));
    static const QRegularExpression elements(QStringLiteral("^FORM(AT)?:ELEM(ENTS)?\\s+(.+)$"));
    static const QRegularExpression measure(QStringLiteral("^MEAS(URE)?(:([A-Z]+)(:DC)?)?\\?$"));

    if (upper == QLatin1String("*IDN?")) {
        Output(IdentificationOf(Model));
    } else if (upper == QLatin1String("*CLS")) {
        ClearStatus();
    } else if (upper == QLatin1String("*RST")) {
        Function = QStringLiteral("VOLT");
        SourceVoltage = SourceCurrent = 0;
        SourceIsCurrent = false;
        OutputOn = false;
        ReadingOnly = false;
        Elements.clear();
        Pending.clear();
    } else if (upper == QLatin1String("*OPC?")) {
        Output("1");
    } else if (upper == QLatin1String("SYST:ERR?") || upper == QLatin1String("ERR?")) {
        const QString e = PopError();
        Output(Model == HP3458A ? e.section(u',', 0, 0).toLatin1() : e.toLatin1());
    } else if (const auto m = senseFunc.match(upper); m.hasMatch()) {
        return SetFunction(m.captured(4));
    } else if (const auto m = configure.match(upper); m.hasMatch()) {
        return SetFunction(m.captured(2));
    } else if (Model == HP3458A && (upper == QLatin1String("DCV") || upper == QLatin1String("DCI") ||
                                    upper == QLatin1String("OHM") || upper == QLatin1String("OHMF"))) {
        Function = upper == QLatin1String("DCV")   ? QStringLiteral("VOLT")
                   : upper == QLatin1String("DCI") ? QStringLiteral("CURR")
                   : upper == QLatin1String("OHM") ? QStringLiteral("RES")
                                                    : QStringLiteral("FRES");
    } else if (const auto m = sourceFunc.match(upper); m.hasMatch()) {
        SourceIsCurrent = m.captured(3) == QLatin1String("CURR");
    } else if (const auto m = source.match(upper); m.hasMatch()) {
        bool ok = false;
        const double v = m.captured(5).toDouble(&ok);
        if (!ok)
            return false;
        (m.captured(2) == QLatin1String("VOLT") ? SourceVoltage : SourceCurrent) = v;
    } else if (const auto m = output.match(upper); m.hasMatch()) {
        OutputOn = m.captured(4) == QLatin1String("ON") || m.captured(4) == QLatin1String("1");
    } else if (const auto m = elements.match(upper); m.hasMatch()) {
        const QString list = m.captured(3).remove(u'"').remove(u' ');
        ReadingOnly = list == QLatin1String("READ");
        Elements = ReadingOnly ? QStringList() : list.split(u',', Qt::SkipEmptyParts);
        for (QString& e : Elements)
            e = e.left(4);
    } else if (const auto m = measure.match(upper); m.hasMatch()) {
        QString function = Function;
        if (!m.captured(3).isEmpty() && !(function = CanonicalFunction(m.captured(3))).size())
            return false;
        Output(Reply(function), MeasureMs);
    } else if (upper == QLatin1String("READ?")) {
        Output(Reply(Function), MeasureMs);
    } else if (upper == QLatin1String("INIT") || upper == QLatin1String("INIT:IMM")) {
        if (Model != HP4339B) {
            Pending = Reply(Function);
            PendingReadyAt = SimNowMs() + MeasureMs;
        }
    } else if (upper == QLatin1String("FETC?") || upper == QLatin1String("FETCH?")) {
        if (Pending.isEmpty())
            Pending = Fmt("%+.8E", LastReading);
        Output(Pending, std::max(0.0, PendingReadyAt - SimNowMs()));
        Pending.clear();
    } else if ((upper == QLatin1String("*TRG") && Model == HP4339B) ||
               (upper == QLatin1String("TRIG") && Model == HP3458A)) {
        Output(Reply(Function), MeasureMs);
    } else {
        static const char* const accepted[] = {
            "SYST", "ROUT", "TRIG", "ARM", "STAT", "ABOR", "SENS", "SOUR", "OUTP", "INP",
            "FORM", "CALC", "DISP", "VOLT", "CURR", "RES", "FRES", "*SRE", "*ESE", "*TRG",
            "*WAI", "INIT"};
        for (const char* prefix : accepted)
            if (upper.startsWith(QLatin1String(prefix)))
                return true;
        return false;
    }
    return true;
}
