// LAN instruments over loopback TCP against a simulated DMM6500.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QThread>

#include "tavlo/device.h"
#include "tavlo/instrumentcontext.h"
#include "tavlo/lan.h"
#include "tavlo/log.h"
#include "tavlo/measurementnode.h"
#include "tavlo/userinteraction.h"
#include "tavlosim/simlab.h"
#include "tavlosim/simlan.h"
#include "tavlosim/simmeters.h"
#include "tavlosim/simsource2260b.h"

namespace {
class TRecordingContext : public IInstrumentContext {
public:
    void Feedback(const QString& line) override { Lines << line; }
    QStringList Lines;
};

class Lan : public ::testing::Test {
protected:
    void SetUp() override {
        meter = std::make_shared<TSimScpiMeter>(TSimScpiMeter::KeithleyDMM6500);
        device = std::make_shared<TSimLanInstrument>(meter);
        QString error;
        port = lab.AddTcpDevice("DMM6500", device, 0, &error);
        ASSERT_NE(port, 0) << error.toStdString();
        lab.Start();
        node.Instrument = QStringLiteral("Multimeter DMM6500 127.0.0.1 %1 LAN").arg(port);
    }
    void TearDown() override { lab.Stop(); }
    QStringList Received() {
        auto lock = lab.Lock();
        return meter->Received;
    }
    TSimLab lab;
    std::shared_ptr<TSimScpiMeter> meter;
    std::shared_ptr<TSimLanInstrument> device;
    uint16_t port = 0;
    TMeasurementNode node;
    TRecordingContext context;
};
} // namespace

TEST_F(Lan, CommandListsAndTheReadOnASecondConnection) {
    node.AGPIB1S = "1.50000E+02";
    ParseAndSendLAN(node, "// set up\r\n\r\n*CLS // clear\r\nSOUR:VOLT $GPIB1\r\n:MEAS:RES?", &context);
    EXPECT_TRUE(context.Lines.contains("**Sending following commands through LAN"));
    EXPECT_TRUE(context.Lines.contains(" Sent: *CLS"));
    EXPECT_TRUE(context.Lines.contains(" Sent: SOUR:VOLT 1.50000E+02"));
    EXPECT_EQ(context.Lines.first(), "  -> Enter method: ParseAndSendLAN");
    EXPECT_EQ(context.Lines.last(), "  -> Exit method: ParseAndSendLAN");
    QThread::msleep(200);
    const QStringList got = Received();
    EXPECT_TRUE(got.contains("*CLS"));
    EXPECT_TRUE(got.contains(":MEAS:RES?"));
    // The answer waits in the instrument for the read.
    QString reply;
    ASSERT_TRUE(ReadLANReply(node, reply, &context));
    bool ok = false;
    EXPECT_GT(reply.toDouble(&ok), 0) << reply.toStdString();
    EXPECT_TRUE(ok);
    EXPECT_TRUE(context.Lines.contains(" TCPIP - connected. Performing ReadLn"));
}

TEST_F(Lan, CommentsOnlySendNothingAndSleepsPause) {
    ParseAndSendLAN(node, "// nothing\r\n  \r\n", &context);
    EXPECT_TRUE(context.Lines.contains("**Sending following commands through LAN"));
    QElapsedTimer t;
    t.start();
    ParseAndSendLAN(node, "#sleep 250", &context);
    EXPECT_GE(t.elapsed(), 250);
    EXPECT_TRUE(context.Lines.contains("Sleeping for 250 ms"));
    QThread::msleep(100);
    EXPECT_TRUE(Received().isEmpty());
}

TEST_F(Lan, UnreachableInstruments) {
    node.Instrument = "Multimeter DMM6500 127.0.0.1 1 LAN"; // nothing listens on port 1
    ParseAndSendLAN(node, "*CLS", &context);
    EXPECT_EQ(context.Lines.filter("Failed to connect to 127.0.0.1:1").size(), 2);
    QString reply = "old";
    EXPECT_FALSE(ReadLANReply(node, reply, &context));
    EXPECT_TRUE(reply.isEmpty());
    EXPECT_TRUE(context.Lines.contains(" TCPIP - unable to connect"));
    node.Instrument = "Multimeter DMM6500 127.0.0.1 notaport LAN";
    ParseAndSendLAN(node, "*CLS", &context);
    EXPECT_EQ(context.Lines.filter("Failed to connect to").size(), 4);
}

TEST_F(Lan, ValidationTestAndInitialisation) {
    TRecordingUserInteraction ui;
    TUserInteractionScope scope(ui);
    QString report;
    EXPECT_TRUE(TestLANDevice(InstrumentData(node), report));
    EXPECT_TRUE(report.startsWith(QStringLiteral("    Connected to DMM6500 @ 127.0.0.1:%1\r\n    IDN?: KEITHLEY").arg(port)));
    // A reachable instrument that does not identify as the model fails.
    TMeasurementNode other;
    other.Instrument = QStringLiteral("Multimeter 2260B 127.0.0.1 %1 LAN").arg(port);
    report.clear();
    EXPECT_FALSE(TestLANDevice(InstrumentData(other), report));
    TMeasurementNode gone;
    gone.Instrument = "Multimeter DMM6500 127.0.0.1 1 LAN";
    report.clear();
    EXPECT_FALSE(TestLANDevice(InstrumentData(gone), report));
    EXPECT_TRUE(report.startsWith("Exception\r\n    Could not connect to DMM6500 @ 127.0.0.1:1"));
    EXPECT_EQ(ui.Messages(), QStringList{"Cannot connect. Bad IP or port?"});
    InitializeLANInstrument(InstrumentData(node));
    QThread::msleep(200);
    EXPECT_EQ(Received().filter("BEEP").size(), 3);
}

TEST(LanSource, The2260BIdentifiesAndTakesItsInitialisation) {
    auto source = std::make_shared<TSimSource2260B>();
    TSimLab lab;
    const uint16_t port = lab.AddTcpDevice("2260B", std::make_shared<TSimLanInstrument>(source));
    ASSERT_NE(port, 0);
    lab.Start();
    TMeasurementNode node;
    node.Instrument = QStringLiteral("Powersupply 2260B 127.0.0.1 %1 LAN").arg(port);
    QString report;
    EXPECT_TRUE(TestLANDevice(InstrumentData(node), report)) << report.toStdString();
    InitializeLANInstrument(InstrumentData(node));
    // A reading of the output voltage through the usual two connections.
    ParseAndSendLAN(node, "SOUR:VOLT 12\r\nOUTP ON\r\nMEAS:VOLT?");
    QThread::msleep(100);
    QString reply;
    ASSERT_TRUE(ReadLANReply(node, reply));
    EXPECT_EQ(reply, "12.000");
    QThread::msleep(100);
    auto lock = lab.Lock();
    EXPECT_EQ(source->Beeps, 3);
    EXPECT_FALSE(source->BeeperOn);
    EXPECT_FALSE(source->KeysLocked);
    lock.unlock();
    lab.Stop();
}
