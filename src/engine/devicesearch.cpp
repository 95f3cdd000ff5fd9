// Device discovery and validation of the session's device tree (Devices page).
#include "tavlo/session.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <chrono>
#include <thread>

#include "tavlo/catalogue.h"
#include "tavlo/device.h"
#include "tavlo/eurotherm.h"
#include "tavlo/flowserver.h"
#include "tavlo/lan.h"
#include "tavlo/log.h"
#include "tavlo/portmap.h"
#include "tavlo/posixserial.h"
#include "tavlo/prologix.h"
#include "tavlo/serialport.h"
#include "tavlo/userinteraction.h"
#include "tavlo/voegtlinport.h"
#include "tavlo/zhinst.h"
#include "tavlo/ziapi.h"

namespace {

const QString KAdapterNode = QStringLiteral("Prologix USB-GPIB device");
const QString KUnidentifiedEurotherm = QStringLiteral("Unidentified Eurotherm at ADDR:");
constexpr int KMaxModbusAddress = 247;

void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The user interface is refreshed between the steps of a long operation.
void Refresh() {
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
}

QString InterfaceName(TDeviceInterfaceType type) {
    switch (type) {
    case ditGPIB:
        return QStringLiteral("ditGPIB");
    case ditAPIZ:
        return QStringLiteral("ditAPIZ");
    case ditLAN:
        return QStringLiteral("ditLAN");
    case ditModbus:
        return QStringLiteral("ditModbus");
    case ditUndefined:
        break;
    }
    return QStringLiteral("ditUndefined");
}

QString Reply(const TSerialResponse& r) { return QString::fromLatin1(TrimBlanksAndControls(r.Response)); }

QByteArray Line(const QString& text) { return text.toLatin1() + '\r'; }

bool IsApiRoot(const QString& text) { return text.trimmed() == QLatin1String("API"); }
bool IsLanRoot(const QString& text) { return text.trimmed() == QLatin1String("LAN"); }
bool IsDdeRoot(const QString& text) { return text.contains(QLatin1String("DDE")); }

// Stops the engine timer and shows the busy cursor and a status text for its lifetime.
class TLongOperation {
public:
    TLongOperation(TTavloSession& session, const QString& status)
        : FSession(session), FTimerWasActive(session.TimerActive()) {
        FSession.StopTimer();
        FSession.WaitForEngine();
        UserInteraction().SetBusy(true);
        FSession.SetStatusText(status);
    }
    ~TLongOperation() {
        FSession.SetStatusText(QString());
        UserInteraction().SetBusy(false);
        if (FTimerWasActive)
            FSession.StartTimer();
    }
    TLongOperation(const TLongOperation&) = delete;
    TLongOperation& operator=(const TLongOperation&) = delete;

private:
    TTavloSession& FSession;
    bool FTimerWasActive;
};

} // namespace

// ---- Search ----

bool TTavloSession::SearchDevices(int lastAddress) {
    if (lastAddress < 0) {
        QString answer = QStringLiteral("30");
        if (!UserInteraction().InputQuery(QStringLiteral("GPIB range"),
                                          QStringLiteral("Provide the last GPIB address to scan (1-30)"),
                                          answer))
            return false;
        bool ok = false;
        lastAddress = answer.trimmed().toInt(&ok);
        if (!ok)
            return false;
    }
    if (lastAddress < 0 || lastAddress > 30)
        return false;

    TLongOperation operation(*this, QStringLiteral("Searching for instruments"));
    DeviceTree.Clear();
    ClearDeviceMemo();
    // The tree no longer is the one that was validated.
    SetDevicesValidated(false);
    SetDeviceSetupID(DeviceTree.DeviceSetupID());
    AddDeviceMemo(QStringLiteral("Scanning for hardware will take some time. The program will not "
                                 "respond to user input during the search."));
    AddDeviceMemo(QString());
    AddDeviceMemo(QStringLiteral("Scanning for hardware COM ports or for virtual COM ports (USB)"));
    Refresh();

    const QStringList ports = ExistingPorts();
    if (ports.isEmpty()) {
        AddDeviceMemo(QStringLiteral("No Com ports found, cannot continue"));
        return false;
    }
    for (const QString& port : ports) {
        DeviceTree.AddRoot(port);
        InitializeGPIBInstrument(port, 0, 0, QString());
    }
    AddDeviceMemo(QStringLiteral("Added ") + QString::number(ports.size()) +
                  QStringLiteral(" COM ports"));
    Refresh();

    // Adapters.
    QStringList adapterPorts;
    for (const QString& port : ports) {
        AddDeviceMemo(QStringLiteral("  Scanning serial port ") + port +
                      QStringLiteral(" for Prologix USB-GPIB converter"));
        QByteArray version;
        if (IsPrologixAdapter(port, &version)) {
            AddDeviceMemo(QStringLiteral("    Found Prologix USB-GPIB converter on port: ") + port);
            AddDeviceMemo(QStringLiteral("      Version: ") +
                          QString::fromLatin1(TrimBlanksAndControls(version)));
            for (int root : DeviceTree.Children(-1))
                if (DeviceTree.Node(root).Text == port)
                    DeviceTree.AddChild(root, KAdapterNode);
            adapterPorts.append(port);
        } else {
            AddDeviceMemo(QStringLiteral("    No Prologix on this port"));
        }
        Refresh();
    }

    // GPIB addresses answering a serial poll.
    for (const QString& port : adapterPorts) {
        TSerialPort serial;
        serial.SetPort(port);
        serial.SetReadoutTimeoutMS(2000);
        serial.SetPrologixDefaults();
        AddDeviceMemo(QStringLiteral("Scanning port ") + port +
                      QStringLiteral(" for GPIB devices, addresses ") + QString::number(0) +
                      QStringLiteral("..") + QString::number(lastAddress));
        for (int a = 0; a <= lastAddress; ++a) {
            TSerialResponse r;
            serial.Send2(Line(QStringLiteral("++spoll ") + QString::number(a)), true, r);
            const QString reply = Reply(r);
            if (reply.isEmpty()) {
                AddDeviceMemo(QStringLiteral("  Serial poll ") + QString::number(a) +
                              QStringLiteral(" does not respond"));
                continue;
            }
            AddDeviceMemo(QStringLiteral("  Serial poll ") + QString::number(a) +
                          QStringLiteral(" responds: ") + reply);
            for (int i = 0; i < DeviceTree.Count(); ++i) {
                const TDeviceTree::TNode& n = DeviceTree.Node(i);
                if (n.Level == 1 && n.Text == KAdapterNode && DeviceTree.Node(n.Parent).Text == port) {
                    DeviceTree.AddChild(i, QStringLiteral("Unidentified ? at ADDR:") +
                                               QString::number(a) + QStringLiteral(" GPIB GPIB"));
                    break;
                }
            }
            Refresh();
        }
    }

    // Identification over the four terminator codes.
    for (int i = 0; i < DeviceTree.Count(); ++i) {
        const TDeviceTree::TNode& n = DeviceTree.Node(i);
        if (n.Level != 2 || DeviceTree.Node(n.Parent).Text != KAdapterNode)
            continue;
        const QString port = DeviceTree.Node(DeviceTree.Root(i)).Text;
        const TDevice d = DeviceTree.DeviceFromTreeNode(i);
        AddDeviceMemo(QStringLiteral("Identify device ") + n.Text);
        AddDeviceMemo(QStringLiteral("Role      : ") + d.Role);
        AddDeviceMemo(QStringLiteral("IDString  : ") + d.IDString);
        AddDeviceMemo(QStringLiteral("Address   : ") + QString::number(d.Address));
        AddDeviceMemo(QStringLiteral("IP Adress : ") + d.IPAddress);
        AddDeviceMemo(QStringLiteral("Port      : ") + d.Port);
        AddDeviceMemo(QStringLiteral("ZNodePath : ") + d.ZNodePath);
        AddDeviceMemo(QStringLiteral("Interface : ") + InterfaceName(d.InterfaceType));
        const int a = d.Address;
        TSerialPort serial;
        serial.SetPort(port);
        serial.SetReadoutTimeoutMS(100);
        for (const QString& command :
             {QStringLiteral("++eoi 1"), QStringLiteral("++eot_enable 0"), QStringLiteral("++auto 0"),
              QStringLiteral("++addr ") + QString::number(a)}) {
            TSerialResponse r;
            serial.Send2(Line(command), true, r);
        }
        serial.SetReadoutTimeoutMS(2000);
        for (int e = 0; e <= 3; ++e) {
            for (const QString& command : {QStringLiteral("*CLS"),
                                           QStringLiteral("++eos ") + QString::number(e),
                                           QStringLiteral("*IDN?")}) {
                TSerialResponse r;
                serial.Send2(Line(command), false, r);
            }
            Pause(100);
            TSerialResponse answerResponse, statusResponse;
            serial.Send2(Line(QStringLiteral("++read eoi")), true, answerResponse);
            serial.Send2(Line(QStringLiteral("++spoll")), true, statusResponse);
            const QString answer = QString::fromLatin1(answerResponse.Response);
            const QString status = Reply(statusResponse);
            if (!answer.isEmpty() && status == QLatin1String("0")) {
                const QString trimmed = answer.trimmed();
                DeviceTree.SetText(
                    i, IdentifiedGpibDeviceLine(IdentifyRole(trimmed), port, a, e, trimmed));
                AddDeviceMemo(QStringLiteral("  ") + DeviceTree.Node(i).Text);
                break;
            }
            DeviceTree.SetText(i, NoResponseDeviceLine(port, a, e));
            AddDeviceMemo(DeviceTree.Node(i).Text);
            AddDeviceMemo(QStringLiteral("  *IDN?: ") + answer);
            AddDeviceMemo(QStringLiteral("  ++spoll:") + QString::fromLatin1(statusResponse.Response));
        }
        Refresh();
    }
    for (int i = DeviceTree.Count() - 1; i >= 0; --i) {
        const TDeviceTree::TNode& n = DeviceTree.Node(i);
        if (n.Level == 2 && DeviceTree.Node(n.Parent).Text == KAdapterNode &&
            n.Text.contains(QLatin1String("No-response"), Qt::CaseInsensitive))
            DeviceTree.Remove(i);
    }

    // Eurotherm controllers on the ports without an adapter: addresses 1, 2, ... up to the
    // first that does not answer.
    for (const QString& port : ports) {
        int root = -1;
        for (int r : DeviceTree.Children(-1))
            if (DeviceTree.Node(r).Text == port)
                root = r;
        if (root < 0 || !DeviceTree.Children(root).isEmpty())
            continue;
        for (int g = 1; g <= KMaxModbusAddress; ++g) {
            AddDeviceMemo(QStringLiteral("  Scanning ") + port + QStringLiteral(" address ") +
                          QString::number(g));
            if (!TestEurotherm(port, g)) {
                AddDeviceMemo(QStringLiteral("    ") + port + QStringLiteral(" address ") +
                              QString::number(g) +
                              QStringLiteral(" did not respond - Stopped looking from this port"));
                break;
            }
            AddDeviceMemo(QStringLiteral("    Found Eurotherm at ") + port +
                          QStringLiteral(" address ") + QString::number(g));
            DeviceTree.AddChild(root, KUnidentifiedEurotherm + QString::number(g));
            Refresh();
        }
    }
    for (int i = DeviceTree.Count() - 1; i >= 0; --i) {
        const QString text = DeviceTree.Node(i).Text;
        if (!text.contains(KUnidentifiedEurotherm))
            continue;
        const QString address = text.mid(31, 3);
        const QString port = DeviceTree.Node(DeviceTree.Root(i)).Text;
        AddDeviceMemo(QStringLiteral("  Query model of Eurotherm at Port:") + port +
                      QStringLiteral(" ADDR:") + address);
        const QString model = DetectEurothermModel(port, address.toInt());
        if (model.size() == 4) {
            AddDeviceMemo(QStringLiteral("    Found model ") + model);
            DeviceTree.SetText(i, EurothermDeviceLine(model, port, address.toInt()));
        } else {
            AddDeviceMemo(QStringLiteral("    ") + model);
            DeviceTree.Remove(i);
        }
        Refresh();
    }

    AddDeviceMemo(QStringLiteral("Initializing GPIB instruments..."));
    InitializeGPIBDevices();
    AddDeviceMemo(QStringLiteral("Devices scan completed. Consider saving the setup. Naming the save "
                                 "file 'default' will automatically load the setup on next "
                                 "startup."));
    AddDeviceMemo(QStringLiteral("Note that any loaded setup (including default.tdq) requires "
                                 "validation before the devices can be used."));
    SetDevicesValidated(true);
    SetDeviceSetupID(DeviceTree.DeviceSetupID());
    return true;
}

void TTavloSession::InitializeGPIBDevices() {
    for (int i = 0; i < DeviceTree.Count(); ++i) {
        const TDeviceTree::TNode& n = DeviceTree.Node(i);
        if (n.Level != 2 || IsApiRoot(DeviceTree.Node(DeviceTree.Root(i)).Text))
            continue;
        const TDevice d = DeviceTree.DeviceFromTreeNode(i);
        if (d.Role == QLatin1String("MassFlowController"))
            continue;
        AddDeviceMemo(QStringLiteral("    Initializing ") + n.Text);
        if (d.InterfaceType == ditLAN)
            InitializeLANInstrument(d);
        else
            InitializeGPIBInstrument(d.Port, d.Address, d.EOS, d.IDString);
        Refresh();
    }
}

// ---- Validation ----

bool TTavloSession::ValidateDevices() {
    LogLine(QStringLiteral("Entry: Validate devices"));
    TLongOperation operation(*this, QStringLiteral("Validating instruments"));
    SetDevicesValidated(false);
    AddDeviceMemo(QString());
    AddDeviceMemo(QStringLiteral("Trying to validate the setup"));
    AddDeviceMemo(QStringLiteral("Count amount of non-empty lines and then items to validate"));
    Refresh();
    if (!ValidateApiAndLan() || !ValidateSerialPorts() || !ValidateAdapters() ||
        !ValidateThirdLevel() || !ValidateControllers() || !ValidateWachendorfs())
        return false;

    AddDeviceMemo(QString());
    AddDeviceMemo(QStringLiteral("Validating devices setup was successful"));
    AddDeviceMemo(QString());
    AddDeviceMemo(QStringLiteral("Initializing possible GPIB and LAN instruments..."));
    InitializeGPIBDevices();
    // Only an analyser this program is connected to can be put into its start state.
    if (TZHInst* mfia = MFIAObject(); mfia && mfia->API().Connected()) {
        AddDeviceMemo(QStringLiteral("Initializing ZAPI instruments..."));
        mfia->InitMFIA();
    }
    AddDeviceMemo(QString());
    AddDeviceMemo(QStringLiteral("Validation finished."));
    SetDevicesValidated(true);
    return true;
}

bool TTavloSession::ValidateApiAndLan() {
    AddDeviceMemo(QStringLiteral("Looking for 3rd party APIs and LAN instruments"));
    int validated = 0;
    int total = 0;
    for (int r : DeviceTree.Children(-1))
        if (IsApiRoot(DeviceTree.Node(r).Text) || IsLanRoot(DeviceTree.Node(r).Text))
            ++total;
    for (int r : DeviceTree.Children(-1)) {
        const QString rootText = DeviceTree.Node(r).Text;
        if (IsApiRoot(rootText)) {
            AddDeviceMemo(QStringLiteral("  API found"));
            if (r + 2 >= DeviceTree.Count()) {
                AddDeviceMemo(
                    QStringLiteral("    API defined but lacks two child elements - validation failed"));
                return false;
            }
            const QString api = DeviceTree.Node(r + 1).Text;
            if (api.trimmed() != QLatin1String("ZHINST")) {
                AddDeviceMemo(QStringLiteral("    Unknown API defined: ") + api +
                              QStringLiteral(" - validation failed"));
                return false;
            }
            AddDeviceMemo(QStringLiteral("    ZHInst API"));
            const QString line = DeviceTree.Node(r + 2).Text;
            const QStringList fields = line.split(u' ');
            if (fields.size() != 5) {
                AddDeviceMemo(QStringLiteral("    ZHInst definition problem: ") + line +
                              QStringLiteral(" - validation failed"));
                AddDeviceMemo(QStringLiteral("      SL count:") + QString::number(fields.size()));
                for (const QString& field : fields)
                    AddDeviceMemo(QStringLiteral("      SL :\"") + field + u'"');
                return false;
            }
            const QString library = TZIUtilities::LibraryDisplayName();
            if (!TZIUtilities::DLLAvailable()) {
                AddDeviceMemo(QStringLiteral("    ZHInst API .dll file not found: ") + library);
                return false;
            }
            AddDeviceMemo(QStringLiteral("    ZHInst .dll file exists: ") + library);
            AddDeviceMemo(QStringLiteral("    Creating API instance"));
            std::unique_ptr<TZHInst> created;
            try {
                created = std::make_unique<TZHInst>();
            } catch (const EZIAPIException& e) {
                AddDeviceMemo(QStringLiteral("    ZHInst API presence could not be confirmed - "
                                             "validation failed"));
                AddDeviceMemo(QStringLiteral("      ") + e.Message());
                return false;
            }
            TZHInst* mfia = created.get();
            mfia->Serial = fields.at(1);
            mfia->Port = fields.at(3);
            AddDeviceMemo(QStringLiteral("      -> serial: ") + mfia->Serial);
            AddDeviceMemo(QStringLiteral("      -> port: ") + mfia->Port);
            // The new object is the program's analyser from now on, also when this validation
            // fails further on.
            ReplaceMFIAObject(std::move(created));
            if (!mfia->APIWorks()) {
                AddDeviceMemo(QStringLiteral("    ZHInst API presence could not be confirmed - "
                                             "validation failed"));
                if (!mfia->LastError().isEmpty())
                    AddDeviceMemo(QStringLiteral("      ") + mfia->LastError());
                return false;
            }
            AddDeviceMemo(QStringLiteral("    Valid API, version:") + mfia->APIVersion());
            if (!mfia->Connect()) {
                AddDeviceMemo(QStringLiteral("    Could not connect to instrument: ") + mfia->Serial +
                              QStringLiteral(" at port: ") + mfia->Port);
                if (!mfia->LastError().isEmpty())
                    AddDeviceMemo(QStringLiteral("      ") + mfia->LastError());
                return false;
            }
            AddDeviceMemo(QStringLiteral("    Connected to instrument: ") + mfia->Serial +
                          QStringLiteral(" at port: ") + mfia->Port);
            ++validated;
            AddDeviceMemo(QStringLiteral("  Instruments validatded: ") + QString::number(validated) +
                          u'/' + QString::number(total));
        } else if (IsLanRoot(rootText)) {
            if (r + 2 >= DeviceTree.Count()) {
                AddDeviceMemo(QStringLiteral("    LAN definition lacks details - validation failed"));
                return false;
            }
            AddDeviceMemo(QStringLiteral("    Trying to connect to LAN instrument"));
            const TDevice d = TDevice::FromLine(DeviceTree.Node(r + 2).Text);
            QString report;
            const bool ok = TestLANDevice(d, report);
            AddDeviceMemo(ok ? QStringLiteral("    -> Success") : QStringLiteral("    -> Failed"));
            QStringList lines = report.split(QStringLiteral("\r\n"));
            if (!lines.isEmpty() && lines.last().isEmpty())
                lines.removeLast();
            for (const QString& l : lines)
                AddDeviceMemo(l);
            if (!ok)
                return false;
            ++validated;
            AddDeviceMemo(QStringLiteral("  Instruments validatded: ") + QString::number(validated) +
                          u'/' + QString::number(total));
        }
        Refresh();
    }
    return true;
}

bool TTavloSession::ValidateSerialPorts() {
    AddDeviceMemo(QStringLiteral("  Validating serial ports"));
    if (DeviceTree.Count() == 0) {
        AddDeviceMemo(QStringLiteral("    No serial ports found - Validation failed"));
        return false;
    }
    const QStringList existing = ExistingPorts();
    for (int r : DeviceTree.Children(-1)) {
        const QString name = DeviceTree.Node(r).Text;
        if (IsApiRoot(name) || IsLanRoot(name) || IsDdeRoot(name))
            continue;
        if (!existing.contains(name.trimmed(), Qt::CaseInsensitive)) {
            AddDeviceMemo(QStringLiteral("    The port ") + name +
                          QStringLiteral(" does not exist - Validation failed"));
            return false;
        }
        AddDeviceMemo(QStringLiteral("    The port ") + name + QStringLiteral(" exists"));
        TPosixSerial port;
        const bool usable = port.Open(DevicePathOf(name)) && port.SetLine(9600, 0, 0);
        port.Close();
        if (!usable) {
            AddDeviceMemo(QStringLiteral("    The port ") + name +
                          QStringLiteral(" could not be opened - Port in use by something else. "
                                         "Validation failed"));
            return false;
        }
        AddDeviceMemo(QStringLiteral("    The port ") + name + QStringLiteral(" can be used"));
    }
    Refresh();
    return true;
}

bool TTavloSession::ValidateAdapters() {
    AddDeviceMemo(QStringLiteral("  Validating GPIB adapters"));
    for (int i = 0; i < DeviceTree.Count(); ++i) {
        const TDeviceTree::TNode& n = DeviceTree.Node(i);
        if (n.Level != 1 || n.Text != KAdapterNode || IsApiRoot(DeviceTree.Node(n.Parent).Text))
            continue;
        const QString port = DeviceTree.Node(n.Parent).Text;
        AddDeviceMemo(QStringLiteral("    Validating GPIB adapter on port ") + port);
        if (!ValidatePrologixAdapter(port)) {
            AddDeviceMemo(
                QStringLiteral("      Could not find Prologix USB-GPIB adapter - Validation failed"));
            return false;
        }
        AddDeviceMemo(QStringLiteral("      Working Prologix USB-GPIB adapter found"));
        Refresh();
    }
    return true;
}

bool TTavloSession::ValidateThirdLevel() {
    AddDeviceMemo(QStringLiteral("  Validating 3rd level items"));
    for (int i = 0; i < DeviceTree.Count(); ++i) {
        const TDeviceTree::TNode& n = DeviceTree.Node(i);
        const int root = DeviceTree.Root(i);
        const QString rootText = DeviceTree.Node(root).Text;
        if (IsApiRoot(rootText) && n.Level <= 2)
            continue; // the analyser is validated with its root
        if (n.Level == 2 && n.Text.contains(QLatin1String(" LAN")))
            continue;
        const TDevice d = DeviceTree.DeviceFromTreeNode(i);
        if (d.Role != QLatin1String("MassFlowController") || d.IDString != QLatin1String("ELFLOW") ||
            !IsDdeRoot(rootText))
            continue;
        AddDeviceMemo(QStringLiteral("    Validating FlowDDE MFC ") + d.IDString + QStringLiteral(" @:") +
                      QString::number(d.Address) + QStringLiteral(" on:") + rootText);
        QString answer;
        const bool ok = d.Address >= 0 && FlowServerValidate(rootText.trimmed(), d.Address, &answer);
        if (!ok)
            UserInteraction().ShowMessage(answer.isEmpty() && d.Address < 0
                                              ? QStringLiteral("The line has no channel: ") + n.Text
                                              : answer);
        Pause(500);
        if (!ok) {
            AddDeviceMemo(QStringLiteral("      Validation failed"));
            return false;
        }
        AddDeviceMemo(QStringLiteral("      Device validated"));
        Refresh();
    }
    return true;
}

bool TTavloSession::ValidateControllers() {
    AddDeviceMemo(QStringLiteral("  Validating 2nd level items: Eurotherm, V\u00f6gtlin"));
    for (int i = 0; i < DeviceTree.Count(); ++i) {
        const QString text = DeviceTree.Node(i).Text;
        const bool eurotherm = text.startsWith(QLatin1String("Eurotherm"));
        const bool massFlow = text.startsWith(QLatin1String("MassFlowController"));
        if (!eurotherm && !massFlow)
            continue;
        TDevice d = DeviceTree.DeviceFromTreeNode(i);
        if (d.InterfaceType == ditUndefined)
            d = TDevice::FromLine(text); // not directly below its port: the line names it
        // Flow-server controllers were validated through the server; they have no COM port.
        if (massFlow && d.IDString == QLatin1String("ELFLOW"))
            continue;
        AddDeviceMemo(QStringLiteral("    ") + text);
        if (eurotherm) {
            if (d.Address < 0 || !TestEurotherm(d.Port, d.Address)) {
                AddDeviceMemo(QStringLiteral("      Validation failed"));
                return false;
            }
            AddDeviceMemo(QStringLiteral("      Eurotherm validated"));
        } else {
            QByteArray status;
            if (d.Address < 0) {
                status = "the line has no address";
            } else if (ValidateGsc(d.Port, d.Address, &status)) {
                AddDeviceMemo(QStringLiteral("      Validation succeeded:"));
                continue;
            }
            AddDeviceMemo(QStringLiteral("      Validation failed:") +
                          QStringLiteral("Communication failed, feedbback: ") +
                          QString::fromLatin1(status));
            return false;
        }
        Refresh();
    }
    return true;
}

bool TTavloSession::ValidateWachendorfs() {
    AddDeviceMemo(QStringLiteral("  Validating Wachendorfs"));
    for (int i = 0; i < DeviceTree.Count(); ++i) {
        const TDeviceTree::TNode& n = DeviceTree.Node(i);
        if (!n.Text.startsWith(QLatin1String("Wachendorf")))
            continue;
        const QString port = n.Parent >= 0 ? DeviceTree.Node(n.Parent).Text : QString();
        const TWachendorfCheck check = CheckWachendorf(port);
        UserInteraction().ShowMessage(QString::number(check.Word));
        if (!check.Valid) {
            AddDeviceMemo(QStringLiteral("      Wachendorf failed"));
            return false;
        }
        AddDeviceMemo(QStringLiteral("      Wachendorf validated"));
        Refresh();
    }
    return true;
}
