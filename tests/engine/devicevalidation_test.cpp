// Validation of device setups against a simulated laboratory.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QThread>

#include <memory>

#include "enginetest.h"
#include "tavlo/devicetree.h"
#include "tavlo/folders.h"
#include "tavlo/portmap.h"
#include "tavlo/posixserial.h"
#include "tavlo/session.h"
#include "tavlo/userinteraction.h"
#include "tavlo/zhinst.h"
#include "tavlo/ziapi.h"
#include "tavlosim/modbuslab.h"
#include "tavlosim/simkeithley2000.h"
#include "tavlosim/simlab.h"
#include "tavlosim/simlabsetup.h"
#include "tavlosim/simlan.h"
#include "tavlosim/simmeters.h"
#include "tavlosim/simmodbus.h"
#include "tavlosim/standardlab.h"
#include "testutil.h"

namespace {

TDeviceTree TreeOf(const QString& setupText) {
    TDeviceTree tree;
    QString error;
    EXPECT_TRUE(TDeviceTree::FromSetupText(setupText, tree, &error)) << error.toStdString();
    return tree;
}

class TEnvironment {
public:
    TEnvironment(const char* name, const QByteArray& value) : FName(name) { qputenv(name, value); }
    ~TEnvironment() { qunsetenv(FName); }

private:
    const char* FName;
};

class DeviceValidation : public ::testing::Test {
protected:
    void SetUp() override {
        Scope = std::make_unique<TUserInteractionScope>(ui);
        SetDataFolder(dir.Path());
        session = std::make_unique<TTavloSession>();
    }
    void TearDown() override {
        session.reset();
        lab.Stop();
        ReplaceMFIAObject(nullptr);
    }
    void Serve() {
        lab.Start();
        QString error;
        ASSERT_TRUE(lab.WritePortMap(dir.Path(), &error)) << error.toStdString();
    }
    // Validates a setup text on a session whose devices were validated before.
    bool Validate(const QString& setupText) {
        session->DeviceTree = TreeOf(setupText);
        session->SetDevicesValidated(true);
        session->ClearDeviceMemo();
        const bool ok = session->ValidateDevices();
        EXPECT_EQ(session->DeviceTree.ToSetupText(), setupText) << "validation changed the tree";
        EXPECT_EQ(session->DevicesValidated(), ok);
        EXPECT_EQ(ui.BusyDepth(), 0);
        EXPECT_EQ(ui.StatusText(0), QString());
        return ok;
    }
    QString Memo() const { return session->DeviceMemo().join('\n'); }

    TTestFolder dir;
    TRecordingUserInteraction ui;
    std::unique_ptr<TUserInteractionScope> Scope;
    TSimLab lab;
    std::unique_ptr<TTavloSession> session;
};

TEST_F(DeviceValidation, TheFirstFailureEndsItWithItsMessage) {
    QString error;
    auto furnaces = std::make_shared<TSimModbusBus>();
    furnaces->Plug(1, std::make_shared<TSimEurotherm>(TSimEurotherm::Id3208));
    auto flows = std::make_shared<TSimModbusBus>();
    flows->Plug(1, std::make_shared<TSimVoegtlin>());
    auto silentAdapter = std::make_shared<TSimPrologix>();
    silentAdapter->Faults.NoAnswer = true;
    ASSERT_FALSE(lab.AddSerialDevice("COM5", furnaces, &error).isEmpty());
    ASSERT_FALSE(lab.AddSerialDevice("COM6", flows, &error).isEmpty());
    ASSERT_FALSE(lab.AddSerialDevice("COM34", silentAdapter, &error).isEmpty());
    ASSERT_FALSE(lab.AddSerialDevice("COM35", std::make_shared<TSimModbusBus>(), &error).isEmpty());
    auto server = std::make_shared<TSimFlowServer>(QStringLiteral("FlowDDE"));
    server->Channels[1] = TSimElflow{};
    TSimElflow pressure;
    pressure.Type = QStringLiteral("DPC");
    server->Channels[2] = pressure;
    const uint16_t flowPort = lab.AddTcpDevice("FLOWDDE", server, 0, &error);
    ASSERT_NE(flowPort, 0);
    auto meter = std::make_shared<TSimKeithley2000>();
    const uint16_t lanPort = lab.AddTcpDevice("LAN K2000", std::make_shared<TSimLanInstrument>(meter));
    ASSERT_NE(lanPort, 0);
    Serve();
    ASSERT_TRUE(WriteServiceMap(dir.Path(), "FLOWDDE", flowPort, &error));

    // Held by another program for the whole test.
    TPosixSerial holder;
    ASSERT_TRUE(holder.Open(DevicePathOf("COM35")));

    struct TCase {
        QString Setup;
        QStringList Lines; // in this order at the end of the log
        QString Shown = {}; // what the user was shown, if anything
    };
    const QString lan = QStringLiteral("Multimeter DMM6500 127.0.0.1 %1 LAN").arg(lanPort);
    const std::vector<TCase> cases = {
        {"", {"  Validating serial ports", "    No serial ports found - Validation failed"}},
        {"COM40\r\n", {"    The port COM40 does not exist - Validation failed"}},
        {"COM35\r\n",
         {"    The port COM35 exists",
          "    The port COM35 could not be opened - Port in use by something else. Validation failed"}},
        {"COM40\r\nCOM34\r\n\tPrologix USB-GPIB device\r\n",
         {"  Validating serial ports", "    The port COM40 does not exist - Validation failed"}},
        {"COM34\r\n\tPrologix USB-GPIB device\r\n",
         {"  Validating GPIB adapters", "    Validating GPIB adapter on port COM34",
          "      Could not find Prologix USB-GPIB adapter - Validation failed"}},
        {"API\r\n\tZHINST\r\n",
         {"  API found", "    API defined but lacks two child elements - validation failed"}},
        {"API\r\n\tNIDAQ\r\n\t\tImp.Spectrometer mf-dev1234 127.0.0.1 8004 API\r\n",
         {"    Unknown API defined: NIDAQ - validation failed"}},
        {"API\r\n\tZHINST\r\n\t\tImp.Spectrometer mf-dev1234  8004 API extra\r\n",
         {"    ZHInst definition problem: Imp.Spectrometer mf-dev1234  8004 API extra - validation failed",
          "      SL count:6", "      SL :\"Imp.Spectrometer\"", "      SL :\"mf-dev1234\"",
          "      SL :\"\"", "      SL :\"8004\"", "      SL :\"API\"", "      SL :\"extra\""}},
        {"LAN\r\n",
         {"    LAN definition lacks details - validation failed"}},
        {"LAN\r\n\tKeithley\r\n\t\t" + lan + "\r\n",
         {"    Trying to connect to LAN instrument", "    -> Failed",
          QStringLiteral("    Connected to DMM6500 @ 127.0.0.1:%1").arg(lanPort),
          "    IDN?: " + QLatin1String(TSimKeithley2000::Identification)}},
        {"FLOWDDE\r\n\tMassFlowController ELFLOW FLOWDDE ADDR:1\r\n"
         "\tMassFlowController ELFLOW FLOWDDE ADDR:2\r\n",
         {"    Validating FlowDDE MFC ELFLOW @:1 on:FLOWDDE", "      Device validated",
          "    Validating FlowDDE MFC ELFLOW @:2 on:FLOWDDE", "      Validation failed"},
         "DPC"},
        {"COM5\r\n\tEurotherm 3208 COM5 ADDR:1\r\n\tEurotherm 3208 COM5 ADDR:7\r\n",
         {"    Eurotherm 3208 COM5 ADDR:1", "      Eurotherm validated",
          "    Eurotherm 3208 COM5 ADDR:7", "      Validation failed"}},
        {"COM6\r\n\tMassFlowController GSC COM6 ADDR:9\r\n",
         {"  Validating 2nd level items: Eurotherm, V\u00f6gtlin",
          "    MassFlowController GSC COM6 ADDR:9",
          "      Validation failed:Communication failed, feedbback: No result to read"}},
        {"COM5\r\n\tWachendorf Display COM5 ADDR:254\r\n",
         {"  Validating Wachendorfs", "      Wachendorf failed"}, "0"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Setup.toStdString());
        const int shownBefore = static_cast<int>(ui.Messages().size());
        EXPECT_FALSE(Validate(c.Setup));
        const QStringList memo = session->DeviceMemo();
        ASSERT_GE(memo.size(), c.Lines.size());
        EXPECT_EQ(memo.mid(memo.size() - c.Lines.size()), c.Lines) << Memo().toStdString();
        EXPECT_TRUE(memo.filter("Validation finished.").isEmpty());
        EXPECT_TRUE(memo.filter("Validating devices setup was successful").isEmpty());
        if (!c.Shown.isEmpty()) {
            EXPECT_EQ(ui.Messages().mid(shownBefore).value(0), c.Shown);
        }
    }
    EXPECT_TRUE(ui.StatusHistory().contains("Validating instruments"));
}

TEST_F(DeviceValidation, TheAnalyserObjectIsReplacedAlsoWhenValidationFails) {
    Serve();
    // Connected, then the missing port fails the validation: the new object stays.
    EXPECT_FALSE(Validate("API\r\n\tZHINST\r\n\t\tImp.Spectrometer mf-dev1234 127.0.0.1 8004 API\r\n"
                          "COM40\r\n"));
    const QStringList memo = session->DeviceMemo();
    const QString library = TZIUtilities::LibraryDisplayName();
    for (const QString& line : QStringList{
             "    ZHInst API", "    ZHInst .dll file exists: " + library, QString("    Creating API instance"),
          QString("      -> serial: mf-dev1234"), QString("      -> port: 8004"),
          QString("    Connected to instrument: mf-dev1234 at port: 8004"),
          QString("  Instruments validatded: 1/1")})
        EXPECT_TRUE(memo.contains(line)) << line.toStdString() << "\n" << Memo().toStdString();
    EXPECT_FALSE(memo.filter(QRegularExpression("^    Valid API, version:.+")).isEmpty());
    ASSERT_NE(MFIAObject(), nullptr);
    EXPECT_TRUE(MFIAObject()->API().Connected());
    EXPECT_EQ(MFIAObject()->DeviceID, "/dev1234");
    EXPECT_EQ(ui.Messages().value(0),
              "Message from API connect procedure. Serial used is: mf-dev1234\r\nCorrect format is "
              "mf-devXXXX");

    {
        TEnvironment refuse("TAVLO_ZISIM_CONNECT_FAILURES", "-1");
        EXPECT_FALSE(Validate("API\r\n\tZHINST\r\n\t\tImp.Spectrometer mf-dev5678 127.0.0.1 8004 API\r\n"));
    }
    EXPECT_TRUE(session->DeviceMemo().contains(
        "    Could not connect to instrument: mf-dev5678 at port: 8004"))
        << Memo().toStdString();
    ASSERT_NE(MFIAObject(), nullptr);
    EXPECT_EQ(MFIAObject()->Serial, "mf-dev5678");
    EXPECT_FALSE(MFIAObject()->API().Connected());
    EXPECT_TRUE(ui.Messages().last().startsWith(
        "Message from API connect procedure. Failed to connect. Feedback code, write it down: "));

    // Without the library nothing is created.
    TZIUtilities::SetLibraryPath(dir.Path("Utility/none.so"));
    EXPECT_FALSE(Validate("API\r\n\tZHINST\r\n\t\tImp.Spectrometer mf-dev9 127.0.0.1 8004 API\r\n"));
    EXPECT_EQ(session->DeviceMemo().last(),
              "    ZHInst API .dll file not found: " + TZIUtilities::LibraryDisplayName());
    TZIUtilities::SetLibraryPath(QString());
    EXPECT_EQ(MFIAObject()->Serial, "mf-dev5678");
}

TEST_F(DeviceValidation, TheSimulatedLaboratorysSetupValidates) {
    TStandardLab standard;
    TModbusLab modbus;
    QString error;
    ASSERT_TRUE(BuildStandardLab(lab, standard, &error)) << error.toStdString();
    ASSERT_TRUE(BuildModbusLab(lab, modbus, &error)) << error.toStdString();
    auto dmm = std::make_shared<TSimScpiMeter>(TSimScpiMeter::KeithleyDMM6500);
    const uint16_t lanPort = lab.AddTcpDevice("DMM6500", std::make_shared<TSimLanInstrument>(dmm));
    ASSERT_NE(lanPort, 0);
    Serve();
    ASSERT_TRUE(WriteServiceMap(dir.Path(), QLatin1String(TModbusLab::FlowService),
                                modbus.FlowServerPort, &error));

    // The file tavlo-sim writes, with the ID it reports.
    QString id;
    ASSERT_TRUE(WriteSimLabSetup(dir.Path(), &id, &error)) << error.toStdString();
    ASSERT_TRUE(session->LoadDeviceSetup(dir.Path("Device Setups/simlab.tdq")));
    EXPECT_EQ(session->DeviceSetupID(), id);
    EXPECT_EQ(id, SimLabSetupID());
    const QString setup = session->DeviceTree.ToSetupText() +
                          QStringLiteral("LAN\r\n\tKeithley DMM6500\r\n\t\tMultimeter DMM6500 "
                                         "127.0.0.1 %1 LAN\r\n")
                              .arg(lanPort);

    ASSERT_TRUE(Validate(setup)) << Memo().toStdString();
    const QStringList memo = session->DeviceMemo();
    // The phases in their order.
    int at = -1;
    for (const QString& line : QStringList{
             "Trying to validate the setup", "Looking for 3rd party APIs and LAN instruments",
          "    Connected to instrument: mf-dev1234 at port: 8004", "  Instruments validatded: 1/2",
          "    -> Success", "  Instruments validatded: 2/2", "  Validating serial ports",
          "    The port COM33 can be used", "  Validating GPIB adapters",
          "      Working Prologix USB-GPIB adapter found", "  Validating 3rd level items",
          "    Validating FlowDDE MFC ELFLOW @:2 on:FLOWDDE", "      Device validated",
          "  Validating 2nd level items: Eurotherm, V\u00f6gtlin", "      Eurotherm validated",
          "    MassFlowController GSC COM6 ADDR:2", "      Validation succeeded:",
          "  Validating Wachendorfs", "      Wachendorf validated",
          "Validating devices setup was successful", "Initializing possible GPIB and LAN instruments...",
          "    Initializing Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB IDN?:KEITHLEY INSTRUMENTS "
          "INC.,MODEL 2000,1187302,A20  /A02",
          "    Initializing Multimeter DMM6500 127.0.0.1 " + QString::number(lanPort) + " LAN",
          "Initializing ZAPI instruments...", "Validation finished."}) {
        const int next = static_cast<int>(memo.indexOf(line, at + 1));
        EXPECT_GT(next, at) << line.toStdString() << "\n" << Memo().toStdString();
        if (next > at)
            at = next;
    }
    // Flow-server controllers are not read as Vögtlin controllers.
    EXPECT_TRUE(memo.filter("feedbback").isEmpty());
    EXPECT_TRUE(ui.Messages().contains("8218"));
    // The initialisation's lines reach the instrument (the lab reads them on its own thread).
    bool beeped = false;
    for (int i = 0; i < 100 && !beeped; ++i) {
        {
            auto lock = lab.Lock();
            beeped = dmm->Received.contains(":SYSTem:BEEPer 800, 0.1");
        }
        if (!beeped)
            QThread::msleep(20);
    }
    EXPECT_TRUE(beeped);
    ASSERT_NE(MFIAObject(), nullptr);
    EXPECT_TRUE(MFIAObject()->API().Connected());
    EXPECT_EQ(MFIAObject()->MaxFrequency(), TZHInst::OptionMaxFrequency); // InitMFIA ran

    // Loading the same file again clears the flag.
    ASSERT_TRUE(session->LoadDeviceSetup(dir.Path("Device Setups/simlab.tdq")));
    EXPECT_FALSE(session->DevicesValidated());
}

TEST_F(DeviceValidation, TheEngineRunsOnlyMeasurementsOfTheValidatedSetup) {
    QString error;
    ASSERT_FALSE(lab.AddSerialDevice("COM40", std::make_shared<TSimModbusBus>(), &error).isEmpty());
    Serve();
    const QString path = dir.Path("Device Setups/quiet.tdq");
    dir.Write("Device Setups/quiet.tdq", "COM40\r\n");
    ASSERT_TRUE(session->LoadDeviceSetup(path));
    const QString id = session->DeviceSetupID();
    session->LastAutosave = Now();
    TMeasurement* mine = AddMeasurement(*session, "Mine");
    mine->SetDeviceSetup(id);
    TMeasurementNode* counted = AddNode(*mine, "counted");
    TMeasurement* other = AddMeasurement(*session, "Other");
    other->SetDeviceSetup(QString::number(id.toULongLong() + 1));
    TMeasurementNode* never = AddNode(*other, "never");

    // Loaded, not validated: nothing runs.
    session->EngineTick();
    EXPECT_EQ(session->CurrentEngine(), nullptr);
    ASSERT_TRUE(session->ValidateDevices()) << Memo().toStdString();
    EXPECT_EQ(session->DeviceSetupID(), id);
    ASSERT_TRUE(OneRun(*session));
    EXPECT_EQ(counted->DataCount(), 1);
    EXPECT_EQ(never->DataCount(), 0);
    EXPECT_TRUE(session->RunLog().contains("Engine started with 1 nodes."));
    EXPECT_TRUE(session->RunLog().contains(
        "Skipping measurement 'Other' Check: Is it marked active, what is the frequency limit, if "
        "device setup IDs match, are devices validated"));
}

} // namespace
