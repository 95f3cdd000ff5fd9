#pragma once

#include <QString>
#include <QStringList>

// A string list whose Add prefixes each line with the time "hh:nn:ss:zzz" and " : ".
class TimeStamp_TStringList {
public:
    void Add(const QString& text);
    const QStringList& Lines() const { return FLines; }
    int Count() const { return static_cast<int>(FLines.size()); }
    void Clear() { FLines.clear(); }

private:
    QStringList FLines;
};
