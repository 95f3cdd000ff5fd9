#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>

#include <csignal>

#include "tavlo/measurement.h"
#include "tavlo/measurementfile.h"
#include "tavlo/measurementnode.h"
#include "tavlo/userinteraction.h"
#include "clilab.h"
#include "tavlosim/simlabsetup.h"
#include "testutil.h"

namespace {
std::unique_ptr<TMeasurement> Load(const QString& path) {
    TRecordingUserInteraction ui;
    TUserInteractionScope scope(ui);
    TLoadOptions options;
    options.AskActive = false;
    return std::unique_ptr<TMeasurement>(LoadMeasurement(path, nullptr, options));
}

// The demo measurement made for the given device setup.
QString DemoCopy(const TTestFolder& dir, const QString& setupId) {
    QFile source(QStringLiteral(TAVLO_SOURCE_DIR "/examples/Demo-run.mea"));
    EXPECT_TRUE(source.open(QIODevice::ReadOnly));
    QByteArray text = source.readAll();
    const QByteArray stored = "  DeviceSetup = '0'\r\n";
    EXPECT_TRUE(text.contains(stored));
    text.replace(stored, "  DeviceSetup = '" + setupId.toLatin1() + "'\r\n");
    const QString path = dir.Path("Demo-run.mea");
    dir.Write("Demo-run.mea", text);
    return path;
}

// A laboratory of one quiet port and a default setup naming it.
class CliRun : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(lab.ServeQuietPort("COM40"));
        ASSERT_TRUE(lab.Start());
        id = lab.WriteSetup("default.tdq", "COM40\r\n");
        ASSERT_FALSE(id.isEmpty());
    }
    TTestFolder dir;
    TCliLab lab{dir};
    QString id;
};
} // namespace

TEST_F(CliRun, DrivesAMeasurementForNRunsAndSavesIt) {
    // N2 of the demo stops once the index passes 3: the sixth run has one node.
    const QString path = DemoCopy(dir, id);
    QProcess p;
    p.start(QStringLiteral(TAVLO_CLI), {"run", path, "--data-folder", lab.Data(), "--runs", "6"});
    p.closeWriteChannel();
    ASSERT_TRUE(p.waitForFinished(60000));
    const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    // The default setup is loaded and validated first.
    EXPECT_TRUE(out.contains("Device setup ID:" + id + "\n")) << out.toStdString();
    EXPECT_TRUE(out.contains("    The port COM40 can be used\n"));
    EXPECT_LT(out.indexOf("Validation finished."), out.indexOf("Engine started"));
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

TEST_F(CliRun, AStopSignalEndsTheRunAndSaves) {
    // The setup named on the command line.
    const QString path = DemoCopy(dir, id);
    QProcess p;
    p.start(QStringLiteral(TAVLO_CLI), {"run", path, "--data-folder", lab.Data(), "--setup",
                                        lab.SetupPath("default.tdq"), "--minutes", "10"});
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

TEST_F(CliRun, RunsOnlyMeasurementsMadeForTheValidatedSetup) {
    struct TCase {
        QString MeasurementSetup;
        QString Setup; // file in Device Setups
        QString Out;   // in the output
        QString Err;   // in the error output
    };
    const QString other = lab.WriteSetup("missing.tdq", "COM41\r\n");
    const std::vector<TCase> cases = {
        {"0", "default.tdq", "Device setup ID:" + id,
         "Measurement 'Demo run' was made for device setup 0, not for the loaded one (" + id +
             "): it is not run.\nNo measurement was made for the loaded device setup; nothing is run."},
        {other, "missing.tdq", "    The port COM41 does not exist - Validation failed",
         "could not be validated; no measurement is run."},
        {id, "none.tdq", "", "No device setup " + lab.SetupPath("none.tdq")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Setup.toStdString());
        const QString path = DemoCopy(dir, c.MeasurementSetup);
        const TProcessRun r = RunProcess(QStringLiteral(TAVLO_CLI),
                                         {"run", path, "--data-folder", lab.Data(), "--setup",
                                          lab.SetupPath(c.Setup), "--runs", "1"});
        EXPECT_EQ(r.Code, 1);
        const QString out = QString::fromLocal8Bit(r.Out), err = QString::fromLocal8Bit(r.Err);
        EXPECT_TRUE(out.contains(c.Out)) << out.toStdString();
        EXPECT_TRUE(err.contains(c.Err)) << err.toStdString();
        EXPECT_FALSE(out.contains("Engine started"));
        const auto m = Load(path);
        ASSERT_TRUE(m);
        EXPECT_EQ(m->Node(0)->DataCount(), 0);
    }
}

TEST(CliRunArguments, RefusesBadArguments) {
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

// The shipped example that scripts/run.sh takes by name runs on tavlo-sim's laboratory.
TEST(CliExamples, TheResistanceExampleIsMadeForTheSimulatedLaboratory) {
    const auto m = Load(QStringLiteral(TAVLO_SOURCE_DIR "/examples/Resistance.mea"));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->DeviceSetup(), SimLabSetupID());
}
