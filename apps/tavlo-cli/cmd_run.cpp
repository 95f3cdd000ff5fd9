// requires: tavlo_engine
// tavlo-cli run: opens measurements and runs the engine cycle on them headless.
#include "cli.h"

#include <QCoreApplication>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <cstdio>

#include "tavlo/folders.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementfile.h"
#include "tavlo/session.h"

namespace {

std::atomic<bool> GStopRequested{false};

extern "C" void OnStopSignal(int) { GStopRequested = true; }

int Run(QStringList args) {
    QString folder, setupId, runsText, minutesText;
    const bool hasFolder = TakeOption(args, QStringLiteral("--data-folder"), folder);
    TakeOption(args, QStringLiteral("--setup-id"), setupId);
    const bool assumeValidated = TakeFlag(args, QStringLiteral("--assume-validated"));
    const bool hasRuns = TakeOption(args, QStringLiteral("--runs"), runsText);
    const bool hasMinutes = TakeOption(args, QStringLiteral("--minutes"), minutesText);
    bool ok = true;
    const int runs = hasRuns ? runsText.toInt(&ok) : 0;
    bool okMinutes = true;
    const double minutes = hasMinutes ? minutesText.toDouble(&okMinutes) : 0;
    if (args.isEmpty() || (hasRuns && hasMinutes) || !ok || !okMinutes || (hasRuns && runs < 1) ||
        (hasMinutes && !(minutes > 0)) || args.first().startsWith(QStringLiteral("--"))) {
        Err(QStringLiteral("usage: tavlo-cli run FILE.mea... [--data-folder DIR] [--setup-id ID "
                           "--assume-validated] [--runs N | --minutes M]"));
        return 2;
    }
    if (hasFolder)
        SetDataFolder(folder);

    TTavloSession session;
    // The data folder's default setup names the laboratory; --setup-id stands in for it.
    if (session.LoadDefaultDeviceSetup())
        for (const QString& line : session.DeviceMemo())
            Out(line + u'\n');
    if (!setupId.isEmpty())
        session.SetDeviceSetupID(setupId);
    Out(QStringLiteral("Device setup ID:") + session.DeviceSetupID() + u'\n');
    session.SetDevicesValidated(assumeValidated);
    QObject::connect(&session, &TTavloSession::RunLogAppended, [](const QString& line) {
        Out(line + u'\n');
        std::fflush(stdout);
    });
    for (const QString& path : args) {
        if (!LoadMeasurement(path, session.MeasurementsList))
            return 1;
    }
    Out(QStringLiteral("Running %1 measurement(s), data folder %2\n")
            .arg(session.MeasurementsList->Count())
            .arg(DataFolder()));
    std::fflush(stdout);

    std::signal(SIGINT, OnStopSignal);
    std::signal(SIGTERM, OnStopSignal);
    QTimer stopCheck;
    stopCheck.setInterval(100);
    QObject::connect(&stopCheck, &QTimer::timeout, [] {
        if (GStopRequested)
            QCoreApplication::exit(0);
    });
    stopCheck.start();
    if (hasRuns)
        QObject::connect(&session, &TTavloSession::RunFinished, [runs](int done) {
            if (done >= runs)
                QCoreApplication::exit(0);
        });
    if (hasMinutes)
        QTimer::singleShot(static_cast<int>(minutes * 60000), [] { QCoreApplication::exit(0); });

    session.StartTimer();
    QCoreApplication::exec();
    session.StopTimer();
    // A run in progress finishes first, then everything is saved to its own file.
    session.WaitForEngine();
    session.SaveAll();
    int unsaved = 0;
    for (QObject* item : session.MeasurementsList->Items()) {
        const auto* m = static_cast<TMeasurement*>(item);
        if (m->FileLocation.isEmpty())
            ++unsaved;
        else
            Out(QStringLiteral("Saved '%1' to %2\n").arg(m->Caption(), m->FileLocation));
    }
    Out(QStringLiteral("%1 engine run(s) completed\n").arg(session.CompletedRuns));
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    return unsaved == 0 ? 0 : 1;
}

} // namespace

TAVLO_CLI_COMMAND(run, "run",
                  "run FILE.mea... [--data-folder DIR] [--setup-id ID --assume-validated] "
                  "[--runs N | --minutes M]  run the engine cycle headless",
                  Run);
