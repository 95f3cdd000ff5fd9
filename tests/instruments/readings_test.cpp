#include <gtest/gtest.h>

#include "simfixture.h"
#include "tavlo/catalogue.h"
#include "tavlo/clock.h"
#include "tavlo/commandlist.h"
#include "tavlo/device.h"
#include "tavlo/instrumentcontext.h"
#include "tavlo/log.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/prologix.h"
#include "tavlo/readings.h"
#include "tavlosim/cataloguelab.h"
#include "tavlosim/simkeithley2000.h"

#include <QElapsedTimer>

#include <cmath>
#include <thread>

namespace {
struct TMeterCase;

class TTestContext : public IInstrumentContext {
public:
    void Feedback(const QString& line) override { FeedbackLines.append(line); }
    void ShowStatus(const QString& text) override { Status.append(text); }
    void HandOverSweepPoint(TMeasurementNode&, const TMeasurementResult& point) override {
        Sweep.push_back(point);
    }
    void Refresh() override { ++Refreshes; }
    QStringList FeedbackLines, Status;
    std::vector<TMeasurementResult> Sweep;
    int Refreshes = 0;
};

class ReadingsTest : public ::testing::Test {
protected:
    ReadingsTest() {
        Adapter = std::make_shared<TSimPrologix>();
        Keithley = std::make_shared<TSimKeithley2000>();
        Adapter->Plug(4, Keithley);
        AddCatalogueInstruments(Sim.Lab, *Adapter, Lab, QStringLiteral("COM8"));
        Sim.Serve(QStringLiteral("COM33"), Adapter);
        Node.Caption = QStringLiteral("test node");
        Node.MultiTimeout = 4;
        Node.ImpTimeout = 4;
    }

    // Points the node at a model on the bus and sets the adapter up for it.
    void Use(const char* key, const char* nodeType, int address = -1) {
        if (address < 0)
            address = QByteArray(key) == "K2000" ? 4 : Lab.AddressOf(key);
        Node.NodeType = QString::fromLatin1(nodeType);
        Node.Instrument = QStringLiteral("Role %1 COM33 ADDR:%2 EOS:0 GPIB").arg(QLatin1String(key)).arg(address);
        Port.SetupStandard(QStringLiteral("COM33"), static_cast<quint32>(address), 0, 1500);
    }
    QStringList AdapterLines() {
        auto lock = Sim.Lab.Lock();
        QStringList lines;
        for (const QByteArray& l : Adapter->Lines)
            lines.append(QString::fromLatin1(l));
        return lines;
    }
    void ClearAdapterLines() {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        auto lock = Sim.Lab.Lock();
        Adapter->Lines.clear();
    }
    void RunMeterCases(const std::vector<TMeterCase>& cases);
    std::complex<double> Expected(const TSimImpedanceAnalyser& a, double f) {
        auto lock = Sim.Lab.Lock();
        return a.Sample.Impedance(f);
    }

    TSimFixture Sim;
    std::shared_ptr<TSimPrologix> Adapter;
    std::shared_ptr<TSimKeithley2000> Keithley;
    TCatalogueLab Lab;
    TPrologix Port;
    TMeasurementNode Node;
    TTestContext Context;
};

::testing::AssertionResult Near(double actual, double expected, double relative) {
    if (std::fabs(actual - expected) <= std::fabs(expected) * relative)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << actual << " is not within " << relative * 100
                                         << "% of " << expected;
}
} // namespace

namespace {
struct TMeterCase {
    const char* Key;
    const char* NodeType;
    const char* Before; // empty: the catalogue's default
    double V1, V2, V3;
};
} // namespace

// Each meter model with its default "before" commands (or a stated list), the reading path
// and the model's parsing. Two halves, so that they can run side by side.
void ReadingsTest::RunMeterCases(const std::vector<TMeterCase>& cases) {
    Node.AGPIB1 = 10;
    Node.AGPIB1S = QStringLiteral("1.0E+01");
    for (const TMeterCase& c : cases) {
        SCOPED_TRACE(c.Key);
        Node.ClearData();
        Use(c.Key, c.NodeType);
        const QString before = *c.Before ? QString::fromLatin1(c.Before)
                                         : DefaultCommands(InstrumentData(Node), Node.NodeType, 1);
        ASSERT_FALSE(before.isEmpty());
        ParseAndSendGPIB(Node, before, Port, &Context);
        ASSERT_TRUE(ReceiveResult(Node, Port, &Context));
        ASSERT_EQ(Node.DataCount(), 1);
        const TMeasurementResult p = Node.GetData(0);
        EXPECT_TRUE(Near(p.Value1, c.V1, 1e-3));
        EXPECT_TRUE(Near(p.Value2, c.V2, 1e-3));
        EXPECT_TRUE(Near(p.Value3, c.V3, 1e-3));
        EXPECT_NEAR(p.Time, Now(), 10.0 / 86400);
    }
}

TEST_F(ReadingsTest, MultimeterReadingsPerModelA) {
    RunMeterCases({
        {"K2000", "M2", "", 100.25, 0, 0},
        {"34970A", "M2", "", 1000.5, 0, 0},
        {"34420A", "M4", "", 1000, 0, 0},
        {"34401A", "MV", "", 0.0125, 0, 0},
        {"PowersupplyE3642A", "MV", "*RST\r\nSOUR:VOLT 5\r\nOUTP ON\r\nMEAS:VOLT?", 5, 0, 0},
        {"HP3458A", "MC", "", 1e-4, 0, 0},
    });
}

TEST_F(ReadingsTest, MultimeterReadingsPerModelB) {
    RunMeterCases({
        {"HP4339B", "M2", "", 2.5e9, 0, 0},
        {"K6430(MeasureOnly)", "MV", "", 0.0125, 0, 0},
        {"K2400", "MV", ":FORM:ELEM VOLT,CURR\r\n:READ?", 0.0125, 1e-4, 0},
        {"K6514(Electrometer)", "M2", "", 2.5e9, 0, 0},
        {"K6500", "M2", "", 1000.5, 0, 0},
        {"KSB2985B(Electrometer)", "MC", "", 4e-9, 10, 2.5e9},
    });
}

TEST_F(ReadingsTest, CorrectionOverflowAndFailures) {
    // Geometry correction: area / thickness / density^2 = 3 / 0.5 / 4.
    Use("K6500", "M4");
    Node.SampleCorrect = true;
    Node.SampleArea = 3;
    Node.SampeThickness = 0.5;
    Node.SampleDensity = 2;
    ParseAndSendGPIB(Node, DefaultCommands(InstrumentData(Node), Node.NodeType, 1), Port, &Context);
    ASSERT_TRUE(ReceiveResult(Node, Port, &Context));
    EXPECT_TRUE(Near(Node.GetData(0).Value1, 1000 * 1.5, 1e-3));
    // Correction on but no thickness: nothing divides by zero, the reading stays.
    Node.SampeThickness = 0;
    ParseAndSendGPIB(Node, QStringLiteral(":READ?"), Port, &Context);
    ASSERT_TRUE(ReceiveResult(Node, Port, &Context));
    EXPECT_TRUE(Near(Node.GetData(1).Value1, 1000, 1e-3));
    Node.SampleCorrect = false;

    // Beyond the range the meter gives +9.9E+37: stored as NaN.
    {
        auto lock = Sim.Lab.Lock();
        Lab.Meter("K6500")->Resistance = 1e12;
    }
    ParseAndSendGPIB(Node, QStringLiteral(":READ?"), Port, &Context);
    ASSERT_TRUE(ReceiveResult(Node, Port, &Context));
    EXPECT_TRUE(std::isnan(Node.GetData(2).Value1));

    // Never ready (no query sent): no point, the attempt logged.
    Node.MultiTimeout = 1;
    {
        TLogCapture log;
        QElapsedTimer timer;
        timer.start();
        EXPECT_FALSE(ReceiveResult(Node, Port, &Context));
        EXPECT_LT(timer.elapsed(), 6000);
        EXPECT_EQ(Node.DataCount(), 3);
        EXPECT_TRUE(log.Contains(QStringLiteral(" Timeout")));
        EXPECT_TRUE(log.Contains(QStringLiteral("Measuring with K6500 on node test node failed or timed out.")));
    }
    // Garbage instead of a reading: no point.
    {
        auto lock = Sim.Lab.Lock();
        Lab.Meter("K6500")->Resistance = 1000;
        Lab.Meter("K6500")->Faults.Garbage = true;
    }
    Node.MultiTimeout = 4;
    {
        TLogCapture log;
        ParseAndSendGPIB(Node, QStringLiteral(":READ?"), Port, &Context);
        EXPECT_FALSE(ReceiveResult(Node, Port, &Context));
        EXPECT_EQ(Node.DataCount(), 3);
        EXPECT_TRUE(log.Contains(QStringLiteral("Format result failed")));
    }
    // A model whose replies are not parsed (the 2200 supply): no point.
    Use("K2000-20-5", "MV");
    {
        TLogCapture log;
        ParseAndSendGPIB(Node, QStringLiteral("*IDN?"), Port, &Context);
        EXPECT_FALSE(ReceiveResult(Node, Port, &Context));
        EXPECT_TRUE(log.Contains(QStringLiteral("Measuring with K2000-20-5 on node test node failed or timed out.")));
    }
    EXPECT_EQ(Node.DataCount(), 3);
}

TEST_F(ReadingsTest, FreeGpibNodeTakesUpToThreeMatches) {
    Use("K2000", "GF", 4);
    struct {
        const char* Pattern;
        bool V1, V2, V3; // value present
        const char* Log;
    } cases[] = {
        {"[-+]?\\d+\\.\\d+e[-+]\\d+", true, false, false, "**GPIB Freestyle result converted"},
        {"\\d+", true, true, true, "**GPIB Freestyle result converted"},
        {"e\\+\\d+", false, false, false, "failed to convert to a number at position: 12"},
        {"(", false, false, false, "Format result failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Pattern);
        TLogCapture log;
        Node.ClearData();
        Node.GPIBFreeExp = QString::fromLatin1(c.Pattern);
        ParseAndSendGPIB(Node, QStringLiteral("FUNC 'FRES'\r\n:MEAS?"), Port, &Context);
        const bool stored = ReceiveResult(Node, Port, &Context);
        EXPECT_TRUE(log.Contains(QString::fromLatin1(c.Log)));
        if (QByteArray(c.Pattern) == "(") {
            EXPECT_FALSE(stored);
            EXPECT_EQ(Node.DataCount(), 0);
            continue;
        }
        ASSERT_TRUE(stored);
        const TMeasurementResult p = Node.GetData(0);
        EXPECT_EQ(!std::isnan(p.Value1), c.V1);
        EXPECT_EQ(!std::isnan(p.Value2), c.V2);
        EXPECT_EQ(!std::isnan(p.Value3), c.V3);
        if (c.V1 && !c.V2) {
            EXPECT_TRUE(Near(p.Value1, 100, 1e-3));
        }
    }
}

TEST_F(ReadingsTest, ImpedancePointPerAnalyser) {
    struct TCase {
        const char* Key;
        TSimImpedanceAnalyser* Analyser;
        double F;
        const char* FirstCommand;
    };
    const TCase cases[] = {
        {"Hioki_3522-50", Lab.Hioki.get(), 1000, ":LEV:CVOLT 1.0000000E-01"},
        {"Solartron1260", Lab.Solartron1260.get(), 5000, "VA +1.0000000E-01"},
        {"NovocontrolAlphaAT", Lab.Novocontrol.get(), 2000, "ACV=0.1"},
        {"HP4192A", Lab.HP4192A.get(), 10000, "OL0.100EN"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Key);
        Node.ClearData();
        Use(c.Key, "IC");
        Context.FeedbackLines.clear();
        ASSERT_TRUE(MeasureImpedance(Node, Port, c.F, &Context));
        ASSERT_EQ(Node.DataCount(), 1);
        const std::complex<double> z = Expected(*c.Analyser, c.F);
        const TMeasurementResult p = Node.GetData(0);
        EXPECT_TRUE(Near(p.Value1, z.real(), 2e-3));
        EXPECT_TRUE(Near(p.Value2, z.imag(), 2e-3));
        EXPECT_TRUE(Near(p.Value3, c.F, 1e-6));
        EXPECT_EQ(Context.FeedbackLines.value(0), QStringLiteral("MeasureIC node, InstrumentID ") + c.Key);
        auto lock = Sim.Lab.Lock();
        EXPECT_TRUE(c.Analyser->Received.contains(QString::fromLatin1(c.FirstCommand)))
            << c.Analyser->Received.join(u'|').toStdString();
    }
    // The clean-up of each model.
    auto lock = Sim.Lab.Lock();
    const QStringList hioki = Lab.Hioki->Received;
    EXPECT_EQ(hioki.mid(hioki.size() - 5),
              QStringList({"*CLS", ":LEV CV", ":LEV:CVOLT 0.0000000E+00", ":LEV CC", ":LEV:CCURR 0.0000000E+00"}));
    EXPECT_EQ(Lab.Solartron1260->Received.last(), QStringLiteral("VB 0"));
    const QStringList novo = Lab.Novocontrol->Received;
    EXPECT_EQ(novo.mid(novo.size() - 7),
              QStringList({"ZRE?", "DCE=0", "DCV=0", "ACV=0", "GFR=2000", "DCE=0", "DCV=0"}));
    EXPECT_EQ(Lab.HP4192A->Received.last(), QStringLiteral("OL0.000EN"));
}

TEST_F(ReadingsTest, HP4192AConductanceFormAndBridgeLimit) {
    Use("HP4192A", "IC");
    {
        auto lock = Sim.Lab.Lock();
        Lab.HP4192A->Parallel = true;
    }
    ASSERT_TRUE(MeasureImpedance(Node, Port, 1000, &Context));
    const std::complex<double> z = Expected(*Lab.HP4192A, 1000);
    EXPECT_TRUE(Near(Node.GetData(0).Value1, z.real(), 2e-3));
    EXPECT_TRUE(Near(Node.GetData(0).Value2, z.imag(), 2e-3));
    // R = 200 and X = -200 exactly: 0 and 0, so no proper result.
    {
        auto lock = Sim.Lab.Lock();
        Lab.HP4192A->Parallel = false;
        Lab.HP4192A->FixedDisplay = std::make_pair(200.0, -200.0);
    }
    TLogCapture log;
    EXPECT_FALSE(MeasureImpedance(Node, Port, 1000, &Context));
    EXPECT_EQ(Node.DataCount(), 1);
    EXPECT_TRUE(log.Contains(QStringLiteral("RS -> 0")));
    EXPECT_TRUE(log.Contains(QStringLiteral(
        "Measuring Impedance with HP4192A on node test node failed, no proper result found.")));
}

TEST_F(ReadingsTest, NovocontrolStateOtherThanTwoFails) {
    Use("NovocontrolAlphaAT", "IC");
    {
        auto lock = Sim.Lab.Lock();
        Lab.Novocontrol->ResultState = 1;
    }
    TLogCapture log;
    EXPECT_FALSE(MeasureImpedance(Node, Port, 1000, &Context));
    EXPECT_EQ(Node.DataCount(), 0);
    EXPECT_TRUE(log.Contains(QStringLiteral("F  -> 0")));
    EXPECT_TRUE(log.Contains(QStringLiteral(
        "Measuring Impedance with NovocontrolAlphaAT on node test node failed, no proper result found.")));
}

TEST_F(ReadingsTest, SweepPointIsHandedOverAndCorrected) {
    Use("Solartron1287", "IS");
    Node.SampleCorrect = true;
    Node.SampleArea = 2;
    Node.SampeThickness = 1;
    Node.SampleDensity = 1;
    ASSERT_TRUE(MeasureImpedance(Node, Port, 1000, &Context));
    EXPECT_EQ(Node.DataCount(), 0);
    ASSERT_EQ(Context.Sweep.size(), 1u);
    EXPECT_TRUE(Near(Context.Sweep[0].Value1, 0.25 * 2, 1e-3));
    EXPECT_TRUE(Near(Context.Sweep[0].Value2, 0.25 / 500 * 2, 1e-3));
    EXPECT_EQ(Context.Sweep[0].Value3, 1);
    EXPECT_GE(Context.Refreshes, 1);
}

TEST_F(ReadingsTest, ImpedanceTimeoutResetsTheInstrument) {
    Use("Hioki_3522-50", "IC");
    Node.ImpTimeout = 1;
    {
        auto lock = Sim.Lab.Lock();
        Lab.Hioki->NeverReady = true;
    }
    ClearAdapterLines();
    TLogCapture log;
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(MeasureImpedance(Node, Port, 0.5, &Context));
    // 1 s set-up wait, 1 s + one 2 s period of waiting, about 2.3 s of initialisation.
    EXPECT_LT(timer.elapsed(), 20000);
    ASSERT_EQ(Node.DataCount(), 1);
    const TMeasurementResult p = Node.GetData(0);
    EXPECT_TRUE(std::isnan(p.Value1));
    EXPECT_TRUE(std::isnan(p.Value2));
    EXPECT_EQ(p.Value3, 0.5);
    EXPECT_TRUE(log.Contains(QStringLiteral("Timeout or other failure while waiting for result at 0.5 Hz")));
    EXPECT_TRUE(log.Contains(QStringLiteral("Instrument was reset")));
    EXPECT_FALSE(Context.Status.isEmpty());
    EXPECT_TRUE(Context.Status.first().startsWith(QStringLiteral(" *** At 0.500Hz *** Elapsed 0/3 seconds")))
        << Context.Status.first().toStdString();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the last lines are taken in
    const QStringList lines = AdapterLines();
    const qsizetype reset = lines.indexOf(QStringLiteral("++read_tmo_ms 2000"));
    ASSERT_GE(reset, 0) << lines.join(u'|').toStdString();
    EXPECT_EQ(lines.mid(reset + 1, 8),
              QStringList({"++addr 1", "++eos 0", "*RST", ":PAR1 G;:PAR2 B;:PAR3 RS;:PAR4 X",
                           ":MEAS:ITEM 0,18", ":HEAD OFF", ":RANG:AUTO ON", ":TRIG EXT"}))
        << lines.join(u'|').toStdString();
}

TEST_F(ReadingsTest, PotentiostatReadingAndTimeout) {
    Use("Solartron1287", "P1");
    ASSERT_TRUE(MeasureP1(Node, Port, &Context));
    ASSERT_EQ(Node.DataCount(), 1);
    EXPECT_TRUE(Near(Node.GetData(0).Value1, 0.25, 1e-3));
    EXPECT_TRUE(Near(Node.GetData(0).Value2, 0.25 / 500, 1e-3));
    EXPECT_TRUE(std::isnan(Node.GetData(0).Value3));
    EXPECT_TRUE(Context.FeedbackLines.contains(QStringLiteral("->RU1")));
    // Never ready: the NaN point after 5 s.
    {
        auto lock = Sim.Lab.Lock();
        Lab.Solartron1287->NeverReady = true;
    }
    TLogCapture log;
    EXPECT_FALSE(MeasureP1(Node, Port, &Context));
    ASSERT_EQ(Node.DataCount(), 2);
    EXPECT_TRUE(std::isnan(Node.GetData(1).Value1) && std::isnan(Node.GetData(1).Value2));
    EXPECT_TRUE(log.Contains(QStringLiteral("Timeout or other failure.")));
    // Another model that becomes ready: (now, 0, 0, NaN).
    Use("K2000", "P1", 4);
    ParseAndSendGPIB(Node, QStringLiteral(":MEAS?"), Port, &Context);
    ASSERT_TRUE(MeasureP1(Node, Port, &Context));
    const TMeasurementResult p = Node.GetData(2);
    EXPECT_EQ(p.Value1, 0);
    EXPECT_EQ(p.Value2, 0);
    EXPECT_TRUE(std::isnan(p.Value3));
}

TEST_F(ReadingsTest, OxygenSensorNumberAndFailures) {
    Node.NodeType = QStringLiteral("OX");
    Node.Instrument = QStringLiteral("Oxygen GenAir COM8");
    for (char16_t separator : {u'.', u','}) {
        TDecimalSeparatorScope scope(separator);
        TLogCapture log;
        ASSERT_TRUE(MeasureOxygen(Node));
        EXPECT_TRUE(log.Contains(QStringLiteral("GenAir conversion OK")));
        EXPECT_TRUE(log.Contains(QStringLiteral("GenAir: COM8")));
        EXPECT_TRUE(log.Contains(QStringLiteral("CTS O")));
    }
    ASSERT_EQ(Node.DataCount(), 2);
    EXPECT_TRUE(Near(Node.GetData(1).Value1, 0.2095, 1e-3));
    EXPECT_EQ(Node.GetData(1).Value2, 0);
    // The sensor does not answer, then answers garbage, then the port vanishes.
    {
        auto lock = Sim.Lab.Lock();
        Lab.GenAir->Faults.NoAnswer = true;
    }
    EXPECT_FALSE(MeasureOxygen(Node));
    {
        auto lock = Sim.Lab.Lock();
        Lab.GenAir->Faults.NoAnswer = false;
        Lab.GenAir->Faults.Garbage = true;
    }
    EXPECT_FALSE(MeasureOxygen(Node));
    Sim.Lab.RemovePort(QStringLiteral("COM8"));
    {
        TLogCapture log;
        EXPECT_FALSE(MeasureOxygen(Node));
        EXPECT_TRUE(log.Contains(QStringLiteral("GenAir conversion failed")));
    }
    ASSERT_EQ(Node.DataCount(), 5);
    for (int i = 2; i < 5; ++i) {
        EXPECT_TRUE(std::isnan(Node.GetData(i).Value1));
        EXPECT_EQ(Node.GetData(i).Value2, 0);
    }
}

TEST_F(ReadingsTest, SolartronBiasWaitAndPollSpacing) {
    Use("Solartron1260", "IC");
    Node.DCBias = 0.5;
    Node.DCBiasWait = 1.5;
    {
        auto lock = Sim.Lab.Lock();
        Lab.Solartron1260->MeasureMs = 2600;
    }
    ClearAdapterLines();
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(MeasureImpedance(Node, Port, 1000, &Context));
    // Four 250 ms pauses and the 1.5 s bias wait before "SI", then the measurement's 2.6 s.
    EXPECT_GE(timer.elapsed(), 1000 + 1500 + 2600);
    const QStringList lines = AdapterLines();
    const qsizetype polls = lines.count(QStringLiteral("++spoll"));
    // Polls are spaced by 1000 ms: about three during 2.6 s (without the pause about eight).
    EXPECT_GE(polls, 2);
    EXPECT_LE(polls, 5) << lines.join(u'|').toStdString();
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // the last line is taken in
    auto lock = Sim.Lab.Lock();
    const QStringList received = Lab.Solartron1260->Received;
    const qsizetype bias = received.indexOf(QStringLiteral("VB +5.0000000E-01"));
    ASSERT_GE(bias, 0);
    EXPECT_EQ(received.value(bias + 1), QStringLiteral("SI"));
    EXPECT_EQ(received.last(), QStringLiteral("VB 0"));
    EXPECT_TRUE(Context.FeedbackLines.contains(QStringLiteral("->FR +1.0000000E+03")));
}

namespace {
class TLanContext : public TTestContext {
public:
    bool ReadLAN(TMeasurementNode&, QString& reply) override {
        ++Reads;
        reply = Reply;
        return !Reply.isEmpty();
    }
    QString Reply;
    int Reads = 0;
};
} // namespace

TEST_F(ReadingsTest, LanDeviceReadsThroughTheLanBranch) {
    Node.NodeType = QStringLiteral("MV");
    Node.Instrument = QStringLiteral("Multimeter DMM6500 127.0.0.1 5025 LAN");
    TLanContext lan;
    lan.Reply = QStringLiteral("+1.50000000E+00");
    TLogCapture log;
    ASSERT_TRUE(ReceiveResult(Node, Port, &lan));
    EXPECT_EQ(lan.Reads, 1);
    EXPECT_DOUBLE_EQ(Node.GetData(0).Value1, 1.5);
    EXPECT_TRUE(log.Contains(QStringLiteral(" Software delays 500 ms by default.")));
    // Nothing read over LAN, or no LAN branch at all: no point.
    lan.Reply.clear();
    EXPECT_FALSE(ReceiveResult(Node, Port, &lan));
    EXPECT_FALSE(ReceiveResult(Node, Port));
    EXPECT_EQ(Node.DataCount(), 1);
    EXPECT_TRUE(log.Contains(QStringLiteral("LAN read is not available")));
}
