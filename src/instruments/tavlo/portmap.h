#pragma once

#include <QString>
#include <QStringList>

// Port names and the port map `Utility/ports.ini` of the data folder:
//   [Ports]     NAME=device path     (COM33=/dev/serial/by-id/..., simulator ptys)
//   [Services]  NAME=host:port       (flow-server services)

// The port map's path in the current data folder.
QString PortMapPath();

// The device path of a port name: the mapped path when the map names it (ignoring case),
// the name itself when it is an absolute path, else "/dev/" + name. An empty name gives
// an empty path.
QString DevicePathOf(const QString& portName);

// The names of the existing serial ports: the system's serial devices and every mapped
// name whose target exists, without duplicates, in natural name order.
QStringList ExistingPorts();

// The loopback address of a mapped service, empty when the map does not name it.
QString ServiceAddress(const QString& serviceName);

// Natural order of names: digit runs compare by value ("COM2" < "COM10"), the rest
// ignoring case.
bool NaturalLess(const QString& a, const QString& b);
