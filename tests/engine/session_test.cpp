#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <cmath>

#include "enginetest.h"
#include "tavlo/folders.h"
#include "tavlo/log.h"
#include "tavlo/mainthread.h"
#include "tavlo/rtfunctionseries.h"
#include "tavlo/rtgraph.h"
#include "tavlo/rtseries.h"
#include "tavlo/rtvector.h"
#include "tavlo/userinteraction.h"
#include "testutil.h"

namespace {
class Session : public ::testing::Test {
protected:
    void SetUp() override {
        scope = std::make_unique<TUserInteractionScope>(ui);
        SetDataFolder(dir.Path());
        session.SetDeviceSetupID("4711");
        session.SetDevicesValidated(true);
        session.LastAutosave = Now(); // no autosave unless a test asks for it
    }
    QStringList RunLogWith(const QString& fragment) const {
        return session.RunLog().filter(fragment);
    }
    TTestFolder dir;
    TRecordingUserInteraction ui;
    std::unique_ptr<TUserInteractionScope> scope;
    TTavloSession session;
};
} // namespace

TEST_F(Session, TwoDueMeasurementsShareOneRunInMeasurementThenNodeOrder) {
    TMeasurement* b = AddMeasurement(session, "Beta");
    TMeasurement* a = AddMeasurement(session, "Alpha");
    AddNode(*b, "b2");
    AddNode(*b, "b1");
    AddNode(*a, "a1");
    ASSERT_TRUE(OneRun(session));
    EXPECT_EQ(session.CompletedRuns, 1);
    EXPECT_EQ(RunLogWith("Engine started with").value(0), "Engine started with 3 nodes.");
    const QStringList order = RunLogWith("**Node       : ");
    ASSERT_EQ(order.size(), 3);
    EXPECT_TRUE(order[0].endsWith(": a1"));
    EXPECT_TRUE(order[1].endsWith(": b1"));
    EXPECT_TRUE(order[2].endsWith(": b2"));
    // Feedback lines carry their time.
    EXPECT_TRUE(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d:\\d\\d\\d : ").match(order[0]).hasMatch());
    for (TMeasurement* m : {a, b}) {
        EXPECT_NEAR(m->LastMeasured, Now(), 5.0 / SecondsPerDay);
        for (int i = 0; i < m->NodeCount(); ++i) {
            ASSERT_EQ(m->Node(i)->DataCount(), 1);
            EXPECT_TRUE(std::isnan(m->Node(i)->GetData(0).Value1));
        }
    }
    EXPECT_TRUE(ui.StatusHistory().contains("Idle"));
}

TEST_F(Session, FrequencyLimitAndTheSkipNoticeOnce) {
    TMeasurement* m = AddMeasurement(session, "Slow");
    m->FrequencyLimit = 5;
    AddNode(*m, "n");
    ASSERT_TRUE(OneRun(session));
    for (int i = 0; i < 3; ++i) {
        session.EngineTick();
        EXPECT_EQ(session.CurrentEngine(), nullptr);
    }
    EXPECT_EQ(m->Node(0)->DataCount(), 1);
    EXPECT_EQ(RunLogWith("Skipping measurement 'Slow' Check: Is it marked active, what is the "
                         "frequency limit, if device setup IDs match, are devices validated")
                  .size(),
              1);
    // Five minutes later it runs again.
    m->LastMeasured = Now() - 5.1 / MinutesPerDay;
    ASSERT_TRUE(OneRun(session));
    EXPECT_EQ(m->Node(0)->DataCount(), 2);
}

TEST_F(Session, OnlyMatchingAndValidatedSetupsRun) {
    TMeasurement* m = AddMeasurement(session, "Other setup");
    AddNode(*m, "n");
    m->SetDeviceSetup("999");
    session.EngineTick();
    EXPECT_EQ(session.CurrentEngine(), nullptr);
    m->SetDeviceSetup("4711");
    session.SetDevicesValidated(false);
    session.EngineTick();
    EXPECT_EQ(session.CurrentEngine(), nullptr);
    session.SetDevicesValidated(true);
    ASSERT_TRUE(OneRun(session));
}

TEST_F(Session, HeldBackNodesKeepTheIndexAligned) {
    TMeasurement* m = AddMeasurement(session, "Held");
    TMeasurementNode* stopped = AddNode(*m, "stopped", "M2");
    stopped->Instrument = "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB";
    stopped->StopExpression = "1";
    TMeasurementNode* sweep = AddNode(*m, "sweep", "IS");
    sweep->StartExpression = "0";
    TMeasurementNode* nanStop = AddNode(*m, "nan stop", "M2");
    nanStop->StopExpression = "$N9.V1"; // cannot be evaluated: NaN holds back
    TLogCapture log;
    for (int tick = 0; tick < 3; ++tick) {
        session.EngineTick();
        EXPECT_EQ(session.CurrentEngine(), nullptr);
    }
    EXPECT_EQ(stopped->DataCount(), 3);
    EXPECT_TRUE(std::isnan(stopped->GetData(2).Value1));
    EXPECT_EQ(sweep->DataCount(), 0);
    EXPECT_EQ(nanStop->DataCount(), 3);
    EXPECT_EQ(stopped->FAM, -1); // never executed
    EXPECT_TRUE(log.Contains("stopped start or end condition does prevent measurement."));
    EXPECT_TRUE(log.Contains("Stop  evaluated  : 1"));
    EXPECT_TRUE(log.Contains("Used index       : "));
    EXPECT_NEAR(m->LastMeasured, Now(), 5.0 / SecondsPerDay);
}

TEST_F(Session, NodesWithoutTypeOrInstrumentAreNotRun) {
    TMeasurement* m = AddMeasurement(session, "Incomplete");
    TMeasurementNode* untyped = AddNode(*m, "untyped", "");
    TMeasurementNode* bare = AddNode(*m, "bare", "MV");
    TLogCapture log;
    session.EngineTick();
    EXPECT_EQ(session.CurrentEngine(), nullptr);
    EXPECT_TRUE(log.Contains("untyped no node type defined."));
    EXPECT_TRUE(log.Contains("bare no instrument defined."));
    EXPECT_TRUE(log.Contains("  First ever node execution, time noted"));
    EXPECT_NE(untyped->FAM, -1);
    EXPECT_NEAR(bare->LAM, Now(), 5.0 / SecondsPerDay);
}

TEST_F(Session, NodeStatusAndFreeingTheFinishedRun) {
    TMeasurement* m = AddMeasurement(session, "Single");
    AddNode(*m, "only")->Instrument = "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB";
    session.EngineTick();
    ASSERT_NE(session.CurrentEngine(), nullptr);
    ASSERT_TRUE(RunUntil([&] { return session.CurrentEngine()->FinishedMeasuring.load(); }));
    EXPECT_NE(session.CurrentEngine(), nullptr); // not before the next tick
    session.EngineTick();
    EXPECT_EQ(session.CurrentEngine(), nullptr);
    bool found = false;
    for (const QString& s : ui.StatusHistory())
        found = found || s == "Instrument:K2000 *** Measurement:Single *** Node:only *** Type:AU *** Nodecount:1/1";
    EXPECT_TRUE(found) << ui.StatusHistory().join("\n").toStdString();
    EXPECT_EQ(ui.StatusHistory().last(), "Idle");
    EXPECT_EQ(RunLogWith("Instrument InterfaceType GPIB").size(), 1);
}

TEST_F(Session, ClosingAMeasurementDuringARunIsSafe) {
    TMeasurement* closing = AddMeasurement(session, "Closing");
    AddNode(*closing, "gone");
    TMeasurement* staying = AddMeasurement(session, "Staying");
    TMeasurementNode* kept = AddNode(*staying, "kept");
    TMeasurementNode* deleted = AddNode(*staying, "deleted");
    session.EngineTick();
    ASSERT_NE(session.CurrentEngine(), nullptr);
    // The engine waits for its first status request; meanwhile the user closes and deletes.
    session.CloseMeasurement(closing);
    delete deleted;
    ASSERT_TRUE(RunUntil([&] { return session.CurrentEngine()->FinishedMeasuring.load(); }));
    session.EngineTick();
    EXPECT_EQ(session.MeasurementsList->Count(), 1);
    EXPECT_EQ(kept->DataCount(), 1);
}

TEST_F(Session, ResultsFollowTheirMeasurementWhenAnotherTakesItsName) {
    TMeasurement* first = AddMeasurement(session, "First");
    TMeasurementNode* node = AddNode(*first, "n");
    session.EngineTick();
    ASSERT_NE(session.CurrentEngine(), nullptr);
    // While the run goes on, the open measurement is renamed (as loading a file of the same
    // name does) and a new one takes the old name.
    const QString name = first->objectName();
    first->setObjectName("RENAMEDRENAMEDRENAME");
    TMeasurement* second = AddMeasurement(session, "Second");
    second->setObjectName(name);
    TMeasurementNode* other = AddNode(*second, "n");
    ASSERT_TRUE(RunUntil([&] { return session.CurrentEngine()->FinishedMeasuring.load(); }));
    session.EngineTick();
    EXPECT_EQ(node->DataCount(), 1);
    EXPECT_EQ(other->DataCount(), 0);
}

TEST_F(Session, SweepPointsGoToTheNodeAtOnceAndTheAbortFlagStopsTheSweep) {
    // A sweep step as the instrument code runs it: one point per frequency.
    RegisterInstrumentSteps();
    const TMeasuringEngine::TNodeStep realSweep = TMeasuringEngine::NodeStep("IS");
    TMeasuringEngine::RegisterNodeStep("IS", [](TMeasuringEngine& engine, TMeasurementNode& node) {
        double f = node.SweepStartHz;
        for (int i = 0; i < node.SweepPoints; ++i) {
            if (engine.Abort)
                return;
            engine.PendingTarget = node.Origin;
            engine.PendingMeasurementName = node.MeasurementName;
            engine.PendingPoint = {Now(), 100.0 + i, -10.0, f};
            engine.PendingFlag = true;
            engine.RequestReturnSweepPoint();
            f *= node.SweepStep;
        }
        node.SweepFinished = true;
    });
    TMeasurement* m = AddMeasurement(session, "Sweep");
    TMeasurementNode* first = AddNode(*m, "a first", "IS");
    first->Instrument = "Analyser";
    first->SweepStartHz = 1e6;
    first->SweepPoints = 3;
    first->SweepStep = 0.1;
    TMeasurementNode* second = AddNode(*m, "b second", "IS");
    second->Instrument = "Analyser";
    second->SweepPoints = 4;
    second->SweepStep = 0.5;
    ASSERT_TRUE(OneRun(session));
    ASSERT_EQ(first->DataCount(), 3);
    EXPECT_EQ(first->GetData(0).Value3, 1e6);
    EXPECT_DOUBLE_EQ(first->GetData(2).Value3, 1e4);
    EXPECT_TRUE(first->SweepFinished);
    EXPECT_EQ(second->DataCount(), 4);
    // A finished sweep is not run again.
    first->SweepFinished = false;
    second->Active = false;
    // Made inactive during the sweep: the run's abort flag stops it after that point.
    TMeasuringEngine::RegisterNodeStep("IS", [](TMeasuringEngine& engine, TMeasurementNode& node) {
        for (int i = 0; i < node.SweepPoints && !engine.Abort; ++i) {
            engine.PendingTarget = node.Origin;
            engine.PendingMeasurementName = node.MeasurementName;
            engine.PendingPoint = {Now(), 1, 2, 3};
            engine.PendingFlag = true;
            if (i == 0)
                RunInMainThread([&] { node.Origin->Active = false; });
            engine.RequestReturnSweepPoint();
        }
    });
    second->Active = true;
    second->SweepFinished = false;
    ASSERT_TRUE(OneRun(session));
    EXPECT_EQ(first->DataCount(), 4); // one more point, then the abort
    EXPECT_TRUE(first->SweepFinished);
    // The next sweep of the same run is not stopped by it.
    EXPECT_EQ(second->DataCount(), 4 + 1);
    EXPECT_FALSE(second->Active);
    TMeasuringEngine::RegisterNodeStep("IS", realSweep);
}

TEST_F(Session, FirstTickAutosavesEverything) {
    session.LastAutosave = 0;
    TMeasurement* saved = AddMeasurement(session, "Saved");
    saved->Active = false;
    saved->SaveCount = 3;
    ASSERT_TRUE(saved->Save(dir.Path("saved.mea"))); // SaveCount 4
    TMeasurement* fresh = AddMeasurement(session, "Fresh");
    fresh->Active = false;
    session.EngineTick();
    EXPECT_NEAR(session.LastAutosave, Now(), 5.0 / SecondsPerDay);
    EXPECT_TRUE(QFile::exists(dir.Path("Measurements/Autosave/Saved-save_4.mea")));
    EXPECT_TRUE(QFile::exists(dir.Path("Measurements/Autosave/Fresh-save_0.mea")));
    EXPECT_EQ(dir.Read("Utility/MeasurementsOpen.txt"), (dir.Path("saved.mea") + "\r\n").toLocal8Bit());
    EXPECT_EQ(saved->FileLocation, dir.Path("saved.mea"));
    // Autosave advanced the count once; the save to its own file did not.
    EXPECT_EQ(saved->SaveCount, 5);
    EXPECT_EQ(fresh->SaveCount, 1);
    EXPECT_TRUE(ui.StatusHistory().contains("Autosaving.."));
    EXPECT_EQ(ui.BusyDepth(), 0);
    // An hour later, not before.
    session.EngineTick();
    EXPECT_FALSE(QFile::exists(dir.Path("Measurements/Autosave/Fresh-save_1.mea")));
}

TEST_F(Session, DefaultDeviceSetupGivesTheIdentityButNotValidation) {
    EXPECT_FALSE(session.LoadDefaultDeviceSetup()); // none yet
    dir.Write("Device Setups/default.tdq", "COM5\r\n\tEurotherm 3208 COM5 ADDR:1\r\n");
    ASSERT_TRUE(session.LoadDefaultDeviceSetup());
    EXPECT_EQ(session.DeviceSetupID(), session.DeviceTree.DeviceSetupID());
    EXPECT_FALSE(session.DevicesValidated());
    EXPECT_EQ(session.DeviceMemo().last(), "Note that any loaded setup (including default.tdq) "
                                           "requires validation before the devices can be used.");
    dir.Write("broken.tdq", "\t\tno parent\r\n");
    EXPECT_FALSE(session.LoadDeviceSetup(dir.Path("broken.tdq")));
    EXPECT_EQ(session.DeviceTree.Count(), 2); // the loaded tree stays
}

TEST_F(Session, ShutdownWaitsForARunningEngine) {
    auto* own = new TTavloSession;
    own->SetDeviceSetupID("4711");
    own->SetDevicesValidated(true);
    own->LastAutosave = Now();
    AddNode(*AddMeasurement(*own, "Last"), "n");
    own->EngineTick();
    ASSERT_NE(own->CurrentEngine(), nullptr);
    delete own; // waits, running the engine's requests, then frees everything
    SUCCEED();
}

TEST_F(Session, SeriesGainOnePointPerRun) {
    int reading = 0;
    RegisterInstrumentSteps();
    const TMeasuringEngine::TNodeStep realStep = TMeasuringEngine::NodeStep("MV");
    TMeasuringEngine::RegisterNodeStep("MV", [&reading](TMeasuringEngine&, TMeasurementNode& node) {
        node.AddData(Now(), ++reading, 0, 0); // one run at a time: no race
    });
    TMeasurement* m = AddMeasurement(session, "Plot");
    TMeasurementNode* volts = AddNode(*m, "volts", "MV");
    volts->Instrument = "Voltmeter";
    AddNode(*m, "nan", "AU");
    auto* graph = new TRtGraph2D;
    m->Graphs->Add(graph);
    auto makeSeries = [&](const char* name, const char* x, const char* y) {
        auto* s = new TRtPointSeries(graph);
        s->setObjectName(name);
        s->Caption = name;
        s->SetXData(new TRtDoubleVector(graph));
        s->SetYData(new TRtDoubleVector(graph));
        s->SetXExpression(x);
        s->SetYExpression(y);
        auto* r = new TRtLinearRegression(s);
        r->setObjectName(QString::fromLatin1(name) + "R");
        r->SetXData(s->XData());
        r->SetYData(s->YData());
        return s;
    };
    TRtPointSeries* good = makeSeries("good", "$I", "$N1.V1*2");
    TRtPointSeries* missing = makeSeries("missing", "$I", "$N2.V1");
    TRtPointSeries* broken = makeSeries("broken", "$N9.V1", "$N1.V1");
    TLogCapture log;
    for (int run = 0; run < 3; ++run)
        ASSERT_TRUE(OneRun(session));
    ASSERT_EQ(good->Count(), 3);
    EXPECT_EQ(good->YData()->GetValue(0), 2);
    EXPECT_EQ(good->YData()->GetValue(2), 6);
    EXPECT_EQ(good->XData()->GetValue(2), 2);
    EXPECT_TRUE(good->ExpressionsValid);
    EXPECT_DOUBLE_EQ(good->Regression()->Slope, 2);
    EXPECT_EQ(good->Regression()->Caption, "LR: good (.LRA=2 .LRB=2)");
    EXPECT_EQ(missing->Count(), 0); // NaN values are not plotted
    EXPECT_TRUE(missing->ExpressionsValid);
    EXPECT_EQ(broken->Count(), 0);
    EXPECT_FALSE(broken->ExpressionsValid);
    EXPECT_TRUE(log.Contains("Serie: broken"));
    EXPECT_TRUE(log.Contains("  -> Expressions failed to validate"));
    // Changed expressions empty the series at the next update.
    good->SetYExpression("$N1.V1");
    ASSERT_TRUE(OneRun(session));
    ASSERT_EQ(good->Count(), 1);
    EXPECT_EQ(good->YData()->GetValue(0), 4);
    TMeasuringEngine::RegisterNodeStep("MV", realStep);
}
