#pragma once

#include <QString>

#include <cstdint>

// The serial device under the port classes: a POSIX terminal opened exclusively, with raw
// 8-bit line settings and read/write time-outs in the manner of the port classes'
// time-out rules. Not copyable; the destructor closes the device.
class TPosixSerial {
public:
    TPosixSerial() = default;
    ~TPosixSerial();
    TPosixSerial(const TPosixSerial&) = delete;
    TPosixSerial& operator=(const TPosixSerial&) = delete;

    // Opens the device read/write, without becoming its controlling terminal and without
    // waiting for a carrier, and takes it exclusively (TIOCEXCL and an flock). False when
    // it does not exist, is held by another opener, or is not a terminal.
    bool Open(const QString& devicePath);
    bool IsOpen() const { return FFd >= 0; }
    int Handle() const { return FFd; }
    void Close();

    // Raw 8 data bits, receiver on, modem lines ignored, no flow control, DTR and RTS on.
    // parity: 0 none, 1 odd, 2 even, 3 mark, 4 space; stopBits: 0 one, 2 two (1, one and
    // a half, is refused with 8 data bits). False for a closed device or refused settings.
    bool SetLine(int baudRate, int parity, int stopBits);
    // Read: after the first byte, a gap longer than intervalMs ends the read; the whole read
    // lasts at most multiplierMs per requested byte + constantMs.
    bool SetReadTimeouts(int intervalMs, int multiplierMs, int constantMs);
    // Write: at most multiplierMs per byte + constantMs.
    bool SetWriteTimeouts(int multiplierMs, int constantMs);
    // Checks the requested queue sizes; the kernel's terminal queues are fixed.
    bool SetQueueSizes(int inputBytes, int outputBytes);

    // Bytes received and not yet read; -1 when the device cannot tell.
    int BytesWaiting() const;
    // Writes all bytes within the write time-out; the count written, -1 on failure.
    int64_t Write(const char* data, int64_t size);
    // Reads up to maxSize bytes under the read time-outs; the count read (0 when nothing
    // came), -1 on failure.
    int64_t Read(char* data, int64_t maxSize);
    // Drops whatever is queued in both directions.
    void Flush();

private:
    int FFd = -1;
    int FReadInterval = 20, FReadMultiplier = 10, FReadConstant = 200;
    int FWriteMultiplier = 10, FWriteConstant = 1000;
};

// Sets a baud rate that has no B-constant (termios2); false when the device refuses it.
bool SetCustomBaudRate(int fd, int baudRate);
