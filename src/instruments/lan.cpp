#include "tavlo/lan.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QThread>
#include <QTime>

#include "tavlo/ansi.h"
#include "tavlo/device.h"
#include "tavlo/instrumentcontext.h"
#include "tavlo/log.h"
#include "tavlo/measurementnode.h"
#include "tavlo/userinteraction.h"

namespace {

constexpr int ConnectTimeoutMs = 1000;
constexpr int ReadTimeoutMs = 1000;

// One connection to a LAN instrument, used blocking on the calling thread.
class TLanClient {
public:
    explicit TLanClient(const TDevice& device) : Host(device.IPAddress) {
        Port = device.Port.trimmed().toUShort(&PortValid);
    }
    ~TLanClient() { Disconnect(); }

    QString Host;
    quint16 Port = 0;
    bool PortValid = false;

    QString Address() const { return Host + u':' + QString::number(Port); }

    bool Connect(QString* error = nullptr) {
        if (!PortValid) {
            if (error)
                *error = QStringLiteral("the port is not a number");
            return false;
        }
        FSocket.connectToHost(Host, Port);
        if (FSocket.waitForConnected(ConnectTimeoutMs))
            return true;
        if (error)
            *error = FSocket.errorString();
        FSocket.abort();
        return false;
    }
    bool Connected() const { return FSocket.state() == QAbstractSocket::ConnectedState; }
    void WriteLine(const QString& line) {
        FSocket.write(ToWindows1252(line) + "\r\n");
        FSocket.waitForBytesWritten(ReadTimeoutMs);
    }
    // One line up to LF without its line end; empty when nothing came in time.
    QString ReadLine() {
        QByteArray buffer;
        QElapsedTimer timer;
        timer.start();
        while (!FSocket.canReadLine()) {
            const qint64 left = ReadTimeoutMs - timer.elapsed();
            if (left <= 0 || !FSocket.waitForReadyRead(static_cast<int>(left)))
                break;
        }
        if (FSocket.canReadLine())
            buffer = FSocket.readLine();
        else
            return QString();
        while (buffer.endsWith('\n') || buffer.endsWith('\r'))
            buffer.chop(1);
        return FromWindows1252(buffer);
    }
    void Disconnect() {
        if (FSocket.state() == QAbstractSocket::UnconnectedState)
            return;
        FSocket.disconnectFromHost();
        if (FSocket.state() != QAbstractSocket::UnconnectedState)
            FSocket.waitForDisconnected(ReadTimeoutMs);
    }

private:
    QTcpSocket FSocket;
};

void Tell(IInstrumentContext& context, const QString& line) {
    LogLine(line);
    context.Feedback(line);
}

} // namespace

void ParseAndSendLAN(TMeasurementNode& node, const QString& text, IInstrumentContext* context) {
    IInstrumentContext& ctx = context ? *context : DefaultInstrumentContext();
    LogTo(TLogCategory::MeasuringEngine, QStringLiteral("Enter ParseAndSendLAN"));
    ctx.Feedback(QStringLiteral("  -> Enter method: ParseAndSendLAN"));
    TLanClient client(InstrumentData(node));
    QString error;
    if (!client.Connect(&error)) {
        Tell(ctx, QStringLiteral("Failed to connect to ") + client.Address());
        LogLine(error);
    }
    if (client.Connected()) {
        Tell(ctx, QStringLiteral("**Sending following commands through LAN"));
        for (QString line : text.split(u'\n')) {
            if (line.endsWith(u'\r'))
                line.chop(1);
            const qsizetype comment = line.indexOf(QLatin1String("//"));
            if (comment >= 0)
                line = line.left(comment).trimmed();
            const QString head = line.left(7).toUpper();
            if (head == QLatin1String("#SLEEP ") || head == QLatin1String("*SLEEP ")) {
                bool ok = false;
                int ms = line.mid(7).trimmed().toInt(&ok);
                if (!ok || ms < 0)
                    ms = 0;
                Tell(ctx, QStringLiteral("Sleeping for %1 ms").arg(ms));
                QThread::msleep(static_cast<unsigned long>(ms));
            } else if (!line.isEmpty()) {
                line.replace(QLatin1String("$GPIB1"), node.AGPIB1S);
                client.WriteLine(line);
                LogLine(QTime::currentTime().toString(QStringLiteral("ss:zzz")) +
                        QStringLiteral(" Sent: ") + line);
                ctx.Feedback(QStringLiteral(" Sent: ") + line);
            }
        }
    } else {
        Tell(ctx, QStringLiteral("Failed to connect to ") + client.Address());
    }
    client.Disconnect();
    LogTo(TLogCategory::MeasuringEngine, QStringLiteral("Exit ParseAndSendLAN"));
    ctx.Feedback(QStringLiteral("  -> Exit method: ParseAndSendLAN"));
}

bool ReadLANReply(TMeasurementNode& node, QString& reply, IInstrumentContext* context) {
    IInstrumentContext& ctx = context ? *context : DefaultInstrumentContext();
    reply.clear();
    Tell(ctx, QStringLiteral(" Trying to read result via TCPIP"));
    TLanClient client(InstrumentData(node));
    if (!client.Connect()) {
        Tell(ctx, QStringLiteral(" TCPIP - unable to connect"));
        return false;
    }
    Tell(ctx, QStringLiteral(" TCPIP - connected. Performing ReadLn"));
    reply = client.ReadLine();
    Tell(ctx, QStringLiteral(" TCPIP - result: ") + reply);
    return true;
}

bool TestLANDevice(const TDevice& device, QString& report) {
    TLanClient client(device);
    QString error;
    const bool connected = client.Connect(&error);
    if (!connected) {
        report += QStringLiteral("Exception\r\n");
        UserInteraction().ShowMessage(QStringLiteral("Cannot connect. Bad IP or port?"));
    }
    report += (connected ? QStringLiteral("    Connected to ") : QStringLiteral("    Could not connect to ")) +
              device.IDString + QStringLiteral(" @ ") + client.Address() + QStringLiteral("\r\n");
    bool identified = false;
    if (connected) {
        auto identify = [&](const char* expected) {
            client.WriteLine(QStringLiteral("*IDN?"));
            const QString line = client.ReadLine();
            report += QStringLiteral("    IDN?: ") + line;
            identified = line.contains(QLatin1String(expected));
        };
        if (device.IDString == QLatin1String("DMM6500"))
            identify(" DMM6500");
        else if (device.IDString == QLatin1String("2260B"))
            identify(" 2260B-800-1");
        else if (device.IDString.contains(QLatin1String("MF-DEV"), Qt::CaseInsensitive))
            client.WriteLine(QString());
        client.Disconnect();
    }
    return identified;
}

void InitializeLANInstrument(const TDevice& device) {
    TLanClient client(device);
    if (!client.Connect())
        return;
    QStringList lines;
    if (device.IDString == QLatin1String("DMM6500"))
        lines = {QStringLiteral(":SYSTem:BEEPer 500, 0.1"), QStringLiteral(":SYSTem:BEEPer 600, 0.1"),
                 QStringLiteral(":SYSTem:BEEPer 800, 0.1")};
    else if (device.IDString == QLatin1String("2260B"))
        lines = {QStringLiteral(":SYSTem:BEEPer 500, 0.1"), QStringLiteral(":SYSTem:BEEPer 600, 0.1"),
                 QStringLiteral(":SYSTem:BEEPer 800, 0.1"), QStringLiteral(":SYSTem:COFigure:BEEPer OFF"),
                 QStringLiteral("SYSTem:KLOCk OFF")};
    for (const QString& line : lines)
        client.WriteLine(line);
    client.Disconnect();
}
