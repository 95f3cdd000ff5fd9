#include <gtest/gtest.h>

#include "modbuslabfixture.h"
#include "tavlo/eurotherm.h"
#include "tavlo/log.h"
#include "tavlo/modbus.h"

#include <cmath>
#include <random>
#include <thread>

namespace {
QByteArray Hex(const char* text) { return QByteArray::fromHex(text); }
const uint8_t* U8(const QByteArray& a) { return reinterpret_cast<const uint8_t*>(a.constData()); }
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
} // namespace

// ---- frames ----

TEST(ModbusFrames, CrcOfKnownFramesAndAgreementWithBitwiseCrc) {
    EXPECT_EQ(Modbus::Crc16(Hex("01030000000a")), 0xCDC5);
    EXPECT_EQ(Modbus::Crc16(QByteArray("123456789")), 0x4B37);
    EXPECT_EQ(Modbus::Crc16(QByteArray()), 0xFFFF);
    std::mt19937 random(5);
    for (int n = 1; n < 300; n += 7) {
        QByteArray data;
        for (int i = 0; i < n; ++i)
            data.append(static_cast<char>(random() & 0xFF));
        EXPECT_EQ(Modbus::Crc16(data), SimModbusCrc(data)) << n;
        EXPECT_TRUE(Modbus::CrcMatches(U8(Modbus::WithCrc(data)), static_cast<int>(data.size() + 2)));
    }
}

TEST(ModbusFrames, RequestFramesAreBigEndianWithCrcLowByteFirst) {
    EXPECT_EQ(Modbus::ReadRegistersFrame(1, 0, 10).toHex(), "01030000000ac5cd");
    struct Case {
        QByteArray Frame;
        const char* Body;
    };
    const Case cases[] = {
        {Modbus::ReadRegistersFrame(1, 0x8000 + 2, 2), "010380020002"},
        {Modbus::LoopbackFrame(17, 0xA537), "11080000a537"},
        {Modbus::WriteRegisterFrame(1, 2, 0x0384), "010600020384"},
        {Modbus::WriteRegistersFrame(1, 6, Modbus::FloatBytes(2.5f)), "0110000600020440200000"},
        {Modbus::WriteRegistersFrame(3, 0x5FFF, Hex("0004")), "03105fff0001020004"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.Frame.toHex(), Modbus::WithCrc(Hex(c.Body)).toHex()) << c.Body;
}

TEST(ModbusFrames, FloatPatternsDecode) {
    EXPECT_EQ(Modbus::Float(U8(Hex("00000000"))), 0.0f);
    EXPECT_EQ(Modbus::Float(U8(Hex("41200000"))), 10.0f);
    EXPECT_FLOAT_EQ(Modbus::Float(U8(Hex("c2f6e979"))), -123.456f);
    EXPECT_TRUE(std::isnan(Modbus::Float(U8(Hex("7fc00000")))));
    EXPECT_TRUE(std::isnan(Modbus::Float(U8(Hex("7f800001")))));
    EXPECT_TRUE(std::isnan(Modbus::Float(U8(Hex("ffffffff")))));
    EXPECT_TRUE(std::isinf(Modbus::Float(U8(Hex("7f800000")))));
    EXPECT_EQ(Modbus::FloatBytes(-123.456f).toHex(), "c2f6e979");
    EXPECT_EQ(Modbus::HexText(U8(Hex("0a03ff")), 3), "0A 03 FF ");
    EXPECT_EQ(Modbus::IntText(U8(Hex("0a03ff")), 3), "10 3 255 ");
}

TEST(ModbusFrames, ReplyChecks) {
    struct Case {
        QByteArray Reply;
        QByteArray Status;
    };
    const Case cases[] = {
        {Modbus::WithCrc(Hex("01030400010002")), ""},
        {Modbus::WithCrc(Hex("0103")), ""},
        {Hex("010304"), ModbusStatus::WrongAmount},
        {Modbus::WithCrc(Hex("01030400010002")).left(8) + "x", ModbusStatus::BadCrc},
        {Modbus::WithCrc(Hex("0203040001")), ModbusStatus::ForeignReply},
        {Modbus::WithCrc(Hex("0106000200")), ModbusStatus::ForeignReply},
        {Modbus::WithCrc(Hex("018302")), "Modbus exception code 2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Modbus::CheckReply(U8(c.Reply), static_cast<int>(c.Reply.size()), 1, 3), c.Status)
            << c.Reply.toHex().constData();
}

TEST(ModbusFrames, StaleAnswerInFrontOfTheReplyIsDropped) {
    const QByteArray echo = Modbus::WriteRegisterFrame(1, 2, 800); // a write's answer
    const QByteArray reply = Modbus::WithCrc(Hex("01030403200032"));
    struct Case {
        QByteArray Read;
        QByteArray Kept;
    };
    const Case cases[] = {
        {echo + reply, reply},
        {echo + echo + reply, reply},
        {reply, reply},
        {echo + reply.left(8), echo + reply.left(8)}, // cut reply: nothing to find
        {QByteArray("\x00\x00", 2) + reply, reply},
    };
    for (const Case& c : cases) {
        TSerialResponse r;
        r.Response = c.Read;
        std::copy(c.Read.begin(), c.Read.end(), r.rArray.begin());
        r.ResponseLength = static_cast<uint8_t>(c.Read.size());
        r.ValueOfFirstWord = r.rArray[3] * 256 + r.rArray[4];
        Modbus::DropStalePrefix(r, 1, 3);
        EXPECT_EQ(r.Response.toHex(), c.Kept.toHex());
        EXPECT_EQ(r.ResponseLength, c.Kept.size());
        if (r.Response == reply) {
            EXPECT_EQ(r.ValueOfFirstWord, 800);
            EXPECT_EQ(r.rArray[static_cast<size_t>(reply.size())], 0);
        }
    }
}

TEST(EurothermModel, FromIdentifierWord) {
    struct Case {
        uint16_t Word;
        const char* Model;
    };
    const Case cases[] = {
        {0xE280, "3208"}, {0x2240, "2204"}, {0x2460, "2416"}, {0x2480, "2408"},
        {0x2430, "2432"}, {0xE260, "2216"}, {0x2241, "Controller not configured as PID"},
        {0xE28F, "Controller not configured as PID"}, {0x9A51, "Unknown model: 9A51"},
        {0x0000, "Unknown model: 0000"}, {0x2250, "Unknown model: 2250"},
        {0x2940, "Unknown model: 2940"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EurothermModelFromIdentifier(c.Word), QString::fromLatin1(c.Model)) << c.Word;
}

// ---- TModbusPort over the simulated line ----

TEST_F(ModbusLabTest, LoopBackOnSeveralAddressesOfOneLine) {
    TLogCapture log;
    for (int address : {1, 2, 3, 4, 5})
        EXPECT_TRUE(Fast.Test(address)) << address;
    EXPECT_TRUE(Fast.Debug());
    EXPECT_FALSE(Fast.Test(6)); // nobody there
    EXPECT_EQ(Fast.LastStatus(), SerialStatus::Timeout);
    EXPECT_TRUE(log.Contains(QStringLiteral("Modbus in Hex            : 01 08 00 00 ")));
    EXPECT_TRUE(log.Contains(QStringLiteral("Modbus in Int            : 1 8 0 0 ")));
    EXPECT_TRUE(log.Contains(QStringLiteral("Sent to diagnostic loop  : ")));
    EXPECT_TRUE(log.Contains(QStringLiteral("Response                 : ")));
    EXPECT_TRUE(log.Contains(QStringLiteral("Timeout while waiting for response")));
    for (int address : {1, 2, 3, 4, 5})
        EXPECT_EQ(Locked([&] { return Lab.FurnaceLine->Slave(address)->Requests; }), 1);
}

TEST_F(ModbusLabTest, LoopBackFailsOnFaultyReplies) {
    struct Case {
        const char* Name;
        TSimModbusFaults Faults;
    };
    TSimModbusFaults badCrc, cut, garbage, silent;
    badCrc.BadCrc = true;
    cut.CutBytes = 2;
    garbage.Garbage = true;
    silent.NoAnswer = true;
    for (const Case& c : {Case{"bad CRC", badCrc}, Case{"cut", cut}, Case{"garbage", garbage},
                          Case{"silent", silent}}) {
        Locked([&] { Lab.Furnace3208->Faults = c.Faults; return 0; });
        EXPECT_FALSE(Fast.Test(1)) << c.Name;
        EXPECT_FALSE(Fast.LastStatus().isEmpty()) << c.Name;
    }
    Locked([&] { Lab.Furnace3208->Faults = {}; return 0; });
    EXPECT_TRUE(Fast.Test(1));
}

TEST_F(ModbusLabTest, LoopBackEchoThatDiffersOrIsShort) {
    auto device = ServeScript(QStringLiteral("COM9"), Modbus::LoopbackFrame(1, 65535));
    Fast.SetPort(QStringLiteral("COM9"));
    TLogCapture log;
    EXPECT_FALSE(Fast.Test(1)); // a well-formed echo of another word
    EXPECT_TRUE(Fast.LastStatus().isEmpty());
    EXPECT_TRUE(log.Contains(QStringLiteral("Response                 : 65535")));
    {
        auto lock = Sim.Lab.Lock();
        device->BinaryReply = Modbus::WithCrc(Hex("01080000")); // six bytes, good CRC
    }
    EXPECT_FALSE(Fast.Test(1));
    EXPECT_TRUE(log.Contains(QStringLiteral("Response                 : -1")));
}

TEST_F(ModbusLabTest, QueryDReadsTheFloatRegion) {
    Locked([&] {
        Lab.Furnace3208->NoiseDegrees = 0;
        Lab.Furnace3208->Temperature = 612.25;
        Lab.Furnace3208->WorkingSetpoint = 612.25;
        Lab.Furnace3208->TargetSetpoint = 612;
        Lab.Furnace3208->LagSeconds = 1e6;
        return 0;
    });
    TSerialResponse pv;
    Fast.QueryD(1, 1, pv);
    EXPECT_EQ(pv.Status, "");
    EXPECT_NEAR(pv.rDouble, 612.25, 0.01);
    EXPECT_EQ(Locked([&] { return Lab.FurnaceLine->Frames.last(); }),
              Modbus::ReadRegistersFrame(1, 0x8002, 2));
    // Float bit patterns as the controller sends them (both words replaced).
    struct Case {
        int Word;
        double Value; // NaN: expect NaN
    };
    for (const Case& c : {Case{0, 0.0}, Case{0x7FC0, NAN}, Case{0xFFFF, NAN},
                          Case{0x4120, 10.015899658203125}}) {
        Locked([&] { Lab.Furnace3208->Faults.ReplaceWord = c.Word; return 0; });
        TSerialResponse r;
        Fast.QueryD(1, 3, r);
        EXPECT_EQ(r.Status, "");
        if (std::isnan(c.Value)) {
            EXPECT_TRUE(std::isnan(r.rDouble)) << c.Word;
        } else {
            EXPECT_NEAR(r.rDouble, c.Value, 1e-5) << c.Word;
        }
    }
}

TEST_F(ModbusLabTest, QueryDOnShortOrBrokenRepliesLeavesZero) {
    auto device = ServeScript(QStringLiteral("COM9"), {});
    Fast.SetPort(QStringLiteral("COM9"));
    struct Case {
        QByteArray Reply;
        QByteArray Status;
    };
    const Case cases[] = {
        {Modbus::WithCrc(Hex("01030441c8")), ModbusStatus::WrongAmount},   // 7 bytes, good CRC
        {Modbus::WithCrc(Hex("010304414800")), ModbusStatus::WrongAmount}, // 8 bytes, good CRC
        {Modbus::WithCrc(Hex("0103044148")).left(6), ModbusStatus::BadCrc}, // cut
        {Modbus::WithCrc(Hex("0103044148000000")).left(9), ModbusStatus::BadCrc},
        {Modbus::WithCrc(Hex("018302")), "Modbus exception code 2"},
    };
    for (const Case& c : cases) {
        {
            auto lock = Sim.Lab.Lock();
            device->BinaryReply = c.Reply;
        }
        TSerialResponse r;
        r.rDouble = 99;
        Fast.QueryD(1, 1, r);
        EXPECT_EQ(r.rDouble, 0) << c.Reply.toHex().constData();
        EXPECT_EQ(r.Status, c.Status) << c.Reply.toHex().constData();
    }
}

TEST_F(ModbusLabTest, QueryWordsLimitsAndWordArray) {
    TSerialResponse refused;
    Fast.QueryWords(1, 1, refused, 33);
    EXPECT_EQ(refused.Status, "Maximum wordcount read is 32");
    SleepMs(30);
    EXPECT_EQ(FramesSeen(), 0); // nothing sent

    Locked([&] {
        Lab.Furnace3208->TargetSetpoint = 450;
        Lab.Furnace3208->WorkingSetpoint = 300;
        Lab.Furnace3208->RampRate = 1; // per hour: the working setpoint stays put
        Lab.Furnace3208->RampUnit = 1;
        return 0;
    });
    TSerialResponse five;
    Fast.QueryWords(1, 1, five, 5);
    EXPECT_EQ(five.Status, "");
    EXPECT_EQ(five.WordArray[1], 450);
    EXPECT_EQ(five.WordArray[4], 300);
    EXPECT_EQ(five.WordArray[5], 0);
    EXPECT_EQ(five.ValueOfFirstWord, five.WordArray[0]);

    // An unknown register: the controller's exception is reported.
    TSerialResponse missing;
    Fast.QueryWords(1, 0x2000, missing, 1);
    EXPECT_EQ(missing.Status, "Modbus exception code 2");

    // 32 words arrive; the first 16 are kept.
    QByteArray body = Hex("010340");
    for (int i = 0; i < 32; ++i)
        body.append(static_cast<char>(0)).append(static_cast<char>(100 + i));
    auto device = ServeScript(QStringLiteral("COM9"), Modbus::WithCrc(body));
    Fast.SetPort(QStringLiteral("COM9"));
    TSerialResponse many;
    Fast.QueryWords(1, 1, many, 32);
    EXPECT_EQ(many.Status, "");
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(many.WordArray[static_cast<size_t>(i)], 100 + i);
    // Fewer words than asked for: those that came, and the failure.
    {
        auto lock = Sim.Lab.Lock();
        device->BinaryReply = Modbus::WithCrc(Hex("01030400070008"));
    }
    TSerialResponse three;
    Fast.QueryWords(1, 1, three, 3);
    EXPECT_EQ(three.Status, ModbusStatus::WrongAmount);
    EXPECT_EQ(three.WordArray[0], 7);
    EXPECT_EQ(three.WordArray[1], 8);
}

TEST_F(ModbusLabTest, WriteWordChangesTheControllerAndFailuresAreReported) {
    EXPECT_TRUE(Fast.WriteWord(2, 2, false, 750));
    EXPECT_TRUE(Fast.WriteWord(2, 35, true, 0x10000 + 55)); // low 16 bits
    EXPECT_TRUE(Fast.WriteWord(2, 320, true, 0));
    EXPECT_FALSE(Fast.WriteWord(2, 122, true, 1)); // read-only: exception
    EXPECT_EQ(Fast.LastStatus(), "Modbus exception code 2");
    SleepMs(30);
    Locked([&] {
        EXPECT_EQ(Lab.Furnace2204->TargetSetpoint, 750);
        EXPECT_EQ(Lab.Furnace2204->RampRate, 55);
        EXPECT_EQ(Lab.Furnace3208->TargetSetpoint, 25); // the other address untouched
        return 0;
    });
    Sim.Lab.RemovePort(QStringLiteral("COM5"));
    EXPECT_FALSE(Fast.WriteWord(2, 2, false, 100));
    EXPECT_EQ(Fast.LastStatus(), SerialStatus::PortInUse);
    TSerialResponse r;
    Fast.QueryD(2, 1, r);
    EXPECT_EQ(r.Status, SerialStatus::PortInUse);
    EXPECT_EQ(r.rDouble, 0);
}

TEST_F(ModbusLabTest, FurnaceRampsToTheTargetAndTemperatureFollows) {
    Locked([&] {
        auto& f = *Lab.Furnace2416;
        f.NoiseDegrees = 0;
        f.LagSeconds = 0.2;
        f.Temperature = f.WorkingSetpoint = 100;
        f.TargetSetpoint = 100;
        return 0;
    });
    ASSERT_TRUE(Fast.WriteWord(3, 35, true, 600)); // 600 degrees per minute: 10 per second
    ASSERT_TRUE(Fast.WriteWord(3, 2, true, 130));
    SleepMs(1000);
    TSerialResponse wsp, pv;
    Fast.QueryD(3, 5, wsp);
    Fast.QueryD(3, 1, pv);
    EXPECT_GT(wsp.rDouble, 105);
    EXPECT_LT(wsp.rDouble, 130); // still ramping
    EXPECT_LT(pv.rDouble, wsp.rDouble);
    EXPECT_GT(pv.rDouble, wsp.rDouble - 5);
    SleepMs(2500);
    Fast.QueryD(3, 5, wsp);
    Fast.QueryD(3, 1, pv);
    EXPECT_DOUBLE_EQ(wsp.rDouble, 130);
    EXPECT_NEAR(pv.rDouble, 130, 0.5);
    // Per-hour ramp unit: hardly moves.
    ASSERT_TRUE(Fast.WriteWord(3, 531, true, 1));
    ASSERT_TRUE(Fast.WriteWord(3, 2, true, 200));
    SleepMs(500);
    Fast.QueryD(3, 5, wsp);
    EXPECT_LT(wsp.rDouble, 131);
}

// ---- Eurotherm transactions ----

TEST_F(ModbusLabTest, EtReadingAndItsFailures) {
    Locked([&] {
        Lab.Furnace3208->Temperature = 480;
        Lab.Furnace3208->WorkingSetpoint = 500;
        Lab.Furnace3208->TargetSetpoint = 500;
        Lab.Furnace3208->LagSeconds = 1e6;
        return 0;
    });
    const TEurothermReading ok = ReadEurotherm(QStringLiteral("COM5"), 1);
    EXPECT_TRUE(ok.Valid) << ok.Status.constData();
    EXPECT_NEAR(ok.ProcessValue, 480, 1);
    EXPECT_EQ(ok.WorkingSetpoint, 500);
    EXPECT_GT(ok.OutputPower, 0);

    Locked([&] {
        Lab.Furnace3208->Temperature = 4000;
        Lab.Furnace3208->NoiseDegrees = 0;
        return 0;
    });
    const TEurothermReading hot = ReadEurotherm(QStringLiteral("COM5"), 1);
    EXPECT_FALSE(hot.Valid);
    EXPECT_EQ(hot.Status, "");

    const TEurothermReading absent = ReadEurotherm(QStringLiteral("COM5"), 9);
    EXPECT_FALSE(absent.Valid);
    EXPECT_EQ(absent.Status, SerialStatus::Timeout);
}

TEST_F(ModbusLabTest, SetpointApplyConfirmsOrShowsTheDifferingReadBack) {
    const TSetpointApply ok = ApplyEurothermSetpoint(QStringLiteral("COM5"), 2, 800, 50);
    EXPECT_TRUE(ok.Confirmed) << ok.Status.constData();
    EXPECT_EQ(ok.SetpointRead, 800);
    EXPECT_EQ(ok.RampRateRead, 50);
    // The controller clamps to its high limit: the read-back differs.
    Locked([&] { Lab.Furnace2204->SetpointHighLimit = 700; return 0; });
    const TSetpointApply clamped = ApplyEurothermSetpoint(QStringLiteral("COM5"), 2, 900, 60);
    EXPECT_TRUE(clamped.ReadBackOk);
    EXPECT_FALSE(clamped.Confirmed);
    EXPECT_EQ(clamped.SetpointRead, 700);
    EXPECT_EQ(clamped.RampRateRead, 60);
}

TEST_F(ModbusLabTest, ToolsReadAndWrite) {
    EXPECT_TRUE(WriteFurnaceTool(QStringLiteral("COM5"), 3, 640, 25));
    EXPECT_TRUE(WritePidTool(QStringLiteral("COM5"), 3, 11, 222, 33));
    EXPECT_TRUE(WriteFurnaceConfig(QStringLiteral("COM5"), 3, 0, 2));
    const TFurnaceValues v = ReadFurnaceTool(QStringLiteral("COM5"), 3);
    EXPECT_TRUE(v.HasOperational && v.HasRampRate && v.HasHighLimit) << v.Status.constData();
    EXPECT_EQ(v.TargetSetpoint, 640);
    EXPECT_EQ(v.RampRate, 25);
    EXPECT_EQ(v.SetpointHighLimit, 1200);
    EXPECT_GT(v.Temperature, 22); // heading for 640 at 25 degrees per second
    EXPECT_LT(v.Temperature, 640);
    const TPidValues pid = ReadPidTool(QStringLiteral("COM5"), 3);
    EXPECT_TRUE(pid.HasP && pid.HasI && pid.HasD);
    EXPECT_EQ(pid.P, 11);
    EXPECT_EQ(pid.I, 222);
    EXPECT_EQ(pid.D, 33);
    const TFurnaceConfig config = ReadFurnaceConfig(QStringLiteral("COM5"), 3);
    EXPECT_EQ(config.TimerType, 0);
    EXPECT_EQ(config.RampUnit, 2);
    Locked([&] { Lab.Furnace2416->Faults.CutBytes = 1; return 0; });
    const TFurnaceConfig none = ReadFurnaceConfig(QStringLiteral("COM5"), 3);
    EXPECT_EQ(none.TimerType, 128);
    EXPECT_EQ(none.RampUnit, 128);
    EXPECT_EQ(none.Status, ModbusStatus::BadCrc);
}

TEST_F(ModbusLabTest, ModelDetectionOfEveryController) {
    const char* expected[] = {"3208", "2204", "2416", "Controller not configured as PID",
                              "Unknown model: 9A51"};
    for (int address = 1; address <= 5; ++address)
        EXPECT_EQ(DetectEurothermModel(QStringLiteral("COM5"), address),
                  QString::fromLatin1(expected[address - 1]));
    EXPECT_EQ(DetectEurothermModel(QStringLiteral("COM5"), 6),
              "Model query failed: Timeout while waiting for response");
    EXPECT_TRUE(TestEurotherm(QStringLiteral("COM5"), 2));
}

TEST_F(ModbusLabTest, WachendorfDisplayCheck) {
    const TWachendorfCheck ok = CheckWachendorf(QStringLiteral("COM7"));
    EXPECT_TRUE(ok.Valid) << ok.Status.constData();
    EXPECT_EQ(ok.Word, 8218);
    Locked([&] { Lab.Display->Faults.ReplaceWord = 8219; return 0; });
    const TWachendorfCheck wrong = CheckWachendorf(QStringLiteral("COM7"));
    EXPECT_FALSE(wrong.Valid);
    EXPECT_EQ(wrong.Word, 8219);
    const TWachendorfCheck elsewhere = CheckWachendorf(QStringLiteral("COM5"));
    EXPECT_FALSE(elsewhere.Valid);
    EXPECT_EQ(elsewhere.Status, SerialStatus::Timeout);
}

TEST_F(ModbusLabTest, ReplyInTwoBurstsIsRejectedAndItsRestDoesNotSpoilTheNextOne) {
    Locked([&] {
        Lab.Furnace3208->TargetSetpoint = 321;
        Lab.Furnace3208->RampRate = 1;
        Lab.Furnace3208->RampUnit = 1;
        Lab.FurnaceLine->Faults.SplitGapMs = 120; // the read ends after the first burst
        return 0;
    });
    TSerialResponse cut;
    Fast.QueryWords(1, 2, cut, 2);
    EXPECT_EQ(cut.Status, ModbusStatus::BadCrc);
    Locked([&] { Lab.FurnaceLine->Faults = {}; return 0; });
    SleepMs(150); // the second burst is queued now
    TSerialResponse next;
    Fast.QueryWords(1, 2, next, 2);
    EXPECT_EQ(next.Status, "");
    EXPECT_EQ(next.ValueOfFirstWord, 321);
    // A write's answer nobody waited for, in front of the next reply.
    EXPECT_TRUE(Fast.WriteWord(1, 35, false, 7));
    SleepMs(40);
    TSerialResponse after;
    Fast.QueryWords(1, 35, after, 1);
    EXPECT_EQ(after.Status, "");
    EXPECT_EQ(after.ValueOfFirstWord, 7);
}
