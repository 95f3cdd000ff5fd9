// Modbus transactions against the simulated controllers, and the CRC.
#include "tavlo/flowserver.h"
#include "tavlo/folders.h"
#include "tavlo/modbus.h"
#include "tavlo/voegtlinport.h"
#include "tavlosim/modbuslab.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
struct TBenchLab {
    TBenchLab() {
        SetDataFolder(Folder.path());
        BuildModbusLab(Lab, Devices);
        Lab.WritePortMap(Folder.path());
        WriteServiceMap(Folder.path(), QString::fromLatin1(TModbusLab::FlowService), Devices.FlowServerPort);
        Lab.Start();
    }
    QTemporaryDir Folder;
    TSimLab Lab;
    TModbusLab Devices;
};

TBenchLab& Lab() {
    static TBenchLab lab;
    return lab;
}

void BM_Crc16(benchmark::State& state) {
    QByteArray data(static_cast<qsizetype>(state.range(0)), '\x5A');
    for (auto _ : state)
        benchmark::DoNotOptimize(Modbus::Crc16(data));
    state.SetBytesProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_Crc16)->Arg(8)->Arg(256);

// One float read with the FL node's settings (100 ms poll).
void BM_GscReadF32(benchmark::State& state) {
    Lab();
    TVoegtlinPort gsc;
    gsc.SetPort(QStringLiteral("COM6"));
    gsc.SetWindowsReadLoopTimeoutMS(static_cast<quint32>(state.range(0)));
    gsc.SetReadoutTimeoutMS(100);
    for (auto _ : state) {
        TSerialResponse r;
        gsc.ReadF32(1, GscRegister::MeasuredFlow, r);
        if (!r.Status.isEmpty())
            state.SkipWithError(r.Status.constData());
    }
}
BENCHMARK(BM_GscReadF32)->Arg(10)->Arg(100)->Unit(benchmark::kMillisecond);

// The mass-flow tool's full read: must stay well under a second.
void BM_GscToolRead(benchmark::State& state) {
    Lab();
    for (auto _ : state) {
        const TGscToolValues v = ReadGscTool(QStringLiteral("COM6"), 1);
        if (!v.Ok)
            state.SkipWithError("tool read failed");
    }
}
BENCHMARK(BM_GscToolRead)->Unit(benchmark::kMillisecond)->Iterations(5);

// A Eurotherm word read with the default 333 ms poll interval.
void BM_EurothermQueryWords(benchmark::State& state) {
    Lab();
    TModbusPort port;
    port.SetPort(QStringLiteral("COM5"));
    port.SetWindowsReadLoopTimeoutMS(static_cast<quint32>(state.range(0)));
    for (auto _ : state) {
        TSerialResponse r;
        port.QueryWords(1, 1, r, 5);
        if (!r.Status.isEmpty())
            state.SkipWithError(r.Status.constData());
    }
}
BENCHMARK(BM_EurothermQueryWords)->Arg(10)->Arg(333)->Unit(benchmark::kMillisecond)->Iterations(5);

// One flow-server conversation over loopback.
void BM_FlowServerRead(benchmark::State& state) {
    Lab();
    for (auto _ : state)
        benchmark::DoNotOptimize(FlowServerRead(QStringLiteral("FLOWDDE"), 1, FlowParam::Measured));
}
BENCHMARK(BM_FlowServerRead)->Unit(benchmark::kMicrosecond);
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
