#include "tavlosim/modbuslab.h"

#include "tavlo/inifile.h"

#include <QDir>

bool BuildModbusLab(TSimLab& lab, TModbusLab& d, QString* error) {
    d.FurnaceLine = std::make_shared<TSimModbusBus>();
    d.Furnace3208 = std::make_shared<TSimEurotherm>(TSimEurotherm::Id3208, 25);
    d.Furnace2204 = std::make_shared<TSimEurotherm>(TSimEurotherm::Id2204, 24);
    d.Furnace2416 = std::make_shared<TSimEurotherm>(TSimEurotherm::Id2416, 23);
    d.NotPid = std::make_shared<TSimEurotherm>(TSimEurotherm::IdNotPid, 22);
    d.Unknown = std::make_shared<TSimEurotherm>(TSimEurotherm::IdUnknown, 21);
    d.FurnaceLine->Plug(1, d.Furnace3208);
    d.FurnaceLine->Plug(2, d.Furnace2204);
    d.FurnaceLine->Plug(3, d.Furnace2416);
    d.FurnaceLine->Plug(4, d.NotPid);
    d.FurnaceLine->Plug(5, d.Unknown);

    d.FlowLine = std::make_shared<TSimModbusBus>();
    d.Gsc1 = std::make_shared<TSimVoegtlin>();
    d.Gsc2 = std::make_shared<TSimVoegtlin>();
    d.Gsc2->SerialNumber = 987654;
    d.Gsc2->Range = 20;
    d.Gsc2->ActiveGas = d.Gsc2->GasTableIndex = 3;
    d.FlowLine->Plug(1, d.Gsc1);
    d.FlowLine->Plug(2, d.Gsc2);

    d.DisplayLine = std::make_shared<TSimModbusBus>();
    d.Display = std::make_shared<TSimWachendorf>();
    d.DisplayLine->Plug(254, d.Display);

    d.FlowServer = std::make_shared<TSimFlowServer>(QStringLiteral("FlowDDE"));
    d.FlowServer->Channels[1] = TSimElflow{};
    TSimElflow second;
    second.Serial = QStringLiteral("M21298765B");
    second.Gas = QStringLiteral("O2");
    second.Capacity = 50;
    d.FlowServer->Channels[2] = second;

    if (lab.AddSerialDevice(QString::fromLatin1(TModbusLab::FurnacePort), d.FurnaceLine, error).isEmpty() ||
        lab.AddSerialDevice(QString::fromLatin1(TModbusLab::FlowPort), d.FlowLine, error).isEmpty() ||
        lab.AddSerialDevice(QString::fromLatin1(TModbusLab::DisplayPort), d.DisplayLine, error).isEmpty())
        return false;
    d.FlowServerPort = lab.AddTcpDevice(QString::fromLatin1(TModbusLab::FlowService), d.FlowServer, 0, error);
    return d.FlowServerPort != 0;
}

bool WriteServiceMap(const QString& dataFolder, const QString& service, uint16_t port, QString* error) {
    if (!QDir().mkpath(dataFolder + QStringLiteral("/Utility"))) {
        if (error)
            *error = QStringLiteral("cannot create ") + dataFolder + QStringLiteral("/Utility");
        return false;
    }
    const QString path = dataFolder + QStringLiteral("/Utility/ports.ini");
    TIniFile ini;
    if (!ini.LoadFromFile(path, error))
        return false;
    ini.WriteString(QStringLiteral("Services"), service,
                    QStringLiteral("127.0.0.1:") + QString::number(port));
    return ini.SaveToFile(path, error);
}
