// requires: tavlo_instruments
// tavlo-cli gpib: the GPIB terminal of the Tools page on the command line.
#include "cli.h"

#include "tavlo/ansi.h"
#include "tavlo/folders.h"
#include "tavlo/portmap.h"
#include "tavlo/prologix.h"

#include <QFileInfo>

namespace {
bool ParseNumber(const QString& text, int low, int high, int& value) {
    bool ok = false;
    const int v = text.trimmed().toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    value = v;
    return true;
}

bool IsFailure(const QByteArray& status) {
    return !status.isEmpty() && status != SerialStatus::NoWait;
}

int Gpib(const QStringList& arguments) {
    QStringList args = arguments;
    QString port, addrText, eosText = QStringLiteral("0"), dataFolder;
    const bool hasPort = TakeOption(args, QStringLiteral("--port"), port);
    const bool hasAddr = TakeOption(args, QStringLiteral("--addr"), addrText);
    TakeOption(args, QStringLiteral("--eos"), eosText);
    if (TakeOption(args, QStringLiteral("--data-folder"), dataFolder))
        SetDataFolder(dataFolder);
    int address = 0, eos = 0;
    if (!hasPort || port.trimmed().isEmpty() || !hasAddr || args.isEmpty()) {
        Err(QStringLiteral("usage: tavlo-cli gpib --port NAME --addr N [--eos E] "
                           "[--data-folder DIR] LINE..."));
        return 2;
    }
    if (!ParseNumber(addrText, 0, 30, address)) {
        Err(QStringLiteral("gpib: --addr must be a GPIB address from 0 to 30, not \"") +
            addrText + u'"');
        return 2;
    }
    if (!ParseNumber(eosText, 0, 3, eos)) {
        Err(QStringLiteral("gpib: --eos must be 0 (CR+LF), 1 (CR), 2 (LF) or 3 (none), not \"") +
            eosText + u'"');
        return 2;
    }
    for (const QString& line : args)
        if (line.startsWith(QStringLiteral("--"))) {
            Err(QStringLiteral("gpib: unknown option ") + line);
            return 2;
        }

    TPrologix adapter;
    adapter.SetupStandard(port.trimmed(), static_cast<quint32>(address), eos);
    if (!adapter.AddressConfirmed()) {
        Err(QStringLiteral("gpib: the adapter on %1 did not confirm GPIB address %2 (status: %3)")
                .arg(port.trimmed())
                .arg(address)
                .arg(FromWindows1252(adapter.LastStatus().isEmpty() ? QByteArray("no answer")
                                                                     : adapter.LastStatus())));
        const QString device = DevicePathOf(port);
        if (!QFileInfo::exists(device))
            Err(QStringLiteral("gpib: there is no device %1 for port %2 (port map: %3)")
                    .arg(device, port.trimmed(), PortMapPath()));
        return 1;
    }
    bool failed = false;
    for (const QString& line : args) {
        TSerialResponse response;
        QByteArray status;
        if (line.startsWith(QStringLiteral("++"))) {
            // An adapter command: sent with CR LF and read back at once.
            adapter.Send2(line + QStringLiteral("\r\n"), true, response);
            status = response.Status;
        } else if (TrimBlanksAndControls(line).endsWith(u'?')) {
            adapter.GPIBSend2(line, false, response);
            adapter.Send2(QByteArrayLiteral("++read eoi\r"), true, response);
            status = response.Status;
        } else {
            adapter.GPIBSend2(line, false, response);
            status = adapter.LastStatus();
        }
        failed = failed || IsFailure(status);
        Out(TrimBlanksAndControls(line) + u'\n');
        Out(QStringLiteral("Response :") + FromWindows1252(TrimBlanksAndControls(response.Response)) +
            u'\n');
        Out(QStringLiteral("Status   :") + FromWindows1252(status) + u'\n');
    }
    return failed ? 1 : 0;
}
} // namespace

TAVLO_CLI_COMMAND(gpib, "gpib",
                  "gpib --port NAME --addr N [--eos E] [--data-folder DIR] LINE...   send lines "
                  "through the Prologix adapter (a line ending in ? is a query)",
                  Gpib);
