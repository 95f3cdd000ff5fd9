#include "tavlo/timestamplist.h"

#include <QTime>

void TimeStamp_TStringList::Add(const QString& text) {
    FLines.append(QTime::currentTime().toString(QStringLiteral("hh:mm:ss:zzz")) +
                  QStringLiteral(" : ") + text);
}
