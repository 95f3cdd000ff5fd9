// Engine runs against the simulated laboratory.
#include <gtest/gtest.h>

#include <cmath>

#include "labsession.h"
#include "tavlo/folders.h"
#include "tavlo/userinteraction.h"
#include "tavlosim/simlab.h"
#include "tavlosim/simlan.h"
#include "tavlosim/simmeters.h"
#include "tavlosim/simswitch.h"
#include "tavlosim/cataloguelab.h"
#include "tavlosim/standardlab.h"
#include "testutil.h"

namespace {
class InstrumentRun : public TLabSessionTest {
protected:
    void SetUp() override {
        TLabSessionTest::SetUp();
        QString error;
        ASSERT_TRUE(BuildStandardLab(lab, devices, &error)) << error.toStdString();
        StartSession();
    }
    TStandardLab devices;
};
} // namespace

TEST_F(InstrumentRun, AResistanceReadingThroughTheAdapter) {
    TMeasurement* m = AddMeasurement(*session, "Resistor");
    m->MultiTimeout = 5;
    TMeasurementNode* r = AddNode(*m, "R sample", "M2");
    r->Instrument = "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB";
    r->GPIBBeforePoint = "*CLS\r\nFUNC 'RES'\r\n:MEAS?";
    TMeasurementNode* timer = AddNode(*m, "T timer", "TI");
    timer->Instrument = r->Instrument;
    for (int run = 0; run < 2; ++run)
        ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(r->DataCount(), 2);
    EXPECT_NEAR(r->GetData(1).Value1, 100, 5); // the simulated 100 ohm resistor with noise
    EXPECT_NEAR(r->GetData(1).Time, Now(), 60.0 / SecondsPerDay);
    // A timer node runs its lists and stores nothing but the padding of its index.
    for (const TMeasurementResult& p : timer->Points())
        EXPECT_EQ(p.Value1, 0);
    const QStringList log = session->RunLog();
    EXPECT_FALSE(log.filter("**Serial port component created : COM33").isEmpty());
    EXPECT_FALSE(log.filter("**1st switching stage POST: No switching").isEmpty());
    EXPECT_FALSE(log.filter("Measuring loop ended").isEmpty());
}

TEST_F(InstrumentRun, ASilentInstrumentStoresNoPointAndTheRunGoesOn) {
    TMeasurement* m = AddMeasurement(*session, "Silent");
    m->MultiTimeout = 1;
    TMeasurementNode* missing = AddNode(*m, "a missing", "M2");
    missing->Instrument = "Multimeter K2000 COM33 ADDR:21 EOS:0 GPIB"; // nobody at address 21
    missing->GPIBBeforePoint = ":MEAS?";
    TMeasurementNode* present = AddNode(*m, "b present", "M2");
    present->Instrument = "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB";
    present->GPIBBeforePoint = "*CLS\r\nFUNC 'RES'\r\n:MEAS?";
    ASSERT_TRUE(OneRun(*session));
    EXPECT_EQ(missing->DataCount(), 0);
    ASSERT_EQ(present->DataCount(), 1);
    EXPECT_NEAR(present->GetData(0).Value1, 100, 5);
}

TEST_F(InstrumentRun, ALanMultimeterReadThroughTwoConnections) {
    auto meter = std::make_shared<TSimScpiMeter>(TSimScpiMeter::KeithleyDMM6500);
    const uint16_t port = lab.AddTcpDevice("DMM6500", std::make_shared<TSimLanInstrument>(meter));
    ASSERT_NE(port, 0);
    TMeasurement* m = AddMeasurement(*session, "LAN");
    m->MultiTimeout = 5;
    TMeasurementNode* r = AddNode(*m, "R lan", "M2");
    r->Instrument = QStringLiteral("Multimeter DMM6500 127.0.0.1 %1 LAN").arg(port);
    r->GPIBBeforePoint = ":MEAS:RES?";
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(r->DataCount(), 1);
    EXPECT_GT(r->GetData(0).Value1, 0);
    const QStringList log = session->RunLog();
    EXPECT_FALSE(log.filter("Instrument InterfaceType LAN").isEmpty());
    EXPECT_FALSE(log.filter(" Sent: :MEAS:RES?").isEmpty());
    EXPECT_FALSE(log.filter(" TCPIP - result: ").isEmpty());
}

TEST_F(InstrumentRun, BroadcastToASerialPort) {
    auto recorder = std::make_shared<TSimBroadcastReceiver>();
    ASSERT_FALSE(lab.AddSerialDevice("COM9", recorder).isEmpty());
    lab.WritePortMap(dir.Path());
    TMeasurement* m = AddMeasurement(*session, "Broadcast");
    TMeasurementNode* binary = AddNode(*m, "a binary", "AU");
    binary->AUType = "COM";
    binary->AUCOM = "COM9";
    binary->AUCOMBinary = "2 65 66 3 x 7\r\n300";
    TMeasurementNode* text = AddNode(*m, "b text", "AU");
    text->AUType = "COM";
    text->AUCOM = "COM9";
    text->AUCOMExpression = "1.5";
    text->AUCOMNumberFormat = "0,00";
    TMeasurementNode* nowhere = AddNode(*m, "c nowhere", "AU");
    nowhere->AUType = "COM";
    nowhere->AUCOM = "COM99";
    TMeasurementNode* undefined = AddNode(*m, "d undefined", "AU");
    undefined->AUType = "COM";
    ASSERT_TRUE(OneRun(*session));
    ASSERT_TRUE(RunUntil([&] {
        auto lock = lab.Lock();
        return recorder->Bytes.size() >= 10;
    }));
    {
        auto lock = lab.Lock();
        EXPECT_EQ(recorder->Bytes, QByteArray("\x02" "AB\x03" "\x2C" "1,50\r", 10));
        EXPECT_TRUE(recorder->Lines.last().endsWith("1,50")); // after the binary bytes
    }
    EXPECT_EQ(binary->DataCount(), 0); // a binary broadcast stores no point
    ASSERT_EQ(text->DataCount(), 1);
    EXPECT_EQ(text->GetData(0).Value1, 1.5);
    ASSERT_EQ(nowhere->DataCount(), 1);
    EXPECT_TRUE(std::isnan(nowhere->GetData(0).Value1));
    EXPECT_EQ(undefined->DataCount(), 0);
    EXPECT_FALSE(session->RunLog().filter("AUCOM broadcast: 1,50").isEmpty());
    EXPECT_FALSE(session->RunLog().filter("AUCOM broadcast not performed, port could not be opened").isEmpty());
    EXPECT_FALSE(session->RunLog().filter("AUCOM broadcast not performed, port not defined").isEmpty());
}

TEST_F(InstrumentRun, SwitchingBeforeAndAfterTheNode) {
    auto unit = std::make_shared<TSimSwitchUnit>();
    {
        auto lock = lab.Lock();
        devices.Adapter->Plug(20, unit); // an address the catalogue leaves free
    }
    TMeasurement* m = AddMeasurement(*session, "Switched");
    TMeasurementNode* manual = AddNode(*m, "a manual", "TI");
    manual->Instrument = "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB";
    manual->Connection = "Manual";
    TMeasurementNode* external = AddNode(*m, "b external", "M2");
    external->Instrument = "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB";
    external->GPIBBeforePoint = "*CLS\r\nFUNC 'RES'\r\n:MEAS?";
    external->Connection = "Switch";
    external->Switch = "Switch K7001 COM33 ADDR:20 EOS:0";
    external->SwitchGPIBBeforePoint = "ROUT:OPEN:ALL\r\nROUT:CLOS (@1!1,1!4)";
    external->SwitchGPIBAfterPoint = "ROUT:OPEN (@1!4)";
    ASSERT_TRUE(OneRun(*session));
    const QStringList messages = ui.Messages();
    ASSERT_EQ(messages.size(), 2);
    EXPECT_EQ(messages[0], "Tavlo 2 is paused for manual cable switching.\r\n\r\nMeasurement: Switched "
                           "\r\nNode: a manual \r\nPhase: Before measurement of this node");
    EXPECT_TRUE(messages[1].endsWith("Phase: After measurement of this node"));
    // The reading between the switching stages reached the multimeter at its own address.
    ASSERT_EQ(external->DataCount(), 1);
    EXPECT_NEAR(external->GetData(0).Value1, 100, 5);
    auto lock = lab.Lock();
    EXPECT_EQ(unit->Received, (QStringList{"ROUT:OPEN:ALL", "ROUT:CLOS (@1!1,1!4)", "ROUT:OPEN (@1!4)"}));
    EXPECT_EQ(unit->Closed, QStringList{"1!1"});
}

TEST_F(InstrumentRun, AnImpedanceSweepHandsEveryPointOverAtOnce) {
    TCatalogueLab catalogue;
    ASSERT_TRUE(AddCatalogueInstruments(lab, *devices.Adapter, catalogue, QString()));
    TMeasurement* m = AddMeasurement(*session, "Sweep");
    m->ImpTimeout = 10;
    TMeasurementNode* sweep = AddNode(*m, "a sweep", "IS");
    sweep->Instrument = QStringLiteral("Imp.Spectrometer Hioki_3522-50 COM33 ADDR:%1 EOS:0 GPIB")
                            .arg(catalogue.AddressOf("Hioki_3522-50"));
    sweep->SweepStartHz = 100000;
    sweep->SweepPoints = 3;
    sweep->SweepStep = 0.1;
    TMeasurementNode* single = AddNode(*m, "b single", "IC");
    single->Instrument = sweep->Instrument;
    single->Frequency = 1000;
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(sweep->DataCount(), 3);
    EXPECT_NEAR(sweep->GetData(0).Value3, 100000, 1);
    EXPECT_NEAR(sweep->GetData(2).Value3, 1000, 1);
    EXPECT_TRUE(sweep->SweepFinished);
    ASSERT_EQ(single->DataCount(), 1);
    EXPECT_NEAR(single->GetData(0).Value3, 1000, 1);
    EXPECT_FALSE(std::isnan(single->GetData(0).Value1));
    EXPECT_FALSE(session->RunLog().filter(" *** At 10000.000Hz").isEmpty());
    // A finished sweep is not run again until it is reset.
    ASSERT_TRUE(OneRun(*session)) << session->RunLog().mid(session->RunLog().size() - 5).join("\n").toStdString();
    EXPECT_EQ(sweep->DataCount(), 3);
}

TEST_F(InstrumentRun, AGpibActionSendsItsComputedCommands) {
    TMeasurement* m = AddMeasurement(*session, "Action");
    TMeasurementNode* action = AddNode(*m, "set", "AU");
    action->AUType = "GPIB";
    action->Instrument = "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB";
    action->AG1Expression = "7";
    action->AG1Max = 5;
    action->AG1Format = "0.0";
    action->AGGPIBCode = "SENS:VOLT:NPLC $AG1";
    TMeasurementNode* missing = AddNode(*m, "set nan", "AU");
    missing->AUType = "GPIB";
    missing->Instrument = action->Instrument;
    missing->AG2Expression = "$N9.V1";
    missing->AG2Max = 5;
    missing->AGGPIBCode = "SENS:CURR:NPLC $AG2";
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(action->DataCount(), 1);
    EXPECT_EQ(action->GetData(0).Value1, 5);
    ASSERT_EQ(missing->DataCount(), 1);
    EXPECT_TRUE(std::isnan(missing->GetData(0).Value2)); // stored, but nothing sent
    auto lock = lab.Lock();
    const QStringList received = devices.Keithley->Received;
    EXPECT_TRUE(received.contains("SENS:VOLT:NPLC 5.0"));
    EXPECT_TRUE(received.filter("SENS:CURR").isEmpty());
}

TEST_F(InstrumentRun, AnInstrumentThatStopsAnsweringMidRun) {
    TMeasurement* m = AddMeasurement(*session, "Flaky");
    m->MultiTimeout = 2;
    TMeasurementNode* r = AddNode(*m, "a meter", "M2");
    r->Instrument = "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB";
    r->GPIBBeforePoint = "*CLS\r\nFUNC 'RES'\r\n:MEAS?";
    TMeasurementNode* beat = AddNode(*m, "b heartbeat", "AU");
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(r->DataCount(), 1);
    {
        auto lock = lab.Lock();
        devices.Keithley->Faults.NoAnswer = true;
    }
    ASSERT_TRUE(OneRun(*session));
    // No reading, but the run went on to the next node.
    EXPECT_EQ(beat->DataCount(), 2);
    EXPECT_EQ(r->DataCount(), 1);
    {
        auto lock = lab.Lock();
        devices.Keithley->Faults.NoAnswer = false;
    }
    ASSERT_TRUE(OneRun(*session));
    EXPECT_EQ(r->DataCount(), 3); // padded to the index, then the new reading
    EXPECT_NEAR(r->GetData(2).Value1, 100, 5);
}

TEST_F(InstrumentRun, ASweepStopsWhenItsNodeIsMadeInactive) {
    TCatalogueLab catalogue;
    ASSERT_TRUE(AddCatalogueInstruments(lab, *devices.Adapter, catalogue, QString()));
    TMeasurement* m = AddMeasurement(*session, "Stopped sweep");
    m->ImpTimeout = 10;
    TMeasurementNode* sweep = AddNode(*m, "sweep", "IS");
    sweep->Instrument = QStringLiteral("Imp.Spectrometer Hioki_3522-50 COM33 ADDR:%1 EOS:0 GPIB")
                            .arg(catalogue.AddressOf("Hioki_3522-50"));
    sweep->SweepStartHz = 100000;
    sweep->SweepPoints = 10;
    sweep->SweepStep = 0.5;
    session->EngineTick();
    ASSERT_NE(session->CurrentEngine(), nullptr);
    ASSERT_TRUE(RunUntil([&] { return sweep->DataCount() >= 1; }, 60000));
    sweep->Active = false; // the user switches the node off during the sweep
    ASSERT_TRUE(RunUntil([&] { return session->CurrentEngine()->FinishedMeasuring.load(); }, 60000));
    session->EngineTick();
    EXPECT_LT(sweep->DataCount(), 4);
    EXPECT_TRUE(sweep->SweepFinished);
    EXPECT_FALSE(session->RunLog().filter("Sweep stopped: the node was made inactive").isEmpty());
}
