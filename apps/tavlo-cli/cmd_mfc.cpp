// requires: tavlo_instruments
// tavlo-cli mfc: the mass-flow tool of the Tools page, for Vögtlin ("GSC") controllers on
// a port and for "ELFLOW" controllers behind the flow server.
#include "cli.h"

#include "tavlo/flowserver.h"
#include "tavlo/folders.h"
#include "tavlo/numformat.h"
#include "tavlo/portmap.h"
#include "tavlo/voegtlinport.h"

#include <QFileInfo>

#include <chrono>
#include <cmath>
#include <thread>

namespace {
const QString Usage = QStringLiteral(
    "usage: tavlo-cli mfc (--port NAME | --service NAME) --addr N [--data-folder DIR] (read | "
    "set VALUE [--gas INDEX] | alarms)");

void Line(const QString& caption, const QString& value) { Out(caption + QStringLiteral(" : ") + value + u'\n'); }

QString Number(double value) { return FloatToStrDot(value); }

void NoDevice(const QString& port) {
    if (!QFileInfo::exists(DevicePathOf(port)))
        Err(QStringLiteral("mfc: there is no device %1 for port %2 (port map: %3)")
                .arg(DevicePathOf(port), port, PortMapPath()));
}

int GscRead(const QString& port, int address) {
    const TGscToolValues v = ReadGscTool(port, address);
    if (!v.Ok) {
        Out(v.Message + u'\n');
        NoDevice(port);
        return 1;
    }
    Line(QStringLiteral("Serial number  "), QString::number(v.SerialNumber));
    Line(QStringLiteral("Measured gas   "), v.GasName);
    Line(QStringLiteral("Unit           "), v.Unit);
    Line(QStringLiteral("Range          "), Number(v.Range));
    Line(QStringLiteral("Totalizer value"), Number(v.Totaliser));
    Line(QStringLiteral("Measured flow  "), Number(v.Flow));
    Line(QStringLiteral("Target flow    "), Number(v.Setpoint));
    Out(QStringLiteral("Active gas type:\n"));
    for (const auto& [index, name] : v.Gases)
        Out(QStringLiteral("  %1 %2%3\n").arg(index, 2).arg(name, index == v.ActiveGas ? QStringLiteral("  (active)") : QString()));
    return 0;
}

int GscSet(const QString& port, int address, double value, int gas) {
    if (gas < 0) {
        // Keep the active gas: it is written back with the setpoint.
        TVoegtlinPort gsc;
        gsc.SetPort(port);
        gsc.SetWindowsReadLoopTimeoutMS(10);
        gsc.SetReadoutTimeoutMS(50);
        TSerialResponse active;
        gsc.ReadU16(address, GscRegister::GasTableIndex, active);
        if (!active.Status.isEmpty()) {
            Out(QStringLiteral("Unable to communicate, device possibly busy\n"));
            Out(QStringLiteral("Status : ") + QString::fromLatin1(active.Status) + u'\n');
            NoDevice(port);
            return 1;
        }
        gas = active.AsInteger;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const QStringList messages = WriteGscTool(port, address, value, gas);
    for (const QString& m : messages)
        Out(m + u'\n');
    if (!messages.isEmpty()) {
        NoDevice(port);
        return 1;
    }
    return GscRead(port, address);
}

int GscAlarms(const QString& port, int address) {
    bool ok = false;
    for (const QString& line : ReadGscAlarms(port, address, &ok))
        Out(line + u'\n');
    if (!ok)
        NoDevice(port);
    return ok ? 0 : 1;
}

int FlowRead(const QString& service, int channel) {
    const TFlowServerClient client(service);
    const QString topic = FlowTopic(channel);
    bool failed = false;
    auto item = [&](const QString& caption, int parameter) {
        const TFlowServerResult r = client.Request(topic, FlowItem(parameter));
        failed = failed || !r.Ok;
        Line(caption, r.Ok ? r.Text : QString());
        if (!r.Ok)
            Err(QStringLiteral("mfc: ") + FlowItem(parameter) + QStringLiteral(": ") + r.Error);
    };
    item(QStringLiteral("Serial number  "), FlowParam::SerialNumber);
    item(QStringLiteral("Measured gas   "), FlowParam::Gas);
    item(QStringLiteral("Unit           "), FlowParam::Unit);
    item(QStringLiteral("Range          "), FlowParam::Capacity);
    Line(QStringLiteral("Totalizer value"), QStringLiteral("0"));
    item(QStringLiteral("Measured flow  "), FlowParam::Measured);
    return failed ? 1 : 0;
}

int FlowSet(const QString& service, int channel, double value) {
    QString error;
    const bool ok = FlowServerWriteSetpoint(service, channel, value, 2000, &error);
    Out(QStringLiteral("Target flow %1 to %2 %3: %4\n")
            .arg(static_cast<qint64>(std::nearbyint(value)))
            .arg(service, FlowTopic(channel), ok ? QStringLiteral("accepted") : error));
    return ok ? 0 : 1;
}

int Mfc(const QStringList& arguments) {
    QStringList args = arguments;
    QString port, service, addrText, dataFolder, gasText;
    const bool hasPort = TakeOption(args, QStringLiteral("--port"), port);
    const bool hasService = TakeOption(args, QStringLiteral("--service"), service);
    const bool hasAddr = TakeOption(args, QStringLiteral("--addr"), addrText);
    const bool hasGas = TakeOption(args, QStringLiteral("--gas"), gasText);
    if (TakeOption(args, QStringLiteral("--data-folder"), dataFolder))
        SetDataFolder(dataFolder);
    port = port.trimmed();
    service = service.trimmed();
    if (hasPort == hasService || (hasPort && port.isEmpty()) || (hasService && service.isEmpty()) ||
        !hasAddr || args.isEmpty()) {
        Err(Usage);
        return 2;
    }
    bool ok = false;
    const int address = addrText.trimmed().toInt(&ok);
    if (!ok || address < 1 || address > (hasPort ? 247 : 65535)) {
        Err(QStringLiteral("mfc: --addr must be a controller address (channel), not \"") + addrText + u'"');
        return 2;
    }
    int gas = -1;
    if (hasGas && (!(gas = gasText.trimmed().toInt(&ok), ok) || gas < 0 || gas > 65535)) {
        Err(QStringLiteral("mfc: --gas must be a gas table index"));
        return 2;
    }
    const QString action = args.takeFirst();
    if (action == QStringLiteral("read") && args.isEmpty())
        return hasPort ? GscRead(port, address) : FlowRead(service, address);
    if (action == QStringLiteral("alarms") && args.isEmpty()) {
        if (!hasPort) {
            Err(QStringLiteral("mfc: alarms are read from Voegtlin controllers on a port only"));
            return 2;
        }
        return GscAlarms(port, address);
    }
    if (action == QStringLiteral("set") && args.size() == 1) {
        double value = 0;
        if (!TryTextToFloat(args[0], u'.', value) || !std::isfinite(value)) {
            Err(QStringLiteral("mfc: set takes a number with '.' as decimal mark, not \"") + args[0] + u'"');
            return 2;
        }
        return hasPort ? GscSet(port, address, value, gas) : FlowSet(service, address, value);
    }
    Err(Usage);
    return 2;
}
} // namespace

TAVLO_CLI_COMMAND(mfc, "mfc",
                  "mfc (--port NAME | --service NAME) --addr N [--data-folder DIR] (read | set "
                  "VALUE [--gas INDEX] | alarms)   the mass-flow tool",
                  Mfc);
