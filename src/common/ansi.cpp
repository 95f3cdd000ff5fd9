#include "tavlo/ansi.h"

namespace {
// Code points of the bytes 0x80..0x9F; 0 marks the five undefined bytes, which map to the
// C1 control of the same value (as the platform's conversion maps them).
constexpr char16_t High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char EncodeChar(char16_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<char>(c);
    for (int i = 0; i < 32; ++i)
        if (High[i] == c)
            return static_cast<char>(0x80 + i);
    return '?';
}
} // namespace

QByteArray ToWindows1252(const QString& text) {
    QByteArray out;
    out.resize(text.size());
    char* dst = out.data();
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode())) {
            ++i; // one character outside the code page
            *dst++ = '?';
            continue;
        }
        *dst++ = EncodeChar(c);
    }
    out.resize(dst - out.data());
    return out;
}

QString FromWindows1252(const QByteArray& bytes) {
    QString out(bytes.size(), Qt::Uninitialized);
    QChar* dst = out.data();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto b = static_cast<unsigned char>(bytes.at(i));
        dst[i] = QChar(b >= 0x80 && b < 0xA0 ? High[b - 0x80] : static_cast<char16_t>(b));
    }
    return out;
}

QString AnsiString(const QString& text) {
    for (QChar c : text) {
        if (c.unicode() >= 0x80)
            return FromWindows1252(ToWindows1252(text));
    }
    return text;
}
