// requires: tavlo_engine
// tavlo-cli run: opens measurements and runs the engine cycle on them headless.
#include "cli.h"

#include <QCoreApplication>
#include <QFileInfo>
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
    QString folder, setupPath, runsText, minutesText;
    const bool hasFolder = TakeOption(args, QStringLiteral("--data-folder"), folder);
    const bool hasSetup = TakeOption(args, QStringLiteral("--setup"), setupPath);
    const bool hasRuns = TakeOption(args, QStringLiteral("--runs"), runsText);
    const bool hasMinutes = TakeOption(args, QStringLiteral("--minutes"), minutesText);
    bool ok = true;
    const int runs = hasRuns ? runsText.toInt(&ok) : 0;
    bool okMinutes = true;
    const double minutes = hasMinutes ? minutesText.toDouble(&okMinutes) : 0;
    if (args.isEmpty() || (hasRuns && hasMinutes) || !ok || !okMinutes || (hasRuns && runs < 1) ||
        (hasMinutes && !(minutes > 0)) || args.first().startsWith(QStringLiteral("--"))) {
        Err(QStringLiteral("usage: tavlo-cli run FILE.mea... [--data-folder DIR] [--setup FILE.tdq] "
                           "[--runs N | --minutes M]"));
        return 2;
    }
    if (hasFolder)
        SetDataFolder(folder);

    TTavloSession session;
    QObject::connect(&session, &TTavloSession::DeviceMemoAppended, [](const QString& line) {
        Out(line + u'\n');
        std::fflush(stdout);
    });
    for (const QString& path : args) {
        if (!LoadMeasurement(path, session.MeasurementsList))
            return 1;
    }
    // The laboratory is the loaded device setup; only its validated devices are used.
    if (!hasSetup)
        setupPath = DataPath(QStringLiteral("Device Setups/default.tdq"));
    if (!QFileInfo::exists(setupPath)) {
        Err(QStringLiteral("No device setup ") + setupPath +
            QStringLiteral(": give one with --setup FILE.tdq"));
        return 1;
    }
    if (!session.LoadDeviceSetup(setupPath))
        return 1;
    Out(QStringLiteral("Device setup ID:") + session.DeviceSetupID() + u'\n');
    int runnable = 0;
    for (QObject* item : session.MeasurementsList->Items()) {
        const auto* m = static_cast<TMeasurement*>(item);
        if (m->DeviceSetup() == session.DeviceSetupID()) {
            ++runnable;
            continue;
        }
        Err(QStringLiteral("Measurement '") + m->Caption() +
            QStringLiteral("' was made for device setup ") + m->DeviceSetup() +
            QStringLiteral(", not for the loaded one (") + session.DeviceSetupID() +
            QStringLiteral("): it is not run."));
    }
    if (runnable == 0) {
        Err(QStringLiteral("No measurement was made for the loaded device setup; nothing is run."));
        return 1;
    }
    if (!session.ValidateDevices()) {
        Err(QStringLiteral("The devices of ") + setupPath +
            QStringLiteral(" could not be validated; no measurement is run."));
        return 1;
    }
    QObject::connect(&session, &TTavloSession::RunLogAppended, [](const QString& line) {
        Out(line + u'\n');
        std::fflush(stdout);
    });
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
                  "run FILE.mea... [--data-folder DIR] [--setup FILE.tdq] [--runs N | --minutes M]"
                  "  validate the device setup and run the engine cycle headless",
                  Run);
