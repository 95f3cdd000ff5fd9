#pragma once

#include "tavlo/serialport.h"

#include <QByteArray>
#include <QString>

#include <cstdint>

// Modbus RTU frames: address, function, data, CRC-16 (low byte first). Registers and values
// are big-endian 16-bit words; floats are IEEE single, big-endian, in two registers.
namespace Modbus {
// The standard Modbus CRC (reflected 0xA001, initial 0xFFFF), table driven.
uint16_t Crc16(const uint8_t* data, size_t size);
uint16_t Crc16(const QByteArray& data);
// The frame with its CRC appended, low byte first.
QByteArray WithCrc(const QByteArray& body);
// True when the last two bytes are the CRC of the bytes before them.
bool CrcMatches(const uint8_t* frame, int size);

QByteArray LoopbackFrame(uint8_t address, uint16_t data);
QByteArray ReadRegistersFrame(uint8_t address, uint16_t reg, uint16_t count);
QByteArray WriteRegisterFrame(uint8_t address, uint16_t reg, uint16_t value);
QByteArray WriteRegistersFrame(uint8_t address, uint16_t reg, const QByteArray& dataBytes);

// Big-endian helpers; bytes points at the first byte.
uint16_t Word(const uint8_t* bytes);
float Float(const uint8_t* bytes);
QByteArray FloatBytes(float value);

// "0A 03 ..." (two upper-case hexadecimal digits and a blank per byte) and "10 3 ..."
// (decimal and a blank per byte).
QString HexText(const uint8_t* bytes, int size);
QString IntText(const uint8_t* bytes, int size);

// Checks a reply to a request of (address, function): empty when it carries a good CRC and
// answers that request, else the failure text (CRC, exception, foreign reply, too short).
QByteArray CheckReply(const uint8_t* reply, int size, uint8_t address, uint8_t function);

// A controller answers writes that were sent without waiting; such an answer can still be
// queued when the next reply comes in front of it. When the reply read holds a complete,
// well-formed answer to (address, function) behind other bytes, those bytes are dropped:
// Response, rArray, ResponseLength and ValueOfFirstWord then describe the answer alone.
void DropStalePrefix(TSerialResponse& response, uint8_t address, uint8_t function);

// The reply decoding of TModbusPort, on a record as a waiting binary transaction left it.
// Drops a stale prefix and, when Status is empty, sets it to the reply's check.
void FinishReply(TSerialResponse& response, uint8_t address, uint8_t function);
// QueryD: rDouble := the float in reply bytes 4-7 (1-based) when Status is empty and the
// reply has more than 8 bytes; else rDouble 0 (and "Wrong amount of data waiting" for a
// short reply).
void DecodeFloatReply(TSerialResponse& response);
// QueryWords: WordArray and ValueOfFirstWord from the data words that arrived; Status the
// reply's, or "Wrong amount of data waiting" when fewer than wordCount came.
void DecodeWordsReply(const TSerialResponse& reply, int wordCount, TSerialResponse& response);
// Test: the echoed word (reply bytes 5-6, 1-based) of a reply of at least 7 bytes, else -1.
int EchoedWord(const TSerialResponse& reply);
} // namespace Modbus

namespace ModbusStatus {
inline const QByteArray UnknownCondition = "Unknown condition";
inline const QByteArray WrongAmount = "Wrong amount of data waiting";
inline const QByteArray NoResult = "No result to read";
inline const QByteArray MaxWordCount = "Maximum wordcount read is 32";
inline const QByteArray MinWordCount = "Minimum wordcount read is 1";
inline const QByteArray BadCrc = "CRC error in reply";
inline const QByteArray ForeignReply = "Reply does not match the request";
inline const QByteArray ExceptionPrefix = "Modbus exception code ";
} // namespace ModbusStatus

// A Eurotherm controller (or the "Wachendorf" display) as a Modbus RTU slave. Every call is
// one request and at most one reply on a port opened for that call only.
class TModbusPort : public TSerialPort {
    Q_OBJECT

public:
    explicit TModbusPort(QObject* owner = nullptr);

    // Loop-back diagnostics with a random word; true when the slave echoes it. Switches
    // Debug on and logs the frame and the outcome.
    bool Test(int DeviceAddress);
    // Parameter MemoryAddress as a float from the IEEE region (0x8000 + 2n). rDouble stays 0
    // unless a complete reply came.
    void QueryD(int DeviceAddress, int MemoryAddress, TSerialResponse& response);
    // WordCount registers from MemoryAddress: WordArray holds the first 16 data words that
    // arrived, ValueOfFirstWord the first. At most 32 words.
    void QueryWords(int DeviceAddress, int MemoryAddress, TSerialResponse& response,
                    int WordCount);
    // Function 6 with the low 16 bits of Value; true when the transaction reports no failure.
    bool WriteWord(int DeviceAddress, int MemoryAddress, bool WaitForResponse, int Value);

private:
    void LogFrame(const QByteArray& frame) const;
    // Sends the frame and checks the reply against the request.
    void Transact(const QByteArray& frame, TSerialResponse& response, bool wait);
};
