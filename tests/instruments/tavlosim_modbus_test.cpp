#include <gtest/gtest.h>

#include "tavlo/inifile.h"
#include "testutil.h"

#include <QElapsedTimer>
#include <QProcess>

namespace {
struct TCliRun {
    int Code = -1;
    QString Out, Err;
};

// tavlo-sim as a child process serving a data folder.
class TavloSimModbus : public ::testing::Test {
protected:
    TavloSimModbus() {
        FSim.setProgram(QStringLiteral(TAVLO_SIM_PATH));
        FSim.setArguments({QStringLiteral("--data-folder"), Folder.Path()});
        FSim.start();
        QElapsedTimer timer;
        timer.start();
        while (!Listing.contains(QStringLiteral("Running until")) && timer.elapsed() < 10000 &&
               FSim.state() != QProcess::NotRunning) {
            FSim.waitForReadyRead(100);
            Listing += QString::fromLocal8Bit(FSim.readAllStandardOutput());
        }
    }
    ~TavloSimModbus() override {
        if (FSim.state() != QProcess::NotRunning) {
            FSim.terminate();
            if (!FSim.waitForFinished(3000)) {
                FSim.kill();
                FSim.waitForFinished(2000);
            }
        }
    }
    TCliRun Cli(QStringList args) {
        args << QStringLiteral("--data-folder") << Folder.Path();
        const TProcessRun r = RunProcess(QStringLiteral(TAVLO_CLI_PATH), args, 30000);
        return {r.Code, QString::fromLocal8Bit(r.Out), QString::fromLocal8Bit(r.Err)};
    }

    TTestFolder Folder;
    QString Listing;

private:
    QProcess FSim;
};
} // namespace

TEST_F(TavloSimModbus, ServesTheControllersAndTheFlowServer) {
    ASSERT_TRUE(Listing.contains(QStringLiteral("Running until"))) << Listing.toStdString();
    EXPECT_TRUE(Listing.contains(QStringLiteral("COM5 = "))) << Listing.toStdString();
    EXPECT_TRUE(Listing.contains(QStringLiteral("address 1: Eurotherm")));
    EXPECT_TRUE(Listing.contains(QStringLiteral("FLOWDDE = 127.0.0.1:")));
    TIniFile ini;
    ASSERT_TRUE(ini.LoadFromFile(Folder.Path("Utility/ports.ini")));
    EXPECT_FALSE(ini.ReadString(QStringLiteral("Ports"), QStringLiteral("COM6")).isEmpty());
    EXPECT_TRUE(ini.ReadString(QStringLiteral("Services"), QStringLiteral("FLOWDDE")).startsWith("127.0.0.1:"));

    const TCliRun model = Cli({"modbus", "--port", "COM5", "--addr", "1", "model"});
    EXPECT_EQ(model.Code, 0) << model.Err.toStdString();
    EXPECT_EQ(model.Out, "Model : 3208\n");
    const TCliRun tool = Cli({"modbus", "--port", "COM5", "--addr", "2", "tool"});
    EXPECT_EQ(tool.Code, 0) << tool.Err.toStdString();
    EXPECT_TRUE(tool.Out.contains("Setpoint 1 high limit : 1200\n")) << tool.Out.toStdString();
    const TCliRun mfc = Cli({"mfc", "--port", "COM6", "--addr", "1", "read"});
    EXPECT_EQ(mfc.Code, 0) << mfc.Err.toStdString();
    EXPECT_TRUE(mfc.Out.contains("Measured gas    : N2\n")) << mfc.Out.toStdString();
    const TCliRun alarms = Cli({"mfc", "--port", "COM6", "--addr", "1", "alarms"});
    EXPECT_EQ(alarms.Out, "No errors found\n");
    const TCliRun elflow = Cli({"mfc", "--service", "FLOWDDE", "--addr", "1", "set", "20"});
    EXPECT_EQ(elflow.Code, 0) << elflow.Err.toStdString();
    EXPECT_EQ(elflow.Out, "Target flow 20 to FLOWDDE C(1): accepted\n");
}
