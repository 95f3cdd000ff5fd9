#include <gtest/gtest.h>

#include "tavlo/folders.h"
#include "tavlo/inifile.h"
#include "tavlo/posixserial.h"
#include "tavlosim/simlab.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
// Answers "PING" with "PONG" and "BIG" with 200 bytes; counts its lines.
class TPingDevice : public TSimDevice {
public:
    QString Describe() const override { return QStringLiteral("ping device"); }
    void Receive(TSimLine& line, const QByteArray& bytes) override {
        FInput += bytes;
        qsizetype cr;
        while ((cr = FInput.indexOf('\r')) >= 0) {
            const QByteArray text = FInput.left(cr);
            FInput.remove(0, cr + 1);
            ++Count;
            if (text == "PING")
                line.Reply("PONG " + QByteArray::number(Count) + "\r\n");
            else if (text == "BIG")
                line.Reply(QByteArray(198, 'x') + "\r\n");
        }
    }
    int Count = 0;

private:
    QByteArray FInput;
};

int Connect(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(fd);
        return -1;
    }
    timeval tv{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    return fd;
}

QByteArray Exchange(int fd, const QByteArray& request, qsizetype expected) {
    ::send(fd, request.constData(), static_cast<size_t>(request.size()), 0);
    QByteArray got;
    char buf[256];
    while (got.size() < expected) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        got.append(buf, n);
    }
    return got;
}

QByteArray ReadAll(TPosixSerial& port, qsizetype expected, int timeoutMs) {
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    char buf[256];
    while (got.size() < expected && timer.elapsed() < timeoutMs) {
        const int64_t n = port.Read(buf, sizeof buf);
        if (n > 0)
            got.append(buf, static_cast<qsizetype>(n));
    }
    return got;
}
} // namespace

TEST(SimLab, ServesADeviceOnLoopbackSocketsOneLinePerConnection) {
    TSimLab lab;
    auto device = std::make_shared<TPingDevice>();
    const uint16_t port = lab.AddTcpDevice(QStringLiteral("LAN1"), device);
    ASSERT_NE(port, 0);
    lab.Start();
    const int a = Connect(port);
    const int b = Connect(port);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_EQ(Exchange(a, "PING\r", 8), "PONG 1\r\n");
    EXPECT_EQ(Exchange(b, "PING\r", 8), "PONG 2\r\n");
    {
        auto lock = lab.Lock();
        device->Faults.NoAnswer = true;
    }
    EXPECT_EQ(Exchange(a, "PING\r", 8), QByteArray());
    ::close(a);
    ::close(b);
    EXPECT_TRUE(lab.Describe().join(u'\n').contains(
        QStringLiteral("LAN1 = 127.0.0.1:") + QString::number(port) + QStringLiteral("  ping device")));
    lab.Stop();
}

TEST(SimLab, SerialRepliesComeAtThePaceOfTheBaudRate) {
    TSimLab lab;
    const QString path = lab.AddSerialDevice(QStringLiteral("COM5"), std::make_shared<TPingDevice>());
    ASSERT_FALSE(path.isEmpty());
    lab.Start();
    for (const int baud : {9600, 115200}) {
        TPosixSerial port;
        ASSERT_TRUE(port.Open(path));
        ASSERT_TRUE(port.SetLine(baud, 0, 0));
        port.SetReadTimeouts(30, 0, 1000);
        QElapsedTimer timer;
        timer.start();
        ASSERT_EQ(port.Write("BIG\r", 4), 4);
        const QByteArray reply = ReadAll(port, 200, 2000);
        const qint64 elapsed = timer.elapsed();
        EXPECT_EQ(reply.size(), 200);
        if (baud == 9600)
            EXPECT_GE(elapsed, 190); // 200 bytes of 10 bits at 9600 baud: 208 ms
        else
            EXPECT_LT(elapsed, 180);
    }
    lab.Stop();
}

TEST(SimLab, RemovedPortVanishesAndThePortMapKeepsOtherEntries) {
    TTestFolder folder;
    folder.Write("Utility/ports.ini", "[Ports]\r\nCOM1=/dev/ttyS0\r\nCOM5=/old/path\r\n"
                                      "[Services]\r\nFLOWDDE=127.0.0.1:50100\r\n");
    TSimLab lab;
    const QString path = lab.AddSerialDevice(QStringLiteral("COM5"), std::make_shared<TPingDevice>());
    ASSERT_TRUE(lab.WritePortMap(folder.Path()));
    TIniFile ini;
    ASSERT_TRUE(ini.LoadFromFile(folder.Path("Utility/ports.ini")));
    EXPECT_EQ(ini.ReadString("Ports", "COM1"), "/dev/ttyS0");
    EXPECT_EQ(ini.ReadString("Ports", "COM5"), path);
    EXPECT_EQ(ini.ReadString("Services", "FLOWDDE"), "127.0.0.1:50100");
    EXPECT_EQ(lab.DevicePath(QStringLiteral("com5")), path);

    lab.Start();
    EXPECT_TRUE(QFile::exists(path));
    TPosixSerial open;
    ASSERT_TRUE(open.Open(path));
    lab.RemovePort(QStringLiteral("COM5"));
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(lab.DevicePath(QStringLiteral("COM5")).isEmpty());
    // A transaction that held the port sees it fail instead of hanging.
    char buf[8];
    EXPECT_EQ(open.Write("PING\r", 5), -1);
    EXPECT_EQ(open.Read(buf, sizeof buf), -1);
    TPosixSerial again;
    EXPECT_FALSE(again.Open(path));
    lab.Stop();
}

TEST(SimFaults, ApplyFaults) {
    std::mt19937 random(1);
    int delay = -1;
    qsizetype split = -1;
    TSimFaults none;
    EXPECT_EQ(ApplyFaults(none, "+1.0E+02\n", random, delay, split), "+1.0E+02\n");
    EXPECT_EQ(delay, 0);
    EXPECT_EQ(split, 0);

    TSimFaults silent;
    silent.NoAnswer = true;
    EXPECT_TRUE(ApplyFaults(silent, "1\r\n", random, delay, split).isEmpty());

    TSimFaults garbage;
    garbage.Garbage = true;
    garbage.LateMs = 250;
    garbage.SplitGapMs = 100;
    const QByteArray g = ApplyFaults(garbage, "+1.00000000E+02\r\n", random, delay, split);
    EXPECT_EQ(g.size(), 17);
    EXPECT_TRUE(g.endsWith("\r\n"));
    EXPECT_EQ(g[0], '#');
    bool ok = true;
    g.trimmed().toDouble(&ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(delay, 250);
    EXPECT_EQ(split, 8);
}
