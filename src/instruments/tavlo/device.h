#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

class TMeasurementNode;

// Through which interface an instrument is reached.
enum TDeviceInterfaceType { ditUndefined, ditGPIB, ditAPIZ, ditLAN, ditModbus };

// The parsed form of a device line: interface, role, model key, port, address, terminator.
struct TDevice {
    TDeviceInterfaceType InterfaceType = ditUndefined;
    QString Role;
    QString IDString;  // the model key
    QString Port;      // COM port name; LAN and API devices: the TCP port as text
    int32_t Address = 0;
    QString IPAddress; // LAN devices
    int32_t EOS = 0;   // Prologix terminator code; -1 when the line has none
    QString Extra;
    QString IDN;
    QString ZNodePath; // API and LAN devices: "/" + the upper-case device identifier

    // Fills the record from a device line. An empty line (or a line of no known form)
    // leaves the record untouched; a Modbus or GPIB line that cannot be parsed clears the
    // texts and sets Address and EOS to -1. Never throws.
    void Create(const QString& aText);
    // A fresh record filled from a device line.
    static TDevice FromLine(const QString& aText);
};

// The tokens of a device line: split at blanks, double-quoted parts kept together (the
// quotes removed, "" inside quotes standing for one quote).
QStringList DeviceLineTokens(const QString& aText);

// The node's read-only device records: its Instrument line parsed by TDevice::Create, and its
// Switch line parsed word by word (Role, IDString, Port, "ADDR:" n, "EOS:" n).
TDevice InstrumentData(const TMeasurementNode& node);
TDevice SwitchData(const TMeasurementNode& node);
TDevice ParseSwitchLine(const QString& aSwitch);

// The device lines the device search writes.
QString IdentifiedGpibDeviceLine(const QString& roleText, const QString& port, int address,
                                 int eos, const QString& answer);
QString NoResponseDeviceLine(const QString& port, int address, int eos);
QString EurothermDeviceLine(const QString& model, const QString& port, int address);
