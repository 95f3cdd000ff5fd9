#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

// Milliseconds on the simulator's steady clock.
double SimNowMs();

// Misbehaviour of a simulated device, applied to every reply it gives.
struct TSimFaults {
    bool NoAnswer = false; // replies are dropped
    int LateMs = 0;        // replies are held back this long
    bool Garbage = false;  // replies are replaced by random bytes (line end kept)
    int SplitGapMs = 0;    // replies come in two bursts this far apart (0: in one piece)
};

// Applies faults to a reply: returns the bytes to send (empty for no answer) and fills the
// delay and the split point (0: not split).
QByteArray ApplyFaults(const TSimFaults& faults, const QByteArray& reply, std::mt19937& random,
                       int& delayMs, qsizetype& splitAt);

// One connection of a device: the pseudo-terminal of a serial device or one accepted
// socket. Replies go out with the line's latency and, on a serial line, at the pace of the
// baud rate the program has set.
class TSimLine {
public:
    virtual ~TSimLine() = default;
    // Queues a reply; the device's faults are applied. extraDelayMs adds to the latency.
    virtual void Reply(const QByteArray& bytes, int extraDelayMs = 0) = 0;
    // Queues bytes as given, first part now and the rest gapMs later.
    virtual void ReplyRaw(const QByteArray& bytes, int delayMs, qsizetype splitAt,
                          int gapMs) = 0;
    // The name under which the line is served (port name or "host:port").
    virtual QString Name() const = 0;
};

// A simulated device. The lab calls it on its own thread with the lab locked; other
// threads change a device only while holding TSimLab::Lock().
class TSimDevice {
public:
    virtual ~TSimDevice() = default;
    // One line for the listing of what the lab serves.
    virtual QString Describe() const = 0;
    // Further listing lines (e.g. the instruments behind an adapter).
    virtual QStringList Details() const { return {}; }
    // Bytes the program wrote.
    virtual void Receive(TSimLine& line, const QByteArray& bytes) = 0;
    // Called every few milliseconds for work in progress.
    virtual void Tick(TSimLine& line) {}
    // Base latency of a reply in ms.
    virtual int LatencyMs() const { return 2; }

    TSimFaults Faults;
    std::mt19937 Random{12345};
};

// The simulated laboratory: serves devices on pseudo-terminals and loopback sockets from
// one thread.
class TSimLab {
public:
    TSimLab();
    ~TSimLab();
    TSimLab(const TSimLab&) = delete;
    TSimLab& operator=(const TSimLab&) = delete;

    // Serves a device on a new pseudo-terminal under the given port name; returns the path
    // of the port (a link to the terminal in the lab's own folder), empty (and error) on
    // failure.
    QString AddSerialDevice(const QString& portName, std::shared_ptr<TSimDevice> device,
                            QString* error = nullptr);
    // Serves a device on 127.0.0.1 (port 0: any free one); returns the port, 0 on failure.
    uint16_t AddTcpDevice(const QString& name, std::shared_ptr<TSimDevice> device,
                          uint16_t port = 0, QString* error = nullptr);
    // The port disappears: its path vanishes and its terminal is closed.
    void RemovePort(const QString& portName);

    void Start();
    void Stop();

    // The path of a served port name, empty when unknown.
    QString DevicePath(const QString& portName) const;
    // Port name -> path for the served serial devices.
    std::vector<std::pair<QString, QString>> SerialPorts() const;
    // Writes the served serial ports into DIR/Utility/ports.ini, keeping other entries.
    bool WritePortMap(const QString& dataFolder, QString* error = nullptr) const;
    // What the lab serves, one line each.
    QStringList Describe() const;

    // Held while changing device state from another thread.
    std::unique_lock<std::recursive_mutex> Lock() const;

private:
    struct TImpl;
    std::unique_ptr<TImpl> FImpl;
};
