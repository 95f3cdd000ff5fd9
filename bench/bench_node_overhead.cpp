// One node step against the in-process simulated laboratory: its wall time against the
// waits the protocol prescribes (sleeps, poll intervals, the instrument's own measuring time).
//
// Counters per node execution:
//   wall_s        the step's wall time
//   prescribed_s  the sum of the prescribed waits along the step's path (below)
//   gaps_s        the serial layer's 20 ms read-interval time-out after each awaited reply
//   overhead_pct  (wall - prescribed) / prescribed
//   residual_pct  (wall - prescribed - gaps) / prescribed: transfers, port set-up, the code
//   points        points stored per execution (the step did its work)
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <cmath>
#include <memory>

#include "tavlo/clock.h"
#include "tavlo/engine.h"
#include "tavlo/folders.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/session.h"
#include "tavlo/userinteraction.h"
#include "tavlosim/modbuslab.h"
#include "tavlosim/simanalysers.h"
#include "tavlosim/simlab.h"
#include "tavlosim/standardlab.h"

namespace {

// The waits of the protocol, in seconds.
// Serial layer: an awaited reply costs two poll intervals (the check before the first sleep
// sees nothing yet; the byte seen is taken one interval later), then a read that ends 20 ms
// after the last byte.
constexpr double ReadGap = 0.020;
double Awaited(double poll) { return 2 * poll; }
// GPIB adapter of the instrument frame: poll interval 250 ms; "++eoi" between two 50 ms
// pauses; "++addr" set and read back between 50 ms pauses until confirmed after >= 1 s.
constexpr double FramePoll = 0.250;
constexpr double EoiSetting = 0.100;
double AddressRounds() { return std::ceil(1.0 / (0.100 + Awaited(FramePoll))); }
double AddressConfirmation() { return AddressRounds() * (0.100 + Awaited(FramePoll)); }
// The result step: 100 ms poll interval, rounds of 100 + 200 ms then "++spoll"; 100 ms; the
// read.
constexpr double ResultPoll = 0.100;
double ResultStep(double instrumentSeconds) {
    const double round = 0.300 + Awaited(ResultPoll);
    // The instrument's measuring time counts where it outlasts the pause before a poll.
    const double rounds = 1 + std::ceil(std::max(0.0, instrumentSeconds - 0.300) / round);
    return rounds * round + 0.100 + Awaited(ResultPoll);
}
// Eurotherm transactions keep the 333 ms poll interval; ET reads PV, WSP and OP; a segment
// is five 250 ms pauses around two writes and two read-backs.
constexpr double ModbusPoll = 0.333;
constexpr double EtRead = 3 * 2 * ModbusPoll;
constexpr double SegmentApply = 5 * 0.250 + 2 * 2 * ModbusPoll;
// Hioki point: 1 s settling, 250 ms, "++spoll" rounds (250 ms between unready ones), the read.
double HiokiPoint(double instrumentSeconds) {
    const double round = Awaited(FramePoll) + 0.250;
    const double rounds = 1 + std::ceil(std::max(0.0, instrumentSeconds - 0.250) / round);
    return 1.000 + 0.250 + rounds * Awaited(FramePoll) + (rounds - 1) * 0.250 + Awaited(FramePoll);
}

// The laboratory of tavlo-sim and a session over it, for the whole benchmark run.
struct TBenchLab {
    QTemporaryDir Dir;
    TSimLab Lab;
    TStandardLab Standard;
    TModbusLab Modbus;
    TTavloSession Session;
    TBenchLab() {
        SetDataFolder(Dir.path());
        QString error;
        if (!BuildStandardLab(Lab, Standard, &error) || !BuildModbusLab(Lab, Modbus, &error))
            qFatal("cannot build the laboratory: %s", qPrintable(error));
        Lab.Start();
        Lab.WritePortMap(Dir.path());
        Session.SetDeviceSetupID("1");
        Session.SetDevicesValidated(true);
    }
    ~TBenchLab() { Lab.Stop(); }
};
TBenchLab* GLab = nullptr;

// A node of an open measurement, set up as the engine's copies are.
TMeasurementNode* NewNode(const QString& type, const QString& instrument) {
    auto* m = new TMeasurement;
    m->SetCaption(QStringLiteral("Bench ") + type);
    m->Active = true;
    m->SetDeviceSetup("1");
    m->MultiTimeout = 5;
    m->ImpTimeout = 10;
    GLab->Session.AddMeasurement(m);
    auto* node = new TMeasurementNode;
    node->setObjectName(QStringLiteral("N1"));
    node->Caption = type;
    node->NodeType = type;
    node->Instrument = instrument;
    node->Active = true;
    m->AddNode(node);
    node->Origin = node; // sweep points come back to the node itself
    node->MeasurementCaption = m->Caption();
    node->MeasurementName = m->objectName();
    node->MultiTimeout = m->MultiTimeout;
    node->ImpTimeout = m->ImpTimeout;
    return node;
}

void Run(benchmark::State& state, TMeasurementNode& node, double prescribed, double gaps,
         const std::function<void()>& before = {}) {
    TMeasuringEngine engine(&GLab->Session);
    double wall = 0;
    int points = 0;
    for (auto _ : state) {
        node.ClearData();
        if (before)
            before();
        const auto start = std::chrono::steady_clock::now();
        engine.Measure(node);
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        wall += took.count();
        points += node.DataCount();
        state.SetIterationTime(took.count());
        QCoreApplication::processEvents();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["wall_s"] = wall / n;
    state.counters["prescribed_s"] = prescribed;
    state.counters["gaps_s"] = gaps;
    state.counters["overhead_pct"] = 100 * (wall / n - prescribed) / prescribed;
    state.counters["residual_pct"] = 100 * (wall / n - prescribed - gaps) / prescribed;
    state.counters["points"] = points / n;
    if (points == 0)
        state.SkipWithError("the step stored no point");
}

void BM_M4FourWireResistance(benchmark::State& state) {
    TMeasurementNode* node = NewNode("M4", "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB");
    node->GPIBBeforePoint = "*CLS\r\nFUNC 'FRES'\r\n:MEAS?";
    double delay = 0;
    {
        auto lock = GLab->Lab.Lock();
        delay = GLab->Standard.Keithley->MeasureMs / 1000;
    }
    // Address read-backs, the poll and the read.
    const double gaps = (AddressRounds() + 2) * ReadGap;
    Run(state, *node, EoiSetting + AddressConfirmation() + ResultStep(delay), gaps);
}
BENCHMARK(BM_M4FourWireResistance)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(5);

void BM_ETReading(benchmark::State& state) {
    TMeasurementNode* node = NewNode("ET", "Eurotherm 3208 COM5 ADDR:1");
    Run(state, *node, EtRead, 3 * ReadGap);
}
BENCHMARK(BM_ETReading)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(5);

void BM_ETReadingAndSegment(benchmark::State& state) {
    TMeasurementNode* node = NewNode("ET", "Eurotherm 3208 COM5 ADDR:1");
    node->SegmentProgram = "0 25 60";
    // Every execution applies the line afresh.
    auto fresh = [node] {
        node->FAM = Now() - 1.0 / (24 * 60);
        node->SegmentLine = -1;
        node->SegmentSPPrev = -1;
        node->SegmentRRPrev = -1;
    };
    Run(state, *node, EtRead + SegmentApply, 5 * ReadGap, fresh);
    if (node->SegmentLine != 0)
        state.SkipWithError("the segment was not confirmed");
}
BENCHMARK(BM_ETReadingAndSegment)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(3);

void BM_ISHiokiSweep50(benchmark::State& state) {
    TMeasurementNode* node = NewNode("IS", "Imp.Spectrometer Hioki_3522-50 COM33 ADDR:1 EOS:0 GPIB");
    node->SweepPoints = 50;
    node->SweepStartHz = 100000;
    node->SweepEndHz = 10;
    node->SweepStep = std::pow(node->SweepEndHz / node->SweepStartHz, 1.0 / (node->SweepPoints - 1));
    double prescribed = EoiSetting + AddressConfirmation();
    {
        auto lock = GLab->Lab.Lock();
        const auto hioki = std::dynamic_pointer_cast<TSimImpedanceAnalyser>(
            GLab->Standard.Adapter->Instrument(1));
        double f = node->SweepStartHz;
        for (int i = 0; i < node->SweepPoints; ++i, f *= node->SweepStep)
            prescribed += HiokiPoint(std::max(hioki->MeasureMs, std::min(hioki->MaxPeriodMs, 1000 / f)) / 1000);
    }
    const double gaps = (AddressRounds() + 2 * node->SweepPoints) * ReadGap;
    Run(state, *node, prescribed, gaps);
}
BENCHMARK(BM_ISHiokiSweep50)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SetDecimalSeparator(u'.');
    QLoggingCategory::setFilterRules(QStringLiteral("*.info=false"));
    TRecordingUserInteraction ui;
    SetUserInteraction(&ui);
    benchmark::Initialize(&argc, argv);
    {
        TBenchLab lab;
        GLab = &lab;
        benchmark::RunSpecifiedBenchmarks();
        GLab = nullptr;
    }
    benchmark::Shutdown();
    SetUserInteraction(nullptr);
    return 0;
}
