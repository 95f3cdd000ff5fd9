#pragma once

#include "tavlo/serialport.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <cstdint>

// Vögtlin ("GSC") mass-flow controller registers.
namespace GscRegister {
constexpr int MeasuredFlow = 0x0000;  // F32
constexpr int Totaliser = 0x0004;     // F32
constexpr int Setpoint = 0x0006;      // F32, read and write
constexpr int Alarms = 0x000D;        // U16
constexpr int SerialNumber = 0x001E;  // U32
constexpr int ActiveGas = 0x4139;     // U16, written with the gas table index
constexpr int GasTableIndex = 0x5FFF; // U16, selects the entry the gas-name register shows
constexpr int Range = 0x6020;         // F32
constexpr int GasName = 0x6042;       // 8 characters
constexpr int Unit = 0x6046;          // 8 characters
} // namespace GscRegister

// The kinds of value a TVoegtlinPort read decodes.
enum class TGscValue { U16, U32, S8, F32 };

// Decodes the raw reply of a read of the given kind into AsHex, AsInt and the value fields
// and sets Status ("Wrong amount of data waiting", "No result to read", a CRC or exception
// text, empty on success). The raw reply is response.Response / rArray; address and
// function are those of the request. A failed F32 read leaves AsFloat NaN.
void DecodeGscReply(TGscValue kind, uint8_t address, TSerialResponse& response);
// The reply length a read of the kind expects (7, 9, 13 or 9).
int GscReplyLength(TGscValue kind);

// The Vögtlin mass-flow controller port (TVögtlinPort). Reads wait for the reply; writes do
// not.
class TVoegtlinPort : public TSerialPort {
    Q_OBJECT

public:
    explicit TVoegtlinPort(QObject* owner = nullptr);

    void ReadU16(int address, int reg, TSerialResponse& response);
    void ReadU32(int address, int reg, TSerialResponse& response);
    void ReadS8(int address, int reg, TSerialResponse& response);
    void ReadF32(int address, int reg, TSerialResponse& response);
    // Function 16, one register; no reply awaited; then a 10 ms pause.
    void WriteU16(int address, int reg, TSerialResponse& response, uint16_t value);
    // Function 16, two registers holding the IEEE single; no reply awaited.
    void WriteF32(int address, int reg, TSerialResponse& response, float value);

private:
    void Read(TGscValue kind, int address, int reg, TSerialResponse& response);
};

// FL node reading: flow and setpoint (100 ms time-outs, 50 ms between the reads). Valid
// when neither read reported a status.
struct TGscReading {
    bool Valid = false;
    double Flow = 0;
    double Setpoint = 0;
    QByteArray Status;
};
TGscReading ReadGscFlow(const QString& port, int address);
// Flow action: the setpoint as F32 to register 6. True when the write went out.
bool WriteGscSetpoint(const QString& port, int address, double value,
                      QByteArray* status = nullptr);

// The mass-flow tool's "Read values".
struct TGscToolValues {
    bool Ok = false;
    QString Message; // "Unable to communicate, device possibly busy" on failure
    int64_t SerialNumber = 0;
    QString GasName, Unit;
    double Range = 0, Totaliser = 0, Flow = 0, Setpoint = 0;
    int ActiveGas = 0;
    QList<QPair<int, QString>> Gases; // gas table index and name, indices 2 .. 11
};
TGscToolValues ReadGscTool(const QString& port, int address);
// The mass-flow tool's "Write value": setpoint, then the gas index to 0x5FFF and 0x4139.
// Returns the messages to show (empty when all went out).
QStringList WriteGscTool(const QString& port, int address, double setpoint, int gasIndex);

// The alarm read: "No errors found", or the bit mask, one line per set bit and
// "Restart device to clear errors". A failed read gives the failure text.
QStringList ReadGscAlarms(const QString& port, int address, bool* ok = nullptr);
// The lines for an alarm mask as the tool shows them.
QStringList GscAlarmLines(int mask);
// The text of one alarm bit (empty for bits 6, 8 and 9).
QString GscAlarmText(int bit);

// Validation: the serial-number register read (10 ms / 50 ms) and a 20 ms pause.
bool ValidateGsc(const QString& port, int address, QByteArray* status = nullptr);
