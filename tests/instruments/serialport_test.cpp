#include <gtest/gtest.h>

#include "simfixture.h"
#include "tavlo/log.h"
#include "tavlo/posixserial.h"
#include "tavlo/serialport.h"

#include <QFile>
#include <QRegularExpression>

#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {
class SerialPortTest : public ::testing::Test {
protected:
    SerialPortTest() {
        Device->Replies["PING"] = "  PONG\r\n";
        Path = Sim.Serve("COM7", Device);
        Port.SetPort(QStringLiteral("COM7"));
        Port.SetBaudRate(115200);
        Port.SetWindowsReadLoopTimeoutMS(50);
        Port.SetReadoutTimeoutMS(400);
    }
    void SetDevice(const std::function<void(TScriptDevice&)>& change) {
        auto lock = Sim.Lab.Lock();
        change(*Device);
    }
    QByteArray Raw() {
        auto lock = Sim.Lab.Lock();
        return Device->Raw;
    }

    TSimFixture Sim;
    std::shared_ptr<TScriptDevice> Device = std::make_shared<TScriptDevice>();
    QString Path;
    TSerialPort Port;
};
} // namespace

TEST(SerialPortDefaults, CreateSetsTheDefaults) {
    TSerialPort port;
    EXPECT_FALSE(port.Debug());
    EXPECT_TRUE(port.Port().isEmpty());
    EXPECT_EQ(port.WindowsReadLoopTimeoutMS(), 333u);
    EXPECT_EQ(port.ReadoutTimeoutMS(), 1000u);
    EXPECT_EQ(port.BaudRate(), 9600);
    EXPECT_EQ(port.StopBits(), 0);
    EXPECT_EQ(port.Parity(), 0);
    TSerialPort3 port3;
    EXPECT_EQ(port3.WindowsReadLoopTimeoutMS(), 333u);
    EXPECT_EQ(port3.ReadoutTimeoutMS(), 1000u);
    EXPECT_EQ(port3.BaudRate(), 9600);
    EXPECT_TRUE(port3.DebugMSG().isEmpty());
}

TEST_F(SerialPortTest, TextTransactionTrimsTheReplyAndLeavesStatusEmpty) {
    TSerialResponse r;
    Port.Send2(QStringLiteral("PING\r"), true, r);
    EXPECT_EQ(r.SentMessage, "PING\r");
    EXPECT_EQ(r.Response, "PONG");
    EXPECT_TRUE(r.Status.isEmpty());
    EXPECT_EQ(Raw(), "PING\r"); // no terminator of its own
    EXPECT_EQ(Port.Send("PING\r", true), "PONG");
}

TEST_F(SerialPortTest, ReplyIsReadOnePollIntervalAfterItsFirstByte) {
    SetDevice([](TScriptDevice& d) { d.Delay = 150; });
    Port.SetWindowsReadLoopTimeoutMS(100);
    Port.SetReadoutTimeoutMS(1000);
    QElapsedTimer timer;
    timer.start();
    TSerialResponse r;
    Port.Send2(QByteArray("PING\r"), true, r);
    const qint64 elapsed = timer.elapsed();
    EXPECT_EQ(r.Response, "PONG");
    // The first byte comes after 150 ms; it is seen at the check at 200 ms and read one
    // interval later.
    EXPECT_GE(elapsed, 290);
    EXPECT_LT(elapsed, 900);
}

TEST_F(SerialPortTest, NoReplyTimesOutAfterReadoutTimeout) {
    TLogCapture log;
    Port.SetDebug(true);
    Port.SetReadoutTimeoutMS(300);
    QElapsedTimer timer;
    timer.start();
    TSerialResponse r;
    Port.Send2(QByteArray("SILENT\r"), true, r);
    const qint64 elapsed = timer.elapsed();
    EXPECT_EQ(r.Status, "Timeout while waiting for response");
    EXPECT_TRUE(r.Response.isEmpty());
    EXPECT_GE(elapsed, 300);
    EXPECT_LT(elapsed, 1200);
    EXPECT_TRUE(log.Lines().contains(QStringLiteral("Message                  : Timeout 0.3s ")));
}

TEST_F(SerialPortTest, DebugTraceOfATextTransaction) {
    TLogCapture log;
    Port.SetDebug(true);
    TSerialResponse r;
    Port.Send2(QByteArray("PING\r"), false, r);
    EXPECT_EQ(r.Status, "Exit read/write without waiting for reply");
    EXPECT_TRUE(r.Response.isEmpty());
    const QStringList lines = log.Lines();
    ASSERT_EQ(lines.size(), 5);
    EXPECT_EQ(lines[0], QString(44, u'*'));
    EXPECT_EQ(lines[1], QStringLiteral("PortName                 : COM7"));
    EXPECT_EQ(lines[2], QStringLiteral("Bytes written            : 5"));
    EXPECT_EQ(lines[3], QStringLiteral("As string                : PING\r"));
    EXPECT_EQ(lines[4], QStringLiteral("Exit read/write without waiting for reply"));
}

TEST_F(SerialPortTest, NoTraceWithoutDebug) {
    TLogCapture log;
    TSerialResponse r;
    Port.Send2(QByteArray("PING\r"), true, r);
    EXPECT_TRUE(log.Lines().isEmpty());
}

TEST_F(SerialPortTest, ReplyInTwoBurstsFartherApartThanAPollIntervalIsCut) {
    SetDevice([](TScriptDevice& d) {
        d.Replies["LONG"] = "FIRST:HALF" "SECOND--\r\n"; // cut in the middle
        d.Faults.SplitGapMs = 300;
    });
    TSerialResponse r;
    Port.Send2(QByteArray("LONG\r"), true, r);
    EXPECT_EQ(r.Response, "FIRST:HALF");
    EXPECT_TRUE(r.Status.isEmpty());
    // The rest comes later and is what the next read finds.
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    TSerialResponse rest;
    Port.Send2(QByteArray(), true, rest);
    EXPECT_EQ(rest.Response, "SECOND--");
}

TEST_F(SerialPortTest, TextReplyIsCutAt80BytesAndTheRestIsDrainedNext) {
    const QByteArray body = QByteArray("A").repeated(70) + QByteArray("B").repeated(30);
    SetDevice([&](TScriptDevice& d) { d.Replies["BIG"] = body + "\r\n"; });
    TSerialResponse r;
    Port.Send2(QByteArray("BIG\r"), true, r);
    EXPECT_EQ(r.Response, body.left(80));
    const QByteArray before = Raw();
    // An empty message writes nothing and reads what is still queued.
    TSerialResponse rest;
    Port.Send2(QByteArray(), true, rest);
    EXPECT_EQ(rest.Response, body.mid(80));
    EXPECT_TRUE(rest.Status.isEmpty());
    EXPECT_EQ(Raw(), before);
}

TEST_F(SerialPortTest, EmptyMessageReturnsUnsolicitedBytesOrTimesOut) {
    TSerialResponse nothing;
    Port.Send2(QByteArray(), true, nothing);
    EXPECT_EQ(nothing.Status, "Timeout while waiting for response");
    SetDevice([](TScriptDevice& d) { d.Unsolicited = "stale 42\r\n"; });
    TSerialResponse stale;
    Port.Send2(QByteArray(), true, stale);
    EXPECT_EQ(stale.Response, "stale 42");
    EXPECT_TRUE(Raw().isEmpty());
}

TEST_F(SerialPortTest, PortHeldByAnotherOpenerIsInUse) {
    TPosixSerial holder;
    ASSERT_TRUE(holder.Open(Path));
    TPosixSerial second;
    EXPECT_FALSE(second.Open(Path));
    TSerialResponse text;
    Port.Send2(QByteArray("PING\r"), true, text);
    EXPECT_EQ(text.Status, "Failed to setup Com port, port in use");
    EXPECT_TRUE(text.Response.isEmpty());
    const uint8_t bytes[] = {1, 2};
    TSerialResponse binary;
    Port.SendData(bytes, 2, binary, true);
    EXPECT_EQ(binary.Status, "Failed to setup Com port, port in use");
    EXPECT_EQ(binary.ResponseLength, 0);
    holder.Close();
    TSerialResponse again;
    Port.Send2(QByteArray("PING\r"), true, again);
    EXPECT_EQ(again.Response, "PONG");
    EXPECT_EQ(Raw(), "PING\r"); // nothing went out while the port was held
}

TEST_F(SerialPortTest, TwoThreadsOnOnePortOneGetsPortInUse) {
    SetDevice([](TScriptDevice& d) { d.Delay = 300; });
    TSerialResponse first, second;
    std::thread a([&] { Port.Send2(QByteArray("PING\r"), true, first); });
    // The first holds the port from before its write until after the 300 ms reply.
    for (int i = 0; i < 200 && Raw().isEmpty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    TSerialPort other;
    other.SetPort(QStringLiteral("COM7"));
    other.Send2(QByteArray("PING\r"), true, second);
    a.join();
    EXPECT_EQ(first.Response, "PONG");
    EXPECT_EQ(second.Status, "Failed to setup Com port, port in use");
}

TEST_F(SerialPortTest, MissingOrVanishedPortFailsLikeABusyOne) {
    for (const QString& name : {QStringLiteral("COM99"), QStringLiteral("ttyNoSuchPort"),
                                QStringLiteral("/dev/null"), QString()}) {
        TSerialPort missing;
        missing.SetPort(name);
        TSerialResponse r;
        missing.Send2(QByteArray("PING\r"), true, r);
        EXPECT_EQ(r.Status, "Failed to setup Com port, port in use") << name.toStdString();
    }
    Sim.Lab.RemovePort(QStringLiteral("COM7"));
    EXPECT_FALSE(QFile::exists(Path));
    TSerialResponse r;
    Port.Send2(QByteArray("PING\r"), true, r);
    EXPECT_EQ(r.Status, "Failed to setup Com port, port in use");
}

TEST_F(SerialPortTest, LineSettingsFollowTheProperties) {
    struct TCase {
        int Baud, Parity, StopBits;
        speed_t Speed;
        tcflag_t ParityFlags, StopFlag;
    };
    const TCase cases[] = {
        {9600, 0, 0, B9600, 0, 0},
        {19200, 2, 2, B19200, PARENB, CSTOPB},
        {115200, 1, 0, B115200, PARENB | PARODD, 0},
        {4800, 3, 0, B4800, PARENB | PARODD | CMSPAR, 0},
        {1200, 4, 2, B1200, PARENB | CMSPAR, CSTOPB},
    };
    for (const TCase& c : cases) {
        Port.SetBaudRate(c.Baud);
        Port.SetParity(c.Parity);
        Port.SetStopBits(c.StopBits);
        TSerialResponse r;
        Port.Send2(QByteArray("X\r"), false, r);
        ASSERT_EQ(r.Status, "Exit read/write without waiting for reply");
        const int fd = ::open(Path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        ASSERT_GE(fd, 0);
        termios tio{};
        ASSERT_EQ(::tcgetattr(fd, &tio), 0);
        ::close(fd);
        EXPECT_EQ(cfgetospeed(&tio), c.Speed) << c.Baud;
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        // A pseudo-terminal drops PARENB itself; the kind of parity stays visible.
        EXPECT_EQ(tio.c_cflag & (PARODD | CMSPAR), c.ParityFlags & ~PARENB) << c.Baud;
        EXPECT_EQ(tio.c_cflag & CSTOPB, c.StopFlag) << c.Baud;
        EXPECT_EQ(tio.c_cflag & CRTSCTS, 0u);
        EXPECT_EQ(tio.c_iflag & (IXON | IXOFF), 0u);
        EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    }
    // A rate without a B-constant (the COM terminal's 19600) is set as it is.
    Port.SetBaudRate(19600);
    Port.SetParity(0);
    Port.SetStopBits(0);
    TSerialResponse custom;
    Port.Send2(QByteArray("X\r"), false, custom);
    EXPECT_EQ(custom.Status, "Exit read/write without waiting for reply");
    // Settings the line cannot take fail at the line settings, like a busy port.
    const int bad[][3] = {{0, 0, 0}, {9600, 5, 0}, {9600, 0, 1}, {9600, 0, -1}};
    for (const auto& b : bad) {
        Port.SetBaudRate(b[0]);
        Port.SetParity(b[1]);
        Port.SetStopBits(b[2]);
        TSerialResponse r;
        Port.Send2(QByteArray("X\r"), false, r);
        EXPECT_EQ(r.Status, "Failed to setup Com port, port in use") << b[0] << b[1] << b[2];
    }
}

TEST_F(SerialPortTest, BinaryTransactionFillsBytesLengthAndWords) {
    const QByteArray reply("\x01\x03\x04\x12\x34\x56\x78\x00 ", 9);
    SetDevice([&](TScriptDevice& d) { d.BinaryReply = reply; });
    TLogCapture log;
    Port.SetDebug(true);
    const uint8_t request[] = {1, 3, 0, 0, 0, 2};
    TSerialResponse r;
    Port.SendData(request, 6, r, true);
    EXPECT_TRUE(r.Status.isEmpty());
    EXPECT_EQ(r.ResponseLength, 9);
    EXPECT_EQ(r.Response, reply); // untrimmed
    EXPECT_EQ(r.ValueOfFirstWord, 0x12 * 256 + 0x34);
    EXPECT_EQ(r.rArray[6], 0x78);
    EXPECT_EQ(Raw(), QByteArray("\x01\x03\x00\x00\x00\x02", 6));
    EXPECT_TRUE(log.Lines().contains(QStringLiteral("Bytes written            : 6")));
    EXPECT_TRUE(log.Lines().contains(
        QStringLiteral("Response Int             : 1 3 4 18 52 86 120 0 32 ")));
    EXPECT_TRUE(log.Lines().contains(QStringLiteral("Response Status          : ")));

    TSerialResponse nowait;
    Port.SendData(request, 6, nowait, false);
    EXPECT_TRUE(nowait.Status.isEmpty());
    EXPECT_TRUE(nowait.Response.isEmpty());
}

TEST_F(SerialPortTest, BinaryShortReplyTimeoutAndLengthModulo256) {
    SetDevice([](TScriptDevice& d) { d.BinaryReply = QByteArray("\x05\x06\x07\x08", 4); });
    const uint8_t request[] = {9};
    TSerialResponse shortReply;
    Port.SendData(request, 1, shortReply, true);
    EXPECT_EQ(shortReply.ResponseLength, 4);
    EXPECT_EQ(shortReply.ValueOfFirstWord, 0); // fewer than 5 bytes

    QByteArray big;
    for (int i = 0; i < 300; ++i)
        big.append(static_cast<char>(i));
    SetDevice([&](TScriptDevice& d) { d.BinaryReply = big; });
    TSerialResponse full;
    Port.SendData(request, 1, full, true);
    EXPECT_EQ(full.ResponseLength, 0); // 256 bytes read, modulo 256
    EXPECT_EQ(full.Response, big.left(256));
    EXPECT_EQ(full.rArray[255], 255);
    // What did not fit stays queued.
    TSerialResponse rest;
    Port.SendData(nullptr, 0, rest, true);
    EXPECT_EQ(rest.ResponseLength, 44);

    SetDevice([](TScriptDevice& d) { d.Faults.NoAnswer = true; });
    TSerialResponse none;
    Port.SendData(request, 1, none, true);
    EXPECT_EQ(none.Status, "Timeout while waiting for response");
    EXPECT_EQ(none.ResponseLength, 0);
}

TEST_F(SerialPortTest, SerialPort3TimingTraceAndSecondWord) {
    SetDevice([](TScriptDevice& d) { d.BinaryReply = QByteArray("\x01\x03\x04\x00\x2A\x01\x00", 7); });
    TSerialPort3 port;
    port.SetPort(QStringLiteral("COM7"));
    port.SetBaudRate(115200);
    port.SetStopBits(2);
    port.SetWindowsReadLoopTimeoutMS(5);
    port.SetReadoutTimeoutMS(50);
    port.SetDebug(true);
    const uint8_t request[] = {1, 3};
    TSerialResponse3 r;
    port.SendData(request, 2, r, true);
    EXPECT_TRUE(r.Status.isEmpty());
    EXPECT_EQ(r.ValueOfFirstWord, 42);
    EXPECT_EQ(r.ValueOfSecondWord, 256);
    EXPECT_EQ(r.Response.size(), 7);
    const QStringList trace = port.DebugMSG().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(trace.size(), 9);
    for (int i = 0; i < 9; ++i)
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^Time  %1: \\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d$")
                                           .arg(i + 1))
                        .match(trace[i])
                        .hasMatch())
            << trace[i].toStdString();

    // The next transaction starts a fresh trace; without Debug it stays empty.
    port.SetDebug(false);
    port.SendData(request, 2, r, true);
    EXPECT_TRUE(port.DebugMSG().isEmpty());

    // Its text transaction writes no trace and gives the reply as text.
    SetDevice([](TScriptDevice& d) { d.BinaryReply.clear(); d.Replies["PING"] = "PONG \xB5\r"; });
    port.SetReadoutTimeoutMS(300);
    TLogCapture log;
    port.SetDebug(true);
    TSerialResponse3 text;
    port.Send2(QStringLiteral("PING\r"), true, text);
    EXPECT_EQ(text.Response, QStringLiteral("PONG µ"));
    EXPECT_TRUE(log.Lines().isEmpty());
}

TEST(SerialPortNames, PortNumberOf) {
    const std::pair<const char*, int> cases[] = {
        {"COM1", 1}, {" COM254 ", 254}, {"COM33", 33}, {"", 0}, {"   ", 0}, {"COM0", 255},
        {"COM255", 255}, {"COM", 255}, {"com3", 255}, {"COM3a", 255}, {"ttyUSB0", 255},
        {"COM-1", 255}, {"COM99999999999", 255}};
    for (const auto& [name, number] : cases)
        EXPECT_EQ(PortNumberOf(QString::fromLatin1(name)), number) << name;
}

TEST(SerialPortNames, ByteListText) {
    EXPECT_EQ(ParseByteList(QStringLiteral("1 2 x 3")), QByteArray("\x01\x02", 2));
    EXPECT_EQ(ParseByteList(QStringLiteral("300")), QByteArray("\x2C", 1));
    EXPECT_EQ(ParseByteList(QStringLiteral("  0   255  256 ")), QByteArray("\x00\xFF\x00", 3));
    EXPECT_EQ(ParseByteList(QStringLiteral("-1 2")), QByteArray());
    EXPECT_EQ(ParseByteList(QStringLiteral("1.5 2")), QByteArray());
    EXPECT_EQ(ParseByteList(QString()), QByteArray());
    EXPECT_EQ(ParseByteList(QStringLiteral("99999999999999999999999")).size(), 1);
}

TEST(SerialPortNames, TrimRemovesBlanksAndControlsOnly) {
    EXPECT_EQ(TrimBlanksAndControls(QByteArray("\r\n\t +1.5E+02 \x01\x00", 15)), "+1.5E+02");
    EXPECT_EQ(TrimBlanksAndControls(QByteArray("\xB5 x \xB5")), "\xB5 x \xB5");
    EXPECT_EQ(TrimBlanksAndControls(QByteArray("\r\n")), QByteArray());
    EXPECT_EQ(TrimBlanksAndControls(QStringLiteral("\r *CLS\r\n")), QStringLiteral("*CLS"));
}
