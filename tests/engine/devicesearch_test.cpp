// The device search of the session against a simulated laboratory.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include <memory>

#include "tavlo/folders.h"
#include "tavlo/portmap.h"
#include "tavlo/session.h"
#include "tavlo/userinteraction.h"
#include "tavlosim/simkeithley2000.h"
#include "tavlosim/simlab.h"
#include "tavlosim/simmodbus.h"
#include "testutil.h"

namespace {

// Answers "*IDN?" but its status byte never reads 0.
class TBusyStatusMeter : public TSimKeithley2000 {
public:
    uint8_t StatusByte() override { return 0x41; }
};

class DeviceSearch : public ::testing::Test {
protected:
    void SetUp() override {
        Scope = std::make_unique<TUserInteractionScope>(ui);
        SetDataFolder(dir.Path());
        adapter = std::make_shared<TSimPrologix>();
        keithley = std::make_shared<TSimKeithley2000>();
        adapter->Plug(1, keithley);
        adapter->Plug(2, std::make_shared<TBusyStatusMeter>());
        // COM5: a 3208 at 1, a controller not configured as PID at 2, a 2416 at 3.
        auto furnaces = std::make_shared<TSimModbusBus>();
        furnaces->Plug(1, std::make_shared<TSimEurotherm>(TSimEurotherm::Id3208));
        furnaces->Plug(2, std::make_shared<TSimEurotherm>(TSimEurotherm::IdNotPid));
        furnaces->Plug(3, std::make_shared<TSimEurotherm>(TSimEurotherm::Id2416));
        // COM6: a controller at 2 only, behind a silent address 1.
        auto gap = std::make_shared<TSimModbusBus>();
        gap->Plug(2, std::make_shared<TSimEurotherm>(TSimEurotherm::Id2204));
        QString error;
        ASSERT_FALSE(lab.AddSerialDevice("COM33", adapter, &error).isEmpty()) << error.toStdString();
        ASSERT_FALSE(lab.AddSerialDevice("COM5", furnaces, &error).isEmpty()) << error.toStdString();
        ASSERT_FALSE(lab.AddSerialDevice("COM6", gap, &error).isEmpty()) << error.toStdString();
        lab.Start();
        ASSERT_TRUE(lab.WritePortMap(dir.Path(), &error)) << error.toStdString();
        session = std::make_unique<TTavloSession>();
    }
    void TearDown() override {
        session.reset();
        lab.Stop();
    }
    // What the search is expected to leave: the ports of the laboratory with what answered,
    // and any other port of the machine without children.
    QString ExpectedSetupText() const {
        const QString k2000 = QStringLiteral("Multimeter K2000 COM33 ADDR:1 EOS:0 GPIB IDN?:") +
                              QLatin1String(TSimKeithley2000::Identification);
        QString text;
        for (const QString& port : ExistingPorts()) {
            text += port + "\r\n";
            if (port == "COM5")
                text += "\tEurotherm 3208 COM5 ADDR:1\r\n\tEurotherm 2416 COM5 ADDR:3\r\n";
            else if (port == "COM33")
                text += "\tPrologix USB-GPIB device\r\n\t\t" + k2000 + "\r\n";
        }
        return text;
    }
    int IndexOf(const QString& line) const { return session->DeviceMemo().indexOf(line); }

    TTestFolder dir;
    TRecordingUserInteraction ui;
    std::unique_ptr<TUserInteractionScope> Scope;
    TSimLab lab;
    std::shared_ptr<TSimPrologix> adapter;
    std::shared_ptr<TSimKeithley2000> keithley;
    std::unique_ptr<TTavloSession> session;
};

TEST_F(DeviceSearch, FindsAdapterInstrumentsAndControllersThenSavesLoadsAndValidates) {
    session->DeviceTree.AddRoot("COM99");
    session->SetDeviceSetupID("1");
    ui.QueueInput("2");
    ASSERT_TRUE(session->SearchDevices());
    EXPECT_EQ(ui.Inputs(), QStringList{"GPIB range: Provide the last GPIB address to scan (1-30)"});

    EXPECT_EQ(session->DeviceTree.ToSetupText(), ExpectedSetupText());
    EXPECT_TRUE(session->DevicesValidated());
    EXPECT_EQ(session->DeviceSetupID(), session->DeviceTree.DeviceSetupID());
    const QStringList& memo = session->DeviceMemo();
    ASSERT_FALSE(memo.isEmpty());
    EXPECT_EQ(memo.first(), "Scanning for hardware will take some time. The program will not "
                            "respond to user input during the search.");
    EXPECT_EQ(memo.last(), "Note that any loaded setup (including default.tdq) requires "
                           "validation before the devices can be used.");
    EXPECT_EQ(IndexOf("    No Prologix on this port") >= 0, true);
    const int adapterFound = IndexOf("    Found Prologix USB-GPIB converter on port: COM33");
    ASSERT_GE(adapterFound, 0);
    EXPECT_EQ(memo.at(adapterFound + 1),
              "      Version: Prologix GPIB-USB Controller version 6.107");
    // The address scan and the identification over the terminator codes.
    EXPECT_GE(IndexOf("Scanning port COM33 for GPIB devices, addresses 0..2"), 0);
    EXPECT_GE(IndexOf("  Serial poll 0 does not respond"), 0);
    EXPECT_FALSE(memo.filter(QRegularExpression("^  Serial poll 1 responds: \\d+$")).isEmpty());
    EXPECT_GE(IndexOf("  Serial poll 2 responds: 65"), 0);
    EXPECT_GE(IndexOf("  Multimeter K2000 COM33 ADDR:1 EOS:0 GPIB IDN?:" +
                      QLatin1String(TSimKeithley2000::Identification)),
              0);
    for (int eos = 0; eos <= 3; ++eos) {
        const int i = IndexOf(QStringLiteral("No-response Device COM33 ADDR:2 EOS:%1 GPIB").arg(eos));
        ASSERT_GE(i, 0) << eos;
        EXPECT_TRUE(memo.at(i + 1).startsWith("  *IDN?: KEITHLEY INSTRUMENTS INC.,MODEL 2000"));
        EXPECT_EQ(memo.at(i + 2), "  ++spoll:65");
    }
    EXPECT_GE(IndexOf("Role      : Unidentified"), 0);
    EXPECT_GE(IndexOf("Interface : ditGPIB"), 0);
    // The Modbus scan stops at the first silent address; the model query drops what it
    // cannot name.
    EXPECT_GE(IndexOf("    Found Eurotherm at COM5 address 3"), 0);
    EXPECT_GE(IndexOf("    COM5 address 4 did not respond - Stopped looking from this port"), 0);
    EXPECT_GE(IndexOf("    COM6 address 1 did not respond - Stopped looking from this port"), 0);
    EXPECT_LT(IndexOf("  Scanning COM6 address 2"), 0);
    EXPECT_GE(IndexOf("  Query model of Eurotherm at Port:COM5 ADDR:2"), 0);
    EXPECT_GE(IndexOf("    Controller not configured as PID"), 0);
    EXPECT_GE(IndexOf("    Found model 2416"), 0);
    EXPECT_LT(IndexOf("  Scanning COM33 address 1"), 0); // the adapter's port has children
    EXPECT_GE(IndexOf("    Initializing Multimeter K2000 COM33 ADDR:1 EOS:0 GPIB IDN?:" +
                      QLatin1String(TSimKeithley2000::Identification)),
              0);
    EXPECT_TRUE(ui.StatusHistory().contains("Searching for instruments"));
    EXPECT_EQ(ui.StatusText(0), QString());
    EXPECT_EQ(ui.BusyDepth(), 0);
    {
        auto lock = lab.Lock();
        EXPECT_TRUE(adapter->Lines.contains("++spoll 2"));
        EXPECT_TRUE(adapter->Lines.contains("++eos 3"));
        EXPECT_TRUE(keithley->Received.contains("*CLS")); // its initialisation
    }

    // Saved and loaded again: the same ID, not validated until validated.
    const QString path = dir.Path("Device Setups/found.tdq");
    ASSERT_TRUE(session->SaveDeviceSetup(path));
    TTavloSession loaded;
    ASSERT_TRUE(loaded.LoadDeviceSetup(path));
    EXPECT_EQ(loaded.DeviceSetupID(), session->DeviceSetupID());
    EXPECT_EQ(loaded.DeviceTree.ToSetupText(), session->DeviceTree.ToSetupText());
    EXPECT_FALSE(loaded.DevicesValidated());
    // The laboratory's part validates (the machine's own ports may be in use by others).
    const QList<int> roots = loaded.DeviceTree.Children(-1);
    for (auto it = roots.rbegin(); it != roots.rend(); ++it)
        if (!QStringList{"COM5", "COM6", "COM33"}.contains(loaded.DeviceTree.Node(*it).Text))
            loaded.DeviceTree.Remove(*it);
    const QString ours = loaded.DeviceTree.ToSetupText();
    ASSERT_TRUE(loaded.ValidateDevices()) << loaded.DeviceMemo().join('\n').toStdString();
    EXPECT_TRUE(loaded.DevicesValidated());
    EXPECT_EQ(loaded.DeviceTree.ToSetupText(), ours);
}

TEST_F(DeviceSearch, ABadRangeEndsTheSearchBeforeAnythingChanges) {
    session->DeviceTree.AddRoot("COM99");
    session->AddDeviceMemo("earlier line");
    session->SetDeviceSetupID("77");
    session->SetDevicesValidated(true);
    struct TCase {
        const char* Answer; // nullptr: the box is cancelled
        int Given;          // the caller's bound, -1 to ask
    };
    for (const TCase& c : {TCase{"31", -1}, TCase{"abc", -1}, TCase{"-1", -1}, TCase{nullptr, -1},
                           TCase{nullptr, 31}}) {
        SCOPED_TRACE(c.Answer ? c.Answer : "cancelled");
        if (c.Answer)
            ui.QueueInput(QString::fromLatin1(c.Answer));
        EXPECT_FALSE(session->SearchDevices(c.Given));
        EXPECT_EQ(session->DeviceTree.ToSetupText(), "COM99\r\n");
        EXPECT_EQ(session->DeviceMemo(), QStringList{"earlier line"});
        EXPECT_EQ(session->DeviceSetupID(), "77");
        EXPECT_TRUE(session->DevicesValidated());
    }
    EXPECT_EQ(ui.Inputs().size(), 4);
    EXPECT_TRUE(ui.StatusHistory().isEmpty());
    {
        auto lock = lab.Lock();
        EXPECT_TRUE(adapter->Lines.isEmpty());
    }
}

} // namespace
