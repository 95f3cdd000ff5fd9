#include <gtest/gtest.h>

#include "tavlosim/simkeithley2000.h"
#include "tavlosim/standardlab.h"
#include "testutil.h"

#include <QProcess>

namespace {
struct TCliRun {
    int Code = -1;
    QString Out, Err;
};

TCliRun RunCli(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(TAVLO_CLI_PATH), args);
    TCliRun run;
    if (!p.waitForFinished(20000))
        return run;
    run.Code = p.exitCode();
    run.Out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.Err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}
} // namespace

TEST(CliGpib, QueriesTheKeithleyThroughTheSimulatedAdapter) {
    TTestFolder folder;
    TSimLab lab;
    TStandardLab devices;
    ASSERT_TRUE(BuildStandardLab(lab, devices));
    ASSERT_TRUE(lab.WritePortMap(folder.Path()));
    lab.Start();
    const TCliRun run = RunCli({"gpib", "--port", "COM33", "--addr", "4", "--data-folder",
                                folder.Path(), "*IDN?", "FUNC 'FRES'", ":MEAS?", "++ver"});
    EXPECT_EQ(run.Code, 0) << run.Err.toStdString();
    const QStringList lines = run.Out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 12) << run.Out.toStdString();
    EXPECT_EQ(lines[0], "*IDN?");
    EXPECT_EQ(lines[1], QStringLiteral("Response :") + QString::fromLatin1(TSimKeithley2000::Identification).trimmed());
    EXPECT_EQ(lines[2], "Status   :");
    EXPECT_EQ(lines[5], "Status   :Exit read/write without waiting for reply");
    EXPECT_TRUE(lines[7].startsWith("Response :+1.000")) << lines[7].toStdString();
    EXPECT_EQ(lines[10], "Response :Prologix GPIB-USB Controller version 6.107");
    auto lock = lab.Lock();
    EXPECT_EQ(devices.Keithley->Function, "FRES");
    EXPECT_EQ(devices.Adapter->Address, 4);
}

TEST(CliGpib, MissingPortAndBadArgumentsAreReported) {
    TTestFolder folder;
    const TCliRun missing =
        RunCli({"gpib", "--port", "COM9", "--addr", "4", "--data-folder", folder.Path(), "*IDN?"});
    EXPECT_EQ(missing.Code, 1);
    EXPECT_TRUE(missing.Err.contains("did not confirm GPIB address 4"));
    EXPECT_TRUE(missing.Err.contains("Failed to setup Com port, port in use"));
    EXPECT_TRUE(missing.Err.contains("there is no device"));
    const TCliRun badAddr = RunCli({"gpib", "--port", "COM9", "--addr", "31", "*IDN?"});
    EXPECT_EQ(badAddr.Code, 2);
    EXPECT_TRUE(badAddr.Err.contains("--addr must be a GPIB address from 0 to 30"));
    const TCliRun noLines = RunCli({"gpib", "--port", "COM9", "--addr", "4"});
    EXPECT_EQ(noLines.Code, 2);
    EXPECT_TRUE(noLines.Err.contains("usage: tavlo-cli gpib"));
}
