#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include <csignal>

#include "tavlo/measurement.h"
#include "tavlo/measurementfile.h"
#include "tavlo/measurementnode.h"
#include "tavlo/userinteraction.h"
#include "testutil.h"

namespace {
std::unique_ptr<TMeasurement> Load(const QString& path) {
    TRecordingUserInteraction ui;
    TUserInteractionScope scope(ui);
    TLoadOptions options;
    options.AskActive = false;
    return std::unique_ptr<TMeasurement>(LoadMeasurement(path, nullptr, options));
}

QString DemoCopy(const TTestFolder& dir) {
    const QString path = dir.Path("Demo-run.mea");
    QFile::copy(QStringLiteral(TAVLO_SOURCE_DIR "/examples/Demo-run.mea"), path);
    return path;
}
} // namespace

TEST(CliRun, DrivesAMeasurementForNRunsAndSavesIt) {
    // N2 of the demo stops once the index passes 3: the sixth run has one node.
    TTestFolder dir;
    const QString path = DemoCopy(dir);
    QProcess p;
    p.start(QStringLiteral(TAVLO_CLI), {"run", path, "--data-folder", dir.Path("data"),
                                        "--setup-id", "0", "--assume-validated", "--runs", "6"});
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    EXPECT_TRUE(out.contains("Engine started with 2 nodes.")) << out.toStdString();
    EXPECT_TRUE(out.contains("Engine started with 1 nodes.")); // N2 stops after four
    EXPECT_TRUE(out.contains("6 engine run(s) completed"));
    EXPECT_TRUE(out.contains("Saved 'Demo run' to " + path));
    const auto m = Load(path);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->Node(0)->DataCount(), 6);
    EXPECT_EQ(m->Node(1)->DataCount(), 6); // its last point is the held-back NaN point
    EXPECT_TRUE(QFile::exists(dir.Path("data/Utility/MeasurementsOpen.txt")));
}

TEST(CliRun, AStopSignalEndsTheRunAndSaves) {
    TTestFolder dir;
    const QString path = DemoCopy(dir);
    QProcess p;
    p.start(QStringLiteral(TAVLO_CLI), {"run", path, "--data-folder", dir.Path("data"),
                                        "--setup-id", "0", "--assume-validated", "--minutes", "10"});
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForStarted());
    QByteArray out;
    while (!out.contains("Engine started") && p.waitForReadyRead(20000))
        out += p.readAllStandardOutput();
    ASSERT_TRUE(out.contains("Engine started"));
    ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
    ASSERT_TRUE(p.waitForFinished(20000));
    out += p.readAllStandardOutput();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_TRUE(out.contains("Saved 'Demo run'"));
    const auto m = Load(path);
    ASSERT_TRUE(m);
    EXPECT_GE(m->Node(0)->DataCount(), 1);
}

TEST(CliRun, RefusesBadArguments) {
    for (const QStringList& args : {QStringList{"run"}, QStringList{"run", "x.mea", "--runs", "0"},
                                    QStringList{"run", "x.mea", "--runs", "2", "--minutes", "1"},
                                    QStringList{"run", "x.mea", "--minutes", "soon"}}) {
        QProcess p;
        p.start(QStringLiteral(TAVLO_CLI), args);
        ASSERT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitCode(), 2) << args.join(' ').toStdString();
        EXPECT_TRUE(p.readAllStandardError().contains("usage: tavlo-cli run"));
    }
    QProcess missing;
    missing.start(QStringLiteral(TAVLO_CLI), {"run", "/no/such.mea", "--runs", "1"});
    ASSERT_TRUE(missing.waitForFinished(20000));
    EXPECT_EQ(missing.exitCode(), 1);
    EXPECT_TRUE(missing.readAllStandardError().contains("failed to open."));
}
