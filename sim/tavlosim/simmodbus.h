#pragma once

#include "tavlosim/simlab.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <random>

// Modbus RTU on a simulated line: a bus device that frames requests, checks their CRC and
// hands them to the slave at their address, and slaves for Eurotherm controllers, Vögtlin
// mass-flow controllers and the "Wachendorf" display.

// The bitwise Modbus CRC (reflected 0xA001, initial 0xFFFF).
uint16_t SimModbusCrc(const QByteArray& bytes);
QByteArray SimWithCrc(const QByteArray& body);

// Misbehaviour of one slave, applied to its replies.
struct TSimModbusFaults {
    bool NoAnswer = false;   // the slave stays silent
    bool BadCrc = false;     // the reply's CRC is wrong
    int CutBytes = 0;        // this many bytes are dropped from the end of the reply
    bool Garbage = false;    // the reply is replaced by random bytes of the same length
    int SlowMs = 0;          // the reply leaves this much later
    int ReplaceWord = -1;    // >= 0: every data word of a read reply reads this value
};

class TSimModbusSlave {
public:
    virtual ~TSimModbusSlave() = default;
    virtual QString Describe() const = 0;
    // A request PDU (function and data) addressed to the slave; returns the reply PDU, or
    // nothing for no reply (a broadcast is never answered).
    virtual std::optional<QByteArray> Handle(uint8_t function, const QByteArray& data) = 0;
    // Advances the slave's physics to the given time.
    virtual void Advance(double /*nowMs*/) {}

    TSimModbusFaults Faults;
    int Requests = 0; // requests handled
};

// Exception reply PDU.
QByteArray SimModbusException(uint8_t function, uint8_t code);

// Slaves whose registers are 16-bit words read with function 3 and written with 6 and 16;
// loop-back diagnostics (function 8, sub-function 0) echo the request.
class TSimRegisterSlave : public TSimModbusSlave {
public:
    std::optional<QByteArray> Handle(uint8_t function, const QByteArray& data) override;

protected:
    // The word of a register, nothing when the register does not exist.
    virtual std::optional<uint16_t> ReadRegister(uint16_t reg) = 0;
    // Stores a word; false (illegal address) when the register cannot be written.
    virtual bool WriteRegister(uint16_t reg, uint16_t value) = 0;
    // Multi-register writes go register by register unless a slave takes them whole.
    virtual bool WriteRegisters(uint16_t reg, const std::vector<uint16_t>& values);
};

// A Eurotherm controller with its furnace: the working setpoint ramps to the target setpoint
// at the ramp rate (per minute, hour or second as the ramp unit of parameter 531 says; 0:
// at once) and the temperature follows the working setpoint with a first-order lag and
// noise. Integer parameters 1, 2, 3, 5, 6, 8, 9, 35, 111, 122, 320, 531; the IEEE region
// 0x8000 + 2n holds parameter n as a float. The target setpoint is clamped to the setpoint
// high limit, as the controller does. Other parameters below DenseRegisters read 0 and
// cannot be written; parameters above do not exist.
class TSimEurotherm : public TSimRegisterSlave {
public:
    static constexpr uint16_t DenseRegisters = 1024;
    // Identifier words of parameter 122.
    static constexpr uint16_t Id3208 = 0xE280;
    static constexpr uint16_t Id2204 = 0x2240;
    static constexpr uint16_t Id2416 = 0x2460;
    static constexpr uint16_t IdNotPid = 0x2241;
    static constexpr uint16_t IdUnknown = 0x9A51;

    explicit TSimEurotherm(uint16_t identifier = Id3208, double temperature = 25);
    QString Describe() const override;
    void Advance(double nowMs) override;

    uint16_t Identifier;
    double Temperature;         // process value, degrees
    double WorkingSetpoint;     // degrees
    int TargetSetpoint;         // register 2
    int RampRate = 0;           // register 35, degrees per ramp unit
    int RampUnit = 0;           // register 531: 0 minutes, 1 hours, 2 seconds
    int SetpointHighLimit = 1200;
    int TimerType = 0;          // register 320
    int ProportionalBand = 20, IntegralTime = 240, DerivativeTime = 40;
    double OutputPower = 0;     // percent
    double LagSeconds = 30;     // time constant of the furnace
    double NoiseDegrees = 0.05; // standard deviation of the reading

protected:
    std::optional<uint16_t> ReadRegister(uint16_t reg) override;
    bool WriteRegister(uint16_t reg, uint16_t value) override;
    std::optional<QByteArray> ReadFloatRegion(uint16_t reg, uint16_t count);
    std::optional<QByteArray> Handle(uint8_t function, const QByteArray& data) override;

private:
    std::optional<double> Parameter(int n);
    double FLastMs = -1;
    std::mt19937 FRandom{2024};
};

// A Vögtlin GSC mass-flow controller: flow follows the setpoint with a short lag, the
// totaliser integrates it (flow per minute), gas table with names, unit, alarm bits.
class TSimVoegtlin : public TSimRegisterSlave {
public:
    TSimVoegtlin();
    QString Describe() const override;
    void Advance(double nowMs) override;

    float Flow = 0, Setpoint = 0, Range = 5, Totaliser = 0;
    uint32_t SerialNumber = 123456789;
    uint16_t AlarmBits = 0;
    uint16_t ActiveGas = 2;       // register 0x4139
    uint16_t GasTableIndex = 2;   // register 0x5FFF
    QByteArray Unit = "ln/min";   // padded with zero bytes to 8
    std::map<int, QByteArray> GasNames; // table index -> name (8 bytes, zero-padded)
    double LagSeconds = 0.3;
    float NoiseFraction = 0.001f; // of the range

protected:
    std::optional<uint16_t> ReadRegister(uint16_t reg) override;
    bool WriteRegister(uint16_t reg, uint16_t value) override;
    bool WriteRegisters(uint16_t reg, const std::vector<uint16_t>& values) override;

private:
    std::optional<uint16_t> FloatWord(float value, bool high) const;
    double FLastMs = -1;
    std::mt19937 FRandom{77};
};

// The "Wachendorf" display: register 1 answers 8218.
class TSimWachendorf : public TSimRegisterSlave {
public:
    static constexpr uint16_t Answer = 8218;
    QString Describe() const override { return QStringLiteral("Wachendorf display"); }

protected:
    std::optional<uint16_t> ReadRegister(uint16_t reg) override;
    bool WriteRegister(uint16_t, uint16_t) override { return false; }
};

// A Modbus RTU line with slaves at addresses 1 .. 247 (and 254 for the display). Frames are
// told apart by their function's length; a request with a bad CRC is ignored, as a slave
// does, and so is anything left over after a pause on the line.
class TSimModbusBus : public TSimDevice {
public:
    QString Describe() const override;
    QStringList Details() const override;
    void Receive(TSimLine& line, const QByteArray& bytes) override;
    void Tick(TSimLine& line) override;
    int LatencyMs() const override { return 3; }

    void Plug(int address, std::shared_ptr<TSimModbusSlave> slave);
    std::shared_ptr<TSimModbusSlave> Slave(int address) const;

    QList<QByteArray> Frames; // every well-formed request seen
    int BadFrames = 0;        // requests dropped for their CRC

private:
    void Dispatch(TSimLine& line, const QByteArray& frame);
    std::map<int, std::shared_ptr<TSimModbusSlave>> FSlaves;
    QByteArray FInput;
    double FLastInputMs = 0;
};
