#include "tavlosim/simmodbus.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {
uint16_t Be16(const QByteArray& data, qsizetype at) {
    return static_cast<uint16_t>(static_cast<uint8_t>(data[at]) << 8 | static_cast<uint8_t>(data[at + 1]));
}

void Put16(QByteArray& out, uint16_t value) {
    out.append(static_cast<char>(value >> 8));
    out.append(static_cast<char>(value & 0xFF));
}

uint32_t FloatBits(float value) { return std::bit_cast<uint32_t>(value); }

// The length of a request frame whose first bytes are given; 0 when it cannot be told yet,
// -1 for a function whose length is unknown.
int RequestLength(const QByteArray& input) {
    if (input.size() < 2)
        return 0;
    switch (static_cast<uint8_t>(input[1])) {
    case 0x03:
    case 0x06:
    case 0x08:
        return 8;
    case 0x10:
        return input.size() < 7 ? 0 : 9 + static_cast<uint8_t>(input[6]);
    default:
        return -1;
    }
}

constexpr double GapMs = 15; // silence after which a partial frame is dropped
} // namespace

uint16_t SimModbusCrc(const QByteArray& bytes) {
    uint16_t crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? static_cast<uint16_t>((crc >> 1) ^ 0xA001) : static_cast<uint16_t>(crc >> 1);
    }
    return crc;
}

QByteArray SimWithCrc(const QByteArray& body) {
    const uint16_t crc = SimModbusCrc(body);
    QByteArray frame = body;
    frame.append(static_cast<char>(crc & 0xFF));
    frame.append(static_cast<char>(crc >> 8));
    return frame;
}

QByteArray SimModbusException(uint8_t function, uint8_t code) {
    QByteArray pdu;
    pdu.append(static_cast<char>(function | 0x80));
    pdu.append(static_cast<char>(code));
    return pdu;
}

// ---- TSimRegisterSlave ----

bool TSimRegisterSlave::WriteRegisters(uint16_t reg, const std::vector<uint16_t>& values) {
    for (size_t i = 0; i < values.size(); ++i)
        if (!WriteRegister(static_cast<uint16_t>(reg + i), values[i]))
            return false;
    return true;
}

std::optional<QByteArray> TSimRegisterSlave::Handle(uint8_t function, const QByteArray& data) {
    QByteArray pdu;
    pdu.append(static_cast<char>(function));
    switch (function) {
    case 0x08:
        if (data.size() != 4 || Be16(data, 0) != 0)
            return SimModbusException(function, 1);
        return pdu + data;
    case 0x03: {
        if (data.size() != 4)
            return SimModbusException(function, 3);
        const uint16_t reg = Be16(data, 0), count = Be16(data, 2);
        if (count < 1 || count > 125)
            return SimModbusException(function, 3);
        QByteArray words;
        for (uint16_t i = 0; i < count; ++i) {
            const std::optional<uint16_t> w = ReadRegister(static_cast<uint16_t>(reg + i));
            if (!w)
                return SimModbusException(function, 2);
            Put16(words, Faults.ReplaceWord >= 0 ? static_cast<uint16_t>(Faults.ReplaceWord) : *w);
        }
        pdu.append(static_cast<char>(words.size()));
        return pdu + words;
    }
    case 0x06:
        if (data.size() != 4)
            return SimModbusException(function, 3);
        if (!WriteRegister(Be16(data, 0), Be16(data, 2)))
            return SimModbusException(function, 2);
        return pdu + data;
    case 0x10: {
        if (data.size() < 5)
            return SimModbusException(function, 3);
        const uint16_t reg = Be16(data, 0), count = Be16(data, 2);
        const int bytes = static_cast<uint8_t>(data[4]);
        if (count < 1 || bytes != 2 * count || data.size() != 5 + bytes)
            return SimModbusException(function, 3);
        std::vector<uint16_t> values;
        for (int i = 0; i < count; ++i)
            values.push_back(Be16(data, 5 + 2 * i));
        if (!WriteRegisters(reg, values))
            return SimModbusException(function, 2);
        return pdu + data.left(4);
    }
    default:
        return SimModbusException(function, 1);
    }
}

// ---- TSimEurotherm ----

TSimEurotherm::TSimEurotherm(uint16_t identifier, double temperature)
    : Identifier(identifier), Temperature(temperature), WorkingSetpoint(temperature),
      TargetSetpoint(static_cast<int>(std::lround(temperature))) {}

QString TSimEurotherm::Describe() const {
    return QStringLiteral("Eurotherm (identifier %1), %2 degrees, setpoint %3, ramp %4")
        .arg(Identifier, 4, 16, QLatin1Char('0'))
        .arg(Temperature, 0, 'f', 1)
        .arg(TargetSetpoint)
        .arg(RampRate);
}

void TSimEurotherm::Advance(double nowMs) {
    if (FLastMs < 0) {
        FLastMs = nowMs;
        return;
    }
    const double dt = (nowMs - FLastMs) / 1000.0;
    FLastMs = nowMs;
    if (dt <= 0)
        return;
    const double target = TargetSetpoint;
    if (RampRate <= 0) {
        WorkingSetpoint = target;
    } else {
        const double perSecond = RampUnit == 1 ? RampRate / 3600.0
                                 : RampUnit == 2 ? RampRate
                                                 : RampRate / 60.0;
        const double step = perSecond * dt;
        if (std::fabs(target - WorkingSetpoint) <= step)
            WorkingSetpoint = target;
        else
            WorkingSetpoint += target > WorkingSetpoint ? step : -step;
    }
    const double lag = std::max(LagSeconds, 1e-3);
    Temperature += (WorkingSetpoint - Temperature) * (1 - std::exp(-dt / lag));
    const double band = std::max(ProportionalBand, 1);
    OutputPower = std::clamp(30 + 100 * (WorkingSetpoint - Temperature) / band, 0.0, 100.0);
}

std::optional<double> TSimEurotherm::Parameter(int n) {
    std::normal_distribution<double> noise(0, NoiseDegrees > 0 ? NoiseDegrees : 1e-12);
    switch (n) {
    case 1: return Temperature + (NoiseDegrees > 0 ? noise(FRandom) : 0);
    case 2: return TargetSetpoint;
    case 3: return OutputPower;
    case 5: return WorkingSetpoint;
    case 6: return ProportionalBand;
    case 8: return IntegralTime;
    case 9: return DerivativeTime;
    case 35: return RampRate;
    case 111: return SetpointHighLimit;
    case 122: return Identifier;
    case 320: return TimerType;
    case 531: return RampUnit;
    default: return std::nullopt;
    }
}

std::optional<uint16_t> TSimEurotherm::ReadRegister(uint16_t reg) {
    const std::optional<double> value = Parameter(reg);
    if (!value)
        return reg < DenseRegisters ? std::optional<uint16_t>(0) : std::nullopt;
    return static_cast<uint16_t>(static_cast<int16_t>(std::lround(*value)));
}

bool TSimEurotherm::WriteRegister(uint16_t reg, uint16_t value) {
    const int v = static_cast<int16_t>(value);
    switch (reg) {
    case 2: TargetSetpoint = std::min(v, SetpointHighLimit); return true;
    case 6: ProportionalBand = v; return true;
    case 8: IntegralTime = v; return true;
    case 9: DerivativeTime = v; return true;
    case 35: RampRate = std::max(v, 0); return true;
    case 111: SetpointHighLimit = v; TargetSetpoint = std::min(TargetSetpoint, v); return true;
    case 320: TimerType = v; return true;
    case 531: RampUnit = v; return true;
    default: return false;
    }
}

std::optional<QByteArray> TSimEurotherm::ReadFloatRegion(uint16_t reg, uint16_t count) {
    QByteArray words;
    for (int r = reg; r < reg + count; r += 2) {
        if ((r - 0x8000) % 2 != 0 || reg + count - r < 2 || r > 0xFFFE)
            return std::nullopt;
        const std::optional<double> value = Parameter((r - 0x8000) / 2);
        if (!value)
            return std::nullopt;
        const uint32_t bits = FloatBits(static_cast<float>(*value));
        if (Faults.ReplaceWord >= 0) {
            Put16(words, static_cast<uint16_t>(Faults.ReplaceWord));
            Put16(words, static_cast<uint16_t>(Faults.ReplaceWord));
        } else {
            Put16(words, static_cast<uint16_t>(bits >> 16));
            Put16(words, static_cast<uint16_t>(bits & 0xFFFF));
        }
    }
    return words;
}

std::optional<QByteArray> TSimEurotherm::Handle(uint8_t function, const QByteArray& data) {
    if (function == 0x03 && data.size() == 4 && Be16(data, 0) >= 0x8000) {
        const uint16_t count = Be16(data, 2);
        const std::optional<QByteArray> words =
            count >= 2 && count <= 124 ? ReadFloatRegion(Be16(data, 0), count) : std::nullopt;
        if (!words)
            return SimModbusException(function, 2);
        QByteArray pdu;
        pdu.append(static_cast<char>(function));
        pdu.append(static_cast<char>(words->size()));
        return pdu + *words;
    }
    return TSimRegisterSlave::Handle(function, data);
}

// ---- TSimVoegtlin ----

TSimVoegtlin::TSimVoegtlin() {
    auto name = [](const char* text) {
        QByteArray n(text);
        while (n.size() < 8)
            n.append('\0');
        return n;
    };
    GasNames = {{2, name("N2")}, {3, name("O2")}, {4, name("Ar")}, {5, name("CO2")},
                {6, name("H2 5%/Ar")}, {9, name("Air")}};
}

QString TSimVoegtlin::Describe() const {
    return QStringLiteral("Voegtlin GSC serial %1, flow %2 of %3 %4, setpoint %5")
        .arg(SerialNumber)
        .arg(static_cast<double>(Flow), 0, 'f', 3)
        .arg(static_cast<double>(Range))
        .arg(QString::fromLatin1(Unit))
        .arg(static_cast<double>(Setpoint));
}

void TSimVoegtlin::Advance(double nowMs) {
    if (FLastMs < 0) {
        FLastMs = nowMs;
        return;
    }
    const double dt = (nowMs - FLastMs) / 1000.0;
    FLastMs = nowMs;
    if (dt <= 0)
        return;
    const double lag = std::max(LagSeconds, 1e-3);
    const double target = std::clamp(static_cast<double>(Setpoint), 0.0, static_cast<double>(Range));
    double flow = Flow + (target - Flow) * (1 - std::exp(-dt / lag));
    if (NoiseFraction > 0) {
        std::normal_distribution<double> noise(0, NoiseFraction * Range * 0.1);
        flow += noise(FRandom);
    }
    Flow = static_cast<float>(std::clamp(flow, 0.0, static_cast<double>(Range)));
    Totaliser += static_cast<float>(Flow * dt / 60.0);
}

std::optional<uint16_t> TSimVoegtlin::FloatWord(float value, bool high) const {
    const uint32_t bits = FloatBits(value);
    return static_cast<uint16_t>(high ? bits >> 16 : bits & 0xFFFF);
}

std::optional<uint16_t> TSimVoegtlin::ReadRegister(uint16_t reg) {
    auto text = [](const QByteArray& s, int word) -> uint16_t {
        QByteArray padded = s.left(8);
        while (padded.size() < 8)
            padded.append('\0');
        return Be16(padded, 2 * word);
    };
    switch (reg) {
    case 0: case 1: return FloatWord(Flow, reg == 0);
    case 4: case 5: return FloatWord(Totaliser, reg == 4);
    case 6: case 7: return FloatWord(Setpoint, reg == 6);
    case 13: return AlarmBits;
    case 30: return static_cast<uint16_t>(SerialNumber >> 16);
    case 31: return static_cast<uint16_t>(SerialNumber & 0xFFFF);
    case 0x4139: return ActiveGas;
    case 0x5FFF: return GasTableIndex;
    case 0x6020: case 0x6021: return FloatWord(Range, reg == 0x6020);
    default: break;
    }
    if (reg >= 0x6042 && reg < 0x6046) {
        const auto it = GasNames.find(GasTableIndex);
        return text(it == GasNames.end() ? QByteArray() : it->second, reg - 0x6042);
    }
    if (reg >= 0x6046 && reg < 0x604A)
        return text(Unit, reg - 0x6046);
    return std::nullopt;
}

bool TSimVoegtlin::WriteRegister(uint16_t reg, uint16_t value) {
    switch (reg) {
    case 0x4139: ActiveGas = value; return true;
    case 0x5FFF: GasTableIndex = value; return true;
    case 13: AlarmBits = 0; return true;
    default: return false;
    }
}

bool TSimVoegtlin::WriteRegisters(uint16_t reg, const std::vector<uint16_t>& values) {
    if (reg == 6 && values.size() == 2) {
        const float v = std::bit_cast<float>(static_cast<uint32_t>(values[0]) << 16 | values[1]);
        if (!std::isfinite(v))
            return false;
        Setpoint = v;
        return true;
    }
    return TSimRegisterSlave::WriteRegisters(reg, values);
}

// ---- TSimWachendorf ----

std::optional<uint16_t> TSimWachendorf::ReadRegister(uint16_t reg) {
    if (reg == 1)
        return Answer;
    return std::nullopt;
}

// ---- TSimModbusBus ----

QString TSimModbusBus::Describe() const {
    return QStringLiteral("Modbus RTU line with %1 slave(s)").arg(FSlaves.size());
}

QStringList TSimModbusBus::Details() const {
    QStringList lines;
    for (const auto& [address, slave] : FSlaves)
        lines.append(QStringLiteral("address %1: ").arg(address) + slave->Describe());
    return lines;
}

void TSimModbusBus::Plug(int address, std::shared_ptr<TSimModbusSlave> slave) {
    FSlaves[address] = std::move(slave);
}

std::shared_ptr<TSimModbusSlave> TSimModbusBus::Slave(int address) const {
    const auto it = FSlaves.find(address);
    return it == FSlaves.end() ? nullptr : it->second;
}

void TSimModbusBus::Receive(TSimLine& line, const QByteArray& bytes) {
    FInput += bytes;
    FLastInputMs = SimNowMs();
    for (;;) {
        const int length = RequestLength(FInput);
        if (length == 0 || length > FInput.size())
            return; // wait for more (or for the pause that drops it)
        if (length < 0) {
            // Unknown function: the whole burst is one frame.
            Dispatch(line, FInput);
            FInput.clear();
            return;
        }
        const QByteArray frame = FInput.left(length);
        FInput.remove(0, length);
        Dispatch(line, frame);
    }
}

void TSimModbusBus::Tick(TSimLine&) {
    const double now = SimNowMs();
    if (!FInput.isEmpty() && now - FLastInputMs > GapMs)
        FInput.clear();
    for (auto& [address, slave] : FSlaves)
        slave->Advance(now);
}

void TSimModbusBus::Dispatch(TSimLine& line, const QByteArray& frame) {
    if (frame.size() < 4 || SimModbusCrc(frame.left(frame.size() - 2)) !=
                                static_cast<uint16_t>(static_cast<uint8_t>(frame[frame.size() - 2]) |
                                                      static_cast<uint8_t>(frame[frame.size() - 1]) << 8)) {
        ++BadFrames;
        return;
    }
    Frames.append(frame);
    const int address = static_cast<uint8_t>(frame[0]);
    const uint8_t function = static_cast<uint8_t>(frame[1]);
    const QByteArray data = frame.mid(2, frame.size() - 4);
    const double now = SimNowMs();
    if (address == 0) {
        for (auto& [a, slave] : FSlaves) {
            slave->Advance(now);
            slave->Handle(function, data);
        }
        return;
    }
    const std::shared_ptr<TSimModbusSlave> slave = Slave(address);
    if (!slave)
        return;
    slave->Advance(now);
    ++slave->Requests;
    const std::optional<QByteArray> pdu = slave->Handle(function, data);
    if (!pdu || slave->Faults.NoAnswer)
        return;
    QByteArray reply = SimWithCrc(QByteArray(1, static_cast<char>(address)) + *pdu);
    if (slave->Faults.BadCrc)
        reply[reply.size() - 1] = static_cast<char>(reply[reply.size() - 1] ^ 0x5A);
    if (slave->Faults.Garbage) {
        std::uniform_int_distribution<int> pick(0, 255);
        for (qsizetype i = 0; i < reply.size(); ++i)
            reply[i] = static_cast<char>(pick(Random));
    }
    if (slave->Faults.CutBytes > 0)
        reply.chop(std::min<qsizetype>(slave->Faults.CutBytes, reply.size() - 1));
    line.Reply(reply, slave->Faults.SlowMs);
}
