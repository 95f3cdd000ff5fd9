#include <gtest/gtest.h>

#include "tavlo/device.h"
#include "tavlo/measurementnode.h"

namespace {
struct TDeviceCase {
    const char* Line;
    TDeviceInterfaceType Type;
    const char* Role;
    const char* Key;
    const char* Port;
    int Address;
    int Eos;
    const char* Ip;
    const char* Path;
};

const TDeviceCase DeviceCases[] = {
    {"Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB", ditGPIB, "Multimeter", "K2000", "COM33", 4, 0, "", ""},
    {"Multimeter K2000 COM33 ADDR:12 EOS:2 GPIB IDN?:KEITHLEY INSTRUMENTS INC.,MODEL 2000,1,A",
     ditGPIB, "Multimeter", "K2000", "COM33", 12, 2, "", ""},
    {"Multimeter K2000 COM33 ADDR:4 GPIB", ditGPIB, "Multimeter", "K2000", "COM33", 4, -1, "", ""},
    {"No-response Device COM33 ADDR:7 EOS:1 GPIB", ditGPIB, "No-response", "Device", "COM33", 7, 1, "", ""},
    {"Imp.Spectrometer Hioki_3522-50 COM3 ADDR:1 ***", ditGPIB, "Imp.Spectrometer", "Hioki_3522-50", "COM3", 1, -1, "", ""},
    {"Multimeter K2000 COM33 ADDR:x EOS:0 GPIB", ditGPIB, "", "", "", -1, -1, "", ""},
    {"Multimeter K2000 COM33 ADDR:4 EOS:z GPIB", ditGPIB, "", "", "", -1, -1, "", ""},
    {"Eurotherm 3208 COM5 ADDR:1", ditUndefined, "Eurotherm", "3208", "COM5", 1, 0, "", ""},
    {"MassFlowController Voegtlin COM6 ADDR:247", ditUndefined, "MassFlowController", "Voegtlin", "COM6", 247, 0, "", ""},
    {"Eurotherm 3208 COM5", ditUndefined, "", "", "", -1, -1, "", ""},
    {"Eurotherm 3208 COM5 ADDR:", ditUndefined, "", "", "", -1, -1, "", ""},
    {"Multimeter DMM6500 192.168.1.20 5025 LAN", ditLAN, "Multimeter", "DMM6500", "5025", 0, 0, "192.168.1.20", "/6500"},
    {"Imp.Spectrometer mf-dev1234 127.0.0.1 8004 LAN", ditLAN, "Imp.Spectrometer", "mf-dev1234", "8004", 0, 0, "127.0.0.1", "/DEV1234"},
    {"Imp.Spectrometer mf-dev1234 127.0.0.1 8004 API", ditAPIZ, "Imp.Spectrometer", "mf-dev", "8004", 8004, 0, "", "/DEV1234"},
    {"\"Imp Spectrometer\" \"mf-dev1234\" host 8004 API", ditAPIZ, "Imp Spectrometer", "mf-dev", "8004", 8004, 0, "", "/DEV1234"},
    {"Something else entirely", ditUndefined, "", "", "", 0, 0, "", ""},
    {"", ditUndefined, "", "", "", 0, 0, "", ""},
    {"   ", ditUndefined, "", "", "", 0, 0, "", ""},
};
} // namespace

TEST(DeviceTest, DeviceLinesParseByTheirForm) {
    for (const TDeviceCase& c : DeviceCases) {
        SCOPED_TRACE(c.Line);
        const TDevice d = TDevice::FromLine(QString::fromUtf8(c.Line));
        EXPECT_EQ(d.InterfaceType, c.Type);
        EXPECT_EQ(d.Role, QString::fromUtf8(c.Role));
        EXPECT_EQ(d.IDString, QString::fromUtf8(c.Key));
        EXPECT_EQ(d.Port, QString::fromUtf8(c.Port));
        EXPECT_EQ(d.Address, c.Address);
        EXPECT_EQ(d.EOS, c.Eos);
        EXPECT_EQ(d.IPAddress, QString::fromUtf8(c.Ip));
        EXPECT_EQ(d.ZNodePath, QString::fromUtf8(c.Path));
        EXPECT_TRUE(d.Extra.isEmpty());
        EXPECT_TRUE(d.IDN.isEmpty());
    }
}

TEST(DeviceTest, EmptyOrUnknownLineLeavesTheRecordAsItWas) {
    TDevice d;
    d.Role = QStringLiteral("kept");
    d.Address = 9;
    d.InterfaceType = ditModbus;
    d.Create(QString());
    d.Create(QStringLiteral("no known form here"));
    EXPECT_EQ(d.Role, QStringLiteral("kept"));
    EXPECT_EQ(d.Address, 9);
    EXPECT_EQ(d.InterfaceType, ditModbus);
    // A Modbus line keeps the interface the record had.
    d.Create(QStringLiteral("Eurotherm 3508 COM2 ADDR:3"));
    EXPECT_EQ(d.InterfaceType, ditModbus);
    EXPECT_EQ(d.Address, 3);
}

TEST(DeviceTest, QuotedTokensStayTogether) {
    EXPECT_EQ(DeviceLineTokens(QStringLiteral("a \"b c\"  d\"e f\"g \"x\"\"y\"")),
              QStringList({"a", "b c", "de fg", "x\"y"}));
    EXPECT_EQ(DeviceLineTokens(QStringLiteral("\"unterminated quote")),
              QStringList({"unterminated quote"}));
    EXPECT_TRUE(DeviceLineTokens(QStringLiteral(" \t ")).isEmpty());
}

TEST(DeviceTest, NodeViewsParseInstrumentAndSwitch) {
    TMeasurementNode node;
    EXPECT_EQ(InstrumentData(node).InterfaceType, ditUndefined);
    EXPECT_TRUE(InstrumentData(node).Role.isEmpty());
    EXPECT_EQ(SwitchData(node).Address, 0);
    node.Instrument = QStringLiteral("Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB");
    node.Switch = QStringLiteral("Switch 7001 COM33 ADDR:7 EOS:1 GPIB");
    EXPECT_EQ(InstrumentData(node).Address, 4);
    const TDevice s = SwitchData(node);
    EXPECT_EQ(s.Role, QStringLiteral("Switch"));
    EXPECT_EQ(s.IDString, QStringLiteral("7001"));
    EXPECT_EQ(s.Port, QStringLiteral("COM33"));
    EXPECT_EQ(s.Address, 7);
    EXPECT_EQ(s.EOS, 1);
    EXPECT_EQ(s.InterfaceType, ditUndefined);
}

TEST(DeviceTest, SwitchLineRules) {
    struct {
        const char* Line;
        const char* Role;
        int Address, Eos;
    } cases[] = {
        {"Eurotherm 3208 COM5 ADDR:2", "Eurotherm", 2, 0},
        {"Eurotherm 3208 COM5 ADDR:2 EOS:x", "Eurotherm", 2, 0},
        {"Switch 7001 COM33 ADDR:7", "", -1, -1},
        {"Switch 7001 COM33 ADDR:q EOS:1", "", -1, -1},
        {"Switch 7001 COM33 ADDR:7 EOS:", "", -1, -1},
        {"Switch", "", -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Line);
        const TDevice d = ParseSwitchLine(QString::fromUtf8(c.Line));
        EXPECT_EQ(d.Role, QString::fromUtf8(c.Role));
        EXPECT_EQ(d.Address, c.Address);
        EXPECT_EQ(d.EOS, c.Eos);
        if (c.Address < 0) {
            EXPECT_TRUE(d.IDString.isEmpty() && d.Port.isEmpty());
        }
    }
}

TEST(DeviceTest, SearchLinesParseBack) {
    const QString gpib = IdentifiedGpibDeviceLine(QStringLiteral("Multimeter K2000"),
                                                  QStringLiteral("COM33"), 4, 0,
                                                  QStringLiteral("KEITHLEY INSTRUMENTS INC.,MODEL 2000"));
    EXPECT_EQ(gpib, QStringLiteral("Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB IDN?:KEITHLEY "
                                   "INSTRUMENTS INC.,MODEL 2000"));
    EXPECT_EQ(NoResponseDeviceLine(QStringLiteral("COM33"), 5, 1),
              QStringLiteral("No-response Device COM33 ADDR:5 EOS:1 GPIB"));
    EXPECT_EQ(EurothermDeviceLine(QStringLiteral("3208"), QStringLiteral("COM5"), 1),
              QStringLiteral("Eurotherm 3208 COM5 ADDR:1"));
    for (const QString& line : {gpib, NoResponseDeviceLine(QStringLiteral("COM33"), 5, 1)}) {
        const TDevice d = TDevice::FromLine(line);
        EXPECT_EQ(d.InterfaceType, ditGPIB);
        EXPECT_EQ(d.Port, QStringLiteral("COM33"));
    }
    EXPECT_EQ(TDevice::FromLine(EurothermDeviceLine(QStringLiteral("3208"), QStringLiteral("COM5"), 1)).Address, 1);
}
