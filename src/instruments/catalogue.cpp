#include "tavlo/catalogue.h"

#include "tavlo/ansi.h"
#include "tavlo/device.h"
#include "tavlo/log.h"
#include "tavlo/numformat.h"
#include "tavlo/serialport.h"

#include <chrono>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

namespace {
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

struct TCatalogueEntry {
    const char* Contains;
    const char* RoleText;
};

const TCatalogueEntry Catalogue[] = {
    {"HEWLETT-PACKARD,34970A", "Multimeter 34970A"},
    {"HEWLETT-PACKARD,34420A", "Multimeter 34420A"},
    {"HEWLETT-PACKARD,34401A", "Multimeter 34401A"},
    {"Agilent Technologies,E3642A", "Multimeter PowersupplyE3642A"},
    {"HP3458A", "Multimeter HP3458A"},
    {"HEWLETT-PACKARD,4339B", "Multimeter HP4339B"},
    {"HIOKI,3522,50", "Imp.Spectrometer Hioki_3522-50"},
    {"KEITHLEY INSTRUMENTS INC.,MODEL 2000", "Multimeter K2000"},
    {"2200-20-5", "Multimeter K2000-20-5"},
    {"2200-30-5", "Multimeter K2000-30-5"},
    {"MODEL 2400", "Multimeter K2400"},
    {"MODEL 2440", "Multimeter K2400"},
    {"KEITHLEY INSTRUMENTS INC.,MODEL 6430", "Multimeter K6430(MeasureOnly)"},
    {"KEITHLEY INSTRUMENTS INC.,MODEL 6514", "Multimeter K6514(Electrometer)"},
    {"KEITHLEY INSTRUMENTS,MODEL DMM6500", "Multimeter K6500"},
    {"Keysight Technologies,B2985B", "Multimeter KSB2985B(Electrometer)"},
    {"ALPHA Analyzer, Novocontrol", "Imp.Spectrometer NovocontrolAlphaAT"},
    {"1260 IMPEDANCE ANALYZER", "Imp.Spectrometer Solartron1260"},
};

QString FormatC(const char* format, double x) {
    char buf[64];
    std::snprintf(buf, sizeof buf, format, x);
    return QString::fromLatin1(buf);
}
} // namespace

QString IdentifyRole(const QString& answer) {
    const QString trimmed = answer.trimmed();
    QString role = QStringLiteral("U-role ") + trimmed.left(20).replace(u' ', u'_');
    for (const TCatalogueEntry& entry : Catalogue)
        if (trimmed.contains(QLatin1String(entry.Contains), Qt::CaseInsensitive))
            role = QLatin1String(entry.RoleText);
    return role;
}

QStringList KnownModelKeys() {
    return {QStringLiteral("Hioki_3522-50"),      QStringLiteral("34970A"),
            QStringLiteral("34420A"),             QStringLiteral("34401A"),
            QStringLiteral("K2000"),              QStringLiteral("K6500"),
            QStringLiteral("K2400"),              QStringLiteral("K6430(MeasureOnly)"),
            QStringLiteral("KSB2985B(Electrometer)"), QStringLiteral("Solartron1260"),
            QStringLiteral("Solartron1287"),      QStringLiteral("NovocontrolAlphaAT"),
            QStringLiteral("HP4192A"),            QStringLiteral("PowersupplyE3642A"),
            QStringLiteral("HP3458A"),            QStringLiteral("HP4339B")};
}

int ReadyMask(const QString& modelKey) {
    if (modelKey == QLatin1String("Solartron1260"))
        return 0x12;
    if (modelKey == QLatin1String("Solartron1287") || modelKey == QLatin1String("HP3458A") ||
        modelKey == QLatin1String("HP4339B"))
        return 0x80;
    if (modelKey == QLatin1String("NovocontrolAlphaAT"))
        return 0x01;
    if (modelKey == QLatin1String("HP4192A"))
        return 0x41;
    return 0x10;
}

bool IsResultReady(const QString& modelKey, const QString& spollReply) {
    bool ok = false;
    int status = spollReply.trimmed().toInt(&ok);
    if (!ok)
        status = 0;
    const int mask = ReadyMask(modelKey);
    return (status & mask) == mask;
}

bool IsResultReady(const QString& modelKey, const QByteArray& spollReply) {
    return IsResultReady(modelKey, QString::fromLatin1(spollReply));
}

TAnalyserLimits GetAnalyserLimits(const QString& modelKey) {
    if (modelKey == QLatin1String("mf-dev"))
        return {0, 2.1, 0, 5000000};
    if (modelKey == QLatin1String("Hioki_3522-50"))
        return {0.01, 5.0, 0.001, 100000};
    if (modelKey == QLatin1String("Solartron1260"))
        return {0, 3.0, 0.00001, 10000000};
    if (modelKey == QLatin1String("Solartron1260HF"))
        return {0, 1.0, 0.00001, 32000000};
    if (modelKey == QLatin1String("NovocontrolAlphaAT"))
        return {0.0001, 3.0, 3E-6, 4E7};
    if (modelKey == QLatin1String("HP4192A"))
        return {0.005, 1.1, 5, 1.3E7};
    return {};
}

QString FmtE(double x) { return FormatC("%.7E", x); }

QString FmtSignedE(double x) { return x > 0 ? u'+' + FmtE(x) : FmtE(x); }

QString NovocontrolNumber(double x) { return FloatToStr(x).replace(u',', u'.'); }

QString HP4192AVolts(double x) { return FormatC("%.3f", x + 0.0).replace(u',', u'.'); }

QString HP4192AKiloHertz(double x) { return FormatC("%.4f", x + 0.0).replace(u',', u'.'); }

double NewStrToFloat(const QString& text, QChar separator) {
    double value = 0;
    if (TryTextToFloat(text, separator.unicode(), value))
        return value;
    LogLine(QStringLiteral("NewStrToFloat convert error on:") + text);
    return 0;
}

// ---- Initialisation ----

QStringList InitializationLines(const QString& model) {
    if (model == QLatin1String("HP4339B"))
        return {"*RST", "#PAUSE 2000", "INIT:CONT OFF", "ABOR", "TRIG:SOUR BUS", "ARM:DEL 2 S",
                "FORM ASC", "STAT:OPER:ENAB 16", "*SRE 128", ":SOUR:VOLT:LEV 6", ":SYST:BEEP ",
                ":SYST:BEEP:STAT OFF"};
    if (model == QLatin1String("K6514(Electrometer)") ||
        model == QLatin1String("KSB2985B(Electrometer)"))
        return {"*RST"};
    if (model == QLatin1String("K6430(MeasureOnly)"))
        return {"*RST", ":SYST:BEEP:STAT OFF"};
    if (model == QLatin1String("K6500") || model == QLatin1String("K2000"))
        return {"*CLS"};
    if (model == QLatin1String("Hioki_3522-50"))
        return {"*RST", ":PAR1 G;:PAR2 B;:PAR3 RS;:PAR4 X", ":MEAS:ITEM 0,18", ":HEAD OFF",
                ":RANG:AUTO ON", ":TRIG EXT"};
    if (model == QLatin1String("Solartron1260"))
        return {"BK", "#PAUSE 1000", "RM", "*CLS", "#PAUSE 500", "TT 2", "#PAUSE 1000",
                "BP 0", "*ESE254", "*SRE18", "SO 1,3", "CZ 0", "OP 2,1"};
    if (model == QLatin1String("Solartron1287"))
        return {"BK4", "CE", "EB1", "SV0", "OT3", "RS0", "SE0", "GP2",
                "IC0", "RP0", "PC0", "PV0", "PX3", "PY5", "BY1"};
    if (model == QLatin1String("NovocontrolAlphaAT"))
        return {"MBK", "MODE=IMP", "FRS=4"};
    if (model == QLatin1String("34970A") || model == QLatin1String("34420A"))
        return {"*RST", "*SRE 16", "TRIG:SOUR IMM "};
    if (model == QLatin1String("34401A"))
        return {"*RST", "*CLS", "*SRE 0", "TRIG:SOUR IMM "};
    if (model == QLatin1String("HP4192A"))
        return {"++read eoi#WAIT", "FFR", "T3", "A2", "F1", "D1"};
    if (model == QLatin1String("PowersupplyE3642A"))
        return {"SYST:REM#WAIT", "*RST;*CLS"};
    // The three set-up commands of the 2200 supplies end in "\r" like every other line: an
    // unterminated line would stay in the adapter and be joined to the next line sent.
    if (model == QLatin1String("K2000-20-5"))
        return {"*RST", ":VOLT:PROT:STAT 0", ":SOUR:CURR:LEVEL 0", ":SOUR:VOLT:LEVEL 20"};
    if (model == QLatin1String("K2000-30-5"))
        return {"*RST", ":VOLT:PROT:STAT 0", ":SOUR:CURR:LEVEL 0", ":SOUR:VOLT:LEVEL 30"};
    if (model == QLatin1String("K2401") || model == QLatin1String("K2440"))
        return {"*RST", "#PAUSE 500", ":SYST:BEEP:STAT OFF"};
    return {};
}

void InitializeGPIBInstrument(const QString& port, int address, int eos, const QString& model) {
    TSerialPort serial;
    serial.SetPort(port);
    serial.SetDebug(true);
    TSerialResponse drained;
    serial.SetReadoutTimeoutMS(200);
    serial.Send2(QByteArray(), true, drained);
    serial.SetReadoutTimeoutMS(2000);
    serial.SetPrologixDefaults();
    {
        TSerialResponse r;
        serial.Send2(QByteArrayLiteral("++addr ") + QByteArray::number(address) + '\r', true, r);
    }
    {
        TSerialResponse r;
        serial.Send2(QByteArrayLiteral("++eos ") + QByteArray::number(eos) + '\r', false, r);
    }
    static const QString pause = QStringLiteral("#PAUSE ");
    static const QString wait = QStringLiteral("#WAIT");
    for (const QString& line : InitializationLines(model)) {
        if (line.startsWith(pause)) {
            SleepMs(line.mid(pause.size()).toInt());
            continue;
        }
        const bool waiting = line.endsWith(wait);
        const QString text = waiting ? line.left(line.size() - wait.size()) : line;
        TSerialResponse r;
        serial.Send2(ToWindows1252(text) + '\r', waiting, r);
    }
}

// ---- Default command texts ----

const QString DefaultCommandsHeader = QStringLiteral(
    "// This line is a comment line. Nothing after // on any line will get sent to the "
    "instrument.\r\n");

namespace {
struct TLine {
    QString Command; // empty for a comment-only line
    QString Comment; // without "//"
    bool Disabled = false; // a command shown as a comment: "//" + Comment
};
using TLines = std::vector<TLine>;

TLine L(const char* command, const char* comment = "") {
    return {QString::fromUtf8(command), QString::fromUtf8(comment), false};
}
TLine C(const char* comment) { return {QString(), QString::fromUtf8(comment), false}; }
// A command the user may enable by removing the "//" in front of it.
TLine D(const char* command) { return {QString(), QString::fromUtf8(command), true}; }

void Append(TLines& to, const TLines& lines) { to.insert(to.end(), lines.begin(), lines.end()); }

QString LineText(const TLine& line) {
    if (line.Command.isEmpty()) {
        if (line.Disabled)
            return QStringLiteral("//") + line.Comment;
        return line.Comment.isEmpty() ? QString() : QStringLiteral("// ") + line.Comment;
    }
    if (line.Comment.isEmpty())
        return line.Command;
    constexpr int column = 32;
    QString text = line.Command;
    text += QString(std::max<qsizetype>(2, column - text.size()), u' ');
    return text + QStringLiteral("// ") + line.Comment;
}

const char* const NotSupported = "This instrument does not support this measurement type";

// Kind 1: lines for every node type, lines per node type, closing lines.
TLines BeforeLines(const TDevice& device, const QString& nodeType) {
    const QString& m = device.IDString;
    const bool m2 = nodeType == QLatin1String("M2"), m4 = nodeType == QLatin1String("M4"),
               mv = nodeType == QLatin1String("MV"), mc = nodeType == QLatin1String("MC");
    TLines out;
    if (m == QLatin1String("mf-dev")) {
        const QString& p = device.ZNodePath;
        auto raw = [&](const QString& text) { out.push_back({text, QString()}); };
        out.push_back(C("Format: node path|<value type>|value|optional comments"));
        out.push_back(C("Supported data types Integer and Double, where Double type format is "
                        "123.456 or 1.23456E+2"));
        out.push_back(C("DC bias and AC signal are automatically handled according to user "
                        "defined values from IC and IS tab"));
        out.push_back({});
        raw(p + QStringLiteral("/IMPS/0/DEMOD/RATE|<Double>| 10                    | Readings per second Hz"));
        raw(p + QStringLiteral("/IMPS/0/DEMOD/SINC|<Integer>| 1                    | Demod sinc filter On=1 Off=0"));
        raw(p + QStringLiteral("/IMPS/0/AUTO/BW|<Integer>| 1                       | Automatic demod filter bandwidth control On=1 Off=0"));
        raw(p + QStringLiteral("/IMPS/0/MAXBANDWIDTH|<Double>| 1                   | Demod filter bandwidth Hz"));
        out.push_back({});
        out.push_back(C("Confidence indicators. Other flags and settings can be added to Tavlo on request"));
        raw(p + QStringLiteral("/IMPS/0/CONFIDENCE/OVERFLOW/ENABLE|<Integer>| 1    | Overflow detection On=1 Off=0"));
        raw(p + QStringLiteral("/IMPS/0/CONFIDENCE/UNDERFLOW/ENABLE|<Integer>| 1   | Underflow detection On=1 Off=0"));
        raw(p + QStringLiteral("/IMPS/0/CONFIDENCE/UNDERFLOW/Ratio|<Double>| 10000 | Underflow ratio"));
    } else if (m == QLatin1String("HP4339B")) {
        if (m2)
            out = {L("*CLS", "Clear status"),
                   L("ARM:DEL 1 S", "Delay between trigger and measurement"),
                   L("SOUR:VOLT:LEV 40", "Test voltage 40 V"),
                   L("SOUR:CURR:LIM 0.5 MA", "Current limit"),
                   L("SENSE:CURR:APER 0.03", "Integration time in seconds"),
                   L("SENSE:AVER:COUNT 5", "Readings averaged"),
                   L("SENSE:AVER ON", "Averaging on"),
                   L("INIT", "Arm the trigger system"),
                   L("*TRG", "Trigger one measurement")};
    } else if (m == QLatin1String("K2000")) {
        out.push_back(L("*CLS", "Clear status"));
        if (m2)
            out.push_back(L("FUNC 'RES'", "Two wire resistance"));
        if (m4)
            out.push_back(L("FUNC 'FRES'", "Four wire resistance"));
        if (mv)
            Append(out, {L("#SLEEP 1000", "Wait 1000 ms"), L("FUNC 'VOLT:DC'", "DC voltage")});
        if (mc)
            out.push_back(L("FUNC 'CURR:DC'", "DC current"));
        out.push_back(L(":MEAS?", "Measure and send the reading"));
        Append(out, {C("Example of a detailed set-up (remove // to use):"),
                     D(":SENS:FUNC 'VOLT:DC'"), D(":SENS:VOLT:DC:RANG 10"),
                     D(":SENS:VOLT:DC:NPLC 10"), D(":SENS:AVER:COUN 10"),
                     D(":SENS:AVER:TCON REP"), D(":SENS:AVER ON"), D(":READ?")});
    } else if (m == QLatin1String("K6500") || m == QLatin1String("DMM6500")) {
        out.push_back(L("*CLS", "Clear status"));
        if (m2)
            Append(out, {L(":SENS:FUNC \"RES\", (@1)", "Two wire resistance on channel 1"),
                         L(":ROUT:CLOSE (@1)", "Close channel 1"),
                         L(":READ?", "Measure and send the reading")});
        if (m4)
            Append(out, {L(":SENS:FUNC \"FRES\", (@1)", "Four wire resistance on channel 1"),
                         L(":SENS:FRES:OCOM OFF", "Offset compensation off"),
                         L(":ROUT:CLOSE (@1)", "Close channel 1"),
                         L(":READ?", "Measure and send the reading")});
        if (mv)
            Append(out, {L(":SENS:FUNC \"VOLT:DC\", (@1)", "DC voltage on channel 1"),
                         L(":ROUT:DEL 1, (@1)", "Channel delay 1 s"),
                         L(":ROUT:CLOSE (@1)", "Close channel 1"),
                         L(":READ?", "Measure and send the reading")});
        if (mc)
            Append(out, {L(":SENS:FUNC \"CURR:DC\"", "DC current (front terminals)"),
                         L(":READ?", "Measure and send the reading")});
    } else if (m == QLatin1String("2260B")) {
        out.push_back(L("*CLS", "Clear status"));
        if (m2 || m4)
            out.push_back(C("Not supported"));
        if (mv)
            out.push_back(L("MEAS:VOLT?", "Measure the output voltage"));
        if (mc)
            out.push_back(L("MEAS:CURR?", "Measure the output current"));
        Append(out, {C("The power supply answers at once; to wait before reading add:"),
                     C("#SLEEP 500")});
    } else if (m == QLatin1String("K6430(MeasureOnly)")) {
        out.push_back(L("*CLS", "Clear status"));
        if (m2 || m4)
            out.push_back(C(NotSupported));
        if (mv)
            Append(out, {L(":SOUR:FUNC CURR", "Source current"),
                         L(":SOUR:CURR:MODE FIXED", "Fixed current"),
                         L(":SENS:FUNC 'VOLT'", "Measure voltage"),
                         L(":SOUR:CURR:RANG MIN", "Lowest current range"),
                         L(":SOUR:CURR:LEV 0", "Source 0 A: measure only"),
                         L(":SENS:VOLT:PROT 25", "Voltage compliance 25 V"),
                         L("#SLEEP 1000", "Wait 1000 ms")});
        if (mc)
            Append(out, {L(":SOUR FUNC CURR", "Source function"),
                         L(":SOUR:VOLT:LEVel 0", "Source 0 V")});
        Append(out, {L(":OUTPut ON", "Output on"), L(":READ?", "Measure and send the reading")});
    } else if (m == QLatin1String("K6514(Electrometer)")) {
        Append(out, {L("*RST", "Reset"), L(":FORM:ELEM READ", "Send the reading only")});
        if (m2)
            Append(out, {L(":SYST:ZCH ON", "Zero check on"),
                         L(":SENS:FUNC 'RES'", "Resistance"),
                         L(":SENS:VOLT:GUAR OFF", "Guard off"),
                         L(":SYST:ZCH OFF", "Zero check off"),
                         L(":SENS:RES:NPLC 10", "Integration 10 power line cycles")});
        if (m4 || mc)
            out.push_back(C(NotSupported));
        if (mv)
            Append(out, {L(":SYST:ZCH ON", "Zero check on"),
                         L(":SENS:FUNC 'VOLT'", "Voltage"),
                         L(":SENS:VOLT:GUAR OFF", "Guard off"),
                         L(":SYST:ZCOR OFF", "Zero correction off"),
                         L(":SYST:ZCH OFF", "Zero check off"),
                         L(":SENS:VOLT:NPLC 10", "Integration 10 power line cycles"),
                         L("#SLEEP 1000", "Wait 1000 ms")});
        out.push_back(L(":READ?", "Measure and send the reading"));
    } else if (m == QLatin1String("KSB2985B(Electrometer)")) {
        Append(out, {C("Keysight B2985B electrometer with its voltage source"),
                     C("MC: the source voltage is the node's $GPIB1 value")});
        if (m2)
            Append(out, {L(":SOUR:FUNC:MODE VOLT", "Source voltage"),
                         L(":SOUR:VOLT 1", "Source 1 V"),
                         L(":SENS:FUNC \"RES\"", "Measure resistance"),
                         L(":SENS:RES:RANG:AUTO ON", "Auto range"),
                         L(":SENS:RES:VSEL VME", "Voltage from the measured value"),
                         L(":INP ON", "Input on"),
                         L(":OUTP:LOW COMM", "Output low to common"),
                         L(":OUTP ON", "Output on"),
                         L(":MEAS:RES?", "Measure and send the resistance")});
        if (m4 || mv)
            out.push_back(C(NotSupported));
        if (mc)
            Append(out, {L(":SOUR:FUNC:MODE VOLT", "Source voltage"),
                         L(":SOUR:VOLT $GPIB1", "Source the $GPIB1 value"),
                         L(":SENS:FUNC \"VOLT\",\"CURR\"", "Measure voltage and current"),
                         L(":FOMR:ELEM:SOUR VOLT,CURR,SOUR", "Elements sent"),
                         L(":INP ON", "Input on"),
                         L(":OUTP:LOW COMM", "Output low to common"),
                         L(":OUTP ON", "Output on"),
                         L(":MEAS?", "Measure and send the reading")});
    } else if (m == QLatin1String("34970A")) {
        out.push_back(L("*CLS", "Clear status"));
        if (m2)
            out.push_back(L("CONF:RES (@103)", "Two wire resistance, channel 103"));
        if (m4)
            out.push_back(L("CONF:FRES (@103)", "Four wire resistance, channel 103"));
        if (mv)
            Append(out, {L("CONF:VOLT:DC (@103)", "DC voltage, channel 103"),
                         L("#SLEEP 1000", "Wait 1000 ms")});
        if (mc)
            out.push_back(L("CONF:CURR:DC (@121)", "DC current, channel 121"));
        out.push_back(L(":READ?", "Measure and send the reading"));
    } else if (m == QLatin1String("34420A")) {
        if (m2)
            out = {L("*CLS", "Clear status"), L("CONF:RES", "Two wire resistance"),
                   L(":READ?", "Measure and send the reading")};
        if (m4)
            out = {L("*CLS", "Clear status"), L("CONF:FRES", "Four wire resistance"),
                   L("SENS:RES:OCOM ON", "Offset compensation on"),
                   L(":READ?", "Measure and send the reading")};
        if (mv)
            out = {L("*CLS", "Clear status"), L("CONF:VOLT:DC", "DC voltage"),
                   L("SENS:VOLT:DC:NPLC 20", "Integration 20 power line cycles"),
                   L("#SLEEP 1000", "Wait 1000 ms"),
                   L(":READ?", "Measure and send the reading")};
        if (mc)
            out = {C(NotSupported)};
    } else if (m == QLatin1String("34401A")) {
        if (m2)
            out = {L("*CLS", "Clear status"), L("CONF:RES", "Two wire resistance"),
                   L("INIT;FETCH?", "Measure and send the reading")};
        if (m4)
            out = {L("*CLS", "Clear status"), L("CONF:FRES", "Four wire resistance"),
                   L("INIT;FETCH?", "Measure and send the reading")};
        if (mv)
            out = {L("*CLS", "Clear status"), L("CONF:VOLT:DC", "DC voltage"),
                   L("VOLT:DC:NPLC 20", "Integration 20 power line cycles"),
                   L("INIT;FETCH?", "Measure and send the reading"),
                   L("#SLEEP 1000", "Wait 1000 ms")};
        if (mc)
            out = {C(NotSupported)};
    } else if (m == QLatin1String("PowersupplyE3642A")) {
        if (m2 || m4)
            out = {C(NotSupported)};
        if (mv)
            out = {L("#SLEEP 1000", "Wait 1000 ms"),
                   L("MEAS:VOLT?", "Measure the output voltage")};
        if (mc)
            out = {L("MEAS:CURR?", "Measure the output current")};
    } else if (m == QLatin1String("Hioki_3522-50")) {
        out = {C("The impedance commands are sent by the program:"),
               C("level, frequency, trigger and reading follow the node's settings")};
    } else if (m == QLatin1String("Solartron1260")) {
        out = {L("FC", "Reset the analyser's analysis settings"),
               L("CE", "Clear the error state")};
    } else if (m == QLatin1String("NovocontrolAlphaAT")) {
        out = {C("The impedance commands are sent by the program:"),
               C("amplitude, frequency, bias and measurement start follow the node's settings")};
    } else if (m == QLatin1String("HP3458A")) {
        Append(out, {L("ERR?", "Read the error register"), L("++clr", "Device clear")});
        if (m2)
            out.push_back(C("OHM    two wire resistance"));
        if (m4)
            out.push_back(C("OHMF   four wire resistance"));
        if (mv)
            out.push_back(C("DCV    DC voltage"));
        if (mc)
            out.push_back(L("DCI", "DC current"));
        out.push_back(L("TRIG", "Trigger one reading"));
    } else if (m == QLatin1String("K2000-20-5")) {
        Append(out, {L(":OUTPUT:STATE 1", "Output on"), L("#SLEEP 1000", "Wait 1000 ms")});
        if (m2 || m4 || mv || mc)
            Append(out, {C("Limit the voltage:  :SOUR:VOLT:LEVEL 5"),
                         C("Set the current:    :SOUR:CURR:LEVEL 0.1")});
    } else if (m == QLatin1String("K2400")) {
        if (m2)
            out = {C("Two wire: use :SENS:FUNC 'RES' with :SYST:RSEN OFF")};
        if (m4)
            out = {L(":ROUT:TERM REAR", "Rear terminals"),
                   L(":SENS:FUNC 'RES'", "Resistance"),
                   L(":SENS:RES:MODE AUTO", "Automatic source"),
                   L(":SENS:RES:OCOM OFF", "Offset compensation off"),
                   L(":SYST:RSEN ON", "Four wire sensing"),
                   L(":SENS:RES:NPLC 3", "Integration 3 power line cycles"),
                   L(":SENS:AVER:TCON REP", "Repeating average"),
                   L(":SENS:AVER:COUN 10", "10 readings averaged"),
                   L(":OUTP ON", "Output on"),
                   L("#SLEEP 500", "Wait 500 ms"),
                   L(":INIT", "Start the measurement"),
                   L(":FETC?", "Send the reading")};
        if (mv)
            out = {L("#SLEEP 1000", "Wait 1000 ms"), L(":READ?", "Measure and send the reading")};
        if (mc)
            out = {C(NotSupported)};
    }
    return out;
}

TLines DuringLines(const QString& m) {
    if (m == QLatin1String("Hioki_3522-50"))
        return {L("*CLS"), L(":LEV CV"), L(":LEV:CVOLT XXX "), L(":FREQ YYY"), L("*TRG"),
                L("MEAS?")};
    if (m == QLatin1String("Solartron1260"))
        return {L("*CLS"), L("GT 0"), L("VA X"), L("FR X"), L("VB X"), C("Wait for X seconds"),
                L("SI")};
    if (m == QLatin1String("NovocontrolAlphaAT"))
        return {L("ACV=X"), L("GFR=X"), L("DEC=1"), L("DCV=X"), L("MST")};
    return {};
}

TLines AfterLines(const QString& m) {
    if (m == QLatin1String("K6514(Electrometer)"))
        return {L("*RST", "Reset")};
    if (m == QLatin1String("KSB2985B(Electrometer)"))
        return {C("Switch the source and the input off:"), L(":OUTP OFF", "Output off"),
                L(":INP OFF", "Input off"), C("Remove the two lines above to keep them on")};
    if (m == QLatin1String("K6430(MeasureOnly)"))
        return {L(":OUTPut OFF", "Output off")};
    if (m == QLatin1String("K2000-20-5"))
        return {L(":OUTPUT:STATE 0", "Output off")};
    if (m == QLatin1String("K2000") || m == QLatin1String("K6500") ||
        m == QLatin1String("DMM6500"))
        return {C("Open all channels of a scanner card (remove // to use):"),
                D(":ROUT:OPEN:ALL")};
    if (m == QLatin1String("2260B"))
        return {C("Switch the output off (remove // to use):"), D("OUTP OFF")};
    if (m == QLatin1String("K2400"))
        return {C("Switch the output off (remove // to use):"), D(":OUTP OFF")};
    if (m == QLatin1String("NovocontrolAlphaAT"))
        return {C("Switch the DC bias off (remove // to use):"), D("DCE=0")};
    return {};
}
} // namespace

QString DefaultCommands(const TDevice& device, const QString& nodeType, int kind) {
    TLines lines;
    if (kind == 1)
        lines = BeforeLines(device, nodeType);
    else if (kind == 2)
        lines = DuringLines(device.IDString);
    else if (kind == 3)
        lines = AfterLines(device.IDString);
    if (lines.empty())
        return {};
    QString text = DefaultCommandsHeader;
    for (const TLine& line : lines)
        text += LineText(line) + QStringLiteral("\r\n");
    return text;
}
