#include "tavlo/portmap.h"

#include "tavlo/folders.h"
#include "tavlo/inifile.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace {
const QString PortsSection = QStringLiteral("Ports");
const QString ServicesSection = QStringLiteral("Services");

TIniFile LoadMap() {
    TIniFile ini;
    ini.LoadFromFile(PortMapPath()); // unreadable map: nothing is mapped
    return ini;
}
} // namespace

QString PortMapPath() { return DataPath(QStringLiteral("Utility/ports.ini")); }

QString DevicePathOf(const QString& portName) {
    const QString name = portName.trimmed();
    if (name.isEmpty())
        return {};
    const TIniFile map = LoadMap();
    const QString mapped = map.ReadString(PortsSection, name).trimmed();
    if (!mapped.isEmpty())
        return mapped;
    if (name.startsWith(u'/'))
        return name;
    return QStringLiteral("/dev/") + name;
}

QStringList ExistingPorts() {
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names.append(info.portName());
    const TIniFile map = LoadMap();
    for (const QString& key : map.Keys(PortsSection)) {
        const QString target = map.ReadString(PortsSection, key).trimmed();
        if (!target.isEmpty() && QFileInfo::exists(target))
            names.append(key);
    }
    std::sort(names.begin(), names.end(), NaturalLess);
    names.erase(std::unique(names.begin(), names.end(),
                            [](const QString& a, const QString& b) {
                                return a.compare(b, Qt::CaseInsensitive) == 0;
                            }),
                names.end());
    return names;
}

QString ServiceAddress(const QString& serviceName) {
    return LoadMap().ReadString(ServicesSection, serviceName.trimmed()).trimmed();
}

bool NaturalLess(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype si = i, sj = j;
            while (si < a.size() && a[si] == u'0')
                ++si;
            while (sj < b.size() && b[sj] == u'0')
                ++sj;
            qsizetype ei = si, ej = sj;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            if (ei - si != ej - sj)
                return ei - si < ej - sj;
            const int c = QStringView(a).mid(si, ei - si).compare(QStringView(b).mid(sj, ej - sj));
            if (c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        const QChar ca = a[i].toCaseFolded(), cb = b[j].toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    return a < b; // a total order for names that differ only in case or leading zeros
}
