// Substituting and evaluating expressions against a measurement of 30 nodes x 100 000 points.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cmath>
#include <memory>

#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/rtfunctionseries.h"
#include "tavlo/rtgraph.h"
#include "tavlo/rtseries.h"
#include "tavlo/rtvector.h"
#include "tavlo/variables.h"

namespace {
constexpr int Nodes = 30;
constexpr int Points = 100000;

TMeasurement& Measurement() {
    static std::unique_ptr<TMeasurement> m = [] {
        auto m = std::make_unique<TMeasurement>();
        const char* types[] = {"M2", "ET", "IS", "MV", "FL", "OX"};
        for (int n = 0; n < Nodes; ++n) {
            auto* node = new TMeasurementNode;
            node->setObjectName(QStringLiteral("N%1").arg(n + 1));
            node->NodeType = types[n % 6];
            node->Active = true;
            for (int i = 0; i < Points; ++i)
                node->AddData(46000.0 + i / 1440.0, 1000 + std::sin(i * 0.01) * 50, i * 0.5, 3);
            m->AddNode(node);
        }
        m->SerieIDCounter = 1;
        auto* graph = new TRtGraph2D;
        m->Graphs->Add(graph);
        auto* x = new TRtDoubleVector(graph);
        auto* y = new TRtDoubleVector(graph);
        auto* s = new TRtPointSeries(graph);
        s->setObjectName("S_A");
        s->ExpressionVariable = "$S1";
        s->SetXData(x);
        s->SetYData(y);
        auto* r = new TRtLinearRegression(s);
        r->setObjectName("S_AR");
        r->SetXData(x);
        r->SetYData(y);
        for (int i = 0; i < Points; ++i) {
            x->Add(i);
            y->Add(2.0 * i + 1);
        }
        return m;
    }();
    return *m;
}

void Substitute(benchmark::State& state, const char* expression) {
    TMeasurement& m = Measurement();
    const QString text = QString::fromLatin1(expression);
    int I = 5000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SubstituteVariables(m, nullptr, I, text));
        I = (I + 1) % Points;
    }
}

void Evaluate(benchmark::State& state, const char* expression) {
    TMeasurement& m = Measurement();
    const QString text = QString::fromLatin1(expression);
    int I = 5000;
    for (auto _ : state) {
        benchmark::DoNotOptimize(EvaluateExpressionAt(m, I, text));
        I = (I + 1) % Points;
    }
}

BENCHMARK_CAPTURE(Substitute, series_y, "$N2.ET*1.5+$N27.V1/1000");
BENCHMARK_CAPTURE(Substitute, start_condition, "($N1.TM>30)*($N2.ET>845)*($N30.V2<10000)");
BENCHMARK_CAPTURE(Substitute, index_only, "$I*2");
BENCHMARK_CAPTURE(Substitute, impedance, "$N3.Z*$N3.CP+$N3.PA2");
BENCHMARK_CAPTURE(Substitute, max1, "$N1.MAX1");
BENCHMARK_CAPTURE(Substitute, series_stats, "$S1.YAV+$S1.LRB");
BENCHMARK_CAPTURE(Evaluate, series_y, "$N2.ET*1.5+$N27.V1/1000");
BENCHMARK_CAPTURE(Evaluate, start_condition, "($N1.TM>30)*($N2.ET>845)*($N30.V2<10000)");
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SetDecimalSeparator(u'.');
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
