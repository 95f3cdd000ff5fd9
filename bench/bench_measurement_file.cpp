// Saving and loading a measurement of 20 nodes x 50 000 points, beside the floor of a plain
// read of the same file plus strtod of all its numbers.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "tavlo/measurement.h"
#include "tavlo/measurementfile.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/userinteraction.h"

namespace {
constexpr int Nodes = 20;
constexpr int PointsPerNode = 50000;

std::unique_ptr<TMeasurement> MakeMeasurement(int nodes, int points) {
    auto m = std::make_unique<TMeasurement>();
    m->SetCaption("Benchmark");
    for (int n = 0; n < nodes; ++n) {
        auto* node = new TMeasurementNode;
        node->setObjectName(QStringLiteral("N%1").arg(n + 1));
        node->NodeType = "M2";
        node->GPIBBeforePoint = "*CLS\r\nFUNC 'RES'\r\n:MEAS?";
        for (int i = 0; i < points; ++i)
            node->AddData(46000.0 + i * 0.000694444, 10955.6222 + std::sin(i) * 3.5,
                          i % 7 ? 0.0 : NAN, 1e-6 * i);
        m->AddNode(node);
    }
    return m;
}

QTemporaryDir& Dir() {
    static QTemporaryDir dir;
    return dir;
}

const QString& BigFile() {
    static const QString path = [] {
        const QString p = Dir().filePath("big.mea");
        MakeMeasurement(Nodes, PointsPerNode)->Save(p);
        return p;
    }();
    return path;
}

void BM_Save(benchmark::State& state) {
    auto m = MakeMeasurement(Nodes, PointsPerNode);
    const QString path = Dir().filePath("save.mea");
    for (auto _ : state)
        benchmark::DoNotOptimize(m->Save(path));
    state.counters["points"] = Nodes * PointsPerNode;
    state.counters["MB"] = static_cast<double>(QFile(path).size()) / 1e6;
}
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Load(benchmark::State& state) {
    const QString path = BigFile();
    for (auto _ : state) {
        TLoadOptions options;
        options.AskActive = false;
        std::unique_ptr<TMeasurement> m(LoadMeasurement(path, nullptr, options));
        if (!m || m->NodeCount() != Nodes)
            state.SkipWithError("load failed");
    }
    state.counters["points"] = Nodes * PointsPerNode;
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond)->Iterations(3);

// The floor: read the bytes and convert every number in them with strtod.
void BM_ReadAndStrtodFloor(benchmark::State& state) {
    const QString path = BigFile();
    for (auto _ : state) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray bytes = f.readAll();
        const char* p = bytes.constData();
        const char* end = p + bytes.size();
        double sum = 0;
        long numbers = 0;
        while (p < end) {
            if ((*p >= '0' && *p <= '9') || *p == '-') {
                char* next = nullptr;
                const double v = std::strtod(p, &next);
                if (next > p) {
                    sum += v;
                    ++numbers;
                    p = next;
                    continue;
                }
            }
            ++p;
        }
        benchmark::DoNotOptimize(sum);
        state.counters["numbers"] = static_cast<double>(numbers);
    }
}
BENCHMARK(BM_ReadAndStrtodFloor)->Unit(benchmark::kMillisecond)->Iterations(3);

// Appending and formatting stay linear: time per point should not grow with the count.
void BM_AddData(benchmark::State& state) {
    for (auto _ : state) {
        TMeasurementNode node;
        for (int i = 0; i < state.range(0); ++i)
            node.AddData(46000.0 + i, i, 0, 0);
        benchmark::DoNotOptimize(node.DataCount());
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_AddData)->Range(1 << 12, 1 << 18)->Complexity(benchmark::oN);

void BM_DataString(benchmark::State& state) {
    TMeasurementNode node;
    for (int i = 0; i < state.range(0); ++i)
        node.AddData(46000.0 + i * 0.000694444, 10955.6222 + i, 0, NAN);
    for (auto _ : state)
        benchmark::DoNotOptimize(node.DataString());
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_DataString)->Range(1 << 12, 1 << 18)->Complexity(benchmark::oN);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SetDecimalSeparator(u'.');
    TRecordingUserInteraction ui;
    SetUserInteraction(&ui);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    SetUserInteraction(nullptr);
    return 0;
}
