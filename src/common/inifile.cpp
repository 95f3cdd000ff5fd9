#include "tavlo/inifile.h"

#include "tavlo/atomicfile.h"

#include <QFile>

#include <algorithm>

namespace {
bool SameName(const QString& a, const QString& b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}
} // namespace

const TIniFile::TEntry* TIniFile::TSection::Find(const QString& key) const {
    const auto it = Index.constFind(key.toCaseFolded());
    return it == Index.constEnd() ? nullptr : &Entries[*it];
}

TIniFile::TEntry* TIniFile::TSection::Find(const QString& key) {
    return const_cast<TEntry*>(std::as_const(*this).Find(key));
}

void TIniFile::TSection::Add(const QString& key, const QString& value) {
    Index.insert(key.toCaseFolded(), Entries.size());
    Entries.push_back({key, value});
}

void TIniFile::TSection::Reindex() {
    Index.clear();
    for (size_t i = 0; i < Entries.size(); ++i)
        Index.insert(Entries[i].Key.toCaseFolded(), i);
}

void TIniFile::SetText(const QString& text) {
    FSections.clear();
    TSection* current = nullptr;
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    normalised.replace(u'\r', u'\n');
    const QStringList lines = normalised.split(u'\n');
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            current = &SectionFor(line.mid(1, line.size() - 2).trimmed());
            continue;
        }
        if (!current)
            continue;
        // The value is taken from the raw line so that its blanks survive.
        const qsizetype eq = raw.indexOf(u'=');
        const QString key = (eq < 0 ? raw : raw.left(eq)).trimmed();
        const QString value = eq < 0 ? QString() : raw.mid(eq + 1);
        if (key.isEmpty())
            continue;
        // A repeated key keeps its first value, as a lookup by name finds the first line.
        if (!current->Find(key))
            current->Add(key, value);
    }
}

QString TIniFile::Text() const {
    QString text;
    bool first = true;
    for (const TSection& s : FSections) {
        if (!first)
            text += QStringLiteral("\r\n");
        first = false;
        text += u'[' + s.Name + QStringLiteral("]\r\n");
        for (const TEntry& e : s.Entries)
            text += e.Key + u'=' + e.Value + QStringLiteral("\r\n");
    }
    return text;
}

bool TIniFile::LoadFromFile(const QString& path, QString* error) {
    FSections.clear();
    QFile file(path);
    if (!file.exists())
        return true;
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    SetText(QString::fromUtf8(file.readAll()));
    return true;
}

bool TIniFile::SaveToFile(const QString& path, QString* error) const {
    return WriteFileAtomically(path, Text().toUtf8(), error);
}

const TIniFile::TSection* TIniFile::FindSection(const QString& section) const {
    const QString name = section.trimmed();
    for (const TSection& s : FSections)
        if (SameName(s.Name, name))
            return &s;
    return nullptr;
}

TIniFile::TSection* TIniFile::FindSection(const QString& section) {
    return const_cast<TSection*>(std::as_const(*this).FindSection(section));
}

TIniFile::TSection& TIniFile::SectionFor(const QString& section) {
    if (TSection* s = FindSection(section))
        return *s;
    TSection added;
    added.Name = section.trimmed();
    FSections.push_back(std::move(added));
    return FSections.back();
}

QString TIniFile::ReadString(const QString& section, const QString& key,
                             const QString& defaultValue) const {
    if (const TSection* s = FindSection(section))
        if (const TEntry* e = s->Find(key.trimmed()))
            return e->Value;
    return defaultValue;
}

void TIniFile::WriteString(const QString& section, const QString& key, const QString& value) {
    const QString k = key.trimmed();
    if (k.isEmpty())
        return;
    TSection& s = SectionFor(section);
    if (TEntry* e = s.Find(k))
        e->Value = value;
    else
        s.Add(k, value);
}

int TIniFile::ReadInteger(const QString& section, const QString& key, int defaultValue) const {
    bool ok = false;
    const int v = ReadString(section, key).trimmed().toInt(&ok);
    return ok ? v : defaultValue;
}

void TIniFile::WriteInteger(const QString& section, const QString& key, int value) {
    WriteString(section, key, QString::number(value));
}

bool TIniFile::ReadBool(const QString& section, const QString& key, bool defaultValue) const {
    bool ok = false;
    const int v = ReadString(section, key).trimmed().toInt(&ok);
    return ok ? v != 0 : defaultValue;
}

void TIniFile::WriteBool(const QString& section, const QString& key, bool value) {
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

bool TIniFile::SectionExists(const QString& section) const { return FindSection(section); }

bool TIniFile::ValueExists(const QString& section, const QString& key) const {
    const TSection* s = FindSection(section);
    return s && s->Find(key.trimmed());
}

QStringList TIniFile::Sections() const {
    QStringList names;
    for (const TSection& s : FSections)
        names.append(s.Name);
    return names;
}

QStringList TIniFile::Keys(const QString& section) const {
    QStringList keys;
    if (const TSection* s = FindSection(section))
        for (const TEntry& e : s->Entries)
            keys.append(e.Key);
    return keys;
}

void TIniFile::EraseSection(const QString& section) {
    const QString name = section.trimmed();
    std::erase_if(FSections, [&](const TSection& s) { return SameName(s.Name, name); });
}

void TIniFile::DeleteKey(const QString& section, const QString& key) {
    if (TSection* s = FindSection(section)) {
        const QString k = key.trimmed();
        std::erase_if(s->Entries, [&](const TEntry& e) {
            return e.Key.toCaseFolded() == k.toCaseFolded();
        });
        s->Reindex();
    }
}

void TIniFile::Clear() { FSections.clear(); }
