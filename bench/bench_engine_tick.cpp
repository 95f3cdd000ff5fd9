// The 100 ms tick: with nothing due, and preparing a run of 20 due nodes.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLoggingCategory>

#include "tavlo/clock.h"
#include "tavlo/engine.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/session.h"
#include "tavlo/userinteraction.h"

namespace {

void Fill(TTavloSession& session, int measurements, int nodes, bool due) {
    for (int k = 0; k < measurements; ++k) {
        auto* m = new TMeasurement;
        m->SetCaption(QStringLiteral("M%1").arg(k));
        m->Active = true;
        m->SetDeviceSetup("1");
        m->FrequencyLimit = due ? 0 : 60;
        m->LastMeasured = due ? 0 : Now();
        for (int n = 0; n < nodes; ++n) {
            auto* node = new TMeasurementNode;
            node->setObjectName(QStringLiteral("N%1").arg(n + 1));
            node->NodeType = "AU";
            node->Active = true;
            node->StartExpression = "$N1.V1>=0";
            node->StopExpression = "$I>100000";
            for (int i = 0; i < 1000; ++i)
                node->AddData(46000 + i / 1440.0, i, 0, 0);
            m->AddNode(node);
        }
        session.AddMeasurement(m);
    }
    session.SetDeviceSetupID("1");
    session.SetDevicesValidated(true);
    session.LastAutosave = Now();
}

void BM_TickNothingDue(benchmark::State& state) {
    TTavloSession session;
    Fill(session, 10, 20, false);
    session.EngineTick(); // the one-time skip notices
    for (auto _ : state)
        session.EngineTick();
}
BENCHMARK(BM_TickNothingDue);

void BM_TickPreparing20DueNodes(benchmark::State& state) {
    TTavloSession session;
    Fill(session, 1, 20, true);
    for (auto _ : state) {
        session.EngineTick(); // evaluates, copies and starts the run
        state.PauseTiming();
        while (session.CurrentEngine() && !session.CurrentEngine()->FinishedMeasuring)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        session.EngineTick(); // frees it
        for (int i = 0; i < 20; ++i) // keep the node lengths constant
            session.MeasurementsList->Item<TMeasurement>(0)->Node(i)->DataSize(1000);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_TickPreparing20DueNodes)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SetDecimalSeparator(u'.');
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
    TRecordingUserInteraction ui;
    SetUserInteraction(&ui);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SetUserInteraction(nullptr);
    return 0;
}
