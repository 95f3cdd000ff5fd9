#include "tavlo/prologix.h"

#include "tavlo/ansi.h"
#include "tavlo/log.h"

#include <chrono>
#include <thread>

namespace {
using TClock = std::chrono::steady_clock;

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

bool ContainsPrologix(const QByteArray& reply) {
    return reply.toLower().contains("prologix");
}
} // namespace

TPrologix::TPrologix(QObject* owner) : TSerialPort(owner) {}

void TPrologix::SetAddress(quint32 n) {
    if (FAddressKnown && n == fAddress)
        return;
    const QByteArray wanted = QByteArray::number(n);
    const auto start = TClock::now();
    int unconfirmed = 0;
    QByteArray reply;
    for (;;) {
        SleepMs(50);
        Send(QByteArrayLiteral("++addr ") + wanted + '\r', false);
        SleepMs(50);
        TSerialResponse response;
        Send2(QByteArrayLiteral("++addr\r"), true, response);
        reply = TrimBlanksAndControls(response.Response);
        if (reply == wanted) {
            if (TClock::now() - start >= std::chrono::seconds(1))
                break;
        } else if (++unconfirmed >= MaxUnconfirmedAddressReads) {
            LogLine(QStringLiteral("Prologix on %1 did not confirm GPIB address %2 after %3 "
                                   "read-backs (last status: %4); address stays %5")
                        .arg(FromWindows1252(fPort))
                        .arg(n)
                        .arg(unconfirmed)
                        .arg(QString::fromLatin1(response.Status.isEmpty() ? reply
                                                                           : response.Status))
                        .arg(fAddress));
            return;
        }
    }
    fAddress = reply.toUInt();
    FAddressKnown = true;
}

void TPrologix::SetTerminator(int v) {
    if (FTerminatorKnown && v == fTerminator)
        return;
    Send(QByteArrayLiteral("++eos ") + QByteArray::number(v) + '\r', false);
    fTerminator = v;
    FTerminatorKnown = true;
}

void TPrologix::SetEOIonSend(bool v) {
    if (FEOIKnown && v == fEOIonSend)
        return;
    SleepMs(50);
    Send(v ? QByteArrayLiteral("++eoi 1\r") : QByteArrayLiteral("++eoi 0\r"), false);
    SleepMs(50);
    fEOIonSend = v;
    FEOIKnown = true;
}

void TPrologix::SetEOTEnabled(bool v) {
    if (v == fEOT)
        return;
    SleepMs(50);
    Send(v ? QByteArrayLiteral("++eot 1\r") : QByteArrayLiteral("++eot_enable 0\r"), false);
    SleepMs(50);
    fEOT = v;
}

void TPrologix::GPIBSend2(const QString& aMessage, bool WaitForResponse,
                          TSerialResponse& response, int WaitTimeOverride) {
    GPIBSend2(ToWindows1252(aMessage), WaitForResponse, response, WaitTimeOverride);
}

void TPrologix::GPIBSend2(const QByteArray& aMessage, bool WaitForResponse,
                          TSerialResponse& response, int WaitTimeOverride) {
    const QByteArray framed = TrimBlanksAndControls(aMessage) + '\r';
    const quint32 saved = fReadoutTimeoutMS;
    // A negative override would be read as an endless wait; it is ignored.
    if (WaitTimeOverride > 0)
        fReadoutTimeoutMS = static_cast<quint32>(WaitTimeOverride);
    if (WaitForResponse) {
        Send2(framed, true, response);
    } else {
        TSerialResponse own;
        Send2(framed, false, own);
    }
    fReadoutTimeoutMS = saved;
}

void TPrologix::SetupStandard(const QString& port, quint32 address, int terminator,
                              quint32 readoutTimeoutMS) {
    SetDebug(false);
    SetWindowsReadLoopTimeoutMS(250);
    SetReadoutTimeoutMS(readoutTimeoutMS);
    SetPort(port);
    SetEOIonSend(true);
    SetEOTEnabled(false);
    SetAutoRead(false);
    SetAddress(address);
    SetTerminator(terminator);
}

void TPrologix::GPIBWrite(const QString& line) {
    TSerialResponse response;
    GPIBSend2(line, false, response);
}

QByteArray TPrologix::GPIBQuery(const QString& line, TSerialResponse& response) {
    GPIBWrite(line);
    Send2(QByteArrayLiteral("++read eoi\r"), true, response);
    return response.Response;
}

QByteArray TPrologix::SerialPoll(TSerialResponse& response) {
    Send2(QByteArrayLiteral("++spoll ") + QByteArray::number(fAddress) + '\r', true, response);
    return TrimBlanksAndControls(response.Response);
}

QString TerminatorName(int code) {
    switch (code) {
    case 0: return QStringLiteral("CR+LF");
    case 1: return QStringLiteral("CR");
    case 2: return QStringLiteral("LF");
    default: return QString();
    }
}

bool IsPrologixAdapter(const QString& port, QByteArray* version) {
    TSerialPort serial;
    serial.SetPort(port);
    serial.SetReadoutTimeoutMS(2000);
    TSerialResponse response;
    serial.Send2(QByteArrayLiteral("++ver\r"), true, response);
    if (version)
        *version = response.Response;
    return ContainsPrologix(response.Response);
}

bool ValidatePrologixAdapter(const QString& port, QByteArray* version) {
    TPrologix adapter;
    adapter.SetPort(port);
    adapter.SetReadoutTimeoutMS(4000);
    TSerialResponse mode;
    adapter.Send2(QByteArrayLiteral("++mode 1\r"), true, mode);
    SleepMs(100);
    TSerialResponse ver;
    adapter.Send2(QByteArrayLiteral("++ver\r"), true, ver);
    if (version)
        *version = ver.Response;
    return ContainsPrologix(ver.Response);
}
