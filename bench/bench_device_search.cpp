// A device search of the simulated laboratory (tavlo-sim's: five ports, the adapter with
// its instruments, Modbus lines), against the waits the search prescribes.
#include "tavlo/folders.h"
#include "tavlo/session.h"
#include "tavlo/userinteraction.h"
#include "tavlosim/modbuslab.h"
#include "tavlosim/simlab.h"
#include "tavlosim/standardlab.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {

struct TBenchLab {
    TBenchLab() {
        SetDataFolder(Folder.path());
        BuildStandardLab(Lab, Standard);
        BuildModbusLab(Lab, Modbus);
        Lab.Start();
        Lab.WritePortMap(Folder.path());
        WriteServiceMap(Folder.path(), QLatin1String(TModbusLab::FlowService), Modbus.FlowServerPort);
    }
    QTemporaryDir Folder;
    TSimLab Lab;
    TStandardLab Standard;
    TModbusLab Modbus;
};

TBenchLab& Lab() {
    static TBenchLab lab;
    return lab;
}

int Count(const QStringList& memo, const QString& part) {
    return static_cast<int>(memo.filter(part).size());
}

// The least time the search must wait, in seconds, from what its log says it did: read
// time-outs of silent exchanges, the poll interval (333 ms) after every reply (twice for a
// binary one), and the fixed pauses.
double PrescribedWaits(const QStringList& memo) {
    const double poll = 0.333;
    const int ports = Count(memo, QStringLiteral(" for Prologix USB-GPIB converter"));
    const int adapters = Count(memo, QStringLiteral("    Found Prologix USB-GPIB converter on port: "));
    const int silentPolls = Count(memo, QStringLiteral(" does not respond"));
    const int answeringPolls = Count(memo, QStringLiteral(" responds: "));
    const int identified = Count(memo, QStringLiteral("Identify device "));
    const int failedCodes = Count(memo, QStringLiteral("No-response Device "));
    const int foundControllers = Count(memo, QStringLiteral("    Found Eurotherm at "));
    const int silentControllers = Count(memo, QStringLiteral(" - Stopped looking from this port"));
    const int models = Count(memo, QStringLiteral("  Query model of Eurotherm"));
    const int initialised = Count(memo, QStringLiteral("    Initializing "));
    return ports * (0.2 + 2.0)                     // drain and "++addr 0" of every port
           + (ports - adapters) * 2.0 + adapters * poll // adapter check
           + silentPolls * 2.0 + answeringPolls * poll  // address scan
           + identified * 4 * 0.1                     // adapter settings before "*IDN?"
           + (identified + failedCodes) * (0.1 + 2 * poll) // per terminator code tried
           + foundControllers * 2 * poll + silentControllers * (poll + 1.0) // Modbus scan
           + models * 2 * poll                        // model query
           + initialised * (0.2 + 2.0);               // drain and "++addr" of each instrument
}

void BM_SearchSimulatedLaboratory(benchmark::State& state) {
    Lab();
    TRecordingUserInteraction ui;
    TUserInteractionScope scope(ui);
    double prescribed = 0;
    int nodes = 0;
    for (auto _ : state) {
        TTavloSession session;
        if (!session.SearchDevices(static_cast<int>(state.range(0)))) {
            state.SkipWithError("the search ended early");
            break;
        }
        prescribed = PrescribedWaits(session.DeviceMemo());
        nodes = session.DeviceTree.Count();
    }
    state.counters["prescribed_s"] = prescribed;
    state.counters["tree_nodes"] = nodes;
}
// Last GPIB address 0: only the ports; 4: up to the Keithley 2000 and three catalogue
// instruments before it.
BENCHMARK(BM_SearchSimulatedLaboratory)->Arg(0)->Arg(4)->Iterations(1)->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The instruments' transaction traces would drown the figures.
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false\n*.info=false"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
