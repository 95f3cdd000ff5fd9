// requires: tavlo_engine
// tavlo-cli devices: device search, validation and the device setup ID, headless.
#include "cli.h"

#include <QFileInfo>

#include <cstdio>

#include "tavlo/folders.h"
#include "tavlo/session.h"

namespace {

const QString KUsage = QStringLiteral(
    "usage: tavlo-cli devices search [--last-address N] [--data-folder DIR] [--save FILE.tdq]\n"
    "       tavlo-cli devices validate FILE.tdq [--data-folder DIR]\n"
    "       tavlo-cli devices id FILE.tdq");

int Usage() {
    Err(KUsage);
    return 2;
}

// The Devices log as it grows.
void EchoDeviceMemo(TTavloSession& session) {
    QObject::connect(&session, &TTavloSession::DeviceMemoAppended, [](const QString& line) {
        Out(line + u'\n');
        std::fflush(stdout);
    });
}

int Search(QStringList args) {
    QString folder, lastText, savePath;
    const bool hasFolder = TakeOption(args, QStringLiteral("--data-folder"), folder);
    const bool hasLast = TakeOption(args, QStringLiteral("--last-address"), lastText);
    const bool hasSave = TakeOption(args, QStringLiteral("--save"), savePath);
    bool ok = true;
    const int last = hasLast ? lastText.trimmed().toInt(&ok) : -1;
    if (!args.isEmpty() || !ok || (hasLast && (last < 0 || last > 30)) ||
        (hasSave && savePath.isEmpty()))
        return Usage();
    if (hasFolder)
        SetDataFolder(folder);

    TTavloSession session;
    EchoDeviceMemo(session);
    if (!session.SearchDevices(last)) {
        if (session.DeviceMemo().isEmpty())
            Err(QStringLiteral("devices search: no last GPIB address from 0 to 30 was given "
                               "(--last-address N); nothing was searched"));
        return 1;
    }
    Out(QStringLiteral("Device setup ID:") + session.DeviceSetupID() + u'\n');
    if (hasSave) {
        if (!session.SaveDeviceSetup(savePath)) {
            Err(session.DeviceMemo().last());
            return 1;
        }
        Out(QStringLiteral("Saved the device setup to ") + QFileInfo(savePath).absoluteFilePath() +
            u'\n');
    }
    return 0;
}

int Validate(QStringList args) {
    QString folder;
    const bool hasFolder = TakeOption(args, QStringLiteral("--data-folder"), folder);
    if (args.size() != 1 || args.first().startsWith(QStringLiteral("--")))
        return Usage();
    if (hasFolder)
        SetDataFolder(folder);
    TTavloSession session;
    if (!session.LoadDeviceSetup(args.first())) {
        Err(session.DeviceMemo().last());
        return 1;
    }
    Out(QStringLiteral("Device setup ID:") + session.DeviceSetupID() + u'\n');
    EchoDeviceMemo(session);
    const bool validated = session.ValidateDevices();
    Out(validated ? QStringLiteral("Devices are validated\n")
                  : QStringLiteral("Devices are not validated\n"));
    return validated ? 0 : 1;
}

int Id(QStringList args) {
    if (args.size() != 1 || args.first().startsWith(QStringLiteral("--")))
        return Usage();
    TTavloSession session;
    if (!session.LoadDeviceSetup(args.first())) {
        Err(session.DeviceMemo().last());
        return 1;
    }
    Out(session.DeviceSetupID() + u'\n');
    return 0;
}

int Devices(const QStringList& all) {
    QStringList args = all;
    if (args.isEmpty())
        return Usage();
    const QString sub = args.takeFirst();
    if (sub == QLatin1String("search"))
        return Search(args);
    if (sub == QLatin1String("validate"))
        return Validate(args);
    if (sub == QLatin1String("id"))
        return Id(args);
    return Usage();
}

} // namespace

TAVLO_CLI_COMMAND(devices, "devices",
                  "devices (search [--last-address N] [--data-folder DIR] [--save FILE.tdq] | "
                  "validate FILE.tdq [--data-folder DIR] | id FILE.tdq)  device search, validation "
                  "and setup ID",
                  Devices);
