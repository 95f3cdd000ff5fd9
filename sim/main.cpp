// tavlo-sim: serves the simulated laboratory until SIGINT or SIGTERM.
#include "tavlosim/modbuslab.h"
#include "tavlosim/simlabsetup.h"
#include "tavlosim/simlan.h"
#include "tavlosim/simmeters.h"
#include "tavlosim/simsource2260b.h"
#include "tavlosim/simswitch.h"
#include "tavlosim/standardlab.h"
#ifdef TAVLO_SIM_EXAMPLES
#include "tavlosim/examples.h"
#endif

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>
#include <cstdio>

namespace {
void Print(const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stdout);
    std::fputc('\n', stdout);
}

int Usage() {
    std::fprintf(stderr, "usage: tavlo-sim --data-folder DIR\n"
                         "Serves the simulated laboratory on pseudo-terminals, writes "
                         "DIR/Utility/ports.ini and runs until SIGINT or SIGTERM.\n");
    return 2;
}

// Beside the standard and Modbus laboratories: a switching unit at GPIB address 20, a
// broadcast receiver on COM9, and two LAN instruments on free loopback ports.
bool AddExtraDevices(TSimLab& lab, TStandardLab& devices, QString* error) {
    devices.Adapter->Plug(20, std::make_shared<TSimSwitchUnit>());
    if (lab.AddSerialDevice(QStringLiteral("COM9"), std::make_shared<TSimBroadcastReceiver>(), error)
            .isEmpty())
        return false;
    const auto dmm = std::make_shared<TSimScpiMeter>(TSimScpiMeter::KeithleyDMM6500);
    if (lab.AddTcpDevice(QStringLiteral("DMM6500"), std::make_shared<TSimLanInstrument>(dmm), 0,
                         error) == 0)
        return false;
    return lab.AddTcpDevice(QStringLiteral("2260B"),
                            std::make_shared<TSimLanInstrument>(std::make_shared<TSimSource2260B>()),
                            0, error) != 0;
}
} // namespace

int main(int argc, char** argv) {
    // Signals are taken by sigwait below; every thread started from here inherits the mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString dataFolder;
    const qsizetype i = args.indexOf(QStringLiteral("--data-folder"));
    if (i < 0 || i + 1 >= args.size())
        return Usage();
    dataFolder = QFileInfo(args.at(i + 1)).absoluteFilePath();
    args.remove(i, 2);
    if (!args.isEmpty())
        return Usage();
    if (!QDir().mkpath(dataFolder)) {
        std::fprintf(stderr, "tavlo-sim: cannot create the data folder %s\n",
                     dataFolder.toLocal8Bit().constData());
        return 1;
    }

    TSimLab lab;
    TStandardLab devices;
    QString error, setupId;
    TModbusLab modbus;
    if (!BuildStandardLab(lab, devices, &error) || !BuildModbusLab(lab, modbus, &error) ||
        !AddExtraDevices(lab, devices, &error) || !WriteSimLabSetup(dataFolder, &setupId, &error)) {
        std::fprintf(stderr, "tavlo-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
#ifdef TAVLO_SIM_EXAMPLES
    // The data folder is the laboratory's own: its examples, made for its device setup, are
    // written afresh at every start.
    if (!WriteExampleMeasurements(dataFolder, setupId, &error)) {
        std::fprintf(stderr, "tavlo-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
#endif
    // The port map comes last: waiting scripts take it as the sign that the laboratory is ready.
    if (!WriteServiceMap(dataFolder, QString::fromLatin1(TModbusLab::FlowService),
                         modbus.FlowServerPort, &error) ||
        !lab.WritePortMap(dataFolder, &error)) {
        std::fprintf(stderr, "tavlo-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    lab.Start();
    Print(QStringLiteral("tavlo-sim: simulated laboratory for data folder ") + dataFolder);
    for (const QString& line : lab.Describe())
        Print(QStringLiteral("  ") + line);
    Print(QStringLiteral("Port map: ") + dataFolder + QStringLiteral("/Utility/ports.ini"));
    Print(QStringLiteral("Device setup: ") + dataFolder +
          QStringLiteral("/Device Setups/simlab.tdq, ID ") + setupId);
#ifdef TAVLO_SIM_EXAMPLES
    for (const QString& path : ExampleMeasurementPaths(dataFolder))
        Print(QStringLiteral("Example measurement: ") + path);
#endif
    Print(QStringLiteral("Running until SIGINT or SIGTERM."));
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    lab.Stop();
    Print(QStringLiteral("tavlo-sim: stopped"));
    return 0;
}
