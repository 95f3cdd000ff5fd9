// requires: tavlo_instruments
// tavlo-cli modbus: the furnace tools of the Tools page for a Eurotherm controller.
#include "cli.h"

#include "tavlo/eurotherm.h"
#include "tavlo/folders.h"
#include "tavlo/modbus.h"
#include "tavlo/numformat.h"
#include "tavlo/portmap.h"

#include <QFileInfo>

#include <chrono>
#include <cmath>
#include <thread>

namespace {
const QString Usage = QStringLiteral(
    "usage: tavlo-cli modbus --port NAME --addr N [--data-folder DIR] (read-float P | "
    "read-words R COUNT | write R V | test | model | tool)");

bool ParseInt(const QString& text, int low, int high, int& value) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    value = v;
    return true;
}

QString StatusText(const QByteArray& status) { return QString::fromLatin1(status); }

void PrintStatus(const QByteArray& status) { Out(QStringLiteral("Status : ") + StatusText(status) + u'\n'); }

int Failed(const QString& port, const QByteArray& status) {
    if (status == SerialStatus::PortInUse && !QFileInfo::exists(DevicePathOf(port)))
        Err(QStringLiteral("modbus: there is no device %1 for port %2 (port map: %3)")
                .arg(DevicePathOf(port), port, PortMapPath()));
    return 1;
}

int RunModbus(const QStringList& arguments) {
    QStringList args = arguments;
    QString port, addrText, dataFolder;
    const bool hasPort = TakeOption(args, QStringLiteral("--port"), port);
    const bool hasAddr = TakeOption(args, QStringLiteral("--addr"), addrText);
    if (TakeOption(args, QStringLiteral("--data-folder"), dataFolder))
        SetDataFolder(dataFolder);
    port = port.trimmed();
    if (!hasPort || port.isEmpty() || !hasAddr || args.isEmpty()) {
        Err(Usage);
        return 2;
    }
    int address = 0;
    if (!ParseInt(addrText, 1, 254, address)) {
        Err(QStringLiteral("modbus: --addr must be a slave address from 1 to 254, not \"") + addrText + u'"');
        return 2;
    }
    const QString action = args.takeFirst();
    auto needs = [&](int count) {
        if (args.size() == count)
            return true;
        Err(Usage);
        return false;
    };

    TModbusPort modbus;
    modbus.SetPort(port);
    modbus.SetReadoutTimeoutMS(2000);

    if (action == QStringLiteral("test")) {
        if (!needs(0))
            return 2;
        const bool passed = TestEurotherm(port, address);
        Out(QStringLiteral("Loop-back test at %1 address %2: %3\n")
                .arg(port)
                .arg(address)
                .arg(passed ? QStringLiteral("passed") : QStringLiteral("failed")));
        return passed ? 0 : 1;
    }
    if (action == QStringLiteral("model")) {
        if (!needs(0))
            return 2;
        QByteArray status;
        const QString model = DetectEurothermModel(port, address, &status);
        Out(QStringLiteral("Model : ") + model + u'\n');
        if (!status.isEmpty())
            return Failed(port, status);
        return model.size() == 4 ? 0 : 1;
    }
    if (action == QStringLiteral("read-float")) {
        int param = 0;
        if (!needs(1))
            return 2;
        if (!ParseInt(args[0], 0, 16383, param)) {
            Err(QStringLiteral("modbus: the parameter must be a number from 0 to 16383"));
            return 2;
        }
        TSerialResponse response;
        modbus.QueryD(address, param, response);
        Out(QStringLiteral("Parameter %1 : %2\n").arg(param).arg(FloatToStrDot(response.rDouble)));
        PrintStatus(response.Status);
        return response.Status.isEmpty() ? 0 : Failed(port, response.Status);
    }
    if (action == QStringLiteral("read-words")) {
        int reg = 0, count = 0;
        if (!needs(2))
            return 2;
        if (!ParseInt(args[0], 0, 65535, reg) || !ParseInt(args[1], 1, 1000, count)) {
            Err(QStringLiteral("modbus: read-words takes a register (0 to 65535) and a count"));
            return 2;
        }
        TSerialResponse response;
        modbus.QueryWords(address, reg, response, count);
        if (response.Status.isEmpty() || response.Status == ModbusStatus::WrongAmount) {
            const int arrived = response.Response.size() >= 5
                                    ? static_cast<int>((response.Response.size() - 5) / 2)
                                    : 0;
            for (int i = 0; i < std::min({arrived, count, 16}); ++i)
                Out(QStringLiteral("Register %1 : %2\n").arg(reg + i).arg(response.WordArray[static_cast<size_t>(i)]));
            if (count > 16 && arrived > 16)
                Out(QStringLiteral("(only the first 16 words are kept)\n"));
        }
        PrintStatus(response.Status);
        return response.Status.isEmpty() ? 0 : Failed(port, response.Status);
    }
    if (action == QStringLiteral("write")) {
        int reg = 0, value = 0;
        if (!needs(2))
            return 2;
        double v = 0;
        if (!ParseInt(args[0], 0, 65535, reg) || !TryTextToFloat(args[1], u'.', v) ||
            std::fabs(v) > 65535) {
            Err(QStringLiteral("modbus: write takes a register (0 to 65535) and a value from "
                               "-65535 to 65535"));
            return 2;
        }
        value = static_cast<int>(std::nearbyint(v)); // halves to even, as the tools round
        const bool sent = modbus.WriteWord(address, reg, false, value);
        Out(QStringLiteral("Written  : register %1 := %2\n").arg(reg).arg(value));
        if (!sent) {
            PrintStatus(modbus.LastStatus());
            return Failed(port, modbus.LastStatus());
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        TSerialResponse response;
        modbus.QueryWords(address, reg, response, 1);
        if (response.Status.isEmpty())
            Out(QStringLiteral("Read back: %1\n").arg(response.ValueOfFirstWord));
        PrintStatus(response.Status);
        if (!response.Status.isEmpty())
            return Failed(port, response.Status);
        if (response.ValueOfFirstWord != (value & 0xFFFF)) {
            Err(QStringLiteral("modbus: the controller holds %1, not %2")
                    .arg(response.ValueOfFirstWord)
                    .arg(value & 0xFFFF));
            return 1;
        }
        return 0;
    }
    if (action == QStringLiteral("tool")) {
        if (!needs(0))
            return 2;
        const TFurnaceValues v = ReadFurnaceTool(port, address);
        auto field = [](const QString& caption, bool has, int value) {
            Out(caption + QStringLiteral(" : ") + (has ? QString::number(value) : QString()) + u'\n');
        };
        field(QStringLiteral("Temperature          "), v.HasOperational, v.Temperature);
        field(QStringLiteral("Target setpoint      "), v.HasOperational, v.TargetSetpoint);
        field(QStringLiteral("Current setpoint     "), v.HasOperational, v.CurrentSetpoint);
        field(QStringLiteral("Ramp rate            "), v.HasRampRate, v.RampRate);
        field(QStringLiteral("Setpoint 1 high limit"), v.HasHighLimit, v.SetpointHighLimit);
        const TPidValues pid = ReadPidTool(port, address);
        field(QStringLiteral("Proportional P       "), pid.HasP, pid.P);
        field(QStringLiteral("Integral I           "), pid.HasI, pid.I);
        field(QStringLiteral("Derivate D           "), pid.HasD, pid.D);
        const TFurnaceConfig config = ReadFurnaceConfig(port, address);
        field(QStringLiteral("Timer type (@320)    "), true, config.TimerType);
        field(QStringLiteral("Ramp unit (@531)     "), true, config.RampUnit);
        QByteArray status = v.Status;
        for (const QByteArray& s : {pid.Status, config.Status})
            if (status.isEmpty())
                status = s;
        PrintStatus(status);
        return status.isEmpty() ? 0 : Failed(port, status);
    }
    Err(QStringLiteral("modbus: unknown action ") + action);
    Err(Usage);
    return 2;
}
} // namespace

TAVLO_CLI_COMMAND(modbus, "modbus",
                  "modbus --port NAME --addr N [--data-folder DIR] (read-float P | read-words R "
                  "COUNT | write R V | test | model | tool)   talk to a Eurotherm controller",
                  RunModbus);
