#include <gtest/gtest.h>

#include <QFile>

#include <QVariant>

#include <cmath>

#include "tavlo/clock.h"
#include "tavlo/componenttext.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"
#include "tavlo/userinteraction.h"
#include "testutil.h"

namespace {
TMeasurementNode* AddNode(TMeasurement& m, const char* type, int points, bool active = true,
                          double firstTime = 45000) {
    auto* node = new TMeasurementNode;
    node->setObjectName(QStringLiteral("N%1").arg(++m.NodeIDCounter));
    node->NodeType = type;
    node->Active = active;
    for (int i = 0; i < points; ++i)
        node->AddData(firstTime + i / 1440.0, i, 0, 0);
    m.AddNode(node);
    return node;
}
} // namespace

TEST(Measurement, NewMeasurement) {
    TMeasurement m;
    EXPECT_EQ(m.objectName().size(), 20);
    EXPECT_EQ(m.ImpTimeout, 15);
    EXPECT_EQ(m.MultiTimeout, 15);
    EXPECT_EQ(m.Nodes->ListType, "TMeasurementNode");
    EXPECT_EQ(m.Graphs->ListType, "TRtGraph2D");
    EXPECT_EQ(m.Nodes->objectName().size(), 20);
    const QString nodesName = m.Nodes->objectName();
    m.Initialize();
    EXPECT_NE(m.Nodes->objectName(), nodesName);
    EXPECT_EQ(m.StartTime(), 0);
    EXPECT_EQ(m.MaxIndexAll(), 0);
}

TEST(Measurement, AnsiPropertiesKeepTheCodePageOnly) {
    TMeasurement m;
    m.SetCaption(QStringLiteral("Ofen \u00B0C \u20AC \u03A9"));
    EXPECT_EQ(m.Caption(), QStringLiteral("Ofen \u00B0C \u20AC ?"));
    m.setProperty("DeviceSetup", QStringLiteral("\u4E2D1"));
    EXPECT_EQ(m.DeviceSetup(), "?1");
}

TEST(Measurement, CurrentIndexAndEqualizing) {
    TMeasurement m;
    auto* a = AddNode(m, "M2", 5);
    auto* b = AddNode(m, "MV", 4);
    auto* sweep = AddNode(m, "IS", 50);
    auto* idle = AddNode(m, "ET", 2, false);
    EXPECT_EQ(m.MaxIndexNonIS(), 4);
    EXPECT_EQ(m.MaxIndexAll(), 49);
    m.EqualizeDataCountInNodes();
    EXPECT_EQ(a->DataCount(), 5);
    EXPECT_EQ(b->DataCount(), 5);
    EXPECT_EQ(idle->DataCount(), 5); // inactive nodes are padded too
    EXPECT_EQ(sweep->DataCount(), 50);
    EXPECT_EQ(b->GetData(4).Value1, 0);
    EXPECT_GT(b->GetData(4).Time, 45000);
}

TEST(Measurement, EqualizingEmptyNodesAddsNoPoints) {
    TMeasurement m;
    auto* a = AddNode(m, "M2", 0);
    auto* b = AddNode(m, "MV", 0);
    auto* idle = AddNode(m, "ET", 3, false);
    m.EqualizeDataCountInNodes();
    EXPECT_EQ(a->DataCount(), 0);
    EXPECT_EQ(b->DataCount(), 0);
    EXPECT_EQ(idle->DataCount(), 3);
    a->AddData(45000, 1, 2, 3);
    m.EqualizeDataCountInNodes();
    EXPECT_EQ(b->DataCount(), 1);
    EXPECT_EQ(idle->DataCount(), 3);
}

TEST(Measurement, StartTimeIsTheEarliestFirstPoint) {
    TMeasurement m;
    AddNode(m, "M2", 2, true, 45010);
    AddNode(m, "M2", 2, true, 45005);
    AddNode(m, "M2", 2, true, 45020);
    AddNode(m, "M2", 0);
    EXPECT_DOUBLE_EQ(m.StartTime(), 45005 - OneMillisecond);
    TMeasurement firstEmpty;
    AddNode(firstEmpty, "M2", 0);
    AddNode(firstEmpty, "M2", 3, true, 45000);
    EXPECT_DOUBLE_EQ(firstEmpty.StartTime(), -OneMillisecond); // the first node sets the start
}

TEST(Measurement, DueAndValid) {
    TMeasurement m;
    m.FrequencyLimit = 15;
    m.LastMeasured = Now() - 10.0 / MinutesPerDay;
    EXPECT_FALSE(m.LateEnoughToMeasure());
    m.LastMeasured = Now() - 16.0 / MinutesPerDay;
    EXPECT_TRUE(m.LateEnoughToMeasure());
    m.SetDeviceSetup("4711");
    m.Active = true;
    EXPECT_TRUE(m.EvaluateMeasurementValidity("4711", true));
    EXPECT_FALSE(m.EvaluateMeasurementValidity("4711", false));
    EXPECT_FALSE(m.EvaluateMeasurementValidity("4712", true));
    m.Active = false;
    EXPECT_FALSE(m.EvaluateMeasurementValidity("4711", true));
}

TEST(Measurement, SaveAndReadBack) {
    TTestFolder dir;
    TMeasurement m;
    m.SetCaption("Run 'A'");
    m.Active = true;
    m.FrequencyLimit = 2.5;
    m.GraphsAsString = QStringLiteral("[GraphSettings]\r\nTitle=\"x\"");
    m.GraphsListName = "KEEPTHISGRAPHLISTNAM";
    auto* n1 = AddNode(m, "M2", 3);
    n1->Caption = "R \"quoted\" 'single'";
    n1->GPIBBeforePoint = "*RST\r\n*CLS\r\nFUNC 'RES'\r\n:MEAS?";
    n1->AddData(45001, NAN, NAN, NAN);
    AddNode(m, "IS", 0);
    const int count = m.SaveCount;
    ASSERT_TRUE(m.Save(dir.Path("run.mea")));
    EXPECT_EQ(m.SaveCount, count + 1);
    EXPECT_EQ(m.AmountOfData, 4);
    EXPECT_EQ(m.FileLocation, dir.Path("run.mea"));
    EXPECT_EQ(m.GraphsListName, "KEEPTHISGRAPHLISTNAM");

    const QByteArray bytes = dir.Read("run.mea");
    EXPECT_TRUE(bytes.startsWith("object " + m.objectName().toLatin1() + ": TMeasurement\r\n"));
    EXPECT_TRUE(bytes.endsWith("end\r\n"));
    for (char c : bytes)
        ASSERT_TRUE(static_cast<unsigned char>(c) < 128) << "file is not plain ASCII";
    EXPECT_FALSE(bytes.contains("\n\n"));
    EXPECT_EQ(bytes.count("\n"), bytes.count("\r\n"));

    auto obj = LoadComponentFromFile(dir.Path("run.mea"));
    auto* back = qobject_cast<TMeasurement*>(obj.get());
    ASSERT_NE(back, nullptr);
    back->RetrieveNodesFromDataString();
    EXPECT_EQ(back->Caption(), "Run 'A'");
    EXPECT_EQ(back->FrequencyLimit, 2.5);
    EXPECT_EQ(back->GraphsAsString, m.GraphsAsString);
    EXPECT_EQ(back->GraphsListName, "KEEPTHISGRAPHLISTNAM");
    ASSERT_EQ(back->NodeCount(), 2);
    const TMeasurementNode* r = back->Node(0);
    EXPECT_EQ(r->objectName(), "N1");
    EXPECT_EQ(r->Caption, n1->Caption);
    EXPECT_EQ(r->GPIBBeforePoint, n1->GPIBBeforePoint);
    EXPECT_EQ(r->Measurement, back);
    ASSERT_EQ(r->DataCount(), 4);
    EXPECT_EQ(r->GetData(2).Value1, 2);
    EXPECT_TRUE(std::isnan(r->GetData(3).Value2));
    EXPECT_EQ(back->Node(1)->NodeType, "IS");
}

TEST(Measurement, WithoutNodesWritesNoNodesLine) {
    TTestFolder dir;
    TMeasurement m;
    ASSERT_TRUE(m.Save(dir.Path("empty.mea")));
    EXPECT_FALSE(dir.Read("empty.mea").contains("NodesAsString"));
    auto obj = LoadComponentFromFile(dir.Path("empty.mea"));
    auto* back = qobject_cast<TMeasurement*>(obj.get());
    ASSERT_NE(back, nullptr);
    back->RetrieveNodesFromDataString();
    EXPECT_EQ(back->NodeCount(), 0);
    EXPECT_EQ(back->StartTime(), 0);
}

TEST(Measurement, FailedSaveShowsTheMessageAndKeepsTheOldFile) {
    TRecordingUserInteraction ui;
    TUserInteractionScope scope(ui);
    TTestFolder dir;
    TMeasurement m;
    m.SetCaption("Cell 3");
    AddNode(m, "M2", 2);
    ASSERT_TRUE(m.Save(dir.Path("cell.mea")));
    const QByteArray good = dir.Read("cell.mea");

    // The target is a folder: nothing can be written there.
    const QString bad = dir.Path("folder.mea");
    QDir().mkpath(bad);
    AddNode(m, "M2", 5);
    EXPECT_FALSE(m.Save(bad));
    EXPECT_EQ(ui.Messages().value(0),
              "Measurement 'Cell 3' has not been saved because the default save location '" +
                  bad + "' is not accessible.");
    EXPECT_EQ(m.FileLocation, dir.Path("cell.mea"));
    EXPECT_EQ(dir.Read("cell.mea"), good);
    EXPECT_EQ(QDir(dir.Path()).entryList(QDir::Files), QStringList{"cell.mea"}); // no leftovers
}

TEST(Measurement, SaveNeedsANameAndAPath) {
    TMeasurement m;
    EXPECT_FALSE(m.Save(QString()));
    m.setObjectName(QString());
    TTestFolder dir;
    EXPECT_FALSE(m.Save(dir.Path("x.mea")));
    EXPECT_FALSE(QFile::exists(dir.Path("x.mea")));
}
