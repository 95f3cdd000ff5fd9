#include <gtest/gtest.h>

#include "tavlosim/simgpib.h"
#include "tavlosim/simkeithley2000.h"

#include <cmath>
#include <thread>

namespace {
// Collects what a device replies, without a terminal.
class TRecordingLine : public TSimLine {
public:
    void Reply(const QByteArray& bytes, int) override { Out += bytes; }
    void ReplyRaw(const QByteArray& bytes, int, qsizetype, int) override { Out += bytes; }
    QString Name() const override { return QStringLiteral("test"); }
    QByteArray Take() {
        QByteArray out = Out;
        Out.clear();
        return out;
    }
    QByteArray Out;
};

void Sleep(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

QByteArray TalkNow(TSimGpibInstrument& instrument) {
    const auto text = instrument.Talk();
    return text ? *text : QByteArray();
}

class SimPrologixTest : public ::testing::Test {
protected:
    SimPrologixTest() {
        Meter->MeasureMs = 60;
        Adapter.Plug(4, Meter);
    }
    // Sends text and lets the adapter work for a while.
    QByteArray Send(const QByteArray& text, int workMs = 0) {
        Adapter.Receive(Line, text);
        for (int i = 0; i <= workMs / 5; ++i) {
            Adapter.Tick(Line);
            if (workMs)
                Sleep(5);
        }
        return Line.Take();
    }

    TSimPrologix Adapter;
    std::shared_ptr<TSimKeithley2000> Meter = std::make_shared<TSimKeithley2000>();
    TRecordingLine Line;
};
} // namespace

TEST(SimKeithley2000, IdentificationClearAndErrors) {
    TSimKeithley2000 meter;
    meter.Write("*IDN?\n", true);
    EXPECT_EQ(TalkNow(meter), QByteArray(TSimKeithley2000::Identification) + "\n");
    EXPECT_EQ(meter.StatusByte() & 0x10, 0);
    meter.Write("BOGUS:CMD\n", true);
    EXPECT_EQ(meter.StatusByte() & 0x04, 0x04);
    meter.Write(":SYST:ERR?\n", true);
    EXPECT_EQ(TalkNow(meter), "-113,\"Undefined header\"\n");
    meter.Write("*CLS\n", true);
    EXPECT_EQ(meter.StatusByte(), 0);
    // Output that nobody read is dropped by the next message.
    meter.Write("*IDN?\n", true);
    meter.Write("*CLS;*IDN?\n", true);
    EXPECT_EQ(TalkNow(meter), QByteArray(TSimKeithley2000::Identification) + "\n");
    EXPECT_EQ(meter.Received.mid(meter.Received.size() - 2), QStringList({"*CLS", "*IDN?"}));
}

TEST(SimKeithley2000, MessageEndsAtLineFeedOrEOI) {
    TSimKeithley2000 meter;
    meter.Write("*IDN?\r", false); // CR alone without EOI: the message goes on
    EXPECT_FALSE(meter.Talk().has_value());
    EXPECT_TRUE(meter.Received.isEmpty());
    meter.Write("", true);
    EXPECT_TRUE(meter.Talk().has_value());
    meter.Write("*IDN?", true); // no terminator, EOI
    EXPECT_TRUE(meter.Talk().has_value());
}

TEST(SimKeithley2000, ReadingsOfTheResistorAreReadyAfterTheMeasuringTime) {
    TSimKeithley2000 meter;
    meter.MeasureMs = 80;
    struct TCase {
        const char* Commands;
        double Expected;
    };
    const TCase cases[] = {{"FUNC 'RES';:MEAS?", 100.25},
                           {":SENS:FUNC \"FRES\";:READ?", 100.0},
                           {":MEAS:VOLT:DC?", 0.0125},
                           {"FUNC 'CURR:DC';:MEAS?", 1e-4}};
    for (const TCase& c : cases) {
        meter.Write(QByteArray(c.Commands) + "\n", true);
        EXPECT_EQ(meter.StatusByte() & 0x10, 0) << c.Commands;
        EXPECT_FALSE(meter.Talk().has_value());
        Sleep(100);
        EXPECT_EQ(meter.StatusByte() & 0x10, 0x10) << c.Commands;
        const QByteArray text = TalkNow(meter);
        EXPECT_TRUE(text.endsWith('\n'));
        bool ok = false;
        const double value = text.trimmed().toDouble(&ok);
        ASSERT_TRUE(ok) << text.constData();
        EXPECT_NEAR(value, c.Expected, std::fabs(c.Expected) * 2e-4) << c.Commands;
        EXPECT_EQ(meter.StatusByte() & 0x10, 0);
    }
    EXPECT_EQ(meter.Function, "CURR:DC");
}

TEST(SimKeithley2000, NoiseIsSmallButPresent) {
    TSimKeithley2000 meter;
    meter.MeasureMs = 0;
    meter.Write("FUNC 'FRES'\n", true);
    double sum = 0, sumSq = 0;
    const int n = 200;
    for (int i = 0; i < n; ++i) {
        meter.Write(":READ?\n", true);
        const double v = TalkNow(meter).trimmed().toDouble();
        sum += v;
        sumSq += v * v;
    }
    const double mean = sum / n;
    const double sd = std::sqrt(sumSq / n - mean * mean);
    EXPECT_NEAR(mean, 100.0, 0.001);
    EXPECT_GT(sd, 0.0005);
    EXPECT_LT(sd, 0.005);
}

TEST_F(SimPrologixTest, AdapterCommandsSetAndQuery) {
    EXPECT_EQ(Send("++addr\r"), "10\r\n");
    EXPECT_EQ(Send("++addr 4\r++addr\r"), "4\r\n");
    EXPECT_EQ(Send("++addr 31\r++addr\n"), "4\r\n"); // out of range: ignored
    EXPECT_EQ(Send("++eos 2\r++eos\r\n"), "2\r\n");
    EXPECT_EQ(Send("++ver\r"), "Prologix GPIB-USB Controller version 6.107\r\n");
    EXPECT_EQ(Send("++read_tmo_ms 2000\r++read_tmo_ms\r"), "2000\r\n");
    EXPECT_EQ(Send("++mode 1\r++auto 0\r++eoi 1\r++eot_enable 0\r"), "");
    EXPECT_EQ(Send("++frobnicate\r"), "Unrecognized command\r\n");
    EXPECT_EQ(Adapter.Lines.first(), "++addr");
    Send("++rst\r");
    EXPECT_EQ(Adapter.Address, 10);
    EXPECT_EQ(Adapter.Eos, 0);
}

TEST_F(SimPrologixTest, InstrumentLinesGetTheTerminatorAndEscapes) {
    Send("++addr 4\r");
    const std::pair<int, const char*> cases[] = {{0, "\r\n"}, {1, "\r"}, {2, "\n"}, {3, ""}};
    for (const auto& [eos, terminator] : cases) {
        Send("++eos " + QByteArray::number(eos) + "\r");
        Meter->Received.clear();
        Send("*IDN?\r");
        EXPECT_EQ(Meter->Received, QStringList({"*IDN?"})) << eos;
        EXPECT_EQ(TalkNow(*Meter).isEmpty(), false);
        (void)terminator;
    }
    // ESC makes the next CR part of the text.
    Send("++eos 2\r");
    Meter->Received.clear();
    Send("A\x1B\rB\r");
    EXPECT_EQ(Meter->Received, QStringList({"A\rB"}));
}

TEST_F(SimPrologixTest, ReadWaitsForTheInstrumentOrTimesOut) {
    Send("++addr 4\r++read_tmo_ms 300\r");
    EXPECT_EQ(Send("++read eoi\r", 350), ""); // nothing to say: the read times out
    Send(":MEAS:RES?\r");
    const QByteArray reading = Send("++read eoi\r", 150); // waits the 60 ms measurement
    EXPECT_TRUE(reading.startsWith("+1.002")) << reading.constData();
    // Lines that come during a read are handled after it.
    Send(":MEAS:RES?\r");
    EXPECT_EQ(Send("++read eoi\r++addr\r"), "");
    const QByteArray later = Send("", 150);
    EXPECT_TRUE(later.startsWith("+1.002")) << later.constData();
    EXPECT_TRUE(later.endsWith("\n4\r\n")) << later.constData();
    // With end-of-transmission on, the character follows the reply.
    Send("++eot_enable 1\r++eot_char 42\r*IDN?\r");
    EXPECT_EQ(Send("++read eoi\r", 20), QByteArray(TSimKeithley2000::Identification) + "\n*");
}

TEST_F(SimPrologixTest, SerialPollAndClear) {
    Send("++addr 4\r:MEAS?\r");
    EXPECT_EQ(Send("++spoll\r"), "0\r\n");
    Sleep(80);
    EXPECT_EQ(Send("++spoll 4\r"), "16\r\n");
    EXPECT_EQ(Send("++spoll 5\r"), ""); // nobody at 5
    Send("++clr\r");
    EXPECT_EQ(Send("++spoll\r"), "0\r\n");
    EXPECT_EQ(Send("++read eoi\r", 0), "");
}

TEST_F(SimPrologixTest, AutoReadAfterAQuery) {
    Send("++addr 4\r++auto 1\r");
    EXPECT_EQ(Send("*IDN?\r", 20), QByteArray(TSimKeithley2000::Identification) + "\n");
}
