#include "tavlo/modbus.h"

#include "tavlo/log.h"

#include <QRandomGenerator>

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

namespace {
constexpr std::array<uint16_t, 256> MakeCrcTable() {
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = static_cast<uint16_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
        table[i] = crc;
    }
    return table;
}
constexpr std::array<uint16_t, 256> CrcTable = MakeCrcTable();
static_assert(CrcTable[1] == 0xC0C1 && CrcTable[255] == 0x4040, "standard Modbus CRC table");

void Append16(QByteArray& frame, uint16_t value) {
    frame.append(static_cast<char>(value >> 8));
    frame.append(static_cast<char>(value & 0xFF));
}

QByteArray Body(uint8_t address, uint8_t function) {
    QByteArray body;
    body.append(static_cast<char>(address));
    body.append(static_cast<char>(function));
    return body;
}

const uint8_t* Bytes(const QByteArray& a) { return reinterpret_cast<const uint8_t*>(a.constData()); }
} // namespace

namespace Modbus {
uint16_t Crc16(const uint8_t* data, size_t size) {
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < size; ++i)
        crc = static_cast<uint16_t>((crc >> 8) ^ CrcTable[(crc ^ data[i]) & 0xFF]);
    return crc;
}

uint16_t Crc16(const QByteArray& data) { return Crc16(Bytes(data), static_cast<size_t>(data.size())); }

QByteArray WithCrc(const QByteArray& body) {
    const uint16_t crc = Crc16(body);
    QByteArray frame = body;
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

bool CrcMatches(const uint8_t* frame, int size) {
    if (!frame || size < 3)
        return false;
    const uint16_t crc = Crc16(frame, static_cast<size_t>(size - 2));
    return frame[size - 2] == (crc & 0xFF) && frame[size - 1] == (crc >> 8);
}

QByteArray LoopbackFrame(uint8_t address, uint16_t data) {
    QByteArray body = Body(address, 0x08);
    Append16(body, 0);
    Append16(body, data);
    return WithCrc(body);
}

QByteArray ReadRegistersFrame(uint8_t address, uint16_t reg, uint16_t count) {
    QByteArray body = Body(address, 0x03);
    Append16(body, reg);
    Append16(body, count);
    return WithCrc(body);
}

QByteArray WriteRegisterFrame(uint8_t address, uint16_t reg, uint16_t value) {
    QByteArray body = Body(address, 0x06);
    Append16(body, reg);
    Append16(body, value);
    return WithCrc(body);
}

QByteArray WriteRegistersFrame(uint8_t address, uint16_t reg, const QByteArray& dataBytes) {
    QByteArray body = Body(address, 0x10);
    Append16(body, reg);
    body.append('\0');
    body.append(static_cast<char>(dataBytes.size() / 2));
    body.append(static_cast<char>(dataBytes.size()));
    body.append(dataBytes);
    return WithCrc(body);
}

uint16_t Word(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]); }

float Float(const uint8_t* bytes) {
    const uint32_t bits = static_cast<uint32_t>(bytes[0]) << 24 | static_cast<uint32_t>(bytes[1]) << 16 |
                          static_cast<uint32_t>(bytes[2]) << 8 | bytes[3];
    return std::bit_cast<float>(bits);
}

QByteArray FloatBytes(float value) {
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    QByteArray bytes;
    for (int shift = 24; shift >= 0; shift -= 8)
        bytes.append(static_cast<char>((bits >> shift) & 0xFF));
    return bytes;
}

QString HexText(const uint8_t* bytes, int size) {
    QString text;
    for (int i = 0; i < size; ++i)
        text += QStringLiteral("%1 ").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
    return text;
}

QString IntText(const uint8_t* bytes, int size) {
    QString text;
    for (int i = 0; i < size; ++i)
        text += QString::number(bytes[i]) + u' ';
    return text;
}

QByteArray CheckReply(const uint8_t* reply, int size, uint8_t address, uint8_t function) {
    if (size < 4)
        return ModbusStatus::WrongAmount;
    if (!CrcMatches(reply, size))
        return ModbusStatus::BadCrc;
    if (reply[0] != address || (reply[1] & 0x7F) != function)
        return ModbusStatus::ForeignReply;
    if (reply[1] & 0x80)
        return ModbusStatus::ExceptionPrefix + QByteArray::number(reply[2]);
    return {};
}
void DropStalePrefix(TSerialResponse& response, uint8_t address, uint8_t function) {
    const int size = static_cast<int>(std::min<qsizetype>(response.Response.size(), 256));
    const uint8_t* bytes = response.rArray.data();
    if (size < 4 || CrcMatches(bytes, size))
        return;
    for (int k = 1; k + 4 <= size; ++k) {
        if (bytes[k] != address || (bytes[k + 1] & 0x7F) != function || !CrcMatches(bytes + k, size - k))
            continue;
        const int n = size - k;
        std::memmove(response.rArray.data(), bytes + k, static_cast<size_t>(n));
        std::fill(response.rArray.begin() + n, response.rArray.end(), 0);
        response.Response = response.Response.mid(k);
        response.ResponseLength = static_cast<uint8_t>(n);
        response.ValueOfFirstWord = n >= 5 ? response.rArray[3] * 256 + response.rArray[4] : 0;
        return;
    }
}
void FinishReply(TSerialResponse& response, uint8_t address, uint8_t function) {
    DropStalePrefix(response, address, function);
    if (!response.Status.isEmpty())
        return;
    const int size = static_cast<int>(std::min<qsizetype>(response.Response.size(), 256));
    response.Status = CheckReply(response.rArray.data(), size, address, function);
}

void DecodeFloatReply(TSerialResponse& response) {
    response.rDouble = 0;
    if (!response.Status.isEmpty())
        return;
    if (response.Response.size() > 8)
        response.rDouble = Float(response.rArray.data() + 3);
    else
        response.Status = ModbusStatus::WrongAmount;
}

void DecodeWordsReply(const TSerialResponse& reply, int wordCount, TSerialResponse& response) {
    response.WordArray.fill(0);
    response.ValueOfFirstWord = 0;
    if (!reply.Status.isEmpty()) {
        response.Status = reply.Status;
        return;
    }
    // Data words lie between the byte count and the CRC.
    const int length = static_cast<int>(std::min<qsizetype>(reply.Response.size(), 256));
    const int arrived = length >= 5 ? (length - 5) / 2 : 0;
    for (int i = 0; i < arrived && i < 16; ++i)
        response.WordArray[static_cast<size_t>(i)] = Word(reply.rArray.data() + 3 + 2 * i);
    response.ValueOfFirstWord = arrived > 0 ? response.WordArray[0] : 0;
    response.Status = arrived < wordCount ? ModbusStatus::WrongAmount : QByteArray();
}

int EchoedWord(const TSerialResponse& reply) {
    return reply.Response.size() >= 7 ? reply.rArray[4] * 256 + reply.rArray[5] : -1;
}
} // namespace Modbus

// ---- TModbusPort ----

TModbusPort::TModbusPort(QObject* owner) : TSerialPort(owner) {}

void TModbusPort::LogFrame(const QByteArray& frame) const {
    LogLine(QStringLiteral("Modbus in Hex            : ") + Modbus::HexText(Bytes(frame), static_cast<int>(frame.size())));
    LogLine(QStringLiteral("Modbus in Int            : ") + Modbus::IntText(Bytes(frame), static_cast<int>(frame.size())));
}

void TModbusPort::Transact(const QByteArray& frame, TSerialResponse& response, bool wait) {
    SendData(Bytes(frame), static_cast<int>(frame.size()), response, wait);
    if (!wait || !response.Status.isEmpty())
        return;
    Modbus::FinishReply(response, Bytes(frame)[0], Bytes(frame)[1]);
    FLastStatus = response.Status;
}

bool TModbusPort::Test(int DeviceAddress) {
    fDebug = true;
    const uint16_t sent = static_cast<uint16_t>(QRandomGenerator::global()->bounded(65000));
    const QByteArray frame = Modbus::LoopbackFrame(static_cast<uint8_t>(DeviceAddress), sent);
    LogFrame(frame);
    TSerialResponse response;
    Transact(frame, response, true);
    if (!response.Status.isEmpty()) {
        LogLine(QString::fromLatin1(response.Status));
        return false;
    }
    const int echoed = Modbus::EchoedWord(response);
    LogLine(QStringLiteral("Sent to diagnostic loop  : ") + QString::number(sent));
    LogLine(QStringLiteral("Response                 : ") + QString::number(echoed));
    return echoed == sent;
}

void TModbusPort::QueryD(int DeviceAddress, int MemoryAddress, TSerialResponse& response) {
    const QByteArray frame = Modbus::ReadRegistersFrame(
        static_cast<uint8_t>(DeviceAddress), static_cast<uint16_t>(0x8000 + 2 * MemoryAddress), 2);
    if (fDebug)
        LogFrame(frame);
    response.rDouble = 0;
    Transact(frame, response, true);
    Modbus::DecodeFloatReply(response);
    FLastStatus = response.Status;
    if (fDebug && !response.Status.isEmpty())
        LogLine(QString::fromLatin1(response.Status));
}

void TModbusPort::QueryWords(int DeviceAddress, int MemoryAddress, TSerialResponse& response,
                             int WordCount) {
    if (WordCount > 32 || WordCount < 1) {
        response.Status = WordCount > 32 ? ModbusStatus::MaxWordCount : ModbusStatus::MinWordCount;
        FLastStatus = response.Status;
        LogLine(QString::fromLatin1(response.Status));
        return;
    }
    const QByteArray frame =
        Modbus::ReadRegistersFrame(static_cast<uint8_t>(DeviceAddress),
                                   static_cast<uint16_t>(MemoryAddress), static_cast<uint16_t>(WordCount));
    if (fDebug)
        LogFrame(frame);
    TSerialResponse reply;
    Transact(frame, reply, true);
    response.SentMessage = frame;
    response.Response = reply.Response;
    response.rArray = reply.rArray;
    response.ResponseLength = reply.ResponseLength;
    Modbus::DecodeWordsReply(reply, WordCount, response);
    FLastStatus = response.Status;
    if (!response.Status.isEmpty())
        LogLine(QString::fromLatin1(response.Status));
}

bool TModbusPort::WriteWord(int DeviceAddress, int MemoryAddress, bool WaitForResponse, int Value) {
    const QByteArray frame = Modbus::WriteRegisterFrame(
        static_cast<uint8_t>(DeviceAddress), static_cast<uint16_t>(MemoryAddress),
        static_cast<uint16_t>(Value & 0xFFFF));
    if (fDebug)
        LogFrame(frame);
    TSerialResponse response;
    Transact(frame, response, WaitForResponse);
    return response.Status.isEmpty();
}
