#include <gtest/gtest.h>

#include "simfixture.h"
#include "tavlo/catalogue.h"
#include "tavlo/commandlist.h"
#include "tavlo/instrumentcontext.h"
#include "tavlo/log.h"
#include "tavlo/measurementnode.h"
#include "tavlo/prologix.h"
#include "tavlosim/standardlab.h"

#include <QElapsedTimer>

#include <thread>

namespace {
class TRecordingContext : public IInstrumentContext {
public:
    void Feedback(const QString& line) override { Lines.append(line); }
    void SendLAN(TMeasurementNode&, const QString& text) override { LanTexts.append(text); }
    QStringList Lines;
    QStringList LanTexts;
};

class CommandListTest : public ::testing::Test {
protected:
    CommandListTest() {
        BuildStandardLab(Sim.Lab, Devices);
        Sim.Lab.WritePortMap(Sim.Folder.Path());
        Node.Instrument = QStringLiteral("Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB");
        Adapter.SetupStandard(QStringLiteral("COM33"), 4, 0);
        Adapter.SetWindowsReadLoopTimeoutMS(20);
    }
    QStringList Received() {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        auto lock = Sim.Lab.Lock();
        return Devices.Keithley->Received;
    }

    TSimFixture Sim;
    TStandardLab Devices;
    TPrologix Adapter;
    TMeasurementNode Node;
    TRecordingContext Context;
};
} // namespace

TEST(CommandLineTest, CommentsPausesAndBlanks) {
    struct {
        const char* Line;
        const char* Command;
        int Sleep;
    } cases[] = {
        {"*RST // reset", "*RST", -1},          {"// only a comment", "", -1},
        {"  FUNC 'RES'  ", "FUNC 'RES'", -1},    {"#SLEEP 250", "", 250},
        {"*sleep 40 // pause", "", 40},         {"#SLEEP abc", "", 0},
        {"#SLEEP ", "", 0},                     {"#SLEEP -5", "", 0},
        {"  #Sleep 12", "", 12},                {"#SLEEPY 5", "#SLEEPY 5", -1},
        {"", "", -1},                            {":MEAS? //a // b", ":MEAS?", -1},
    };
    for (const auto& c : cases) {
        const TCommandLine l = ParseCommandLine(QString::fromUtf8(c.Line));
        EXPECT_EQ(l.Command, QString::fromUtf8(c.Command)) << c.Line;
        EXPECT_EQ(l.SleepMs, c.Sleep) << c.Line;
    }
}

TEST_F(CommandListTest, SendsCommandsSleepsAndSubstitutes) {
    {
        auto lock = Sim.Lab.Lock();
        Devices.Keithley->Received.clear();
    }
    Node.AGPIB1S = QStringLiteral("1.5E+00");
    TLogCapture log;
    QElapsedTimer timer;
    timer.start();
    ParseAndSendGPIB(Node,
                     QStringLiteral("// header\r\n*RST // reset\r\n\r\n#SLEEP 300\r\n"
                                    "FUNC 'RES'\r\n:SOUR:VOLT $GPIB1 // set\r\n*SLEEP x\r\n"),
                     Adapter, &Context);
    EXPECT_GE(timer.elapsed(), 300);
    EXPECT_EQ(Received(), QStringList({"*RST", "FUNC 'RES'", ":SOUR:VOLT 1.5E+00"}));
    EXPECT_TRUE(log.Contains(QStringLiteral("Inside ParseAndSendGPIB with GPIB type instrument. Proceeding")));
    ASSERT_EQ(Context.Lines.size(), 6);
    EXPECT_EQ(Context.Lines.at(0), QStringLiteral("**Sending following commands through Prologix"));
    EXPECT_TRUE(Context.Lines.at(1).endsWith(QStringLiteral(" Sent: *RST")));
    EXPECT_EQ(Context.Lines.at(1).size(), QStringLiteral("ss:zzz Sent: *RST").size());
    EXPECT_EQ(Context.Lines.at(2), QStringLiteral("Sleeping for 300 ms"));
    EXPECT_EQ(Context.Lines.at(5), QStringLiteral("Sleeping for 0 ms"));
}

TEST_F(CommandListTest, ApiAndLanDevicesAreDiverted) {
    {
        auto lock = Sim.Lab.Lock();
        Devices.Keithley->Received.clear();
    }
    TLogCapture log;
    Node.Instrument = QStringLiteral("Imp.Spectrometer mf-dev1234 host 8004 API");
    ParseAndSendGPIB(Node, QStringLiteral("*RST"), Adapter, &Context);
    EXPECT_TRUE(log.Contains(QStringLiteral("Inside ParseAndSendGPIB with ZAPI type instrument. Exit")));
    Node.Instrument = QStringLiteral("Multimeter DMM6500 127.0.0.1 5025 LAN");
    ParseAndSendGPIB(Node, QStringLiteral("*CLS\r\n:READ?"), Adapter, &Context);
    EXPECT_TRUE(log.Contains(QStringLiteral("Inside ParseAndSendGPIB with LAN type instrument. Diverting")));
    EXPECT_EQ(Context.LanTexts, QStringList({"*CLS\r\n:READ?"}));
    EXPECT_TRUE(Context.Lines.isEmpty());
    EXPECT_TRUE(Received().isEmpty());
    // Without a LAN branch the default context only logs.
    ParseAndSendGPIB(Node, QStringLiteral("*CLS"), Adapter);
    EXPECT_TRUE(log.Contains(QStringLiteral("ParseAndSendLAN is not available")));
}

TEST_F(CommandListTest, UnparsableDeviceStillSendsThroughTheAdapterQuietly) {
    // A device of unknown kind proceeds without the GPIB log line.
    TLogCapture log;
    Node.Instrument = QStringLiteral("garbage");
    ParseAndSendGPIB(Node, QStringLiteral("*CLS"), Adapter, &Context);
    EXPECT_FALSE(log.Contains(QStringLiteral("GPIB type instrument")));
    EXPECT_EQ(Context.Lines.size(), 2);
}

TEST_F(CommandListTest, InitializationSendsTheModelLines) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    {
        auto lock = Sim.Lab.Lock();
        Devices.Adapter->Lines.clear();
        Devices.Keithley->Received.clear();
    }
    QElapsedTimer timer;
    timer.start();
    InitializeGPIBInstrument(QStringLiteral("COM33"), 4, 1, QStringLiteral("K2000-30-5"));
    EXPECT_GE(timer.elapsed(), 2000); // the address line waits for a reply that never comes
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto lock = Sim.Lab.Lock();
    QStringList lines;
    for (const QByteArray& l : Devices.Adapter->Lines)
        lines.append(QString::fromLatin1(l));
    EXPECT_EQ(lines,
              QStringList({"++eoi 1", "++eot_enable 0", "++auto 0", "++read_tmo_ms 2000",
                                 "++addr 4", "++eos 1", "*RST", ":VOLT:PROT:STAT 0",
                                 ":SOUR:CURR:LEVEL 0", ":SOUR:VOLT:LEVEL 30"}));
    EXPECT_EQ(Devices.Adapter->Eos, 1);
    EXPECT_EQ(Devices.Adapter->ReadTimeoutMs, 2000);
}
