#pragma once

#include <QByteArray>
#include <QString>

// Windows-1252, the 8-bit code page of "ansi" texts and exports. A character outside the
// code page becomes '?', as the platform's conversion does.
QByteArray ToWindows1252(const QString& text);
QString FromWindows1252(const QByteArray& bytes);
// The text as an "ansi" property holds it: converted to the code page and back.
QString AnsiString(const QString& text);
