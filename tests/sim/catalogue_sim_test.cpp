#include <gtest/gtest.h>

#include "tavlosim/cataloguelab.h"

#include <chrono>
#include <cmath>
#include <numbers>
#include <thread>

namespace {
// Writes one message and waits (at most 3 s) for the instrument's answer.
std::optional<QByteArray> Ask(TSimGpibInstrument& instrument, const QByteArray& message) {
    instrument.Write(message + '\n', true);
    for (int i = 0; i < 300; ++i) {
        if (auto reply = instrument.Talk())
            return reply->trimmed();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}
} // namespace

TEST(CatalogueSim, RcSampleFollowsTheFrequency) {
    TSimRcSample s;
    s.SeriesResistance = 10;
    s.ParallelResistance = 1000;
    s.Capacitance = 1e-6;
    const double f = 1000 / (2 * std::numbers::pi * 1000 * 1e-6) / 1000; // omega R C = 1
    const std::complex<double> z = s.Impedance(f);
    EXPECT_NEAR(z.real(), 10 + 500, 1e-9);
    EXPECT_NEAR(z.imag(), -500, 1e-9);
    EXPECT_NEAR(s.Impedance(0).real(), 1010, 1e-9);
    EXPECT_NEAR(std::abs(s.Impedance(1e9)), 10, 1e-3);
}

TEST(CatalogueSim, MeterReadingsNoiseAndOverflow) {
    TSimScpiMeter meter(TSimScpiMeter::KeithleyDMM6500);
    meter.Write(":SENS:FUNC \"FRES\", (@1)\n", true);
    EXPECT_EQ(meter.Function, QStringLiteral("FRES"));
    const auto a = Ask(meter, ":READ?");
    const auto b = Ask(meter, ":READ?");
    ASSERT_TRUE(a && b);
    EXPECT_NEAR(a->toDouble(), 1000, 1);
    EXPECT_NE(*a, *b); // readings carry noise
    meter.Resistance = 1e12;
    EXPECT_EQ(Ask(meter, ":READ?").value_or(""), QByteArray("+9.90000000E+37"));
    // An unknown header raises the error bit.
    meter.Write("FOO\n", true);
    EXPECT_TRUE(meter.StatusByte() & 0x04);
}

TEST(CatalogueSim, ReadyBitsPerModel) {
    TSimScpiMeter hp3458(TSimScpiMeter::HP3458A);
    hp3458.Write("DCV;TRIG\n", true);
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(hp3458.StatusByte() & 0x80, 0x80);
    TSimSolartron1260 fra;
    fra.Write("FR 1000\nSI\n", true);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(fra.StatusByte() & 0x12, 0x12);
    TSimNovocontrolAlpha alpha;
    EXPECT_EQ(alpha.StatusByte() & 0x01, 0);
    alpha.Write("GFR=1000\nMST\n", true);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(alpha.StatusByte() & 0x01, 0x01);
    const QByteArray zre = Ask(alpha, "ZRE?").value_or("");
    EXPECT_TRUE(zre.startsWith("ZRE=") && zre.endsWith(",2")) << zre.constData();
    TSimHP4192A hp;
    hp.Write("FR1.0000EN\nEX\n", true);
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(hp.StatusByte(), 0x41);
    const QByteArray reply = hp.Talk().value_or("").trimmed();
    EXPECT_TRUE(reply.startsWith("NR") && reply.contains(",NX") && reply.endsWith(",K+00001.000"))
        << reply.constData();
    // No "*IDN?" on the older instruments.
    EXPECT_FALSE(Ask(hp, "*IDN?").has_value());
}
