#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "tavlo/measurement.h"
#include "tavlo/measurementfile.h"
#include "tavlo/measurementnode.h"
#include "tavlo/userinteraction.h"
#include "testutil.h"

namespace {
using TRun = TProcessRun;

TRun Cli(const QStringList& args) { return RunProcess(QStringLiteral(TAVLO_CLI), args); }
} // namespace

TEST(CliMeasurement, InfoListsPropertiesAndNodes) {
    const TRun r = Cli({"info", FixturePath("old_format.mea")});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    const QString out = QString::fromLocal8Bit(r.Out);
    EXPECT_TRUE(out.contains("Measurement: Old furnace run\n"));
    EXPECT_TRUE(out.contains("Component: QWERTYUIOPASDFGHJKLZ\n"));
    EXPECT_TRUE(out.contains("  FrequencyLimit = 15\n"));
    EXPECT_TRUE(out.contains("Nodes: 2\n"));
    EXPECT_TRUE(out.contains("  N1  type M2  caption 'Step * heat'  active  2 points\n"));
    EXPECT_TRUE(out.contains("  N3  type ET  caption 'Oven'  inactive  2 points\n"));
}

TEST(CliMeasurement, DumpIsJsonWithEveryPoint) {
    const TRun r = Cli({"dump", FixturePath("old_format.mea")});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(r.Out, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    const QJsonObject root = doc.object();
    EXPECT_EQ(root["name"].toString(), "QWERTYUIOPASDFGHJKLZ");
    EXPECT_EQ(root["class"].toString(), "TMeasurement");
    EXPECT_EQ(root["properties"].toObject()["Caption"].toString(), "Old furnace run");
    EXPECT_EQ(root["properties"].toObject()["SaveCount"].toInt(), 12);
    EXPECT_FALSE(root["properties"].toObject().contains("NodesAsString"));
    const QJsonArray nodes = root["nodes"].toArray();
    ASSERT_EQ(nodes.size(), 2);
    const QJsonObject n1 = nodes[0].toObject();
    EXPECT_EQ(n1["name"].toString(), "N1");
    EXPECT_EQ(n1["properties"].toObject()["GPIBBeforePoint"].toString(), "*CLS\r\nFUNC 'RES'");
    EXPECT_TRUE(n1["properties"].toObject()["Active"].toBool());
    const QJsonArray points = n1["points"].toArray();
    ASSERT_EQ(points.size(), 2);
    EXPECT_EQ(points[0].toArray()[0].toDouble(), 41192.5);
    EXPECT_EQ(points[0].toArray()[1].toDouble(), 10.5);
    EXPECT_TRUE(points[1].toArray()[2].isNull()); // NaN
    // 17 significant digits: the double comes back exactly.
    EXPECT_EQ(root["properties"].toObject()["LastMeasured"].toDouble(), 41192.68600215277);
}

TEST(CliMeasurement, ResaveUpgradesTheFile) {
    TTestFolder dir;
    const TRun r = Cli({"resave", FixturePath("old_format.mea"), dir.Path("new.mea")});
    ASSERT_EQ(r.Code, 0) << r.Err.toStdString();
    EXPECT_TRUE(dir.Read("new.mea").contains("'object N1: TMeasurementNode'"));
    TRecordingUserInteraction ui;
    TUserInteractionScope scope(ui);
    TLoadOptions options;
    options.AskActive = false;
    std::unique_ptr<TMeasurement> m(LoadMeasurement(dir.Path("new.mea"), nullptr, options));
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->NodeCount(), 2);
    EXPECT_EQ(m->SaveCount, 13);
}

TEST(CliMeasurement, FailuresGoToStderrWithANonZeroExit) {
    TTestFolder dir;
    dir.Write("junk.mea", "not a measurement\r\n");
    QByteArray broken = TTestFolder().Read("x");
    {
        QFile f(FixturePath("old_format.mea"));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        broken = f.readAll().replace("41192.5/850/851/40.5", "41192.5/850/x/40.5");
    }
    dir.Write("broken.mea", broken);
    const struct {
        QStringList args;
        const char* message;
    } cases[] = {
        {{"info", dir.Path("missing.mea")}, "failed to open."},
        {{"dump", dir.Path("junk.mea")}, "Opening measurement failed. Possibly an old file format"},
        {{"resave", dir.Path("broken.mea"), dir.Path("out.mea")}, "Loading nodes from the measurement file failed."},
        {{"info"}, "usage: tavlo-cli info FILE.mea"},
        {{"frobnicate"}, "unknown command: frobnicate"},
    };
    for (const auto& c : cases) {
        const TRun r = Cli(c.args);
        EXPECT_NE(r.Code, 0) << c.message;
        EXPECT_TRUE(r.Err.contains(c.message)) << r.Err.toStdString();
    }
    // A measurement that did not load completely is not written anywhere.
    EXPECT_FALSE(QFile::exists(dir.Path("out.mea")));
}

TEST(CliMeasurement, EvalAtAnIndexOfAMeasurement) {
    const struct {
        QStringList args;
        int code;
        const char* out;
        const char* err;
    } cases[] = {
        {{"eval", "--measurement", FixturePath("variables.mea"), "--index", "0", "$N1.V1*2+$N3.ET"},
         0, "(2.5)*2+(850)\n855\n", ""},
        // Without --index: the measurement's current index (2, where N1.V1 is NaN).
        {{"eval", "--measurement", FixturePath("variables.mea"), "$N1.V1"}, 1, "(NAN)\n",
         "Exception class name"},
        {{"eval", "--measurement", FixturePath("variables.mea"), "--index", "1", "$N9.V1"}, 1,
         "$N9.V1\n", "EbcParserError"},
        {{"eval", "--measurement", FixturePath("variables.mea"), "--index", "x", "1"}, 2, "",
         "--index needs a whole number"},
        {{"eval", "--index", "1", "1"}, 2, "", "usage: tavlo-cli eval"},
        {{"eval", "--measurement", "/no/such.mea", "1"}, 1, "", "failed to open."},
    };
    for (const auto& c : cases) {
        const TRun r = Cli(c.args);
        EXPECT_EQ(r.Code, c.code) << c.args.join(' ').toStdString() << r.Err.toStdString();
        EXPECT_EQ(r.Out, QByteArray(c.out)) << c.args.join(' ').toStdString();
        EXPECT_TRUE(r.Err.contains(c.err)) << r.Err.toStdString();
    }
}
