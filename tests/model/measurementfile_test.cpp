#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cmath>
#include <memory>

#include "tavlo/componenttext.h"
#include "tavlo/folders.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementfile.h"
#include "tavlo/measurementnode.h"
#include "tavlo/userinteraction.h"
#include "testutil.h"

namespace {
class MeasurementFile : public ::testing::Test {
protected:
    void SetUp() override { scope = std::make_unique<TUserInteractionScope>(ui); }
    TRecordingUserInteraction ui;
    std::unique_ptr<TUserInteractionScope> scope;
    TComponentObjectList open{nullptr, "TMeasurement"};
};
} // namespace

TEST_F(MeasurementFile, OlderFormatLoads) {
    QStringList progress;
    TLoadOptions options;
    options.Progress = [&](int label, const QString& text) {
        progress << QString::number(label) + ":" + text;
    };
    TMeasurement* m = LoadMeasurement(FixturePath("old_format.mea"), &open, options);
    ASSERT_NE(m, nullptr);
    EXPECT_TRUE(ui.Messages().isEmpty()) << ui.Messages().join("|").toStdString();
    EXPECT_EQ(open.Count(), 1);
    EXPECT_EQ(m->objectName(), "QWERTYUIOPASDFGHJKLZ");
    EXPECT_EQ(m->Caption(), "Old furnace run");
    EXPECT_EQ(m->FrequencyLimit, 15.0); // an integer in the file
    EXPECT_EQ(m->MultiTimeout, 20.0);
    EXPECT_EQ(m->SaveCount, 12);
    EXPECT_EQ(m->SampleArea, 0.25);
    EXPECT_EQ(m->StartCondition(), "T>800");
    EXPECT_EQ(m->FileLocation, FixturePath("old_format.mea"));
    EXPECT_EQ(progress.value(0), "1:Loading 4 points of data");
    EXPECT_EQ(progress.value(2), "2:Extract nodes from data 100 %");

    ASSERT_EQ(m->NodeCount(), 2);
    const TMeasurementNode* n1 = m->Node(0);
    EXPECT_EQ(n1->objectName(), "N1");
    EXPECT_EQ(n1->Caption, "Step * heat");
    EXPECT_EQ(n1->GPIBBeforePoint, "*CLS\r\nFUNC 'RES'");
    EXPECT_EQ(n1->Instrument, "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB");
    ASSERT_EQ(n1->DataCount(), 2);
    EXPECT_EQ(n1->GetData(0).Time, 41192.5); // comma file on a point system
    EXPECT_EQ(n1->GetData(0).Value1, 10.5);
    EXPECT_TRUE(std::isnan(n1->GetData(1).Value2));
    EXPECT_EQ(m->Node(1)->objectName(), "N3");
    EXPECT_EQ(m->Node(1)->GetData(1).Value3, 41);
    EXPECT_EQ(m->GraphsAsString, "[GraphSettings]\r\nCaption=\"Resistance\"\r\nSeries=1");
}

TEST_F(MeasurementFile, CurrentFormatLoadsAndAsksAboutTheActiveFlag) {
    ui.QueueAnswer(true);
    TMeasurement* m = LoadMeasurement(FixturePath("current_format.mea"), &open);
    ASSERT_NE(m, nullptr);
    ASSERT_EQ(ui.Questions().size(), 1);
    EXPECT_TRUE(ui.Questions().first().startsWith(
        "The measurement 'Cell 7 \u00A4 conductivity' is marked as active.\r\n\r\nIt will try"));
    EXPECT_TRUE(ui.Questions().first().endsWith(
        "etc.\r\n\r\nDo you want to make the measurement inactive?"));
    EXPECT_FALSE(m->Active); // Yes
    EXPECT_EQ(m->FrequencyLimit, 0.5);
    ASSERT_EQ(m->NodeCount(), 2);
    const TMeasurementNode* n1 = m->Node(0);
    EXPECT_EQ(n1->Caption, "Resistance \"A\"");
    EXPECT_EQ(n1->NodeType, "M4");
    EXPECT_EQ(n1->GPIBBeforePoint, "*RST\r\n:MEAS?");
    EXPECT_EQ(n1->StartExpression, "$N2.V1>800");
    EXPECT_EQ(n1->FAM, 46001.4);
    EXPECT_EQ(n1->AM1Value, 12.5f);
    EXPECT_EQ(n1->DataCount(), 2);
    EXPECT_EQ(n1->Measurement, m);
    EXPECT_EQ(m->Node(1)->GetData(0).Value3, 33);

    // Answering No keeps it active.
    TComponentObjectList other(nullptr, "TMeasurement");
    TMeasurement* again = LoadMeasurement(FixturePath("current_format.mea"), &other);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->Active);
}

TEST_F(MeasurementFile, SaveThenLoadKeepsEverything) {
    TTestFolder dir;
    TMeasurement* m = LoadMeasurement(FixturePath("old_format.mea"), &open);
    ASSERT_NE(m, nullptr);
    ASSERT_TRUE(m->Save(dir.Path("upgraded.mea")));
    EXPECT_EQ(m->SaveCount, 13);
    const QByteArray first = dir.Read("upgraded.mea");
    // The upgraded file carries escaped, named nodes.
    EXPECT_TRUE(first.contains("'object N1: TMeasurementNode'#13#10"));
    EXPECT_FALSE(first.contains("*CLS"));

    TComponentObjectList other(nullptr, "TMeasurement");
    TMeasurement* back = LoadMeasurement(dir.Path("upgraded.mea"), &other);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->NodeCount(), 2);
    EXPECT_EQ(back->Node(0)->GPIBBeforePoint, "*CLS\r\nFUNC 'RES'");
    EXPECT_EQ(back->Node(0)->Caption, "Step * heat");
    EXPECT_EQ(back->GraphsAsString, m->GraphsAsString);
    EXPECT_EQ(back->GraphsListName, "OLDGRAPHSLISTNAMEAAA");
    // Saving the reloaded measurement gives the same file again, up to the save count.
    back->SaveCount = 12;
    ASSERT_TRUE(back->Save(dir.Path("again.mea")));
    EXPECT_EQ(dir.Read("again.mea"), first);
}

TEST_F(MeasurementFile, NameInUseRenamesTheOpenMeasurement) {
    TMeasurement* first = LoadMeasurement(FixturePath("old_format.mea"), &open);
    ASSERT_NE(first, nullptr);
    TMeasurement* second = LoadMeasurement(FixturePath("old_format.mea"), &open);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(open.Count(), 2);
    EXPECT_EQ(second->objectName(), "QWERTYUIOPASDFGHJKLZ");
    EXPECT_NE(first->objectName(), "QWERTYUIOPASDFGHJKLZ");
    EXPECT_EQ(first->objectName().size(), 20);
    EXPECT_TRUE(first->FileLocation.isEmpty());
    EXPECT_EQ(ui.Messages(), QStringList{"File " + FixturePath("old_format.mea") +
                                         " is already open. To avoid conflicts, save it with "
                                         "different name."});
}

TEST_F(MeasurementFile, UnreadableFilesAddNothing) {
    TTestFolder dir;
    dir.Write("empty.mea", "");
    dir.Write("junk.mea", "this is not\r\na measurement\r\n");
    dir.Write("node.mea", "object N1: TMeasurementNode\r\nend\r\n");
    const struct {
        QString path;
        QString message;
    } cases[] = {
        {dir.Path("missing.mea"), "File '" + dir.Path("missing.mea") + "' failed to open."},
        {dir.Path("empty.mea"), "File '" + dir.Path("empty.mea") + "' failed to open."},
        {dir.Path("junk.mea"), "Opening measurement failed. Possibly an old file format"},
        {dir.Path("node.mea"), "Opening measurement failed. Possibly an old file format"},
    };
    for (const auto& c : cases) {
        TRecordingUserInteraction local;
        TUserInteractionScope s(local);
        EXPECT_EQ(LoadMeasurement(c.path, &open), nullptr);
        EXPECT_EQ(local.Messages(), QStringList{c.message});
    }
    EXPECT_EQ(open.Count(), 0);
}

TEST_F(MeasurementFile, ABrokenNodeKeepsTheNodesBeforeItAndProtectsTheFile) {
    TTestFolder dir;
    QByteArray text = dir.Read("x"); // empty
    QFile fixture(FixturePath("old_format.mea"));
    ASSERT_TRUE(fixture.open(QIODevice::ReadOnly));
    text = fixture.readAll();
    text.replace("41192.5/850/851/40.5", "41192.5/850/oops/40.5");
    dir.Write("broken.mea", text);
    TMeasurement* m = LoadMeasurement(dir.Path("broken.mea"), &open);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(ui.Messages(),
              QStringList{"Loading nodes from the measurement file failed. The file may be "
                          "corrupt, or is incompatible (newer?) version than the Tavlo trying "
                          "to open it."});
    EXPECT_EQ(m->NodeCount(), 1);
    EXPECT_TRUE(m->NodesIncomplete);
    // Its own location is forgotten so that no save overwrites the file with fewer nodes.
    EXPECT_TRUE(m->FileLocation.isEmpty());
    EXPECT_EQ(dir.Read("broken.mea"), text);
}

TEST_F(MeasurementFile, AutosaveWritesANumberedCopy) {
    TTestFolder dir;
    SetDataFolder(dir.Path());
    TMeasurement m;
    m.SetCaption("Furnace/2");
    m.SaveCount = 3;
    m.FileLocation = dir.Path("own.mea");
    ASSERT_TRUE(AutosaveMeasurement(m));
    EXPECT_EQ(m.SaveCount, 4);
    EXPECT_EQ(m.FileLocation, dir.Path("own.mea"));
    EXPECT_TRUE(QFile::exists(dir.Path("Measurements/Autosave/Furnace_2-save_3.mea")));
    EXPECT_FALSE(QFile::exists(dir.Path("own.mea")));
}
