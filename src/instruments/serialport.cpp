#include "tavlo/serialport.h"

#include "tavlo/ansi.h"
#include "tavlo/log.h"
#include "tavlo/numformat.h"
#include "tavlo/portmap.h"
#include "tavlo/posixserial.h"

#include <QTime>

#include <chrono>
#include <thread>

namespace {
using TClock = std::chrono::steady_clock;

const QString AsteriskLine = QString(44, u'*');

void SleepMs(quint32 ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

QString PortText(const QByteArray& port) { return FromWindows1252(port); }

bool OpenPort(const QByteArray& port, TPosixSerial& handle) {
    return handle.Open(DevicePathOf(PortText(port)));
}

bool ApplyLine(TPosixSerial& handle, int baud, int parity, int stopBits) {
    return handle.IsOpen() && handle.SetLine(baud, parity, stopBits);
}

bool ApplyTimeOuts(TPosixSerial& handle) {
    return handle.SetReadTimeouts(20, 10, 200) && handle.SetWriteTimeouts(10, 1000);
}

bool ApplyBuffers(TPosixSerial& handle) { return handle.SetQueueSizes(4096, 4096); }

// Waits for the first reply byte: check, sleep one interval, then take what the check saw.
// So a reply is read one interval after its first byte was seen. Returns that count.
int PollForReply(TPosixSerial& handle, quint32 intervalMs, quint32 timeoutMs) {
    const auto deadline = TClock::now() + std::chrono::milliseconds(timeoutMs);
    int seen = 0;
    while (TClock::now() < deadline && seen <= 0) {
        const int waiting = handle.BytesWaiting();
        SleepMs(intervalMs);
        seen = waiting;
    }
    return seen > 0 ? seen : 0;
}

QString TimeoutSeconds(quint32 ms) { return FloatToStr(ms / 1000.0); }

void Assign(QByteArray& target, const QByteArray& bytes) { target = bytes; }
void Assign(QString& target, const QByteArray& bytes) { target = FromWindows1252(bytes); }

// The text transaction of both port classes; trace only for TSerialPort.
template <class TResponse>
void TextTransaction(const QByteArray& port, int baud, int parity, int stopBits,
                     quint32 intervalMs, quint32 timeoutMs, bool trace,
                     const QByteArray& message, bool wait, TResponse& r) {
    r.SentMessage = message;
    TPosixSerial handle;
    OpenPort(port, handle);
    if (!ApplyLine(handle, baud, parity, stopBits)) {
        r.Status = SerialStatus::PortInUse;
        return;
    }
    if (!ApplyTimeOuts(handle)) {
        r.Status = SerialStatus::TimeoutsFailed;
        return;
    }
    if (!ApplyBuffers(handle)) {
        r.Status = SerialStatus::BuffersFailed;
        return;
    }
    if (trace) {
        LogLine(AsteriskLine);
        LogLine(QStringLiteral("PortName                 : ") + PortText(port));
    }
    const int64_t written =
        message.isEmpty() ? 0 : handle.Write(message.constData(), message.size());
    if (written != message.size()) {
        r.Status = SerialStatus::WriteFailed;
        Assign(r.Response, QByteArray());
        return;
    }
    if (trace) {
        LogLine(QStringLiteral("Bytes written            : ") + QString::number(written));
        LogLine(QStringLiteral("As string                : ") + FromWindows1252(message));
    }
    if (!wait) {
        r.Status = SerialStatus::NoWait;
        Assign(r.Response, QByteArray());
        if (trace)
            LogLine(QString::fromLatin1(SerialStatus::NoWait));
        return;
    }
    if (PollForReply(handle, intervalMs, timeoutMs) == 0) {
        Assign(r.Response, QByteArray());
        r.Status = SerialStatus::Timeout;
        if (trace)
            LogLine(QStringLiteral("Message                  : Timeout ") +
                    TimeoutSeconds(timeoutMs) + QStringLiteral("s "));
        return;
    }
    char buffer[80];
    const int64_t n = handle.Read(buffer, sizeof buffer);
    if (n < 0) {
        Assign(r.Response, QByteArray());
        r.Status = SerialStatus::ReadFailed;
        return;
    }
    Assign(r.Response, TrimBlanksAndControls(QByteArray(buffer, static_cast<qsizetype>(n))));
}

// The binary transaction of both port classes. checkpoint(N) marks the trace points of
// TSerialPort3; second is filled with the second data word when given.
template <class TResponse, class TCheckpoint>
void BinaryTransaction(const QByteArray& port, int baud, int parity, int stopBits,
                       quint32 intervalMs, quint32 timeoutMs, bool debug, const uint8_t* data,
                       int dataSize, bool wait, TResponse& r, TCheckpoint checkpoint,
                       int32_t* second) {
    r.Status = SerialStatus::Unknown;
    r.ResponseLength = 0;
    checkpoint(1);
    TPosixSerial handle;
    OpenPort(port, handle);
    checkpoint(2);
    if (!ApplyLine(handle, baud, parity, stopBits)) {
        r.Status = SerialStatus::PortInUse;
        return;
    }
    checkpoint(3);
    if (!ApplyTimeOuts(handle)) {
        r.Status = SerialStatus::TimeoutsFailed;
        return;
    }
    checkpoint(4);
    if (!ApplyBuffers(handle)) {
        r.Status = SerialStatus::BuffersFailed;
        return;
    }
    checkpoint(5);
    if (debug) {
        LogLine(AsteriskLine);
        LogLine(QStringLiteral("PortName                 : ") + PortText(port));
    }
    const int64_t size = (data && dataSize > 0) ? dataSize : 0;
    const int64_t written =
        size == 0 ? 0 : handle.Write(reinterpret_cast<const char*>(data), size);
    if (written != size) {
        r.Status = SerialStatus::WriteFailed;
        return;
    }
    if (debug)
        LogLine(QStringLiteral("Bytes written            : ") + QString::number(written));
    checkpoint(6);
    if (!wait) {
        Assign(r.Response, QByteArray());
        r.Status.clear();
        return;
    }
    SleepMs(intervalMs);
    checkpoint(7);
    const int seen = PollForReply(handle, intervalMs, timeoutMs);
    checkpoint(8);
    if (seen == 0) {
        Assign(r.Response, QByteArray());
        r.Status = SerialStatus::Timeout;
        return;
    }
    const int64_t n = handle.Read(reinterpret_cast<char*>(r.rArray.data()), r.rArray.size());
    if (n < 0) {
        Assign(r.Response, QByteArray());
        r.Status = SerialStatus::ReadFailed;
        return;
    }
    checkpoint(9);
    const QByteArray bytes(reinterpret_cast<const char*>(r.rArray.data()),
                           static_cast<qsizetype>(n));
    Assign(r.Response, bytes);
    r.Status.clear();
    r.ResponseLength = static_cast<uint8_t>(n & 0xFF);
    r.ValueOfFirstWord = n >= 5 ? r.rArray[3] * 256 + r.rArray[4] : 0;
    if (second)
        *second = n >= 7 ? r.rArray[5] * 256 + r.rArray[6] : 0;
    if (debug) {
        QString ints;
        for (int64_t i = 0; i < n; ++i)
            ints += QString::number(r.rArray[static_cast<size_t>(i)]) + u' ';
        LogLine(QStringLiteral("Response Str             : ") + FromWindows1252(bytes));
        LogLine(QStringLiteral("Response Int             : ") + ints);
        LogLine(QStringLiteral("Response Status          : ") + QString::fromLatin1(r.Status));
    }
}
} // namespace

// ---- TSerialPort ----

TSerialPort::TSerialPort(QObject* owner) : QObject(owner) {}

void TSerialPort::SetPort(const QString& v) { fPort = ToWindows1252(v); }

bool TSerialPort::SetDCBState(TPosixSerial& handle) const {
    return ApplyLine(handle, fBaudRate, fParity, fStopBits);
}

bool TSerialPort::SetTimeOuts(TPosixSerial& handle) const { return ApplyTimeOuts(handle); }

bool TSerialPort::SetBuffers(TPosixSerial& handle) const { return ApplyBuffers(handle); }

void TSerialPort::Send2(const QString& message, bool WaitForResponse,
                        TSerialResponse& response) {
    Send2(ToWindows1252(message), WaitForResponse, response);
}

void TSerialPort::Send2(const QByteArray& message, bool WaitForResponse,
                        TSerialResponse& response) {
    TextTransaction(fPort, fBaudRate, fParity, fStopBits, fWindowsReadLoopTimeoutMS,
                    fReadoutTimeoutMS, fDebug, message, WaitForResponse, response);
    FLastStatus = response.Status;
}

QByteArray TSerialPort::Send(const QByteArray& message, bool WaitForResponse) {
    TSerialResponse response;
    Send2(message, WaitForResponse, response);
    return response.Response;
}

void TSerialPort::SendData(const uint8_t* data, int dataSize, TSerialResponse& response,
                           bool WaitForResponse) {
    BinaryTransaction(fPort, fBaudRate, fParity, fStopBits, fWindowsReadLoopTimeoutMS,
                      fReadoutTimeoutMS, fDebug, data, dataSize, WaitForResponse, response,
                      [](int) {}, nullptr);
    FLastStatus = response.Status;
}

void TSerialPort::SetPrologixDefaults() {
    for (const char* command : {"++eoi 1\r", "++eot_enable 0\r", "++auto 0\r",
                                "++read_tmo_ms 2000\r"}) {
        TSerialResponse response;
        Send2(QByteArray(command), false, response);
    }
}

// ---- TSerialPort3 ----

TSerialPort3::TSerialPort3(QObject* owner) : QObject(owner) {}

void TSerialPort3::SetPort(const QString& v) { fPort = ToWindows1252(v); }

bool TSerialPort3::SetDCBState(TPosixSerial& handle) const {
    return ApplyLine(handle, fBaudRate, fParity, fStopBits);
}

bool TSerialPort3::SetTimeOuts(TPosixSerial& handle) const { return ApplyTimeOuts(handle); }

bool TSerialPort3::SetBuffers(TPosixSerial& handle) const { return ApplyBuffers(handle); }

void TSerialPort3::Send2(const QString& message, bool WaitForResponse,
                         TSerialResponse3& response) {
    Send2(ToWindows1252(message), WaitForResponse, response);
}

void TSerialPort3::Send2(const QByteArray& message, bool WaitForResponse,
                         TSerialResponse3& response) {
    TextTransaction(fPort, fBaudRate, fParity, fStopBits, fWindowsReadLoopTimeoutMS,
                    fReadoutTimeoutMS, false, message, WaitForResponse, response);
}

void TSerialPort3::SendData(const uint8_t* data, int dataSize, TSerialResponse3& response,
                            bool WaitForResponse) {
    fDebugMSG.clear();
    auto checkpoint = [this](int n) {
        if (fDebug)
            fDebugMSG += QStringLiteral("Time  ") + QString::number(n) + QStringLiteral(": ") +
                         QTime::currentTime().toString(QStringLiteral("hh:mm:ss.zzz")) +
                         QStringLiteral("\r\n");
    };
    BinaryTransaction(fPort, fBaudRate, fParity, fStopBits, fWindowsReadLoopTimeoutMS,
                      fReadoutTimeoutMS, fDebug, data, dataSize, WaitForResponse, response,
                      checkpoint, &response.ValueOfSecondWord);
}

// ---- names and texts ----

int PortNumberOf(const QString& name) {
    const QString n = name.trimmed();
    if (n.isEmpty())
        return 0;
    if (!n.startsWith(QStringLiteral("COM")) || n.size() == 3)
        return 255;
    int value = 0;
    for (qsizetype i = 3; i < n.size(); ++i) {
        if (n[i] < u'0' || n[i] > u'9')
            return 255;
        value = value * 10 + (n[i].unicode() - u'0');
        if (value > 254)
            return 255;
    }
    return value >= 1 ? value : 255;
}

QByteArray ParseByteList(const QString& text) {
    QByteArray bytes;
    const QStringList tokens = text.split(u' ', Qt::SkipEmptyParts);
    for (const QString& token : tokens) {
        int low = 0;
        for (const QChar c : token) {
            if (c < u'0' || c > u'9')
                return bytes;
            low = (low * 10 + (c.unicode() - u'0')) & 0xFF;
        }
        bytes.append(static_cast<char>(low));
    }
    return bytes;
}

QByteArray TrimBlanksAndControls(const QByteArray& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && static_cast<uint8_t>(text[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<uint8_t>(text[end - 1]) <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

QString TrimBlanksAndControls(const QString& text) {
    qsizetype begin = 0, end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}
