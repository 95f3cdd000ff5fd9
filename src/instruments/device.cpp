#include "tavlo/device.h"

#include "tavlo/measurementnode.h"

#include <optional>

namespace {
// A token's characters first..first+count-1 (1-based) as an integer.
std::optional<int32_t> NumberAt(const QString& token, int first, int count) {
    bool ok = false;
    const int value = token.mid(first - 1, count).trimmed().toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

void ClearForError(TDevice& d) {
    d.Role.clear();
    d.IDString.clear();
    d.Port.clear();
    d.Address = -1;
    d.EOS = -1;
}
} // namespace

QStringList DeviceLineTokens(const QString& aText) {
    QStringList tokens;
    const qsizetype n = aText.size();
    qsizetype i = 0;
    for (;;) {
        while (i < n && aText.at(i).unicode() <= ' ')
            ++i;
        if (i >= n)
            break;
        QString token;
        while (i < n && aText.at(i).unicode() > ' ') {
            if (aText.at(i) == u'"') {
                ++i;
                while (i < n) {
                    if (aText.at(i) == u'"') {
                        if (i + 1 < n && aText.at(i + 1) == u'"') {
                            token += u'"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    token += aText.at(i++);
                }
            } else {
                token += aText.at(i++);
            }
        }
        tokens.append(token);
    }
    return tokens;
}

void TDevice::Create(const QString& aText) {
    if (aText.isEmpty())
        return;
    const QStringList t = DeviceLineTokens(aText);
    auto token = [&](int i) { return i < t.size() ? t.at(i) : QString(); };

    if (token(0) == QLatin1String("Eurotherm") || token(0) == QLatin1String("MassFlowController")) {
        if (t.size() < 4) {
            ClearForError(*this);
            return;
        }
        const auto address = NumberAt(t.at(3), 6, 3);
        if (!address) {
            ClearForError(*this);
            return;
        }
        Role = t.at(0);
        IDString = t.at(1);
        Port = t.at(2);
        Address = *address;
        EOS = 0;
        return;
    }
    if (token(4).contains(QLatin1String("LAN"))) {
        InterfaceType = ditLAN;
        Role = t.at(0).trimmed();
        IDString = t.at(1).trimmed();
        IPAddress = t.at(2).trimmed();
        Port = t.at(3).trimmed();
        ZNodePath = u'/' + t.at(1).mid(3, 10).toUpper();
        return;
    }
    if (token(4).contains(QLatin1String("GPIB")) || token(4).contains(QLatin1String("***")) ||
        token(0).contains(QLatin1String("Unidentified ")) ||
        (t.size() > 5 && t.at(5).contains(QLatin1String("GPIB")))) {
        InterfaceType = ditGPIB;
        if (t.size() < 4) {
            ClearForError(*this);
            return;
        }
        const auto address = NumberAt(t.at(3), 6, 3);
        std::optional<int32_t> eos = -1;
        if (t.size() >= 5 && t.at(4).startsWith(QLatin1String("EOS")))
            eos = NumberAt(t.at(4), 5, 3);
        if (!address || !eos) {
            ClearForError(*this);
            return;
        }
        Role = t.at(0);
        IDString = t.at(1);
        Port = t.at(2);
        Address = *address;
        EOS = *eos;
        return;
    }
    if (token(1).contains(QLatin1String("mf-dev"))) {
        InterfaceType = ditAPIZ;
        Role = t.at(0);
        IDString = QStringLiteral("mf-dev");
        Port = token(3);
        bool ok = false;
        const int port = Port.trimmed().toInt(&ok);
        Address = ok ? port : -1;
        EOS = 0;
        ZNodePath = u'/' + t.at(1).mid(3, 10).toUpper();
    }
}

TDevice TDevice::FromLine(const QString& aText) {
    TDevice d;
    d.Create(aText);
    return d;
}

TDevice ParseSwitchLine(const QString& aSwitch) {
    TDevice d;
    if (aSwitch.isEmpty())
        return d;
    const QStringList words = aSwitch.split(u' ', Qt::SkipEmptyParts);
    auto fail = [&] {
        ClearForError(d);
        return d;
    };
    if (words.size() < 4)
        return fail();
    const auto address = NumberAt(words.at(3), 6, 3);
    if (!address)
        return fail();
    int32_t eos = 0;
    if (words.at(0) != QLatin1String("Eurotherm")) {
        if (words.size() < 5)
            return fail();
        const auto e = NumberAt(words.at(4), 5, 3);
        if (!e)
            return fail();
        eos = *e;
    }
    d.Role = words.at(0);
    d.IDString = words.at(1);
    d.Port = words.at(2);
    d.Address = *address;
    d.EOS = eos;
    return d;
}

TDevice InstrumentData(const TMeasurementNode& node) { return TDevice::FromLine(node.Instrument); }

TDevice SwitchData(const TMeasurementNode& node) { return ParseSwitchLine(node.Switch); }

QString IdentifiedGpibDeviceLine(const QString& roleText, const QString& port, int address,
                                 int eos, const QString& answer) {
    return roleText + u' ' + port + QStringLiteral(" ADDR:") + QString::number(address) +
           QStringLiteral(" EOS:") + QString::number(eos) + QStringLiteral(" GPIB IDN?:") + answer;
}

QString NoResponseDeviceLine(const QString& port, int address, int eos) {
    return QStringLiteral("No-response Device ") + port + QStringLiteral(" ADDR:") +
           QString::number(address) + QStringLiteral(" EOS:") + QString::number(eos) +
           QStringLiteral(" GPIB");
}

QString EurothermDeviceLine(const QString& model, const QString& port, int address) {
    return QStringLiteral("Eurotherm ") + model + u' ' + port + QStringLiteral(" ADDR:") +
           QString::number(address);
}
