#pragma once

#include "tavlo/serialport.h"

// The Prologix USB-GPIB adapter: a serial port that knows the adapter's "++" commands,
// caches the adapter state it has set (address, terminator, EOI) so it is not resent, and
// frames instrument lines. A fresh object assumes nothing about the adapter, so the first
// setting of each of these is always sent.
class TPrologix : public TSerialPort {
    Q_OBJECT
    Q_PROPERTY(quint32 Address READ Address WRITE SetAddress)
    Q_PROPERTY(int Terminator READ Terminator WRITE SetTerminator)
    Q_PROPERTY(bool EOIonSend READ EOIonSend WRITE SetEOIonSend)
    Q_PROPERTY(bool EOTEnabled READ EOTEnabled WRITE SetEOTEnabled)
    Q_PROPERTY(bool AutoRead READ AutoRead WRITE SetAutoRead)

public:
    // Read-backs of "++addr" that may fail to confirm an address change before the setter
    // gives up.
    static constexpr int MaxUnconfirmedAddressReads = 3;

    explicit TPrologix(QObject* owner = nullptr);

    // The GPIB address confirmed by the adapter. The setter selects n and reads it back,
    // repeating for at least 1 s until the read-back equals n. When the read-back fails
    // MaxUnconfirmedAddressReads times the setter gives up: Address keeps the last
    // confirmed value (0 on a fresh object), and setting n again tries again.
    quint32 Address() const { return fAddress; }
    void SetAddress(quint32 n);
    bool AddressConfirmed() const { return FAddressKnown; }
    // "++eos " code: 0 CR+LF, 1 CR, 2 LF, 3 nothing.
    int Terminator() const { return fTerminator; }
    void SetTerminator(int v);
    bool EOIonSend() const { return fEOIonSend; }
    void SetEOIonSend(bool v);
    bool EOTEnabled() const { return fEOT; }
    void SetEOTEnabled(bool v);
    bool AutoRead() const { return fAutoRead; }
    void SetAutoRead(bool v) { fAutoRead = v; }

    // Sends the trimmed message + "\r". A positive WaitTimeOverride replaces
    // ReadoutTimeoutMS for this call only (a negative one is ignored). Without WaitForResponse the caller's record is
    // left untouched (the outcome is in LastStatus()).
    void GPIBSend2(const QString& aMessage, bool WaitForResponse, TSerialResponse& response,
                   int WaitTimeOverride = 0);
    void GPIBSend2(const QByteArray& aMessage, bool WaitForResponse, TSerialResponse& response,
                   int WaitTimeOverride = 0);

    // The standard set-up of every GPIB user: read loop 250 ms, the given read time-out,
    // EOI on send, EOT off, no automatic read, then port, address and terminator.
    void SetupStandard(const QString& port, quint32 address, int terminator,
                       quint32 readoutTimeoutMS = 3000);

    // Writes an instrument line.
    void GPIBWrite(const QString& line);
    // Writes a query line, then reads the reply with "++read eoi"; returns Response.
    QByteArray GPIBQuery(const QString& line, TSerialResponse& response);
    // Serial poll of the current address; the reply's trimmed text is the status byte.
    QByteArray SerialPoll(TSerialResponse& response);

private:
    quint32 fAddress = 0;
    int fTerminator = 0;
    bool fEOIonSend = false;
    bool fEOT = false;
    bool fAutoRead = false;
    bool FAddressKnown = false;
    bool FTerminatorKnown = false;
    bool FEOIKnown = false;
};

// The display name of a terminator code: "CR+LF", "CR", "LF", empty.
QString TerminatorName(int code);

// Adapter check of a port (device search): "++ver" with a 2000 ms read time-out on a plain
// port; true when the reply contains "Prologix", ignoring case.
bool IsPrologixAdapter(const QString& port, QByteArray* version = nullptr);
// Adapter validation: "++mode 1" and "++ver" with a 4000 ms read time-out; true when the
// version reply contains "Prologix", ignoring case.
bool ValidatePrologixAdapter(const QString& port, QByteArray* version = nullptr);
