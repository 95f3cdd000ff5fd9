#include <gtest/gtest.h>

#include "tavlo/folders.h"
#include "tavlo/inifile.h"
#include "tavlo/prologix.h"
#include "tavlosim/simkeithley2000.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QProcess>

#include <csignal>

namespace {
// tavlo-sim as a child process serving a data folder.
class TSimProcess {
public:
    explicit TSimProcess(const QString& dataFolder) {
        FProcess.setProgram(QStringLiteral(TAVLO_SIM_PATH));
        FProcess.setArguments({QStringLiteral("--data-folder"), dataFolder});
        FProcess.start();
    }
    ~TSimProcess() {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.kill();
            FProcess.waitForFinished(2000);
        }
    }
    // Waits until it says it runs; what it printed so far.
    QString WaitUntilRunning() {
        QElapsedTimer timer;
        timer.start();
        while (!FOutput.contains(QStringLiteral("Running until")) && timer.elapsed() < 5000 &&
               FProcess.state() != QProcess::NotRunning) {
            FProcess.waitForReadyRead(100);
            FOutput += QString::fromLocal8Bit(FProcess.readAllStandardOutput());
        }
        return FOutput;
    }
    QProcess& Process() { return FProcess; }

private:
    QProcess FProcess;
    QString FOutput;
};
} // namespace

TEST(TavloSim, ServesTheLaboratoryUntilSigterm) {
    TTestFolder folder;
    TSimProcess sim(folder.Path());
    const QString output = sim.WaitUntilRunning();
    ASSERT_TRUE(output.contains(QStringLiteral("Running until SIGINT or SIGTERM."))) << output.toStdString();
    EXPECT_TRUE(output.contains(QStringLiteral("COM33 = ")));
    EXPECT_TRUE(output.contains(QStringLiteral("Prologix GPIB-USB adapter")));
    EXPECT_TRUE(output.contains(QStringLiteral("GPIB 4: Keithley 2000 multimeter")));

    TIniFile ini;
    ASSERT_TRUE(ini.LoadFromFile(folder.Path("Utility/ports.ini")));
    const QString device = ini.ReadString("Ports", "COM33");
    EXPECT_TRUE(output.contains(device));

    SetDataFolder(folder.Path());
    TPrologix adapter;
    adapter.SetupStandard(QStringLiteral("COM33"), 4, 0, 1000);
    adapter.SetWindowsReadLoopTimeoutMS(50);
    ASSERT_EQ(adapter.Address(), 4u);
    TSerialResponse r;
    EXPECT_EQ(adapter.GPIBQuery(QStringLiteral("*IDN?"), r),
              QByteArray(TSimKeithley2000::Identification).trimmed());

    ::kill(static_cast<pid_t>(sim.Process().processId()), SIGTERM);
    ASSERT_TRUE(sim.Process().waitForFinished(3000));
    EXPECT_EQ(sim.Process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(sim.Process().exitCode(), 0);
    EXPECT_TRUE(QString::fromLocal8Bit(sim.Process().readAllStandardOutput())
                    .contains(QStringLiteral("tavlo-sim: stopped")));
    TSerialResponse after;
    adapter.Send2(QByteArray("++ver\r"), true, after);
    EXPECT_EQ(after.Status, "Failed to setup Com port, port in use");
}

TEST(TavloSim, WithoutADataFolderItExplainsItsUse) {
    QProcess p;
    p.start(QStringLiteral(TAVLO_SIM_PATH), {});
    ASSERT_TRUE(p.waitForFinished(3000));
    EXPECT_EQ(p.exitCode(), 2);
    EXPECT_TRUE(p.readAllStandardError().contains("usage: tavlo-sim --data-folder DIR"));
}
