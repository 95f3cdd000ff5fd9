#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <vector>

// A small in-memory ini file: "[Section]" headers and "Key=Value" lines. Sections and keys
// keep the order in which they were read or first written; section names and keys compare
// ignoring case. Lines before the first section, blank lines and lines starting with ';'
// or '#' are ignored; a line without '=' inside a section is kept as a key with an empty
// value. Section names and keys are trimmed, values are kept as written.
class TIniFile {
public:
    TIniFile() = default;

    // Replaces the content with the parsed text (CR LF, LF or CR line ends).
    void SetText(const QString& text);
    // The content as text, CR LF line ends, a blank line between sections.
    QString Text() const;

    // Reads a UTF-8 file; a missing file gives an empty ini and true, an unreadable one
    // false with the reason in error (the content is then empty).
    bool LoadFromFile(const QString& path, QString* error = nullptr);
    // Writes the text as UTF-8, atomically (the old file stays intact on failure).
    bool SaveToFile(const QString& path, QString* error = nullptr) const;

    QString ReadString(const QString& section, const QString& key,
                       const QString& defaultValue = QString()) const;
    void WriteString(const QString& section, const QString& key, const QString& value);
    int ReadInteger(const QString& section, const QString& key, int defaultValue) const;
    void WriteInteger(const QString& section, const QString& key, int value);
    bool ReadBool(const QString& section, const QString& key, bool defaultValue) const;
    void WriteBool(const QString& section, const QString& key, bool value);

    bool SectionExists(const QString& section) const;
    bool ValueExists(const QString& section, const QString& key) const;
    QStringList Sections() const;
    // The keys of a section in order (empty for a missing section).
    QStringList Keys(const QString& section) const;
    void EraseSection(const QString& section);
    void DeleteKey(const QString& section, const QString& key);
    void Clear();

private:
    struct TEntry {
        QString Key;
        QString Value;
    };
    struct TSection {
        QString Name;
        std::vector<TEntry> Entries;
        QHash<QString, size_t> Index; // case-folded key -> entry
        const TEntry* Find(const QString& key) const;
        TEntry* Find(const QString& key);
        void Add(const QString& key, const QString& value);
        void Reindex();
    };
    const TSection* FindSection(const QString& section) const;
    TSection* FindSection(const QString& section);
    TSection& SectionFor(const QString& section);

    std::vector<TSection> FSections;
};
