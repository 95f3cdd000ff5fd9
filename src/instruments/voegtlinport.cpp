#include "tavlo/voegtlinport.h"

#include "tavlo/modbus.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <thread>

namespace {
void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int RegisterCount(TGscValue kind) {
    switch (kind) {
    case TGscValue::U16: return 1;
    case TGscValue::U32: return 2;
    case TGscValue::S8: return 4;
    case TGscValue::F32: return 2;
    }
    return 1;
}

bool KeptCharacter(uint8_t c) {
    return c == ' ' || c == '/' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') ||
           (c >= 'a' && c <= 'z');
}

void SetUp(TVoegtlinPort& gsc, const QString& port, quint32 loopMs, quint32 readoutMs) {
    gsc.SetPort(port);
    gsc.SetWindowsReadLoopTimeoutMS(loopMs);
    gsc.SetReadoutTimeoutMS(readoutMs);
}
} // namespace

int GscReplyLength(TGscValue kind) { return 5 + 2 * RegisterCount(kind); }

void DecodeGscReply(TGscValue kind, uint8_t address, TSerialResponse& response) {
    if (kind == TGscValue::F32)
        response.AsFloat = std::numeric_limits<float>::quiet_NaN();
    const int length = static_cast<int>(std::min<qsizetype>(response.Response.size(), 256));
    if (length == 0) {
        response.Status = ModbusStatus::NoResult;
        return;
    }
    if (length != GscReplyLength(kind)) {
        response.Status = ModbusStatus::WrongAmount;
        return;
    }
    const uint8_t* bytes = response.rArray.data();
    response.AsHex = Modbus::HexText(bytes, length).toLatin1();
    response.AsInt = Modbus::IntText(bytes, length).toLatin1();
    const QByteArray check = Modbus::CheckReply(bytes, length, address, 0x03);
    if (!check.isEmpty()) {
        response.Status = check;
        return;
    }
    const uint8_t* data = bytes + 3;
    switch (kind) {
    case TGscValue::U16:
        response.AsInteger = Modbus::Word(data);
        response.AsFloat = static_cast<float>(response.AsInteger);
        break;
    case TGscValue::U32: {
        const uint32_t value = static_cast<uint32_t>(Modbus::Word(data)) << 16 | Modbus::Word(data + 2);
        response.AsInteger = static_cast<int32_t>(value);
        response.AsFloat = static_cast<float>(value);
        break;
    }
    case TGscValue::S8:
        response.AsString.clear();
        for (int i = 0; i < 8; ++i)
            if (KeptCharacter(data[i]))
                response.AsString.append(static_cast<char>(data[i]));
        break;
    case TGscValue::F32:
        response.AsFloat = Modbus::Float(data);
        break;
    }
    response.Status.clear();
}

TVoegtlinPort::TVoegtlinPort(QObject* owner) : TSerialPort(owner) {}

void TVoegtlinPort::Read(TGscValue kind, int address, int reg, TSerialResponse& response) {
    response.Status = ModbusStatus::UnknownCondition;
    if (kind == TGscValue::F32)
        response.AsFloat = std::numeric_limits<float>::quiet_NaN();
    const QByteArray frame =
        Modbus::ReadRegistersFrame(static_cast<uint8_t>(address), static_cast<uint16_t>(reg),
                                   static_cast<uint16_t>(RegisterCount(kind)));
    SendData(reinterpret_cast<const uint8_t*>(frame.constData()), static_cast<int>(frame.size()),
             response, true);
    // A port that cannot be used keeps its own text; a silent line has no result to read.
    if (!response.Status.isEmpty() && response.Status != SerialStatus::Timeout) {
        if (kind == TGscValue::F32)
            response.AsFloat = std::numeric_limits<float>::quiet_NaN();
        FLastStatus = response.Status;
        return;
    }
    Modbus::DropStalePrefix(response, static_cast<uint8_t>(address), 0x03);
    DecodeGscReply(kind, static_cast<uint8_t>(address), response);
    FLastStatus = response.Status;
}

void TVoegtlinPort::ReadU16(int address, int reg, TSerialResponse& response) {
    Read(TGscValue::U16, address, reg, response);
}
void TVoegtlinPort::ReadU32(int address, int reg, TSerialResponse& response) {
    Read(TGscValue::U32, address, reg, response);
}
void TVoegtlinPort::ReadS8(int address, int reg, TSerialResponse& response) {
    Read(TGscValue::S8, address, reg, response);
}
void TVoegtlinPort::ReadF32(int address, int reg, TSerialResponse& response) {
    Read(TGscValue::F32, address, reg, response);
}

void TVoegtlinPort::WriteU16(int address, int reg, TSerialResponse& response, uint16_t value) {
    QByteArray data;
    data.append(static_cast<char>(value >> 8));
    data.append(static_cast<char>(value & 0xFF));
    const QByteArray frame = Modbus::WriteRegistersFrame(static_cast<uint8_t>(address),
                                                         static_cast<uint16_t>(reg), data);
    SendData(reinterpret_cast<const uint8_t*>(frame.constData()), static_cast<int>(frame.size()),
             response, false);
    Pause(10);
}

void TVoegtlinPort::WriteF32(int address, int reg, TSerialResponse& response, float value) {
    const QByteArray frame = Modbus::WriteRegistersFrame(
        static_cast<uint8_t>(address), static_cast<uint16_t>(reg), Modbus::FloatBytes(value));
    SendData(reinterpret_cast<const uint8_t*>(frame.constData()), static_cast<int>(frame.size()),
             response, false);
}

// ---- transactions ----

TGscReading ReadGscFlow(const QString& port, int address) {
    TVoegtlinPort gsc;
    SetUp(gsc, port, 100, 100);
    TSerialResponse flow, setpoint;
    gsc.ReadF32(address, GscRegister::MeasuredFlow, flow);
    Pause(50);
    gsc.ReadF32(address, GscRegister::Setpoint, setpoint);
    TGscReading reading;
    reading.Status = !flow.Status.isEmpty() ? flow.Status : setpoint.Status;
    reading.Valid = reading.Status.isEmpty();
    reading.Flow = flow.AsFloat;
    reading.Setpoint = setpoint.AsFloat;
    return reading;
}

bool WriteGscSetpoint(const QString& port, int address, double value, QByteArray* status) {
    TVoegtlinPort gsc;
    SetUp(gsc, port, 100, 100);
    TSerialResponse response;
    gsc.WriteF32(address, GscRegister::Setpoint, response, static_cast<float>(value));
    if (status)
        *status = response.Status;
    return response.Status.isEmpty();
}

TGscToolValues ReadGscTool(const QString& port, int address) {
    TVoegtlinPort gsc;
    SetUp(gsc, port, 10, 50);
    TGscToolValues values;
    bool failed = false;
    auto read = [&](void (TVoegtlinPort::*op)(int, int, TSerialResponse&), int reg) {
        TSerialResponse response;
        (gsc.*op)(address, reg, response);
        failed = failed || !response.Status.isEmpty();
        Pause(20);
        return response;
    };
    values.SerialNumber =
        static_cast<uint32_t>(read(&TVoegtlinPort::ReadU32, GscRegister::SerialNumber).AsInteger);
    values.GasName = QString::fromLatin1(read(&TVoegtlinPort::ReadS8, GscRegister::GasName).AsString);
    values.Unit = QString::fromLatin1(read(&TVoegtlinPort::ReadS8, GscRegister::Unit).AsString);
    values.Range = read(&TVoegtlinPort::ReadF32, GscRegister::Range).AsFloat;
    values.Totaliser = read(&TVoegtlinPort::ReadF32, GscRegister::Totaliser).AsFloat;
    values.Flow = read(&TVoegtlinPort::ReadF32, GscRegister::MeasuredFlow).AsFloat;
    values.Setpoint = read(&TVoegtlinPort::ReadF32, GscRegister::Setpoint).AsFloat;
    const TSerialResponse active = read(&TVoegtlinPort::ReadU16, GscRegister::GasTableIndex);
    values.ActiveGas = active.AsInteger;
    // Without the active index the table is not walked: it could not be put back.
    if (active.Status.isEmpty()) {
        for (int index = 2; index <= 11; ++index) {
            TSerialResponse w;
            gsc.WriteU16(address, GscRegister::GasTableIndex, w, static_cast<uint16_t>(index));
            Pause(20);
            TSerialResponse name;
            gsc.ReadS8(address, GscRegister::GasName, name);
            Pause(20);
            const QString text = QString::fromLatin1(name.AsString).trimmed();
            if (name.Status.isEmpty() && !text.isEmpty())
                values.Gases.append({index, text});
        }
        TSerialResponse w1, w2;
        gsc.WriteU16(address, GscRegister::GasTableIndex, w1, static_cast<uint16_t>(values.ActiveGas));
        gsc.WriteU16(address, GscRegister::ActiveGas, w2, static_cast<uint16_t>(values.ActiveGas));
        failed = failed || !w1.Status.isEmpty() || !w2.Status.isEmpty();
    }
    values.Ok = !failed;
    if (failed)
        values.Message = QStringLiteral("Unable to communicate, device possibly busy");
    return values;
}

QStringList WriteGscTool(const QString& port, int address, double setpoint, int gasIndex) {
    TVoegtlinPort gsc;
    SetUp(gsc, port, 10, 50);
    QStringList messages;
    TSerialResponse sp;
    gsc.WriteF32(address, GscRegister::Setpoint, sp, static_cast<float>(setpoint));
    if (!sp.Status.isEmpty())
        messages.append(QStringLiteral(
            "Sending new flow value failed, plese retry. If MFM then no problem, it has not "
            "setpoint to set"));
    Pause(20);
    TSerialResponse g1, g2;
    gsc.WriteU16(address, GscRegister::GasTableIndex, g1, static_cast<uint16_t>(gasIndex));
    Pause(20);
    gsc.WriteU16(address, GscRegister::ActiveGas, g2, static_cast<uint16_t>(gasIndex));
    Pause(20);
    if (!g1.Status.isEmpty() || !g2.Status.isEmpty())
        messages.append(
            QStringLiteral("Changing gas calibration failed, please reset in Red-Y software."));
    return messages;
}

QString GscAlarmText(int bit) {
    switch (bit) {
    case 0:
        return QStringLiteral(
            "0) Power-up alarm. If the instrument is switched off with activated Power-up alarm "
            "and switched on again, then the active setpoint will be the readjusted power-up "
            "setpoint. (see parameter power-up alarm setpoint). This status will only be checked "
            "at power-up.");
    case 1:
        return QStringLiteral(
            "1) Alarm analog setpoint. Raised if the analog setpoint is outside the valid range "
            "(21.6mA, 10.8V). This alarm is only active if the instrument is a flow controller.");
    case 2:
        return QStringLiteral(
            "2) Zero point or leakage alarm. Raised If at a valve control signal of 0% (Valve "
            "electrically closed) a flow is meas- ured. Possible causes are: An incompletely "
            "closed valve, internal leakage or a zero drift. This alarm is only active if the "
            "instrument is a flow controller.");
    case 3:
        return QStringLiteral(
            "3) No gas / jammed valve alarm. Raised if at a valve control signal of 100% (valve "
            "electrically fully open) no gas flow is measured. This alarm is only active if the "
            "instrument is a flow controller.");
    case 4:
        return QStringLiteral(
            "4) No reaction. Raised if the valve control signal is raised or lowered and no "
            "variation of the gas flow is measured. Possible causes are: Jammed valve, changed "
            "pressure conditions or valve too  small (after a change of gas). This alarm is only "
            "active if the in strument is a flow controller.");
    case 5:
        return QStringLiteral(
            "5) Sensor communication error. Raised if a communication problem occurs between the "
            "sensor and the electronic module. In this case the measurements are probably wrong.");
    case 7:
        return QStringLiteral(
            "7) EEPROM access check. Raised if access errors to the EEPROM are detected. In this "
            "case the correct function of the instrument is no longer guaranteed.");
    case 10:
        return QStringLiteral("10) Current input overload. Raised if current at analog input "
                              "exceeds 25mA.");
    case 11:
        return QStringLiteral("11) The sensor serial number does not match the loaded gas data. "
                              "The valve is closed, the actual value is set to 0.");
    case 6:
    case 8:
    case 9:
        return {};
    default:
        return QString::number(bit) + QStringLiteral(") Unknown alarm bit.");
    }
}

QStringList GscAlarmLines(int mask) {
    if (mask <= 0)
        return {QStringLiteral("No errors found")};
    QStringList lines{QStringLiteral("Error bitmask: ") + QString::number(mask), QString()};
    for (int bit = 0; bit < 16; ++bit)
        if (mask & (1 << bit))
            lines.append(GscAlarmText(bit));
    lines.append(QString());
    lines.append(QStringLiteral("Restart device to clear errors"));
    return lines;
}

QStringList ReadGscAlarms(const QString& port, int address, bool* ok) {
    TVoegtlinPort gsc;
    SetUp(gsc, port, 10, 50);
    TSerialResponse response;
    gsc.ReadU16(address, GscRegister::Alarms, response);
    if (ok)
        *ok = response.Status.isEmpty();
    if (!response.Status.isEmpty())
        return {QStringLiteral("Unable to communicate, device possibly busy"),
                QString::fromLatin1(response.Status)};
    return GscAlarmLines(response.AsInteger);
}

bool ValidateGsc(const QString& port, int address, QByteArray* status) {
    TVoegtlinPort gsc;
    SetUp(gsc, port, 10, 50);
    TSerialResponse response;
    gsc.ReadU32(address, GscRegister::SerialNumber, response);
    Pause(20);
    if (status)
        *status = response.Status;
    return response.Status.isEmpty();
}
