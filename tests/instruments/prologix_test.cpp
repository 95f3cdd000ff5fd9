#include <gtest/gtest.h>

#include "simfixture.h"
#include "tavlo/log.h"
#include "tavlo/posixserial.h"
#include "tavlo/prologix.h"
#include "tavlosim/standardlab.h"

#include <future>
#include <thread>

namespace {
class PrologixTest : public ::testing::Test {
protected:
    PrologixTest() {
        BuildStandardLab(Sim.Lab, Devices);
        Sim.Lab.WritePortMap(Sim.Folder.Path());
        Adapter.SetPort(QStringLiteral("COM33"));
        Adapter.SetBaudRate(115200);
        Adapter.SetWindowsReadLoopTimeoutMS(20);
        Adapter.SetReadoutTimeoutMS(400);
    }
    QList<QByteArray> Lines() {
        auto lock = Sim.Lab.Lock();
        return Devices.Adapter->Lines;
    }
    QByteArray Raw() {
        auto lock = Sim.Lab.Lock();
        return Devices.Adapter->RawInput;
    }
    void ClearRecord() {
        auto lock = Sim.Lab.Lock();
        Devices.Adapter->Lines.clear();
        Devices.Adapter->RawInput.clear();
    }
    // Waits until the adapter has taken in what was sent without waiting.
    void Settle() { std::this_thread::sleep_for(std::chrono::milliseconds(30)); }

    TSimFixture Sim;
    TStandardLab Devices;
    TPrologix Adapter;
};
} // namespace

TEST_F(PrologixTest, FreshObjectAssumesNothingAndStartsAtZero) {
    TPrologix fresh;
    EXPECT_EQ(fresh.Address(), 0u);
    EXPECT_EQ(fresh.Terminator(), 0);
    EXPECT_FALSE(fresh.EOIonSend());
    EXPECT_FALSE(fresh.EOTEnabled());
    EXPECT_FALSE(fresh.AutoRead());
    EXPECT_EQ(fresh.ReadoutTimeoutMS(), 1000u); // a TSerialPort underneath
    // Terminator 0 and EOI off on a fresh object are sent: the adapter may hold anything.
    {
        auto lock = Sim.Lab.Lock();
        Devices.Adapter->Eos = 2;
        Devices.Adapter->Eoi = true;
    }
    Adapter.SetTerminator(0);
    Adapter.SetEOIonSend(false);
    Settle();
    EXPECT_EQ(Lines(), QList<QByteArray>({"++eos 0", "++eoi 0"}));
    auto lock = Sim.Lab.Lock();
    EXPECT_EQ(Devices.Adapter->Eos, 0);
    EXPECT_FALSE(Devices.Adapter->Eoi);
}

TEST_F(PrologixTest, CachedStateIsNotResent) {
    Adapter.SetEOIonSend(true);
    Adapter.SetEOIonSend(true);
    Adapter.SetTerminator(2);
    Adapter.SetTerminator(2);
    Adapter.SetEOTEnabled(false); // already off: nothing
    Adapter.SetAddress(4);
    const int afterFirstAddress = Lines().size();
    Adapter.SetAddress(4);
    Adapter.SetTerminator(1);
    Adapter.SetEOIonSend(false);
    Settle();
    const QList<QByteArray> lines = Lines();
    EXPECT_EQ(lines.count("++eoi 1"), 1);
    EXPECT_EQ(lines.count("++eos 2"), 1);
    EXPECT_EQ(lines.count("++eot_enable 0"), 0);
    EXPECT_EQ(lines.mid(afterFirstAddress), QList<QByteArray>({"++eos 1", "++eoi 0"}));
    EXPECT_EQ(Adapter.Terminator(), 1);
    EXPECT_FALSE(Adapter.EOIonSend());
}

TEST_F(PrologixTest, EOTSetterSendsOnlyChanges) {
    Adapter.SetEOTEnabled(true);
    Adapter.SetEOTEnabled(true);
    Adapter.SetEOTEnabled(false);
    Settle();
    EXPECT_EQ(Lines(), QList<QByteArray>({"++eot 1", "++eot_enable 0"}));
}

TEST_F(PrologixTest, AddressChangeIsConfirmedAndTakesAtLeastOneSecond) {
    QElapsedTimer timer;
    timer.start();
    Adapter.SetAddress(4);
    const qint64 elapsed = timer.elapsed();
    EXPECT_EQ(Adapter.Address(), 4u);
    EXPECT_TRUE(Adapter.AddressConfirmed());
    EXPECT_GE(elapsed, 1000);
    EXPECT_LT(elapsed, 2500);
    const QList<QByteArray> lines = Lines();
    // The first read-back already matches; the exchange repeats for the full second.
    EXPECT_GE(lines.count("++addr 4"), 2);
    EXPECT_EQ(lines.count("++addr 4"), lines.count("++addr"));
    EXPECT_EQ(lines.first(), "++addr 4");
    EXPECT_EQ(lines.last(), "++addr");
    auto lock = Sim.Lab.Lock();
    EXPECT_EQ(Devices.Adapter->Address, 4);
}

TEST_F(PrologixTest, AddressSetterGivesUpOnADeadAdapter) {
    {
        auto lock = Sim.Lab.Lock();
        Devices.Adapter->Faults.NoAnswer = true;
    }
    Adapter.SetReadoutTimeoutMS(200);
    TLogCapture log;
    QElapsedTimer timer;
    timer.start();
    Adapter.SetAddress(4);
    const qint64 elapsed = timer.elapsed();
    EXPECT_EQ(Adapter.Address(), 0u); // the last confirmed value of a fresh object
    EXPECT_FALSE(Adapter.AddressConfirmed());
    const QList<QByteArray> lines = Lines();
    EXPECT_EQ(lines.count("++addr"), TPrologix::MaxUnconfirmedAddressReads);
    // Three read-backs of 200 ms + one poll interval each, plus the 50 ms pauses.
    EXPECT_GE(elapsed, 3 * 300);
    EXPECT_LT(elapsed, 3 * 300 + 1200);
    EXPECT_TRUE(log.Contains(QStringLiteral("did not confirm GPIB address 4 after 3 read-backs")));

    // Once it answers again, the same address is tried again and confirmed.
    {
        auto lock = Sim.Lab.Lock();
        Devices.Adapter->Faults.NoAnswer = false;
    }
    Adapter.SetAddress(4);
    EXPECT_EQ(Adapter.Address(), 4u);
}

TEST_F(PrologixTest, AddressSetterOnAMissingPortReturnsQuicklyAndKeepsTheOldAddress) {
    Adapter.SetAddress(4);
    ASSERT_EQ(Adapter.Address(), 4u);
    Sim.Lab.RemovePort(QStringLiteral("COM33"));
    Adapter.SetReadoutTimeoutMS(3000);
    QElapsedTimer timer;
    timer.start();
    Adapter.SetAddress(7);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(Adapter.Address(), 4u);
    EXPECT_EQ(Adapter.LastStatus(), "Failed to setup Com port, port in use");
    // Every further command fails the same way without raising or hanging.
    TSerialResponse r;
    EXPECT_TRUE(Adapter.GPIBQuery(QStringLiteral("*IDN?"), r).isEmpty());
    EXPECT_EQ(r.Status, "Failed to setup Com port, port in use");
}

TEST_F(PrologixTest, AGPIBSequenceOnADeadAdapterAlwaysReturns) {
    enum class TDeath { Silent, Garbage, Removed, Held };
    for (const TDeath death : {TDeath::Silent, TDeath::Garbage, TDeath::Held, TDeath::Removed}) {
        TPosixSerial holder;
        {
            auto lock = Sim.Lab.Lock();
            Devices.Adapter->Faults = TSimFaults();
            Devices.Adapter->Faults.NoAnswer = death == TDeath::Silent;
            Devices.Adapter->Faults.Garbage = death == TDeath::Garbage;
        }
        if (death == TDeath::Held) {
            ASSERT_TRUE(holder.Open(Sim.Lab.DevicePath(QStringLiteral("COM33"))));
        }
        if (death == TDeath::Removed)
            Sim.Lab.RemovePort(QStringLiteral("COM33"));
        // What the engine does for one GPIB node, on a thread of its own.
        auto run = std::async(std::launch::async, [] {
            TPrologix adapter;
            adapter.SetupStandard(QStringLiteral("COM33"), 4, 0, 300);
            adapter.SetWindowsReadLoopTimeoutMS(100);
            adapter.GPIBWrite(QStringLiteral("*CLS"));
            adapter.GPIBWrite(QStringLiteral(":MEAS?"));
            TSerialResponse poll, reading;
            adapter.SerialPoll(poll);
            adapter.Send2(QByteArray("++read eoi\r"), true, reading);
            return std::make_pair(adapter.Address(), reading.Status);
        });
        ASSERT_EQ(run.wait_for(std::chrono::seconds(8)), std::future_status::ready)
            << static_cast<int>(death);
        const auto [address, status] = run.get();
        EXPECT_EQ(address, 0u) << static_cast<int>(death);
        // A garbage answer is an answer; the caller's parsing rejects it.
        EXPECT_EQ(status.isEmpty(), death == TDeath::Garbage) << static_cast<int>(death);
    }
}

TEST_F(PrologixTest, GPIBSend2TrimsAndAppendsOneCR) {
    Adapter.SetTerminator(0);
    Adapter.SetAddress(4);
    ClearRecord();
    TSerialResponse untouched;
    untouched.Status = "mine";
    Adapter.GPIBSend2(QStringLiteral("  *CLS \r\n"), false, untouched);
    Settle();
    EXPECT_EQ(Raw(), "*CLS\r");
    EXPECT_EQ(untouched.Status, "mine"); // the caller's record is not used without waiting
    EXPECT_EQ(Adapter.LastStatus(), "Exit read/write without waiting for reply");
    auto lock = Sim.Lab.Lock();
    EXPECT_EQ(Devices.Keithley->Received.last(), "*CLS");
}

TEST_F(PrologixTest, WaitTimeOverrideAppliesToOneCallOnly) {
    Adapter.SetAddress(9); // nothing plugged in at 9: a read gets no answer
    Adapter.SetReadoutTimeoutMS(3000);
    QElapsedTimer timer;
    timer.start();
    TSerialResponse silent;
    Adapter.GPIBSend2(QByteArray("++read eoi"), true, silent, 150);
    EXPECT_EQ(silent.Status, "Timeout while waiting for response");
    EXPECT_GE(timer.elapsed(), 150);
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_EQ(Adapter.ReadoutTimeoutMS(), 3000u);
    TSerialResponse plain;
    Adapter.SetReadoutTimeoutMS(400);
    timer.restart();
    Adapter.GPIBSend2(QByteArray("++read eoi"), true, plain);
    EXPECT_GE(timer.elapsed(), 400);
}

TEST_F(PrologixTest, QueryIdentificationAndReadyCheck) {
    Adapter.SetupStandard(QStringLiteral("COM33"), 4, 0, 3000);
    Adapter.SetBaudRate(115200);
    EXPECT_EQ(Adapter.WindowsReadLoopTimeoutMS(), 250u);
    EXPECT_EQ(Adapter.Address(), 4u);
    Adapter.SetWindowsReadLoopTimeoutMS(50);

    TSerialResponse idn;
    EXPECT_EQ(Adapter.GPIBQuery(QStringLiteral("*IDN?"), idn),
              QByteArray(TSimKeithley2000::Identification).trimmed());
    EXPECT_TRUE(idn.Status.isEmpty());

    // The engine's way: commands, serial polls until the ready bit, then the read.
    Adapter.GPIBWrite(QStringLiteral("*CLS"));
    Adapter.GPIBWrite(QStringLiteral("FUNC 'FRES'"));
    Adapter.GPIBWrite(QStringLiteral(":MEAS?"));
    bool ready = false;
    int polls = 0;
    for (; polls < 40 && !ready; ++polls) {
        TSerialResponse poll;
        const int status = Adapter.SerialPoll(poll).toInt();
        ready = (status & 0x10) == 0x10;
    }
    EXPECT_TRUE(ready);
    EXPECT_GE(polls, 1);
    TSerialResponse reading;
    Adapter.Send2(QByteArray("++read eoi\r"), true, reading);
    bool ok = false;
    const double ohms = reading.Response.toDouble(&ok);
    ASSERT_TRUE(ok) << reading.Response.constData();
    EXPECT_NEAR(ohms, 100.0, 0.05);
    TSerialResponse after;
    EXPECT_EQ(Adapter.SerialPoll(after).toInt() & 0x10, 0); // read: no message waiting

    const QList<QByteArray> lines = Lines();
    EXPECT_EQ(lines.count("++eoi 1"), 1);
    EXPECT_TRUE(lines.contains("++spoll 4"));
}

TEST_F(PrologixTest, TerminatorIsWhatTheInstrumentReceives) {
    Adapter.SetAddress(4);
    struct TCase {
        int Code;
        bool Eoi;
        bool Understood;
    };
    // The Keithley ends a message at LF or EOI; CR alone without EOI never ends it.
    const TCase cases[] = {{0, true, true}, {2, false, true}, {1, true, true}, {3, true, true},
                           {1, false, false}};
    for (const TCase& c : cases) {
        TPrologix adapter;
        adapter.SetPort(QStringLiteral("COM33"));
        adapter.SetBaudRate(115200);
        adapter.SetWindowsReadLoopTimeoutMS(20);
        adapter.SetReadoutTimeoutMS(700);
        {
            auto lock = Sim.Lab.Lock();
            Devices.Keithley->Clear();
        }
        adapter.SetEOIonSend(c.Eoi);
        adapter.SetTerminator(c.Code);
        TSerialResponse r;
        adapter.GPIBQuery(QStringLiteral("*IDN?"), r);
        EXPECT_EQ(!r.Response.isEmpty(), c.Understood) << c.Code << c.Eoi;
    }
}

TEST_F(PrologixTest, SetPrologixDefaultsSendsFourCommandsInOrder) {
    {
        auto lock = Sim.Lab.Lock();
        Devices.Adapter->Eoi = false;
        Devices.Adapter->EotEnable = true;
        Devices.Adapter->Auto = true;
    }
    TSerialPort plain;
    plain.SetPort(QStringLiteral("COM33"));
    plain.SetPrologixDefaults();
    Settle();
    EXPECT_EQ(Lines(), QList<QByteArray>({"++eoi 1", "++eot_enable 0", "++auto 0",
                                          "++read_tmo_ms 2000"}));
    auto lock = Sim.Lab.Lock();
    EXPECT_TRUE(Devices.Adapter->Eoi);
    EXPECT_FALSE(Devices.Adapter->EotEnable);
    EXPECT_FALSE(Devices.Adapter->Auto);
    EXPECT_EQ(Devices.Adapter->ReadTimeoutMs, 2000);
}

TEST_F(PrologixTest, InstrumentFaultsReachTheCaller) {
    Adapter.SetAddress(4);
    struct TCase {
        TSimFaults Faults;
        const char* Expect; // "garbage", "cut", "none"
    };
    TSimFaults garbage;
    garbage.Garbage = true;
    TSimFaults cut;
    cut.SplitGapMs = 300;
    TSimFaults late;
    late.LateMs = 700;
    TSimFaults none;
    none.NoAnswer = true;
    const TCase cases[] = {{garbage, "garbage"}, {cut, "cut"}, {late, "none"}, {none, "none"}};
    const QByteArray idn = QByteArray(TSimKeithley2000::Identification).trimmed();
    for (const TCase& c : cases) {
        {
            auto lock = Sim.Lab.Lock();
            Devices.Keithley->Faults = c.Faults;
            Devices.Keithley->Clear();
        }
        TSerialResponse r;
        Adapter.GPIBQuery(QStringLiteral("*IDN?"), r);
        const QByteArray got = r.Response;
        if (std::string(c.Expect) == "garbage") {
            EXPECT_EQ(got.size(), idn.size());
            EXPECT_NE(got, idn);
            EXPECT_TRUE(r.Status.isEmpty());
        } else if (std::string(c.Expect) == "cut") {
            EXPECT_FALSE(got.isEmpty());
            EXPECT_TRUE(idn.startsWith(got));
            EXPECT_LT(got.size(), idn.size());
        } else {
            EXPECT_TRUE(got.isEmpty());
            EXPECT_EQ(r.Status, "Timeout while waiting for response") << c.Expect;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(c.Faults.SplitGapMs + c.Faults.LateMs));
        TSerialResponse drain;
        Adapter.Send2(QByteArray(), true, drain);
    }
}

TEST_F(PrologixTest, AdapterCheckFindsTheAdapterOnly) {
    QByteArray version;
    EXPECT_TRUE(IsPrologixAdapter(QStringLiteral("COM33"), &version));
    EXPECT_TRUE(version.contains("Prologix"));
    {
        auto lock = Sim.Lab.Lock();
        Devices.Adapter->Version = "PROLOGIX gpib-usb 7.0";
    }
    EXPECT_TRUE(IsPrologixAdapter(QStringLiteral("COM33")));
    Sim.Serve(QStringLiteral("COM8"), std::make_shared<TScriptDevice>());
    QElapsedTimer timer;
    timer.start();
    EXPECT_FALSE(IsPrologixAdapter(QStringLiteral("COM8")));
    EXPECT_GE(timer.elapsed(), 2000); // the adapter check waits 2000 ms for an answer
    EXPECT_FALSE(IsPrologixAdapter(QStringLiteral("COM77")));
}

TEST_F(PrologixTest, AdapterValidation) {
    QByteArray version;
    EXPECT_TRUE(ValidatePrologixAdapter(QStringLiteral("COM33"), &version));
    EXPECT_TRUE(version.contains("Prologix"));
    auto lock = Sim.Lab.Lock();
    EXPECT_EQ(Devices.Adapter->Lines, QList<QByteArray>({"++mode 1", "++ver"}));
    EXPECT_EQ(Devices.Adapter->Mode, 1);
}

TEST(PrologixNames, TerminatorName) {
    EXPECT_EQ(TerminatorName(0), "CR+LF");
    EXPECT_EQ(TerminatorName(1), "CR");
    EXPECT_EQ(TerminatorName(2), "LF");
    EXPECT_EQ(TerminatorName(3), "");
    EXPECT_EQ(TerminatorName(7), "");
}
