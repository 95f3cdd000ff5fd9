#include <gtest/gtest.h>

#include "modbuslabfixture.h"
#include "tavlo/voegtlinport.h"

#include <cmath>
#include <thread>

namespace {
QByteArray Hex(const char* text) { return QByteArray::fromHex(text); }
void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// A raw reply placed in a record as the serial layer leaves it.
TSerialResponse Raw(const QByteArray& bytes) {
    TSerialResponse r;
    r.Response = bytes;
    for (qsizetype i = 0; i < bytes.size() && i < 256; ++i)
        r.rArray[static_cast<size_t>(i)] = static_cast<uint8_t>(bytes[i]);
    r.ResponseLength = static_cast<uint8_t>(bytes.size() & 0xFF);
    return r;
}

class VoegtlinTest : public ModbusLabTest {
protected:
    VoegtlinTest() {
        Gsc.SetPort(QStringLiteral("COM6"));
        Gsc.SetWindowsReadLoopTimeoutMS(10);
        Gsc.SetReadoutTimeoutMS(50);
    }
    TVoegtlinPort Gsc;
};
} // namespace

TEST(GscDecode, ReplyLengthsAndValues) {
    struct Case {
        TGscValue Kind;
        QByteArray Reply;
        QByteArray Status;
        int Integer;
        double Float; // NaN: expect NaN
        QByteArray Text;
    };
    const Case cases[] = {
        {TGscValue::U16, Modbus::WithCrc(Hex("010302abcd")), "", 0xABCD, 0xABCD, ""},
        {TGscValue::U16, Modbus::WithCrc(Hex("010302ab")), ModbusStatus::WrongAmount, 0, 0, ""},
        {TGscValue::U32, Modbus::WithCrc(Hex("01030475bcd15a")), "", 0x75BCD15A, 1975308634.0, ""},
        {TGscValue::U32, Modbus::WithCrc(Hex("010304fffffffe")), "", -2, 4294967294.0, ""},
        {TGscValue::F32, Modbus::WithCrc(Hex("01030440200000")), "", 0, 2.5, ""},
        {TGscValue::F32, Modbus::WithCrc(Hex("01030400000000")), "", 0, 0.0, ""},
        {TGscValue::F32, Modbus::WithCrc(Hex("0103047fc00000")), "", 0, NAN, ""},
        {TGscValue::F32, Modbus::WithCrc(Hex("0103047f800001")), "", 0, NAN, ""},
        {TGscValue::F32, Modbus::WithCrc(Hex("01030440200000")).left(8), ModbusStatus::WrongAmount, 0, NAN, ""},
        {TGscValue::F32, Modbus::WithCrc(Hex("010304402000")), ModbusStatus::WrongAmount, 0, NAN, ""},
        {TGscValue::F32, Modbus::WithCrc(Hex("0103044020000000")), ModbusStatus::WrongAmount, 0, NAN, ""},
        {TGscValue::F32, Hex("01030440200000ffff"), ModbusStatus::BadCrc, 0, NAN, ""},
        {TGscValue::F32, QByteArray(), ModbusStatus::NoResult, 0, NAN, ""},
        {TGscValue::S8, Modbus::WithCrc(Hex("0103084e32000000000000")), "", 0, 0, "N2"},
        {TGscValue::S8, Modbus::WithCrc(QByteArray::fromHex("010308") + QByteArray("ln\x01/mi\x7fn", 8)), "", 0, 0, "ln/min"},
        {TGscValue::S8, Modbus::WithCrc(QByteArray::fromHex("010308") + QByteArray("H2 5%/Ar")), "", 0, 0, "H2 5/Ar"},
        {TGscValue::S8, Modbus::WithCrc(Hex("0103084e320000000000")), ModbusStatus::WrongAmount, 0, 0, ""},
        {TGscValue::U16, Modbus::WithCrc(Hex("018302")), ModbusStatus::WrongAmount, 0, 0, ""},
        {TGscValue::U16, Modbus::WithCrc(Hex("020302abcd")), ModbusStatus::ForeignReply, 0, 0, ""},
    };
    for (const Case& c : cases) {
        TSerialResponse r = Raw(c.Reply);
        DecodeGscReply(c.Kind, 1, r);
        const std::string label = c.Reply.toHex().toStdString() + " kind " + std::to_string(static_cast<int>(c.Kind));
        EXPECT_EQ(r.Status, c.Status) << label;
        if (c.Kind == TGscValue::U16 || c.Kind == TGscValue::U32) {
            EXPECT_EQ(r.AsInteger, c.Integer) << label;
        }
        if (c.Kind != TGscValue::S8) {
            if (std::isnan(c.Float)) {
                EXPECT_TRUE(std::isnan(r.AsFloat)) << label;
            } else {
                EXPECT_FLOAT_EQ(r.AsFloat, static_cast<float>(c.Float)) << label;
            }
        } else {
            EXPECT_EQ(r.AsString, c.Text) << label;
        }
        if (c.Reply.size() == GscReplyLength(c.Kind)) {
            EXPECT_EQ(r.AsHex, Modbus::HexText(r.rArray.data(), static_cast<int>(c.Reply.size())).toLatin1());
            EXPECT_EQ(r.AsInt.count(' '), c.Reply.size());
        }
    }
}

TEST(GscDecode, AlarmTexts) {
    EXPECT_EQ(GscAlarmLines(0), QStringList{"No errors found"});
    for (int bit = 0; bit < 16; ++bit) {
        const QStringList lines = GscAlarmLines(1 << bit);
        ASSERT_EQ(lines.size(), 5) << bit;
        EXPECT_EQ(lines[0], QStringLiteral("Error bitmask: ") + QString::number(1 << bit));
        EXPECT_EQ(lines[1], "");
        EXPECT_EQ(lines[3], "");
        EXPECT_EQ(lines[4], "Restart device to clear errors");
        if (bit == 6 || bit == 8 || bit == 9) {
            EXPECT_EQ(lines[2], "") << bit;
        } else {
            EXPECT_TRUE(lines[2].startsWith(QString::number(bit) + QStringLiteral(") "))) << bit;
        }
    }
    EXPECT_TRUE(GscAlarmText(0).startsWith("0) Power-up alarm. If the instrument is switched off"));
    EXPECT_TRUE(GscAlarmText(0).endsWith("This status will only be checked at power-up."));
    EXPECT_EQ(GscAlarmText(10), "10) Current input overload. Raised if current at analog input exceeds 25mA.");
    EXPECT_EQ(GscAlarmText(11), "11) The sensor serial number does not match the loaded gas data. The "
                                "valve is closed, the actual value is set to 0.");
    EXPECT_TRUE(GscAlarmText(4).contains("valve too  small (after a change of gas)"));
    EXPECT_TRUE(GscAlarmText(2).contains("a flow is meas- ured."));
    const QStringList several = GscAlarmLines(0b100000001001);
    EXPECT_EQ(several.size(), 7);
    EXPECT_TRUE(several[2].startsWith("0) "));
    EXPECT_TRUE(several[3].startsWith("3) "));
    EXPECT_TRUE(several[4].startsWith("11) "));
}

TEST_F(VoegtlinTest, RegistersOverTheLine) {
    TSerialResponse serial, gas, unit, range, active;
    Gsc.ReadU32(2, GscRegister::SerialNumber, serial);
    EXPECT_EQ(serial.Status, "");
    EXPECT_EQ(serial.AsInteger, 987654);
    EXPECT_FLOAT_EQ(serial.AsFloat, 987654.0f);
    EXPECT_EQ(serial.AsHex.count(' '), 9);
    Gsc.ReadS8(1, GscRegister::GasName, gas);
    EXPECT_EQ(gas.AsString, "N2");
    Gsc.ReadS8(1, GscRegister::Unit, unit);
    EXPECT_EQ(unit.AsString, "ln/min");
    Gsc.ReadF32(2, GscRegister::Range, range);
    EXPECT_FLOAT_EQ(range.AsFloat, 20.0f);
    Gsc.ReadU16(2, GscRegister::GasTableIndex, active);
    EXPECT_EQ(active.AsInteger, 3);
    EXPECT_FLOAT_EQ(active.AsFloat, 3.0f);
}

TEST_F(VoegtlinTest, FlowFollowsTheSetpointAndTheTotaliserCounts) {
    TSerialResponse w;
    Gsc.WriteF32(1, GscRegister::Setpoint, w, 2.5f);
    EXPECT_EQ(w.Status, "");
    SleepMs(1500);
    const TGscReading reading = ReadGscFlow(QStringLiteral("COM6"), 1);
    EXPECT_TRUE(reading.Valid) << reading.Status.constData();
    EXPECT_NEAR(reading.Flow, 2.5, 0.06);
    EXPECT_FLOAT_EQ(static_cast<float>(reading.Setpoint), 2.5f);
    TSerialResponse total;
    Gsc.ReadF32(1, GscRegister::Totaliser, total);
    EXPECT_GT(total.AsFloat, 0.03f); // about 2.5 per minute for 1.5 s and more
    EXPECT_LT(total.AsFloat, 0.12f);
    // The flow action.
    EXPECT_TRUE(WriteGscSetpoint(QStringLiteral("COM6"), 2, 12.75));
    SleepMs(20);
    auto lock = Sim.Lab.Lock();
    EXPECT_FLOAT_EQ(Lab.Gsc2->Setpoint, 12.75f);
    EXPECT_FLOAT_EQ(Lab.Gsc1->Setpoint, 2.5f);
}

TEST_F(VoegtlinTest, FaultyRepliesGiveTheirStatus) {
    struct Case {
        const char* Name;
        TSimModbusFaults Faults;
        QByteArray Status;
    };
    TSimModbusFaults cut, silent, badCrc, slow;
    cut.CutBytes = 1;
    silent.NoAnswer = true;
    badCrc.BadCrc = true;
    slow.SlowMs = 200;
    for (const Case& c : {Case{"cut", cut, ModbusStatus::WrongAmount},
                          Case{"silent", silent, ModbusStatus::NoResult},
                          Case{"bad CRC", badCrc, ModbusStatus::BadCrc},
                          Case{"slow", slow, ModbusStatus::NoResult}}) {
        Locked([&] { Lab.Gsc1->Faults = c.Faults; return 0; });
        TSerialResponse r;
        Gsc.ReadF32(1, GscRegister::MeasuredFlow, r);
        EXPECT_EQ(r.Status, c.Status) << c.Name;
        EXPECT_TRUE(std::isnan(r.AsFloat)) << c.Name;
        const TGscReading reading = ReadGscFlow(QStringLiteral("COM6"), 1);
        EXPECT_FALSE(reading.Valid) << c.Name;
        // The FL read waits only 100 ms: on a loaded machine any fault may end as no result.
        EXPECT_TRUE(reading.Status == c.Status || reading.Status == ModbusStatus::NoResult)
            << c.Name << ": " << reading.Status.toStdString();
        SleepMs(500); // let a slow reply drain
    }
    // A short reply whose CRC is right is still the wrong amount.
    ServeScript(QStringLiteral("COM9"), Modbus::WithCrc(Hex("0103024020")));
    Gsc.SetPort(QStringLiteral("COM9"));
    TSerialResponse shortReply;
    Gsc.ReadF32(1, 0, shortReply);
    EXPECT_EQ(shortReply.Status, ModbusStatus::WrongAmount);
    Sim.Lab.RemovePort(QStringLiteral("COM9"));
    TSerialResponse gone;
    Gsc.ReadU16(1, 13, gone);
    EXPECT_EQ(gone.Status, SerialStatus::PortInUse);
}

TEST_F(VoegtlinTest, ToolReadListsTheGasesAndRestoresTheActiveOne) {
    Locked([&] {
        Lab.Gsc1->ActiveGas = Lab.Gsc1->GasTableIndex = 5;
        Lab.Gsc1->Setpoint = 1;
        return 0;
    });
    const TGscToolValues v = ReadGscTool(QStringLiteral("COM6"), 1);
    EXPECT_TRUE(v.Ok) << v.Message.toStdString();
    EXPECT_EQ(v.SerialNumber, 123456789);
    EXPECT_EQ(v.GasName, "CO2");
    EXPECT_EQ(v.Unit, "ln/min");
    EXPECT_FLOAT_EQ(static_cast<float>(v.Range), 5.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(v.Setpoint), 1.0f);
    EXPECT_EQ(v.ActiveGas, 5);
    const QList<QPair<int, QString>> gases{{2, "N2"}, {3, "O2"}, {4, "Ar"}, {5, "CO2"}, {6, "H2 5/Ar"}, {9, "Air"}};
    EXPECT_EQ(v.Gases, gases);
    SleepMs(20);
    Locked([&] {
        EXPECT_EQ(Lab.Gsc1->GasTableIndex, 5);
        EXPECT_EQ(Lab.Gsc1->ActiveGas, 5);
        return 0;
    });
    // A controller that does not answer: the message, and the table is not walked.
    Locked([&] { Lab.Gsc2->Faults.NoAnswer = true; return 0; });
    const int before = Locked([&] { return static_cast<int>(Lab.FlowLine->Frames.size()); });
    const TGscToolValues busy = ReadGscTool(QStringLiteral("COM6"), 2);
    EXPECT_FALSE(busy.Ok);
    EXPECT_EQ(busy.Message, "Unable to communicate, device possibly busy");
    EXPECT_TRUE(busy.Gases.isEmpty());
    EXPECT_EQ(Locked([&] { return static_cast<int>(Lab.FlowLine->Frames.size()); }) - before, 8);
}

TEST_F(VoegtlinTest, ToolWriteSetsSetpointAndGas) {
    EXPECT_TRUE(WriteGscTool(QStringLiteral("COM6"), 1, 3.25, 4).isEmpty());
    SleepMs(20);
    Locked([&] {
        EXPECT_FLOAT_EQ(Lab.Gsc1->Setpoint, 3.25f);
        EXPECT_EQ(Lab.Gsc1->GasTableIndex, 4);
        EXPECT_EQ(Lab.Gsc1->ActiveGas, 4);
        return 0;
    });
    Sim.Lab.RemovePort(QStringLiteral("COM6"));
    const QStringList failed = WriteGscTool(QStringLiteral("COM6"), 1, 3.25, 4);
    ASSERT_EQ(failed.size(), 2);
    EXPECT_EQ(failed[0], "Sending new flow value failed, plese retry. If MFM then no problem, it has not setpoint to set");
    EXPECT_EQ(failed[1], "Changing gas calibration failed, please reset in Red-Y software.");
}

TEST_F(VoegtlinTest, AlarmReadOfEveryBit) {
    for (int bit = 0; bit < 12; ++bit) {
        Locked([&] { Lab.Gsc1->AlarmBits = static_cast<uint16_t>(1 << bit); return 0; });
        bool ok = false;
        const QStringList lines = ReadGscAlarms(QStringLiteral("COM6"), 1, &ok);
        EXPECT_TRUE(ok) << bit;
        EXPECT_EQ(lines, GscAlarmLines(1 << bit)) << bit;
        EXPECT_EQ(lines.value(2), GscAlarmText(bit));
    }
    Locked([&] { Lab.Gsc1->AlarmBits = 0; return 0; });
    EXPECT_EQ(ReadGscAlarms(QStringLiteral("COM6"), 1), QStringList{"No errors found"});
    bool ok = true;
    const QStringList none = ReadGscAlarms(QStringLiteral("COM6"), 7, &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(none.value(1), "No result to read");
}

TEST_F(VoegtlinTest, Validation) {
    EXPECT_TRUE(ValidateGsc(QStringLiteral("COM6"), 1));
    QByteArray status;
    EXPECT_FALSE(ValidateGsc(QStringLiteral("COM6"), 3, &status));
    EXPECT_EQ(status, "No result to read");
}
