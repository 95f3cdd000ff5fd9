#include "tavlo/flowserver.h"

#include "tavlo/log.h"
#include "tavlo/numformat.h"
#include "tavlo/portmap.h"

#include <QElapsedTimer>
#include <QTcpSocket>

#include <cmath>
#include <exception>
#include <thread>

namespace {
constexpr qsizetype MaxLineBytes = 4096;

// Reads one '\n'-terminated line within the time left; false on time-out, a closed
// connection or an overlong line.
bool ReadLine(QTcpSocket& socket, const QElapsedTimer& clock, int timeoutMs, QByteArray& line,
              QString& error) {
    QByteArray buffer;
    for (;;) {
        if (socket.canReadLine() || socket.bytesAvailable() > 0) {
            buffer += socket.read(MaxLineBytes + 1 - buffer.size());
            const qsizetype nl = buffer.indexOf('\n');
            if (nl >= 0) {
                line = buffer.left(nl);
                if (line.endsWith('\r'))
                    line.chop(1);
                return true;
            }
            if (buffer.size() > MaxLineBytes) {
                error = QStringLiteral("Flow server answer too long");
                return false;
            }
        }
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) {
            error = QStringLiteral("Flow server did not answer in time");
            return false;
        }
        if (!socket.waitForReadyRead(static_cast<int>(left))) {
            if (socket.bytesAvailable() > 0)
                continue;
            error = socket.state() == QAbstractSocket::ConnectedState
                        ? QStringLiteral("Flow server did not answer in time")
                        : QStringLiteral("Flow server closed the connection");
            return false;
        }
    }
}

bool SplitAddress(const QString& address, QString& host, quint16& port) {
    const qsizetype colon = address.lastIndexOf(u':');
    if (colon <= 0)
        return false;
    bool ok = false;
    const uint value = address.mid(colon + 1).trimmed().toUInt(&ok);
    if (!ok || value == 0 || value > 65535)
        return false;
    host = address.left(colon).trimmed();
    port = static_cast<quint16>(value);
    return !host.isEmpty();
}

bool HasLineBreak(const QString& s) { return s.contains(u'\n') || s.contains(u'\r'); }
} // namespace

QString FlowTopic(int channel) { return QStringLiteral("C(%1)").arg(channel); }
QString FlowItem(int parameter) { return QStringLiteral("P(%1)").arg(parameter); }

bool ParseFlowServerReply(const QByteArray& line, QString& text, QString& error) {
    text.clear();
    error.clear();
    const QString s = QString::fromUtf8(line);
    if (s == QStringLiteral("OK"))
        return true;
    if (s.startsWith(QStringLiteral("OK "))) {
        text = s.mid(3);
        return true;
    }
    if (s == QStringLiteral("ERR") || s.startsWith(QStringLiteral("ERR "))) {
        const QString reason = s.mid(4).trimmed();
        error = QStringLiteral("Flow server error: ") +
                (reason.isEmpty() ? QStringLiteral("(no reason given)") : reason);
        return false;
    }
    error = QStringLiteral("Flow server answer not understood: ") + s.left(80);
    return false;
}

TFlowServerClient::TFlowServerClient(const QString& service, int timeoutMs)
    : FService(service.trimmed()), FTimeoutMs(timeoutMs > 0 ? timeoutMs : 2000) {}

TFlowServerResult TFlowServerClient::Converse(const QString& topic, const QByteArray& command) const {
    TFlowServerResult result;
    try {
        const QString address = ServiceAddress(FService);
        QString host;
        quint16 port = 0;
        if (address.isEmpty()) {
            result.Error = QStringLiteral("Flow server service ") + FService +
                           QStringLiteral(" is not in the port map");
            return result;
        }
        if (!SplitAddress(address, host, port)) {
            result.Error = QStringLiteral("Flow server address of ") + FService +
                           QStringLiteral(" is not host:port: ") + address;
            return result;
        }
        if (FService.contains(u' ') || topic.contains(u' ') || HasLineBreak(topic)) {
            result.Error = QStringLiteral("Flow server service or topic holds a blank");
            return result;
        }
        QElapsedTimer clock;
        clock.start();
        QTcpSocket socket;
        socket.connectToHost(host, port);
        if (!socket.waitForConnected(FTimeoutMs)) {
            result.Error = QStringLiteral("Flow server ") + FService +
                           QStringLiteral(" not reachable at ") + address;
            return result;
        }
        QByteArray line;
        QString text;
        const QByteArray connect = "CONNECT " + FService.toUtf8() + ' ' + topic.toUtf8() + '\n';
        socket.write(connect);
        if (!ReadLine(socket, clock, FTimeoutMs, line, result.Error))
            return result;
        if (!ParseFlowServerReply(line, text, result.Error))
            return result;
        socket.write(command);
        if (!ReadLine(socket, clock, FTimeoutMs, line, result.Error))
            return result;
        result.Ok = ParseFlowServerReply(line, result.Text, result.Error);
        socket.disconnectFromHost();
    } catch (const std::exception& e) {
        result = {};
        result.Error = QStringLiteral("Flow server exchange failed: ") + QString::fromLocal8Bit(e.what());
    } catch (...) {
        result = {};
        result.Error = QStringLiteral("Flow server exchange failed");
    }
    if (!result.Ok)
        result.Text.clear();
    return result;
}

TFlowServerResult TFlowServerClient::Request(const QString& topic, const QString& item) const {
    if (item.contains(u' ') || HasLineBreak(item))
        return {false, {}, QStringLiteral("Flow server item holds a blank")};
    return Converse(topic, "REQUEST " + item.toUtf8() + '\n');
}

TFlowServerResult TFlowServerClient::Poke(const QString& topic, const QString& item,
                                          const QString& value) const {
    if (item.contains(u' ') || HasLineBreak(item) || HasLineBreak(value))
        return {false, {}, QStringLiteral("Flow server item or value holds a line break")};
    return Converse(topic, "POKE " + item.toUtf8() + ' ' + value.toUtf8() + '\n');
}

QString FlowServerRead(const QString& service, int channel, int parameter, int timeoutMs) {
    const TFlowServerResult r =
        TFlowServerClient(service, timeoutMs).Request(FlowTopic(channel), FlowItem(parameter));
    if (!r.Ok)
        LogLine(r.Error);
    return r.Ok ? r.Text : r.Error;
}

double FlowServerReadMeasured(const QString& service, int channel, int timeoutMs) {
    double value = -1;
    for (int attempt = 0; attempt < 6; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const QString text = FlowServerRead(service, channel, FlowParam::Measured, timeoutMs);
        double parsed = 0;
        value = TryStrToFloat(text, parsed) ? parsed : -1;
        if (value != -1)
            break;
    }
    return value;
}

bool FlowServerWriteSetpoint(const QString& service, int channel, double value, int timeoutMs,
                             QString* error) {
    if (!std::isfinite(value) || std::fabs(value) > 2e9) {
        if (error)
            *error = QStringLiteral("Flow setpoint is not a usable number: ") + FloatToStrDot(value);
        return false;
    }
    const qint64 rounded = static_cast<qint64>(std::nearbyint(value));
    const TFlowServerResult r = TFlowServerClient(service, timeoutMs)
                                    .Poke(FlowTopic(channel), FlowItem(FlowParam::Setpoint),
                                          QString::number(rounded));
    if (!r.Ok)
        LogLine(r.Error);
    if (error)
        *error = r.Error;
    return r.Ok;
}

bool FlowServerValidate(const QString& service, int channel, QString* answer, int timeoutMs) {
    const QString text = FlowServerRead(service, channel, FlowParam::DeviceType, timeoutMs);
    if (answer)
        *answer = text;
    return text == QStringLiteral("DMFC");
}
