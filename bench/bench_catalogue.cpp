// Cost of the catalogue's text work: device lines, identification, default command texts,
// command-list lines and reading replies.
#include "tavlo/catalogue.h"
#include "tavlo/commandlist.h"
#include "tavlo/device.h"
#include "tavlo/measurementnode.h"
#include "tavlo/readings.h"

#include <QLoggingCategory>

#include <benchmark/benchmark.h>

namespace {
void BM_DeviceLine(benchmark::State& state) {
    const QString line = QStringLiteral("Multimeter K2000 COM33 ADDR:12 EOS:2 GPIB IDN?:KEITHLEY "
                                        "INSTRUMENTS INC.,MODEL 2000,1187302,A20  /A02");
    for (auto _ : state)
        benchmark::DoNotOptimize(TDevice::FromLine(line));
}
BENCHMARK(BM_DeviceLine);

void BM_IdentifyRole(benchmark::State& state) {
    const QString answer = QStringLiteral("SOLARTRON,1260 IMPEDANCE ANALYZER,0,V2.4");
    for (auto _ : state)
        benchmark::DoNotOptimize(IdentifyRole(answer));
}
BENCHMARK(BM_IdentifyRole);

void BM_DefaultCommands(benchmark::State& state) {
    TDevice device;
    device.IDString = QStringLiteral("K6514(Electrometer)");
    for (auto _ : state)
        benchmark::DoNotOptimize(DefaultCommands(device, QStringLiteral("MV"), 1));
}
BENCHMARK(BM_DefaultCommands);

void BM_CommandLine(benchmark::State& state) {
    const QString line = QStringLiteral(":SENS:VOLT:NPLC 10              // Integration 10 cycles");
    for (auto _ : state)
        benchmark::DoNotOptimize(ParseCommandLine(line));
}
BENCHMARK(BM_CommandLine);

void BM_ParseReading(benchmark::State& state) {
    TMeasurementNode node;
    node.NodeType = QStringLiteral("M2");
    const QString reply = QStringLiteral("+1.00250000E+02");
    for (auto _ : state) {
        TReadingValues values;
        benchmark::DoNotOptimize(ParseReading(node, QStringLiteral("K2000"), reply, values));
    }
}
BENCHMARK(BM_ParseReading);

void BM_ParseFreeReading(benchmark::State& state) {
    TMeasurementNode node;
    node.NodeType = QStringLiteral("GF");
    node.GPIBFreeExp = QStringLiteral("[-+]?\\d+\\.\\d+E[-+]\\d+");
    const QString reply = QStringLiteral("+1.000000E+01,+4.000000E-09,+1.000000E+01");
    for (auto _ : state) {
        TReadingValues values;
        benchmark::DoNotOptimize(ParseReading(node, QStringLiteral("K2000"), reply, values));
    }
}
BENCHMARK(BM_ParseFreeReading);

void BM_ParseImpedanceReply(benchmark::State& state) {
    const QString reply = QStringLiteral("NG+9.9990E-04,NB-1.2340E-05,K+00010.000");
    for (auto _ : state) {
        double r = 0, x = 0, f = 0;
        benchmark::DoNotOptimize(ParseImpedanceReply(QStringLiteral("HP4192A"), reply, 1e4, r, x, f));
    }
}
BENCHMARK(BM_ParseImpedanceReply);
} // namespace

int main(int argc, char** argv) {
    QLoggingCategory::setFilterRules(QStringLiteral("*=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
