// The analyser driver and its readings against the simulated analyser library.
#include "tavlo/catalogue.h"
#include "tavlo/clock.h"
#include "tavlo/device.h"
#include "tavlo/instrumentcontext.h"
#include "tavlo/log.h"
#include "tavlo/measurementnode.h"
#include "tavlo/mfia.h"
#include "tavlo/numformat.h"
#include "tavlo/prologix.h"
#include "tavlo/readings.h"
#include "tavlo/userinteraction.h"
#include "tavlo/zhinst.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

const char* const KSimKeys[] = {"HOST", "PORT", "CONNECT_FAILURES", "OPTIONS", "R", "C", "RS",
                                "NOISE", "SEED", "FLAGS", "NODATA", "SEQUENCE", "CONFIG",
                                "JOURNAL"};

void SetSim(const char* key, const QByteArray& value) {
    setenv((QByteArray("TAVLO_ZISIM_") + key).constData(), value.constData(), 1);
}

void ResetSim() {
    for (const char* key : KSimKeys)
        unsetenv((QByteArray("TAVLO_ZISIM_") + key).constData());
    TZIUtilities::SetLibraryPath(QString());
}

const QString KDeviceLine = QStringLiteral("Imp.Spectrometer mf-dev1234 host 8004 API");

// Feedback lines and IS points as the engine would receive them.
class TRecordingContext : public IInstrumentContext {
public:
    void Feedback(const QString& line) override {
        std::lock_guard lock(FMutex);
        Lines.append(line);
    }
    void HandOverSweepPoint(TMeasurementNode&, const TMeasurementResult& point) override {
        std::lock_guard lock(FMutex);
        Points.push_back(point);
    }
    QStringList Lines;
    std::vector<TMeasurementResult> Points;

private:
    std::mutex FMutex;
};

class MfiaTest : public ::testing::Test {
protected:
    void SetUp() override {
        ResetSim();
        SetSim("JOURNAL", Folder.Path("journal.txt").toLocal8Bit());
        Scope = std::make_unique<TUserInteractionScope>(Ui);
    }
    void TearDown() override {
        ReplaceMFIAObject(nullptr);
        Scope.reset();
        ResetSim();
    }

    // Created, connected and initialised as a validation leaves it.
    TZHInst& Install() {
        auto mfia = std::make_unique<TZHInst>();
        mfia->Serial = QStringLiteral("mf-dev1234");
        mfia->Port = QStringLiteral("8004");
        EXPECT_TRUE(mfia->APIWorks()) << mfia->LastError().toStdString();
        EXPECT_TRUE(mfia->Connect()) << mfia->LastError().toStdString();
        mfia->InitMFIA();
        TZHInst& result = *mfia;
        ReplaceMFIAObject(std::move(mfia));
        ClearJournal();
        return result;
    }

    // The settings the library accepted since the last clear: "path type value".
    QStringList Journal() const {
        QFile file(Folder.Path("journal.txt"));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
        for (QString& line : lines)
            line.replace(u'\t', u' ');
        return lines;
    }
    void ClearJournal() const { QFile::remove(Folder.Path("journal.txt")); }

    static void Prepare(TMeasurementNode& node, const char* type, double frequency = 1000) {
        node.Caption = QStringLiteral("impedance");
        node.NodeType = QLatin1String(type);
        node.Instrument = KDeviceLine;
        node.Frequency = frequency;
        node.ACVoltage = 0.1;
        node.DCBias = 0;
        node.MFIARR = 0;
        node.ImpTimeout = 0;
    }

    TTestFolder Folder;
    TRecordingUserInteraction Ui;
    std::unique_ptr<TUserInteractionScope> Scope;
    TRecordingContext Context;
};

// ---- the driver

TEST_F(MfiaTest, ConnectShowsTheSerialAndTakesTheDeviceFromIt) {
    TZHInst mfia;
    EXPECT_EQ(mfia.MaxFrequency(), 500000);
    mfia.Serial = QStringLiteral("mf-dev1234");
    mfia.Port = QStringLiteral("8004");
    ASSERT_TRUE(mfia.APIWorks());
    EXPECT_FALSE(mfia.APIVersion().isEmpty());
    ASSERT_TRUE(mfia.Connect());
    EXPECT_EQ(mfia.DeviceID, "/dev1234");
    EXPECT_TRUE(mfia.API().Connected());
    EXPECT_EQ(Ui.Messages(), QStringList{"Message from API connect procedure. Serial used is: "
                                         "mf-dev1234\r\nCorrect format is mf-devXXXX"});
}

TEST_F(MfiaTest, InitialisationSendsTheNeutralStateInOrderAndReadsTheOptions) {
    const QStringList neutral = {
        "/dev1234/imps/0/confidence/suppression/enable i 0",
        "/dev1234/imps/0/confidence/compensation/enable i 0",
        "/dev1234/imps/0/confidence/lowdut2t/enable i 0",
        "/dev1234/imps/0/confidence/opendetect/enable i 0",
        "/dev1234/imps/0/confidence/underflow/enable i 0",
        "/dev1234/imps/0/confidence/overflow/enable i 0",
        "/dev1234/imps/0/confidence/freqlimit/enable i 0",
        "/dev1234/imps/0/confidence/qfactor/enable i 0",
        "/dev1234/imps/0/auto/inputrange i 1",
        "/dev1234/imps/0/auto/output i 0",
        "/dev1234/imps/0/voltage/range d 1.1000000000000001",
        "/dev1234/imps/0/current/range d 0.10000000000000001",
        "/dev1234/imps/0/bias/enable i 0",
        "/dev1234/imps/0/bias/value d 0",
        "/dev1234/imps/0/mode i 0",
        "/dev1234/imps/0/output/amplitude i 0",
        "/dev1234/imps/0/output/on i 0",
        "/dev1234/imps/0/enable i 0",
    };
    const struct {
        const char* Options;
        int MaxFrequency;
    } cases[] = {{"IA,F5M,MD", 5000000}, {"IA MD", 500000}, {"f5m,IA", 500000}, {"", 500000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Options);
        SetSim("OPTIONS", c.Options);
        ClearJournal();
        TZHInst mfia;
        mfia.Serial = QStringLiteral("mf-dev1234");
        mfia.Port = QStringLiteral("8004");
        ASSERT_TRUE(mfia.APIWorks());
        ASSERT_TRUE(mfia.Connect());
        mfia.InitMFIA();
        EXPECT_EQ(Journal(), neutral);
        EXPECT_EQ(mfia.MaxFrequency(), c.MaxFrequency);
    }
}

TEST_F(MfiaTest, FailedConnections) {
    {
        // Refused twice: the second call's code is shown.
        SetSim("CONNECT_FAILURES", "-1");
        TZHInst mfia;
        mfia.Serial = QStringLiteral("mf-dev1234");
        mfia.Port = QStringLiteral("8004");
        ASSERT_TRUE(mfia.APIWorks());
        EXPECT_FALSE(mfia.Connect());
        EXPECT_FALSE(mfia.API().Connected());
        ASSERT_EQ(Ui.Messages().size(), 2);
        EXPECT_EQ(Ui.Messages().at(1), "Message from API connect procedure. Failed to connect. "
                                       "Feedback code, write it down: \r\nDec: 32770\r\nHex: "
                                       "00008002");
        unsetenv("TAVLO_ZISIM_CONNECT_FAILURES");
    }
    {
        // A port that is not a number never reaches the library.
        TZHInst mfia;
        mfia.Serial = QStringLiteral("mf-dev1234");
        mfia.Port = QStringLiteral("80o4");
        ASSERT_TRUE(mfia.APIWorks());
        EXPECT_FALSE(mfia.Connect());
        EXPECT_FALSE(mfia.API().Connected());
        EXPECT_EQ(Ui.Messages().last(), "Message from API connect procedure. Failed to connect. The "
                                        "port is not a number from 1 to 65535: 80o4");
    }
    {
        // The server takes a host without "-", but no device name follows from it.
        TZHInst mfia;
        mfia.Serial = QStringLiteral("dev1234");
        mfia.Port = QStringLiteral("8004");
        ASSERT_TRUE(mfia.APIWorks());
        EXPECT_FALSE(mfia.Connect());
        EXPECT_FALSE(mfia.API().Connected());
        EXPECT_TRUE(mfia.DeviceID.isEmpty());
        EXPECT_TRUE(Ui.Messages().last().contains("no device name after \"-\": dev1234"));
    }
    {
        // A missing library: the driver says it does not work, nothing raises.
        TZIUtilities::SetLibraryPath(Folder.Path("missing/libziAPI-linux64.so"));
        TZHInst mfia;
        EXPECT_FALSE(mfia.APIWorks());
        EXPECT_TRUE(mfia.LastError().contains("unavailable")) << mfia.LastError().toStdString();
        mfia.Serial = QStringLiteral("mf-dev1234");
        mfia.Port = QStringLiteral("8004");
        EXPECT_FALSE(mfia.Connect());
    }
}

TEST_F(MfiaTest, TheObjectIsReplacedAndDestroyed) {
    EXPECT_EQ(MFIAObject(), nullptr);
    TZHInst& first = Install();
    EXPECT_EQ(MFIAObject(), &first);
    auto second = std::make_unique<TZHInst>();
    TZHInst* secondAddress = second.get();
    ReplaceMFIAObject(std::move(second));
    EXPECT_EQ(MFIAObject(), secondAddress);
    ReplaceMFIAObject(nullptr);
    EXPECT_EQ(MFIAObject(), nullptr);
}

// ---- settings lines

TEST_F(MfiaTest, SettingsLines) {
    Install();
    TMeasurementNode node;
    Prepare(node, "IC");
    TLogCapture log;
    QElapsedTimer timer;
    timer.start();
    ParseAndSendZIAPI(node, QStringLiteral("/dev1234/imps/0/demod/rate|<Double>| 2,5 | readings\r\n"
                                           "\r\n"
                                           "   \r\n"
                                           "// a comment line\r\n"
                                           "/dev1234/imps/0/demod/sinc|<integer>|1 // sinc on\r\n"
                                           "/dev1234/imps/0/maxbandwidth|7\r\n"
                                           "*sleep 200\r\n"
                                           "/dev1234/imps/0/auto/bw|<Integer>|1.5\r\n"
                                           "/dev1234/imps/0/mode|<Text>|x\r\n"
                                           "/dev1234/imps/0/bias/value|<Double>|abc|a|b\r\n"
                                           "/dev1234/imps/0/current/range|<Double>|1.5E-2|c"),
                      &Context);
    EXPECT_GE(timer.elapsed(), 200);
    EXPECT_EQ(Journal(), (QStringList{"/dev1234/imps/0/demod/rate d 2.5",
                                      "/dev1234/imps/0/demod/sinc i 1",
                                      "/dev1234/imps/0/current/range d 0.014999999999999999"}));
    EXPECT_EQ(Context.Lines,
              (QStringList{
                  "ZAPI: /dev1234/imps/0/demod/rate|<Double>| 2,5 | readings",
                  "ZAPI: /dev1234/imps/0/demod/sinc|<integer>|1",
                  "ZAPI commands before measurement point had a faulty line skipped: "
                  "/dev1234/imps/0/maxbandwidth|7",
                  "ZAPI correct format: node path|<variable type>|value as string|optional comments",
                  "ZAPI double format: 123.4E+2",
                  "Sleeping for 200 ms",
                  "ZAPI integer value is not a whole number, line skipped: "
                  "/dev1234/imps/0/auto/bw|<Integer>|1.5",
                  "ZAPI: /dev1234/imps/0/mode|<Text>|x",
                  "ZAPI commands before measurement point had a faulty line skipped: "
                  "/dev1234/imps/0/bias/value|<Double>|abc|a|b",
                  "ZAPI correct format: node path|<variable type>|value as string|optional comments",
                  "ZAPI double format: 123.4E+2",
                  "ZAPI: /dev1234/imps/0/current/range|<Double>|1.5E-2|c",
              }));
    const QStringList lines = log.Lines();
    EXPECT_EQ(lines.first(), "Enter method: ParseAndSendZIAPI");
    EXPECT_EQ(lines.last(), "Exit method: ParseAndSendZIAPI");
    EXPECT_TRUE(lines.contains("Parsing line: /dev1234/imps/0/demod/sinc|<integer>|1"));
}

TEST_F(MfiaTest, TheDefaultSettingsBlockIsSentWhole) {
    Install();
    TMeasurementNode node;
    Prepare(node, "IC");
    const QString block = DefaultCommands(TDevice::FromLine(KDeviceLine), QStringLiteral("IC"), 1);
    ParseAndSendZIAPI(node, block, &Context);
    EXPECT_EQ(Journal(), (QStringList{"/dev1234/imps/0/demod/rate d 10",
                                      "/dev1234/imps/0/demod/sinc i 1",
                                      "/dev1234/imps/0/auto/bw i 1",
                                      "/dev1234/imps/0/maxbandwidth d 1",
                                      "/dev1234/imps/0/confidence/overflow/enable i 1",
                                      "/dev1234/imps/0/confidence/underflow/enable i 1",
                                      "/dev1234/imps/0/confidence/underflow/ratio d 10000"}));
    EXPECT_TRUE(Context.Lines.filter("faulty").isEmpty());
    EXPECT_EQ(Context.Lines.size(), 7);
}

TEST_F(MfiaTest, WithoutTheAnalyserObjectNothingIsSent) {
    TMeasurementNode node;
    Prepare(node, "IC");
    ParseAndSendZIAPI(node, QStringLiteral("/dev1234/imps/0/mode|<Integer>|1"), &Context);
    EXPECT_EQ(Context.Lines, QStringList{"ZAPI: the analyser is not connected (validate the device "
                                         "setup); settings not sent"});
    TPrologix adapter;
    EXPECT_FALSE(MeasureImpedance(node, adapter, 1000, &Context));
    ASSERT_EQ(node.DataCount(), 1);
    EXPECT_TRUE(std::isnan(node.GetData(0).Value1));
    EXPECT_EQ(node.GetData(0).Value3, 1000);
}

// ---- readings

TEST_F(MfiaTest, AClearSampleIsAcceptedAtOnceWithoutRatioTest) {
    Install();
    SetSim("SEQUENCE", "100,-50");
    TDecimalSeparatorScope comma(u','); // log numbers follow the locale
    TMeasurementNode node;
    Prepare(node, "IC", 1000);
    TLogCapture log;
    TPrologix adapter;
    EXPECT_TRUE(MeasureImpedance(node, adapter, 1000, &Context));
    ASSERT_EQ(node.DataCount(), 1);
    const TMeasurementResult p = node.GetData(0);
    EXPECT_EQ(p.Value1, 100);
    EXPECT_EQ(p.Value2, -50);
    EXPECT_EQ(p.Value3, 1000);
    EXPECT_NEAR(p.Time, Now(), 2.0 / 86400);
    EXPECT_EQ(Context.Lines, (QStringList{"MeasureIC node, InstrumentID mf-dev",
                                          "Subscribe  : /DEV1234/IMPS/0/SAMPLE 00000000",
                                          "GetValue   : 00000000"}));
    // Bias off, then the signal; after the reading the signal is off again.
    EXPECT_EQ(Journal(), (QStringList{"/dev1234/imps/0/bias/enable i 0",
                                      "/dev1234/imps/0/freq d 1000",
                                      "/dev1234/imps/0/output/amplitude d 0.10000000000000001",
                                      "/dev1234/imps/0/auto/inputrange i 1",
                                      "/dev1234/imps/0/output/on i 1",
                                      "/dev1234/imps/0/enable i 1",
                                      "/dev1234/imps/0/bias/enable i 0",
                                      "/dev1234/imps/0/output/on i 0",
                                      "/dev1234/imps/0/enable i 0"}));
    const QStringList lines = log.Lines();
    const QStringList expected = {"MFIA IC/IS node: impedance", "F: 1000", "Start of loop: 1",
                                  "isa1 accuired", "isa1 R: 100", "isa1 I: -50",
                                  "FlagsOK    : True", "Flags      : 0 $00000000",
                                  "Flags mask : 120 $00000078", "RRtesting is OFF",
                                  "Accept result", "Valid result added", "R: 100", "I: -50",
                                  "F: 1000"};
    for (const QString& line : expected)
        EXPECT_TRUE(lines.contains(line)) << line.toStdString();
    EXPECT_TRUE(lines.contains("isa1 P: " + FloatToStr(std::atan2(-50.0, 100.0))));
    EXPECT_FALSE(lines.contains("Start of loop: 2"));
    EXPECT_EQ(MFIAObject()->API().EventCount(), 0);
}

TEST_F(MfiaTest, TheBiasIsSetWhenGiven) {
    Install();
    SetSim("SEQUENCE", "100,-50");
    TMeasurementNode node;
    Prepare(node, "IC", 250);
    node.DCBias = 0.5;
    TPrologix adapter;
    EXPECT_TRUE(MeasureImpedance(node, adapter, 250, &Context));
    const QStringList journal = Journal();
    ASSERT_GE(journal.size(), 3);
    EXPECT_EQ(journal.mid(0, 3), (QStringList{"/dev1234/imps/0/bias/value d 0.5",
                                              "/dev1234/imps/0/bias/enable i 1",
                                              "/dev1234/imps/0/freq d 250"}));
    EXPECT_EQ(node.GetData(0).Value3, 250);
}

TEST_F(MfiaTest, TheResultsRatioAcceptsTheMeanOfTwoCloseSamples) {
    Install();
    SetSim("SEQUENCE", "100,-50;103,-40");
    TMeasurementNode node;
    Prepare(node, "IC");
    node.MFIARR = 0.05;
    TLogCapture log;
    TPrologix adapter;
    EXPECT_TRUE(MeasureImpedance(node, adapter, 1000, &Context));
    ASSERT_EQ(node.DataCount(), 1);
    EXPECT_DOUBLE_EQ(node.GetData(0).Value1, 101.5);
    EXPECT_DOUBLE_EQ(node.GetData(0).Value2, -45);
    const QStringList lines = log.Lines();
    for (const char* line : {"User defined RR>1, acquiring second result",
                             " -> Desired ratio: 0.95 to 1.05", "1st R: 100", "2nd R: 103",
                             " -> Ratio satisfied", "RRtesting is ON", "Results Ratio is OK",
                             "Accept result"})
        EXPECT_TRUE(lines.contains(line)) << line;
}

TEST_F(MfiaTest, ARatioOutsideTheBandStartsANewAttempt) {
    Install();
    // Real parts 100/110 (0.909) and imaginary parts -50/-60 (0.833) both fail; then 100/101.
    SetSim("SEQUENCE", "100,-50;110,-60;100,-50;101,-50");
    TMeasurementNode node;
    Prepare(node, "IC");
    node.MFIARR = 0.05;
    node.ImpTimeout = 60;
    TLogCapture log;
    TPrologix adapter;
    EXPECT_TRUE(MeasureImpedance(node, adapter, 1000, &Context));
    ASSERT_EQ(node.DataCount(), 1);
    EXPECT_DOUBLE_EQ(node.GetData(0).Value1, 100.5);
    const QStringList lines = log.Lines();
    for (const char* line : {"Start of loop: 1", "* Ratio: " /* prefix checked below */,
                             " ** Ratio failed", "Results Ratio is BAD", "Failed result",
                             "Start of loop: 2", "Results Ratio is OK", "Accept result"})
        EXPECT_FALSE(lines.filter(line).isEmpty()) << line;
    EXPECT_TRUE(lines.contains("* Ratio: " + FloatToStr(100.0 / 110.0)));
    EXPECT_TRUE(lines.contains("* Ratio: " + FloatToStr(50.0 / 60.0)));
    EXPECT_FALSE(lines.contains("Start of loop: 3"));
}

TEST_F(MfiaTest, FlaggedSamplesFailUntilTheTimeout) {
    Install();
    SetSim("FLAGS", "0x10");
    TMeasurementNode node;
    Prepare(node, "IC");
    node.ImpTimeout = 6; // the second attempt ends after more than 6 s
    TLogCapture log;
    TPrologix adapter;
    EXPECT_FALSE(MeasureImpedance(node, adapter, 1000, &Context));
    ASSERT_EQ(node.DataCount(), 1);
    const TMeasurementResult p = node.GetData(0);
    EXPECT_TRUE(std::isnan(p.Value1));
    EXPECT_TRUE(std::isnan(p.Value2));
    EXPECT_EQ(p.Value3, 1000); // the frequency the analyser reported
    const QStringList lines = log.Lines();
    EXPECT_EQ(lines.filter("Failed result").size(), 2);
    EXPECT_TRUE(lines.contains("Flags      : 16 $00000010"));
    EXPECT_TRUE(lines.contains("FlagsOK    : False"));
    EXPECT_TRUE(lines.contains("Timeout took place"));
    EXPECT_FALSE(lines.contains("However, a valid result was obtained, using it"));
    EXPECT_FALSE(lines.contains("Start of loop: 3"));
    EXPECT_EQ(lines.filter(QRegularExpression("^ -> Time \\d+/6$")).size(), 2);
}

TEST_F(MfiaTest, AnAttemptWithoutASampleIsNotAccepted) {
    Install();
    SetSim("NODATA", "1");
    TMeasurementNode node;
    Prepare(node, "IC", 2000);
    TLogCapture log;
    TPrologix adapter;
    EXPECT_FALSE(MeasureImpedance(node, adapter, 2000, &Context));
    ASSERT_EQ(node.DataCount(), 1);
    EXPECT_TRUE(std::isnan(node.GetData(0).Value1));
    EXPECT_EQ(node.GetData(0).Value3, 2000); // nothing reported: the requested frequency
    const QStringList lines = log.Lines();
    EXPECT_TRUE(lines.contains("No sample arrived within 5001 ms"));
    EXPECT_TRUE(lines.contains("Failed result"));
    EXPECT_FALSE(lines.contains("Accept result"));
    EXPECT_TRUE(lines.contains("Timeout took place"));
}

TEST_F(MfiaTest, AMissingSecondSampleFailsTheRatio) {
    Install();
    SetSim("SEQUENCE", "100,-50;-");
    TMeasurementNode node;
    Prepare(node, "IC");
    node.MFIARR = 0.05;
    TLogCapture log;
    TPrologix adapter;
    EXPECT_FALSE(MeasureImpedance(node, adapter, 1000, &Context));
    ASSERT_EQ(node.DataCount(), 1);
    EXPECT_TRUE(std::isnan(node.GetData(0).Value1));
    const QStringList lines = log.Lines();
    EXPECT_TRUE(lines.contains("No second sample arrived within 5001 ms"));
    EXPECT_TRUE(lines.contains("Results Ratio is BAD"));
    EXPECT_FALSE(lines.contains("Accept result"));
}

} // namespace
