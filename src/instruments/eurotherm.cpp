#include "tavlo/eurotherm.h"

#include "tavlo/modbus.h"

#include <chrono>
#include <thread>

namespace {
void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void KeepFirst(QByteArray& first, const QByteArray& status) {
    if (first.isEmpty() && !status.isEmpty())
        first = status;
}

void OpenOn(TModbusPort& port, const QString& name, quint32 readoutMs) {
    port.SetPort(name);
    port.SetReadoutTimeoutMS(readoutMs);
}

// Reads count words of a parameter; true (and the first word) on success.
bool ReadWord(TModbusPort& port, int address, int param, int count, int& value, QByteArray& status) {
    TSerialResponse response;
    port.QueryWords(address, param, response, count);
    if (!response.Status.isEmpty()) {
        KeepFirst(status, response.Status);
        return false;
    }
    value = response.ValueOfFirstWord;
    return true;
}
} // namespace

TEurothermReading ReadEurotherm(const QString& port, int address) {
    TModbusPort modbus;
    OpenOn(modbus, port, 500);
    TEurothermReading reading;
    TSerialResponse pv, wsp, op;
    modbus.QueryD(address, EurothermParam::ProcessValue, pv);
    modbus.QueryWords(address, EurothermParam::WorkingSetpoint, wsp, 1);
    modbus.QueryD(address, EurothermParam::OutputPower, op);
    reading.ProcessValue = pv.rDouble;
    reading.WorkingSetpoint = wsp.ValueOfFirstWord;
    reading.OutputPower = op.rDouble;
    reading.Status = pv.Status;
    reading.SetpointStatus = wsp.Status;
    reading.PowerStatus = op.Status;
    reading.Valid = pv.Status.isEmpty() && pv.rDouble > -4000 && pv.rDouble < 4000;
    return reading;
}

TSetpointApply ApplyEurothermSetpoint(const QString& port, int address, int setpoint, int rampRate) {
    TModbusPort modbus;
    OpenOn(modbus, port, 2000);
    TSetpointApply result;
    Pause(250);
    modbus.WriteWord(address, EurothermParam::TargetSetpoint, false, setpoint);
    KeepFirst(result.Status, modbus.LastStatus());
    Pause(250);
    modbus.WriteWord(address, EurothermParam::RampRate, false, rampRate);
    KeepFirst(result.Status, modbus.LastStatus());
    Pause(250);
    const bool sp = ReadWord(modbus, address, EurothermParam::TargetSetpoint, 2, result.SetpointRead,
                             result.Status);
    Pause(250);
    const bool rr = ReadWord(modbus, address, EurothermParam::RampRate, 2, result.RampRateRead,
                             result.Status);
    Pause(250);
    result.ReadBackOk = sp && rr;
    result.Confirmed = result.ReadBackOk && result.SetpointRead == (setpoint & 0xFFFF) &&
                       result.RampRateRead == (rampRate & 0xFFFF);
    return result;
}

TFurnaceValues ReadFurnaceTool(const QString& port, int address) {
    TModbusPort modbus;
    OpenOn(modbus, port, 2000);
    TFurnaceValues values;
    TSerialResponse five;
    modbus.QueryWords(address, EurothermParam::ProcessValue, five, 5);
    if (five.Status.isEmpty()) {
        values.HasOperational = true;
        values.Temperature = five.WordArray[0];
        values.TargetSetpoint = five.WordArray[1];
        values.CurrentSetpoint = five.WordArray[4];
    } else {
        KeepFirst(values.Status, five.Status);
    }
    values.HasRampRate = ReadWord(modbus, address, EurothermParam::RampRate, 2, values.RampRate,
                                  values.Status);
    values.HasHighLimit = ReadWord(modbus, address, EurothermParam::SetpointHighLimit, 2,
                                   values.SetpointHighLimit, values.Status);
    return values;
}

bool WriteFurnaceTool(const QString& port, int address, int setpoint, int rampRate) {
    TModbusPort modbus;
    OpenOn(modbus, port, 2000);
    const bool a = modbus.WriteWord(address, EurothermParam::TargetSetpoint, false, setpoint);
    Pause(500);
    const bool b = modbus.WriteWord(address, EurothermParam::RampRate, false, rampRate);
    return a && b;
}

TPidValues ReadPidTool(const QString& port, int address) {
    TModbusPort modbus;
    OpenOn(modbus, port, 2000);
    TPidValues pid;
    pid.HasP = ReadWord(modbus, address, EurothermParam::ProportionalBand, 2, pid.P, pid.Status);
    pid.HasI = ReadWord(modbus, address, EurothermParam::IntegralTime, 2, pid.I, pid.Status);
    pid.HasD = ReadWord(modbus, address, EurothermParam::DerivativeTime, 2, pid.D, pid.Status);
    return pid;
}

bool WritePidTool(const QString& port, int address, int p, int i, int d) {
    TModbusPort modbus;
    OpenOn(modbus, port, 2000);
    bool ok = modbus.WriteWord(address, EurothermParam::ProportionalBand, false, p);
    Pause(250);
    ok = modbus.WriteWord(address, EurothermParam::IntegralTime, false, i) && ok;
    Pause(250);
    ok = modbus.WriteWord(address, EurothermParam::DerivativeTime, false, d) && ok;
    return ok;
}

TFurnaceConfig ReadFurnaceConfig(const QString& port, int address) {
    TModbusPort modbus;
    OpenOn(modbus, port, 2000);
    TFurnaceConfig config;
    int timer = 128, unit = 128;
    ReadWord(modbus, address, EurothermParam::TimerType, 1, timer, config.Status);
    if (ReadWord(modbus, address, EurothermParam::RampUnit, 1, unit, config.Status)) {
        config.TimerType = timer;
        config.RampUnit = unit;
    }
    return config;
}

bool WriteFurnaceConfig(const QString& port, int address, int timerType, int rampUnit) {
    TModbusPort modbus;
    OpenOn(modbus, port, 2000);
    const bool a = modbus.WriteWord(address, EurothermParam::TimerType, false, timerType);
    const bool b = modbus.WriteWord(address, EurothermParam::RampUnit, false, rampUnit);
    Pause(500);
    return a && b;
}

QString EurothermModelFromIdentifier(uint16_t identifier) {
    const QString digits = QStringLiteral("%1").arg(identifier, 4, 16, QLatin1Char('0')).toUpper();
    if (identifier == 0xE280)
        return QStringLiteral("3208");
    const QChar h1 = digits[0], h2 = digits[1], h3 = digits[2], h4 = digits[3];
    const QString unknown = QStringLiteral("Unknown model: ") + digits;
    if (h1 != u'2' && h1 != u'E')
        return unknown;
    if (h4 != u'0')
        return QStringLiteral("Controller not configured as PID");
    QString family, size;
    if (h2 == u'2')
        family = QStringLiteral("22");
    else if (h2 == u'4')
        family = QStringLiteral("24");
    if (h3 == u'3')
        size = QStringLiteral("32");
    else if (h3 == u'4')
        size = QStringLiteral("04");
    else if (h3 == u'6')
        size = QStringLiteral("16");
    else if (h3 == u'8')
        size = QStringLiteral("08");
    if (family.isEmpty() || size.isEmpty())
        return unknown;
    return family + size;
}

QString DetectEurothermModel(const QString& port, int address, QByteArray* status) {
    TModbusPort modbus;
    OpenOn(modbus, port, 1000);
    TSerialResponse response;
    modbus.QueryWords(address, EurothermParam::Identifier, response, 1);
    if (status)
        *status = response.Status;
    if (!response.Status.isEmpty())
        return QStringLiteral("Model query failed: ") + QString::fromLatin1(response.Status);
    return EurothermModelFromIdentifier(static_cast<uint16_t>(response.ValueOfFirstWord));
}

bool TestEurotherm(const QString& port, int address) {
    TModbusPort modbus;
    OpenOn(modbus, port, 1000);
    return modbus.Test(address);
}

TWachendorfCheck CheckWachendorf(const QString& port) {
    TModbusPort modbus;
    modbus.SetPort(port);
    modbus.SetBaudRate(19200);
    modbus.SetWindowsReadLoopTimeoutMS(333);
    modbus.SetReadoutTimeoutMS(2000);
    TSerialResponse response;
    modbus.QueryWords(254, 1, response, 1);
    TWachendorfCheck check;
    check.Status = response.Status;
    check.Word = response.ValueOfFirstWord;
    check.Valid = response.Status.isEmpty() && check.Word == 8218;
    return check;
}
