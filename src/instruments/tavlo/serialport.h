#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>
#include <cstdint>

class TPosixSerial;

// The result of one transaction of TSerialPort, filled in place. Callers pass a fresh one.
struct TSerialResponse {
    QByteArray SentMessage;          // the text sent (text transactions)
    QByteArray Response;             // reply bytes (trimmed in text transactions)
    double rDouble = 0;              // free for users
    std::array<uint8_t, 256> rArray{}; // reply bytes (binary transactions)
    std::array<uint16_t, 16> WordArray{}; // Modbus words
    int32_t ValueOfFirstWord = 0;    // binary: reply byte 4 * 256 + byte 5 (1-based)
    QByteArray Status;               // empty on success, else the failure text
    uint8_t ResponseLength = 0;      // bytes read (binary transactions), modulo 256
    QByteArray AsHex, AsInt;
    float AsFloat = 0;
    int32_t AsInteger = 0;
    QByteArray AsString;
};

// The result of a TSerialPort3 transaction: Response as text, and the second data word.
struct TSerialResponse3 {
    QByteArray SentMessage;
    QString Response;
    double rDouble = 0;
    std::array<uint8_t, 256> rArray{};
    std::array<uint16_t, 16> WordArray{};
    int32_t ValueOfFirstWord = 0;
    int32_t ValueOfSecondWord = 0;   // binary: reply byte 6 * 256 + byte 7 (1-based)
    QByteArray Status;
    uint8_t ResponseLength = 0;
    QByteArray AsHex, AsInt;
    float AsFloat = 0;
    int32_t AsInteger = 0;
    QByteArray AsString;
};

// Status texts of the transactions.
namespace SerialStatus {
inline const QByteArray PortInUse = "Failed to setup Com port, port in use";
inline const QByteArray TimeoutsFailed = "Failed to setup Com port timeouts";
inline const QByteArray BuffersFailed = "Failed to setup Com port buffer size";
inline const QByteArray WriteFailed = "Failed to write to Com port";
inline const QByteArray NoWait = "Exit read/write without waiting for reply";
inline const QByteArray Timeout = "Timeout while waiting for response";
inline const QByteArray ReadFailed = "Failed to read from Com port";
inline const QByteArray Unknown = "Unknown problem reading serial port";
} // namespace SerialStatus

// A serial port reached one complete transaction per call: open, configure, write,
// optionally wait for and read one reply, close. Blocking, on the caller's thread; holds
// no open device between calls. Failures are reported in Status, never raised.
class TSerialPort : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Debug READ Debug WRITE SetDebug)
    Q_PROPERTY(QByteArray Port READ Port WRITE SetPort)
    Q_PROPERTY(quint32 WindowsReadLoopTimeoutMS READ WindowsReadLoopTimeoutMS WRITE
                   SetWindowsReadLoopTimeoutMS)
    Q_PROPERTY(quint32 ReadoutTimeoutMS READ ReadoutTimeoutMS WRITE SetReadoutTimeoutMS)
    Q_PROPERTY(int BaudRate READ BaudRate WRITE SetBaudRate)
    Q_PROPERTY(int StopBits READ StopBits WRITE SetStopBits)
    Q_PROPERTY(int Parity READ Parity WRITE SetParity)

public:
    explicit TSerialPort(QObject* owner = nullptr);

    bool Debug() const { return fDebug; }
    void SetDebug(bool v) { fDebug = v; }
    QByteArray Port() const { return fPort; }
    void SetPort(const QByteArray& v) { fPort = v; }
    void SetPort(const QString& v);
    quint32 WindowsReadLoopTimeoutMS() const { return fWindowsReadLoopTimeoutMS; }
    void SetWindowsReadLoopTimeoutMS(quint32 v) { fWindowsReadLoopTimeoutMS = v; }
    quint32 ReadoutTimeoutMS() const { return fReadoutTimeoutMS; }
    void SetReadoutTimeoutMS(quint32 v) { fReadoutTimeoutMS = v; }
    int BaudRate() const { return fBaudRate; }
    void SetBaudRate(int v) { fBaudRate = v; }
    int StopBits() const { return fStopBits; }
    void SetStopBits(int v) { fStopBits = v; }
    int Parity() const { return fParity; }
    void SetParity(int v) { fParity = v; }

    // Line settings: BaudRate, 8 data bits, Parity, StopBits, raw, DTR and RTS on, no flow
    // control. False for a device that is not open or refuses the settings.
    bool SetDCBState(TPosixSerial& handle) const;
    // Read interval 20 ms, 10 ms per byte + 200 ms; write 10 ms per byte + 1000 ms.
    bool SetTimeOuts(TPosixSerial& handle) const;
    // Input and output queues of 4096 bytes.
    bool SetBuffers(TPosixSerial& handle) const;

    // The text transaction; the message goes out in Windows-1252. No terminator is added.
    void Send2(const QString& message, bool WaitForResponse, TSerialResponse& response);
    void Send2(const QByteArray& message, bool WaitForResponse, TSerialResponse& response);
    QByteArray Send(const QByteArray& message, bool WaitForResponse);
    // The binary transaction.
    void SendData(const uint8_t* data, int dataSize, TSerialResponse& response,
                  bool WaitForResponse);

    // "++eoi 1", "++eot_enable 0", "++auto 0", "++read_tmo_ms 2000", none waiting.
    void SetPrologixDefaults();

    // The Status of the most recent transaction of this object, also of those whose record
    // the caller never sees.
    QByteArray LastStatus() const { return FLastStatus; }

protected:
    bool fDebug = false;
    QByteArray fPort;
    quint32 fWindowsReadLoopTimeoutMS = 333;
    quint32 fReadoutTimeoutMS = 1000;
    int fBaudRate = 9600;
    int fStopBits = 0;
    int fParity = 0;
    QByteArray FLastStatus;
};

// The port class of the binary broadcast, with a timing trace of its binary transaction.
class TSerialPort3 : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Debug READ Debug WRITE SetDebug)
    Q_PROPERTY(QByteArray Port READ Port WRITE SetPort)
    Q_PROPERTY(quint32 WindowsReadLoopTimeoutMS READ WindowsReadLoopTimeoutMS WRITE
                   SetWindowsReadLoopTimeoutMS)
    Q_PROPERTY(quint32 ReadoutTimeoutMS READ ReadoutTimeoutMS WRITE SetReadoutTimeoutMS)
    Q_PROPERTY(int BaudRate READ BaudRate WRITE SetBaudRate)
    Q_PROPERTY(int StopBits READ StopBits WRITE SetStopBits)
    Q_PROPERTY(int Parity READ Parity WRITE SetParity)
    Q_PROPERTY(QString DebugMSG READ DebugMSG WRITE SetDebugMSG)

public:
    explicit TSerialPort3(QObject* owner = nullptr);

    bool Debug() const { return fDebug; }
    void SetDebug(bool v) { fDebug = v; }
    QByteArray Port() const { return fPort; }
    void SetPort(const QByteArray& v) { fPort = v; }
    void SetPort(const QString& v);
    quint32 WindowsReadLoopTimeoutMS() const { return fWindowsReadLoopTimeoutMS; }
    void SetWindowsReadLoopTimeoutMS(quint32 v) { fWindowsReadLoopTimeoutMS = v; }
    quint32 ReadoutTimeoutMS() const { return fReadoutTimeoutMS; }
    void SetReadoutTimeoutMS(quint32 v) { fReadoutTimeoutMS = v; }
    int BaudRate() const { return fBaudRate; }
    void SetBaudRate(int v) { fBaudRate = v; }
    int StopBits() const { return fStopBits; }
    void SetStopBits(int v) { fStopBits = v; }
    int Parity() const { return fParity; }
    void SetParity(int v) { fParity = v; }
    QString DebugMSG() const { return fDebugMSG; }
    void SetDebugMSG(const QString& v) { fDebugMSG = v; }

    bool SetDCBState(TPosixSerial& handle) const;
    bool SetTimeOuts(TPosixSerial& handle) const;
    bool SetBuffers(TPosixSerial& handle) const;

    void Send2(const QString& message, bool WaitForResponse, TSerialResponse3& response);
    void Send2(const QByteArray& message, bool WaitForResponse, TSerialResponse3& response);
    void SendData(const uint8_t* data, int dataSize, TSerialResponse3& response,
                  bool WaitForResponse);

private:
    bool fDebug = false;
    QByteArray fPort;
    quint32 fWindowsReadLoopTimeoutMS = 333;
    quint32 fReadoutTimeoutMS = 1000;
    int fBaudRate = 9600;
    int fStopBits = 0;
    int fParity = 0;
    QString fDebugMSG;
};

// "COM1" ... "COM254" (trimmed) give 1 ... 254, an empty name 0, anything else 255.
int PortNumberOf(const QString& name);

// Bytes given as text: blank-separated decimal numbers, read up to the first token that is
// not a non-negative integer; each number kept to its low 8 bits.
QByteArray ParseByteList(const QString& text);

// The text without leading and trailing blanks and control characters (bytes <= 0x20).
QByteArray TrimBlanksAndControls(const QByteArray& text);
QString TrimBlanksAndControls(const QString& text);
