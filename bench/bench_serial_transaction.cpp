// Cost of the serial layer's one-transaction-per-call design, over a simulated port.
#include "tavlo/folders.h"
#include "tavlo/inifile.h"
#include "tavlo/portmap.h"
#include "tavlo/serialport.h"
#include "tavlosim/simlab.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

namespace {
// Answers every CR-terminated line with a short reply.
class TEchoDevice : public TSimDevice {
public:
    QString Describe() const override { return QStringLiteral("echo"); }
    void Receive(TSimLine& line, const QByteArray& bytes) override {
        for (const char c : bytes)
            if (c == '\r' && Answer)
                line.Reply("+1.00000000E+02\r\n");
    }
    int LatencyMs() const override { return 0; }
    bool Answer = true;
};

struct TBenchLab {
    TBenchLab() {
        SetDataFolder(Folder.path());
        Silent->Answer = false;
        Lab.AddSerialDevice(QStringLiteral("COM1"), Silent);
        Lab.AddSerialDevice(QStringLiteral("COM2"), Device);
        Lab.WritePortMap(Folder.path());
        Lab.Start();
    }
    QTemporaryDir Folder;
    std::shared_ptr<TEchoDevice> Silent = std::make_shared<TEchoDevice>();
    std::shared_ptr<TEchoDevice> Device = std::make_shared<TEchoDevice>();
    TSimLab Lab;
};

TBenchLab& Lab() {
    static TBenchLab lab;
    return lab;
}

// Open, configure, write, close: the price of every adapter command.
void BM_Send2WithoutWaiting(benchmark::State& state) {
    Lab();
    TSerialPort port;
    port.SetPort(QStringLiteral("COM1"));
    port.SetBaudRate(115200);
    for (auto _ : state) {
        TSerialResponse r;
        port.Send2(QByteArray("*CLS\r"), false, r);
        benchmark::DoNotOptimize(r.Status);
    }
}
BENCHMARK(BM_Send2WithoutWaiting)->Unit(benchmark::kMicrosecond);

// A query: one poll interval after the first byte, then the read ends 20 ms after the
// last byte (the read interval time-out).
void BM_Send2WithReply(benchmark::State& state) {
    Lab();
    TSerialPort port;
    port.SetPort(QStringLiteral("COM2"));
    port.SetBaudRate(115200);
    port.SetWindowsReadLoopTimeoutMS(static_cast<quint32>(state.range(0)));
    for (auto _ : state) {
        TSerialResponse r;
        port.Send2(QByteArray(":MEAS?\r"), true, r);
        if (r.Response.isEmpty())
            state.SkipWithError("no reply");
    }
}
BENCHMARK(BM_Send2WithReply)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

// The port map is read for every transaction.
void BM_DevicePathOf(benchmark::State& state) {
    Lab();
    for (auto _ : state)
        benchmark::DoNotOptimize(DevicePathOf(QStringLiteral("COM1")));
}
BENCHMARK(BM_DevicePathOf)->Unit(benchmark::kMicrosecond);

void BM_IniParse(benchmark::State& state) {
    QString text = QStringLiteral("[Ports]\r\n");
    for (int i = 0; i < state.range(0); ++i)
        text += QStringLiteral("COM%1=/dev/serial/by-id/usb-FTDI_%1-if00-port0\r\n").arg(i);
    for (auto _ : state) {
        TIniFile ini;
        ini.SetText(text);
        benchmark::DoNotOptimize(ini.ReadString(QStringLiteral("Ports"), QStringLiteral("COM1")));
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IniParse)->Arg(10)->Arg(1000);
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
