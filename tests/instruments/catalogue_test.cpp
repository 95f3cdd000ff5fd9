#include <gtest/gtest.h>

#include "tavlo/catalogue.h"
#include "tavlo/commandlist.h"
#include "tavlo/device.h"
#include "tavlo/log.h"
#include "tavlo/numformat.h"

#include <cmath>
#include <limits>

TEST(CatalogueTest, IdentifyRoleFromAnswers) {
    struct {
        const char* Answer;
        const char* Role;
    } cases[] = {
        {"HEWLETT-PACKARD,34970A,0,13-2-2", "Multimeter 34970A"},
        {"HEWLETT-PACKARD,34420A,0,2.0-3.0-1.0", "Multimeter 34420A"},
        {"HEWLETT-PACKARD,34401A,0,11-5-2", "Multimeter 34401A"},
        {"Agilent Technologies,E3642A,0,1.4-5.0-1.0", "Multimeter PowersupplyE3642A"},
        {"HP3458A", "Multimeter HP3458A"},
        {"HEWLETT-PACKARD,4339B,0,01.00", "Multimeter HP4339B"},
        {"HIOKI,3522,50,V1.20", "Imp.Spectrometer Hioki_3522-50"},
        {"KEITHLEY INSTRUMENTS INC.,MODEL 2000,1187302,A20  /A02", "Multimeter K2000"},
        {"Keithley instruments, 2200-20-5, 9201234, 1.10", "Multimeter K2000-20-5"},
        {"Keithley instruments, 2200-30-5, 9201235, 1.10", "Multimeter K2000-30-5"},
        {"KEITHLEY INSTRUMENTS INC.,MODEL 2400,1234567,C30", "Multimeter K2400"},
        {"KEITHLEY INSTRUMENTS INC.,MODEL 2440,1234567,C30", "Multimeter K2400"},
        {"KEITHLEY INSTRUMENTS INC.,MODEL 6430,1234567,C30", "Multimeter K6430(MeasureOnly)"},
        {"KEITHLEY INSTRUMENTS INC.,MODEL 6514,1234567,A13", "Multimeter K6514(Electrometer)"},
        {"KEITHLEY INSTRUMENTS,MODEL DMM6500,04412345,1.7.5b", "Multimeter K6500"},
        {"Keysight Technologies,B2985B,MY12345,1.0", "Multimeter KSB2985B(Electrometer)"},
        {"ALPHA Analyzer, Novocontrol Technologies, V2.1", "Imp.Spectrometer NovocontrolAlphaAT"},
        {"SOLARTRON 1260 IMPEDANCE ANALYZER, V2.4", "Imp.Spectrometer Solartron1260"},
        // Ignoring case.
        {"keithley instruments inc.,model 2000,1,a", "Multimeter K2000"},
        // No match: "U-role" and the first 20 characters, blanks as "_".
        {"  ACME Corp Widget Meter 9000 rev B  ", "U-role ACME_Corp_Widget_Met"},
        {"", "U-role "},
        // Both "MODEL 2400" and the 6430 entry: the later entry wins.
        {"KEITHLEY INSTRUMENTS INC.,MODEL 6430 MODEL 2400", "Multimeter K6430(MeasureOnly)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IdentifyRole(QString::fromUtf8(c.Answer)), QString::fromUtf8(c.Role)) << c.Answer;
}

TEST(CatalogueTest, KnownModelKeysInOrder) {
    EXPECT_EQ(KnownModelKeys(),
              QStringList({"Hioki_3522-50", "34970A", "34420A", "34401A", "K2000", "K6500",
                           "K2400", "K6430(MeasureOnly)", "KSB2985B(Electrometer)",
                           "Solartron1260", "Solartron1287", "NovocontrolAlphaAT", "HP4192A",
                           "PowersupplyE3642A", "HP3458A", "HP4339B"}));
}

TEST(CatalogueTest, ReadyMasks) {
    struct {
        const char* Key;
        int Mask;
    } masks[] = {{"Solartron1260", 0x12}, {"Solartron1287", 0x80}, {"HP3458A", 0x80},
                 {"HP4339B", 0x80},       {"NovocontrolAlphaAT", 1}, {"HP4192A", 0x41},
                 {"K2000", 0x10},         {"34401A", 0x10},        {"unknown", 0x10}};
    for (const auto& m : masks)
        EXPECT_EQ(ReadyMask(QString::fromUtf8(m.Key)), m.Mask) << m.Key;
    struct {
        const char* Key;
        const char* Reply;
        bool Ready;
    } cases[] = {
        {"K2000", "16", true},        {"K2000", " 80\r\n", true},  {"K2000", "64", false},
        {"K2000", "", false},         {"K2000", "garbage", false}, {"Solartron1260", "16", false},
        {"Solartron1260", "2", false}, {"Solartron1260", "82", true}, {"HP4192A", "65", true},
        {"HP4192A", "64", false},     {"HP4192A", "1", false},     {"NovocontrolAlphaAT", "17", true},
        {"NovocontrolAlphaAT", "16", false}, {"HP3458A", "128", true}, {"HP3458A", "127", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsResultReady(QString::fromUtf8(c.Key), QByteArray(c.Reply)), c.Ready)
            << c.Key << " " << c.Reply;
}

TEST(CatalogueTest, AnalyserLimits) {
    struct {
        const char* Key;
        double VMin, VMax, FMin, FMax;
    } cases[] = {{"mf-dev", 0, 2.1, 0, 5000000},           {"Hioki_3522-50", 0.01, 5.0, 0.001, 100000},
                 {"Solartron1260", 0, 3.0, 0.00001, 1e7},  {"Solartron1260HF", 0, 1.0, 0.00001, 3.2e7},
                 {"NovocontrolAlphaAT", 0.0001, 3.0, 3E-6, 4E7}, {"HP4192A", 0.005, 1.1, 5, 1.3E7},
                 {"K2000", 0, 0, 0, 0}};
    for (const auto& c : cases) {
        const TAnalyserLimits l = GetAnalyserLimits(QString::fromUtf8(c.Key));
        EXPECT_DOUBLE_EQ(l.ACVoltageMin, c.VMin) << c.Key;
        EXPECT_DOUBLE_EQ(l.ACVoltageMax, c.VMax) << c.Key;
        EXPECT_DOUBLE_EQ(l.FrequencyMin, c.FMin) << c.Key;
        EXPECT_DOUBLE_EQ(l.FrequencyMax, c.FMax) << c.Key;
    }
}

TEST(CatalogueTest, NumberTexts) {
    EXPECT_EQ(FmtE(1000), QStringLiteral("1.0000000E+03"));
    EXPECT_EQ(FmtE(-0.25), QStringLiteral("-2.5000000E-01"));
    EXPECT_EQ(FmtE(0), QStringLiteral("0.0000000E+00"));
    EXPECT_EQ(FmtE(1.5e-12), QStringLiteral("1.5000000E-12"));
    EXPECT_EQ(FmtSignedE(1000), QStringLiteral("+1.0000000E+03"));
    EXPECT_EQ(FmtSignedE(-0.25), QStringLiteral("-2.5000000E-01"));
    EXPECT_EQ(FmtSignedE(0), QStringLiteral("0.0000000E+00"));
    {
        TDecimalSeparatorScope comma(u',');
        EXPECT_EQ(FmtE(0.5), QStringLiteral("5.0000000E-01"));
        EXPECT_EQ(NovocontrolNumber(0.1), QStringLiteral("0.1"));
        EXPECT_EQ(NovocontrolNumber(12345.5), QStringLiteral("12345.5"));
        EXPECT_EQ(HP4192AVolts(0.1), QStringLiteral("0.100"));
        EXPECT_EQ(HP4192AKiloHertz(1.0), QStringLiteral("1.0000"));
    }
    EXPECT_EQ(NovocontrolNumber(0), QStringLiteral("0"));
    EXPECT_EQ(NovocontrolNumber(1e-5), QStringLiteral("1E-5"));
    EXPECT_EQ(HP4192AVolts(0), QStringLiteral("0.000"));
    EXPECT_EQ(HP4192AVolts(1.0005), QStringLiteral("1.000"));
    EXPECT_EQ(HP4192AKiloHertz(13000), QStringLiteral("13000.0000"));
    EXPECT_EQ(HP4192AKiloHertz(0.005), QStringLiteral("0.0050"));
}

TEST(CatalogueTest, NewStrToFloatLogsAndGivesZeroOnError) {
    TLogCapture log;
    EXPECT_DOUBLE_EQ(NewStrToFloat(QStringLiteral("+1.00250000E+02")), 100.25);
    EXPECT_DOUBLE_EQ(NewStrToFloat(QStringLiteral("-3.5")), -3.5);
    EXPECT_DOUBLE_EQ(NewStrToFloat(QStringLiteral("2,5"), u','), 2.5);
    EXPECT_FALSE(log.Contains(QStringLiteral("convert error")));
    EXPECT_EQ(NewStrToFloat(QStringLiteral("2,5")), 0);
    EXPECT_TRUE(log.Contains(QStringLiteral("NewStrToFloat convert error on:2,5")));
    EXPECT_EQ(NewStrToFloat(QStringLiteral("NAN")), 0);
    EXPECT_EQ(NewStrToFloat(QString()), 0);
}

TEST(CatalogueTest, InitializationLinesPerModel) {
    EXPECT_EQ(InitializationLines(QStringLiteral("HP4339B")),
              QStringList({"*RST", "#PAUSE 2000", "INIT:CONT OFF", "ABOR", "TRIG:SOUR BUS",
                           "ARM:DEL 2 S", "FORM ASC", "STAT:OPER:ENAB 16", "*SRE 128",
                           ":SOUR:VOLT:LEV 6", ":SYST:BEEP ", ":SYST:BEEP:STAT OFF"}));
    EXPECT_EQ(InitializationLines(QStringLiteral("Solartron1260")),
              QStringList({"BK", "#PAUSE 1000", "RM", "*CLS", "#PAUSE 500", "TT 2", "#PAUSE 1000",
                           "BP 0", "*ESE254", "*SRE18", "SO 1,3", "CZ 0", "OP 2,1"}));
    EXPECT_EQ(InitializationLines(QStringLiteral("Solartron1287")),
              QStringList({"BK4", "CE", "EB1", "SV0", "OT3", "RS0", "SE0", "GP2", "IC0", "RP0",
                           "PC0", "PV0", "PX3", "PY5", "BY1"}));
    EXPECT_EQ(InitializationLines(QStringLiteral("Hioki_3522-50")),
              QStringList({"*RST", ":PAR1 G;:PAR2 B;:PAR3 RS;:PAR4 X", ":MEAS:ITEM 0,18",
                           ":HEAD OFF", ":RANG:AUTO ON", ":TRIG EXT"}));
    EXPECT_EQ(InitializationLines(QStringLiteral("HP4192A")),
              QStringList({"++read eoi#WAIT", "FFR", "T3", "A2", "F1", "D1"}));
    EXPECT_EQ(InitializationLines(QStringLiteral("PowersupplyE3642A")),
              QStringList({"SYST:REM#WAIT", "*RST;*CLS"}));
    EXPECT_EQ(InitializationLines(QStringLiteral("34401A")),
              QStringList({"*RST", "*CLS", "*SRE 0", "TRIG:SOUR IMM "}));
    EXPECT_EQ(InitializationLines(QStringLiteral("34420A")),
              QStringList({"*RST", "*SRE 16", "TRIG:SOUR IMM "}));
    EXPECT_EQ(InitializationLines(QStringLiteral("34970A")), InitializationLines(QStringLiteral("34420A")));
    EXPECT_EQ(InitializationLines(QStringLiteral("NovocontrolAlphaAT")),
              QStringList({"MBK", "MODE=IMP", "FRS=4"}));
    EXPECT_EQ(InitializationLines(QStringLiteral("K2000-30-5")),
              QStringList({"*RST", ":VOLT:PROT:STAT 0", ":SOUR:CURR:LEVEL 0", ":SOUR:VOLT:LEVEL 30"}));
    EXPECT_EQ(InitializationLines(QStringLiteral("K2000-20-5")).last(), QStringLiteral(":SOUR:VOLT:LEVEL 20"));
    EXPECT_EQ(InitializationLines(QStringLiteral("K2440")),
              QStringList({"*RST", "#PAUSE 500", ":SYST:BEEP:STAT OFF"}));
    EXPECT_EQ(InitializationLines(QStringLiteral("K2401")), InitializationLines(QStringLiteral("K2440")));
    EXPECT_EQ(InitializationLines(QStringLiteral("K6430(MeasureOnly)")),
              QStringList({"*RST", ":SYST:BEEP:STAT OFF"}));
    for (const char* key : {"K6514(Electrometer)", "KSB2985B(Electrometer)"})
        EXPECT_EQ(InitializationLines(QString::fromUtf8(key)), QStringList({"*RST"}));
    for (const char* key : {"K6500", "K2000"})
        EXPECT_EQ(InitializationLines(QString::fromUtf8(key)), QStringList({"*CLS"}));
    for (const char* key : {"K2400", "DMM6500", "mf-dev", ""})
        EXPECT_TRUE(InitializationLines(QString::fromUtf8(key)).isEmpty()) << key;
}

namespace {
// The commands that take effect: comments cut, blanks trimmed, empty lines left out.
QStringList Effective(const QString& text) {
    QStringList commands;
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        const TCommandLine parsed = ParseCommandLine(line);
        if (parsed.SleepMs >= 0)
            commands.append(QStringLiteral("#SLEEP ") + QString::number(parsed.SleepMs));
        else if (!parsed.Command.isEmpty())
            commands.append(parsed.Command);
    }
    return commands;
}

TDevice Device(const char* key) {
    TDevice d;
    d.InterfaceType = ditGPIB;
    d.IDString = QString::fromUtf8(key);
    return d;
}

struct TDefaultsCase {
    const char* Key;
    const char* NodeType;
    int Kind;
    QStringList Commands; // empty with Empty set: no text at all
    bool Empty = false;
};
} // namespace

TEST(CatalogueTest, DefaultCommandsGiveTheTableCommands) {
    const TDefaultsCase cases[] = {
        {"HP4339B", "M2", 1, {"*CLS", "ARM:DEL 1 S", "SOUR:VOLT:LEV 40", "SOUR:CURR:LIM 0.5 MA", "SENSE:CURR:APER 0.03", "SENSE:AVER:COUNT 5", "SENSE:AVER ON", "INIT", "*TRG"}},
        {"HP4339B", "MV", 1, {}, true},
        {"K2000", "M2", 1, {"*CLS", "FUNC 'RES'", ":MEAS?"}},
        {"K2000", "M4", 1, {"*CLS", "FUNC 'FRES'", ":MEAS?"}},
        {"K2000", "MV", 1, {"*CLS", "#SLEEP 1000", "FUNC 'VOLT:DC'", ":MEAS?"}},
        {"K2000", "MC", 1, {"*CLS", "FUNC 'CURR:DC'", ":MEAS?"}},
        {"K2000", "GF", 1, {"*CLS", ":MEAS?"}},
        {"K6500", "M2", 1, {"*CLS", ":SENS:FUNC \"RES\", (@1)", ":ROUT:CLOSE (@1)", ":READ?"}},
        {"DMM6500", "M4", 1, {"*CLS", ":SENS:FUNC \"FRES\", (@1)", ":SENS:FRES:OCOM OFF", ":ROUT:CLOSE (@1)", ":READ?"}},
        {"K6500", "MV", 1, {"*CLS", ":SENS:FUNC \"VOLT:DC\", (@1)", ":ROUT:DEL 1, (@1)", ":ROUT:CLOSE (@1)", ":READ?"}},
        {"K6500", "MC", 1, {"*CLS", ":SENS:FUNC \"CURR:DC\"", ":READ?"}},
        {"2260B", "M2", 1, {"*CLS"}},
        {"2260B", "MV", 1, {"*CLS", "MEAS:VOLT?"}},
        {"2260B", "MC", 1, {"*CLS", "MEAS:CURR?"}},
        {"K6430(MeasureOnly)", "M2", 1, {"*CLS", ":OUTPut ON", ":READ?"}},
        {"K6430(MeasureOnly)", "MV", 1, {"*CLS", ":SOUR:FUNC CURR", ":SOUR:CURR:MODE FIXED", ":SENS:FUNC 'VOLT'", ":SOUR:CURR:RANG MIN", ":SOUR:CURR:LEV 0", ":SENS:VOLT:PROT 25", "#SLEEP 1000", ":OUTPut ON", ":READ?"}},
        {"K6430(MeasureOnly)", "MC", 1, {"*CLS", ":SOUR FUNC CURR", ":SOUR:VOLT:LEVel 0", ":OUTPut ON", ":READ?"}},
        {"K6514(Electrometer)", "M2", 1, {"*RST", ":FORM:ELEM READ", ":SYST:ZCH ON", ":SENS:FUNC 'RES'", ":SENS:VOLT:GUAR OFF", ":SYST:ZCH OFF", ":SENS:RES:NPLC 10", ":READ?"}},
        {"K6514(Electrometer)", "M4", 1, {"*RST", ":FORM:ELEM READ", ":READ?"}},
        {"K6514(Electrometer)", "MV", 1, {"*RST", ":FORM:ELEM READ", ":SYST:ZCH ON", ":SENS:FUNC 'VOLT'", ":SENS:VOLT:GUAR OFF", ":SYST:ZCOR OFF", ":SYST:ZCH OFF", ":SENS:VOLT:NPLC 10", "#SLEEP 1000", ":READ?"}},
        {"KSB2985B(Electrometer)", "M2", 1, {":SOUR:FUNC:MODE VOLT", ":SOUR:VOLT 1", ":SENS:FUNC \"RES\"", ":SENS:RES:RANG:AUTO ON", ":SENS:RES:VSEL VME", ":INP ON", ":OUTP:LOW COMM", ":OUTP ON", ":MEAS:RES?"}},
        {"KSB2985B(Electrometer)", "MV", 1, {}},
        {"KSB2985B(Electrometer)", "MC", 1, {":SOUR:FUNC:MODE VOLT", ":SOUR:VOLT $GPIB1", ":SENS:FUNC \"VOLT\",\"CURR\"", ":FOMR:ELEM:SOUR VOLT,CURR,SOUR", ":INP ON", ":OUTP:LOW COMM", ":OUTP ON", ":MEAS?"}},
        {"34970A", "M2", 1, {"*CLS", "CONF:RES (@103)", ":READ?"}},
        {"34970A", "M4", 1, {"*CLS", "CONF:FRES (@103)", ":READ?"}},
        {"34970A", "MV", 1, {"*CLS", "CONF:VOLT:DC (@103)", "#SLEEP 1000", ":READ?"}},
        {"34970A", "MC", 1, {"*CLS", "CONF:CURR:DC (@121)", ":READ?"}},
        {"34420A", "M2", 1, {"*CLS", "CONF:RES", ":READ?"}},
        {"34420A", "M4", 1, {"*CLS", "CONF:FRES", "SENS:RES:OCOM ON", ":READ?"}},
        {"34420A", "MV", 1, {"*CLS", "CONF:VOLT:DC", "SENS:VOLT:DC:NPLC 20", "#SLEEP 1000", ":READ?"}},
        {"34420A", "MC", 1, {}},
        {"34420A", "GF", 1, {}, true},
        {"34401A", "M2", 1, {"*CLS", "CONF:RES", "INIT;FETCH?"}},
        {"34401A", "M4", 1, {"*CLS", "CONF:FRES", "INIT;FETCH?"}},
        {"34401A", "MV", 1, {"*CLS", "CONF:VOLT:DC", "VOLT:DC:NPLC 20", "INIT;FETCH?", "#SLEEP 1000"}},
        {"34401A", "MC", 1, {}},
        {"PowersupplyE3642A", "M2", 1, {}},
        {"PowersupplyE3642A", "MV", 1, {"#SLEEP 1000", "MEAS:VOLT?"}},
        {"PowersupplyE3642A", "MC", 1, {"MEAS:CURR?"}},
        {"Hioki_3522-50", "IC", 1, {}},
        {"Solartron1260", "IS", 1, {"FC", "CE"}},
        {"NovocontrolAlphaAT", "IC", 1, {}},
        {"HP3458A", "M2", 1, {"ERR?", "++clr", "TRIG"}},
        {"HP3458A", "MC", 1, {"ERR?", "++clr", "DCI", "TRIG"}},
        {"K2000-20-5", "MV", 1, {":OUTPUT:STATE 1", "#SLEEP 1000"}},
        {"K2000-30-5", "MV", 1, {}, true},
        {"K2400", "M2", 1, {}},
        {"K2400", "M4", 1, {":ROUT:TERM REAR", ":SENS:FUNC 'RES'", ":SENS:RES:MODE AUTO", ":SENS:RES:OCOM OFF", ":SYST:RSEN ON", ":SENS:RES:NPLC 3", ":SENS:AVER:TCON REP", ":SENS:AVER:COUN 10", ":OUTP ON", "#SLEEP 500", ":INIT", ":FETC?"}},
        {"K2400", "MV", 1, {"#SLEEP 1000", ":READ?"}},
        {"K2400", "MC", 1, {}},
        {"K2400", "GF", 1, {}, true},
        {"Solartron1287", "P1", 1, {}, true},
        {"HP4192A", "IC", 1, {}, true},
        {"Hioki_3522-50", "IC", 2, {"*CLS", ":LEV CV", ":LEV:CVOLT XXX", ":FREQ YYY", "*TRG", "MEAS?"}},
        {"Solartron1260", "IC", 2, {"*CLS", "GT 0", "VA X", "FR X", "VB X", "SI"}},
        {"NovocontrolAlphaAT", "IS", 2, {"ACV=X", "GFR=X", "DEC=1", "DCV=X", "MST"}},
        {"K2000", "M2", 2, {}, true},
        {"K6514(Electrometer)", "M2", 3, {"*RST"}},
        {"KSB2985B(Electrometer)", "MC", 3, {":OUTP OFF", ":INP OFF"}},
        {"K6430(MeasureOnly)", "MV", 3, {":OUTPut OFF"}},
        {"K2000-20-5", "MV", 3, {":OUTPUT:STATE 0"}},
        {"K2000", "M2", 3, {}},
        {"K6500", "M2", 3, {}},
        {"DMM6500", "M2", 3, {}},
        {"2260B", "MV", 3, {}},
        {"K2400", "MV", 3, {}},
        {"NovocontrolAlphaAT", "IC", 3, {}},
        {"34401A", "M2", 3, {}, true},
        {"Hioki_3522-50", "IC", 3, {}, true},
        {"unknown", "M2", 1, {}, true},
    };
    for (const TDefaultsCase& c : cases) {
        SCOPED_TRACE(std::string(c.Key) + " " + c.NodeType + " kind " + std::to_string(c.Kind));
        const QString text = DefaultCommands(Device(c.Key), QString::fromUtf8(c.NodeType), c.Kind);
        if (c.Empty) {
            EXPECT_TRUE(text.isEmpty()) << text.toStdString();
            continue;
        }
        ASSERT_TRUE(text.startsWith(DefaultCommandsHeader));
        EXPECT_TRUE(text.endsWith(QStringLiteral("\r\n")));
        EXPECT_EQ(Effective(text), c.Commands);
        // Every line is a command with an optional aligned comment, a comment or empty.
        for (const QString& line : text.split(QStringLiteral("\r\n"))) {
            const qsizetype comment = line.indexOf(QStringLiteral("//"));
            if (comment > 0) {
                EXPECT_EQ(line.at(comment - 1), u' ') << line.toStdString();
            }
        }
    }
    EXPECT_EQ(DefaultCommandsHeader,
              QStringLiteral("// This line is a comment line. Nothing after // on any line will "
                             "get sent to the instrument.\r\n"));
    // Commands the user may enable stand right after the "//".
    EXPECT_TRUE(DefaultCommands(Device("K2000"), QStringLiteral("M2"), 3)
                    .contains(QStringLiteral("\r\n//:ROUT:OPEN:ALL\r\n")));
    EXPECT_TRUE(DefaultCommands(Device("2260B"), QStringLiteral("MV"), 1)
                    .endsWith(QStringLiteral("\r\n// #SLEEP 500\r\n")));
    // The Hioki reference line keeps its trailing blank.
    EXPECT_TRUE(DefaultCommands(Device("Hioki_3522-50"), QStringLiteral("IC"), 2)
                    .contains(QStringLiteral(":LEV:CVOLT XXX \r\n")));
}

TEST(CatalogueTest, MfiaSettingsBlockCarriesTheNodePath) {
    TDevice d = TDevice::FromLine(QStringLiteral("Imp.Spectrometer mf-dev1234 host 8004 API"));
    const QStringList lines =
        DefaultCommands(d, QStringLiteral("IC"), 1).split(QStringLiteral("\r\n"));
    ASSERT_EQ(lines.size(), 15); // header, thirteen lines, the empty rest after the last CR LF
    EXPECT_EQ(lines.at(1), QStringLiteral("// Format: node path|<value type>|value|optional comments"));
    EXPECT_EQ(lines.at(4), QString());
    EXPECT_EQ(lines.at(5), QStringLiteral("/DEV1234/IMPS/0/DEMOD/RATE|<Double>| 10                    | Readings per second Hz"));
    EXPECT_EQ(lines.at(13), QStringLiteral("/DEV1234/IMPS/0/CONFIDENCE/UNDERFLOW/Ratio|<Double>| 10000 | Underflow ratio"));
    // The third "|" is the 52nd character after the node path.
    for (int i : {5, 6, 7, 8, 11, 12, 13}) {
        const QString rest = lines.at(i).mid(8);
        qsizetype bar = -1;
        for (int n = 0; n < 3; ++n)
            bar = rest.indexOf(u'|', bar + 1);
        EXPECT_EQ(bar, 51) << rest.toStdString();
    }
}
