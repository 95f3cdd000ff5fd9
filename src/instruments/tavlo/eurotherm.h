#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>

// Eurotherm controller parameters (16-bit words; the float form of parameter n is read at
// 0x8000 + 2n).
namespace EurothermParam {
constexpr int ProcessValue = 1;
constexpr int TargetSetpoint = 2;
constexpr int OutputPower = 3;
constexpr int WorkingSetpoint = 5;
constexpr int ProportionalBand = 6;
constexpr int IntegralTime = 8;
constexpr int DerivativeTime = 9;
constexpr int RampRate = 35;
constexpr int SetpointHighLimit = 111;
constexpr int Identifier = 122;
constexpr int TimerType = 320;
constexpr int RampUnit = 531;
} // namespace EurothermParam

// The ET node's reading: process value and output power as floats, working setpoint as a
// word. Valid when the process value was read and lies strictly between -4000 and 4000.
struct TEurothermReading {
    bool Valid = false;
    double ProcessValue = 0;
    double WorkingSetpoint = 0;
    double OutputPower = 0;
    QByteArray Status;          // of the process-value read
    QByteArray SetpointStatus;  // of the working-setpoint read
    QByteArray PowerStatus;     // of the output-power read
};
TEurothermReading ReadEurotherm(const QString& port, int address);

// Setpoint apply of furnace programs: writes target setpoint and ramp rate, reads both back
// (with the pauses the controller needs) and compares the first words with the values sent.
struct TSetpointApply {
    bool ReadBackOk = false;     // both read-backs answered
    int SetpointRead = 0;
    int RampRateRead = 0;
    bool Confirmed = false;      // read-backs answered and equal to the values sent
    QByteArray Status;           // first failure text, empty when none
};
TSetpointApply ApplyEurothermSetpoint(const QString& port, int address, int setpoint,
                                      int rampRate);

// Furnace tool.
struct TFurnaceValues {
    bool HasOperational = false; // registers 1, 2, 5 (5 words from 1)
    int Temperature = 0, TargetSetpoint = 0, CurrentSetpoint = 0;
    bool HasRampRate = false;
    int RampRate = 0;
    bool HasHighLimit = false;
    int SetpointHighLimit = 0;
    QByteArray Status; // first failure text
};
TFurnaceValues ReadFurnaceTool(const QString& port, int address);
// Target setpoint to 2, 500 ms pause, ramp rate to 35. True when both writes went out.
bool WriteFurnaceTool(const QString& port, int address, int setpoint, int rampRate);

struct TPidValues {
    bool HasP = false, HasI = false, HasD = false;
    int P = 0, I = 0, D = 0;
    QByteArray Status;
};
TPidValues ReadPidTool(const QString& port, int address);
// Registers 6, 8, 9 with 250 ms pauses between them.
bool WritePidTool(const QString& port, int address, int p, int i, int d);

// Configuration tool: both fields start at 128 and show the read values when the second
// read succeeds.
struct TFurnaceConfig {
    int TimerType = 128;
    int RampUnit = 128;
    QByteArray Status;
};
TFurnaceConfig ReadFurnaceConfig(const QString& port, int address);
bool WriteFurnaceConfig(const QString& port, int address, int timerType, int rampUnit);

// The model from the identifier word of parameter 122: "3208", "2204", "2416" ...,
// "Controller not configured as PID" or "Unknown model: " + four hexadecimal digits.
QString EurothermModelFromIdentifier(uint16_t identifier);
// Reads parameter 122 (1000 ms read time-out) and names the model; a failed read gives
// "Model query failed: " + status.
QString DetectEurothermModel(const QString& port, int address, QByteArray* status = nullptr);

// Loop-back test of validation and search (1000 ms read time-out).
bool TestEurotherm(const QString& port, int address);

// The "Wachendorf" display check: 19200 baud, parameter 1 of address 254 must read 8218.
struct TWachendorfCheck {
    bool Valid = false;
    int Word = 0;
    QByteArray Status;
};
TWachendorfCheck CheckWachendorf(const QString& port);
