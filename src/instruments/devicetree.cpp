#include "tavlo/devicetree.h"

#include <QFile>

#include "tavlo/ansi.h"
#include "tavlo/atomicfile.h"

quint32 ElfHash(const QString& text) {
    quint32 h = 0;
    for (QChar c : text) {
        h = (h << 4) + c.unicode();
        const quint32 g = h & 0xF0000000u;
        if (g != 0)
            h ^= g >> 24;
        h &= ~g;
    }
    return h;
}

QList<int> TDeviceTree::Children(int index) const {
    QList<int> children;
    for (int i = 0; i < Count(); ++i)
        if (FNodes[i].Parent == index)
            children.append(i);
    return children;
}

int TDeviceTree::AddRoot(const QString& text) {
    FNodes.append({text, 0, -1});
    return Count() - 1;
}

int TDeviceTree::AddChild(int parent, const QString& text) {
    // After the parent's last descendant.
    int at = parent + 1;
    while (at < Count() && FNodes[at].Level > FNodes[parent].Level)
        ++at;
    for (TNode& n : FNodes)
        if (n.Parent >= at)
            ++n.Parent;
    FNodes.insert(at, {text, FNodes[parent].Level + 1, parent});
    return at;
}

int TDeviceTree::Root(int index) const {
    while (index >= 0 && FNodes[index].Parent >= 0)
        index = FNodes[index].Parent;
    return index;
}

void TDeviceTree::Remove(int index) {
    int end = index + 1;
    while (end < Count() && FNodes[end].Level > FNodes[index].Level)
        ++end;
    const int removed = end - index;
    FNodes.remove(index, removed);
    for (TNode& n : FNodes)
        if (n.Parent >= end)
            n.Parent -= removed;
}

QString TDeviceTree::ToSetupText() const {
    QString text;
    for (const TNode& n : FNodes)
        text += QString(n.Level, u'\t') + n.Text + QStringLiteral("\r\n");
    return text;
}

bool TDeviceTree::FromSetupText(const QString& text, TDeviceTree& tree, QString* error) {
    TDeviceTree result;
    QList<int> lastAtLevel; // the latest node of each level
    const QStringList lines = text.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QString line = lines[i];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        int level = 0;
        while (level < line.size() && line[level] == u'\t')
            ++level;
        const QString nodeText = line.mid(level);
        if (level > lastAtLevel.size()) {
            if (error)
                *error = QStringLiteral("Invalid level (%1) for item '%2' in line %3")
                             .arg(level)
                             .arg(nodeText)
                             .arg(i + 1);
            return false;
        }
        const int parent = level == 0 ? -1 : lastAtLevel[level - 1];
        result.FNodes.append({nodeText, level, parent});
        lastAtLevel.resize(level);
        lastAtLevel.append(result.Count() - 1);
    }
    tree = result;
    return true;
}

bool TDeviceTree::LoadFromFile(const QString& path, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    QByteArray bytes = f.readAll();
    const QString text = bytes.startsWith("\xEF\xBB\xBF")
                             ? QString::fromUtf8(bytes.mid(3))
                             : FromWindows1252(bytes);
    return FromSetupText(text, *this, error);
}

bool TDeviceTree::SaveToFile(const QString& path, QString* error) const {
    return WriteFileAtomically(path, ToWindows1252(ToSetupText()), error);
}

QString TDeviceTree::DeviceSetupID() const {
    QString all;
    for (const TNode& n : FNodes)
        all += n.Text;
    return QString::number(ElfHash(all));
}

TDevice TDeviceTree::DeviceFromTreeNode(int index) const {
    TDevice d;
    d.InterfaceType = ditUndefined;
    d.Address = -1;
    d.EOS = -1;
    if (index < 0 || index >= Count())
        return d;
    const TNode& n = FNodes[index];
    const QString parentText = n.Parent >= 0 ? FNodes[n.Parent].Text : QString();
    auto controller = [&](const QString& role) {
        d.InterfaceType = ditModbus;
        d.Role = role;
        const QStringList fields = n.Text.split(u' ', Qt::SkipEmptyParts);
        d.IDString = fields.value(1);
        d.Port = parentText;
        bool ok = false;
        const int address = fields.value(3).mid(5, 3).toInt(&ok);
        if (ok)
            d.Address = address;
    };
    if (n.Level == 1 && n.Text.contains(QLatin1String("Eurotherm"), Qt::CaseInsensitive))
        controller(QStringLiteral("Eurotherm"));
    else if (n.Level == 1 && n.Text.contains(QLatin1String("MassFlowController")))
        controller(QStringLiteral("MassFlowController"));
    else if (n.Level == 2 && parentText.contains(QLatin1String("Prologix")))
        d.Create(n.Text);
    else if (n.Level >= 2 && n.Text.contains(QLatin1String(" LAN")))
        d.Create(n.Text);
    return d;
}
