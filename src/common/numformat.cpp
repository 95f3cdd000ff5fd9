#include "tavlo/numformat.h"

#include <QLocale>

#include <atomic>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace {
std::atomic<char16_t> GDecimalSeparator{u'.'};
}

char16_t DecimalSeparator() { return GDecimalSeparator.load(std::memory_order_relaxed); }

void SetDecimalSeparator(char16_t separator) {
    GDecimalSeparator.store(separator, std::memory_order_relaxed);
}

void InitDecimalSeparatorFromSystem() {
    const QString point = QLocale::system().decimalPoint();
    SetDecimalSeparator(point.isEmpty() ? u'.' : point.at(0).unicode());
}

TDecimalSeparatorScope::TDecimalSeparatorScope(char16_t separator)
    : FPrevious(DecimalSeparator()) {
    SetDecimalSeparator(separator);
}

TDecimalSeparatorScope::~TDecimalSeparatorScope() { SetDecimalSeparator(FPrevious); }

int FormatGeneralFloat(double value, char separator, char* buf) {
    if (std::isnan(value)) {
        std::memcpy(buf, "NAN", 3);
        return 3;
    }
    if (std::isinf(value)) {
        if (value < 0) {
            std::memcpy(buf, "-INF", 4);
            return 4;
        }
        std::memcpy(buf, "INF", 3);
        return 3;
    }
    if (value == 0) {
        buf[0] = '0';
        return 1;
    }
    // "%.15g" chooses fixed or exponent form exactly as the general format does (exponent
    // form below 1E-4 and from 1E15 on); only the exponent's spelling differs.
    char tmp[40];
    const auto res = std::to_chars(tmp, tmp + sizeof tmp, value, std::chars_format::general, 15);
    const int n = static_cast<int>(res.ptr - tmp);
    int out = 0;
    int i = 0;
    for (; i < n && tmp[i] != 'e'; ++i)
        buf[out++] = tmp[i] == '.' ? separator : tmp[i];
    if (i < n) { // exponent: "e-05" -> "E-5", "e+20" -> "E20"
        buf[out++] = 'E';
        ++i;
        if (tmp[i] == '-')
            buf[out++] = '-';
        ++i;
        while (i < n - 1 && tmp[i] == '0')
            ++i;
        for (; i < n; ++i)
            buf[out++] = tmp[i];
    }
    return out;
}

QString FloatToStr(double value, char separator) {
    char buf[40];
    const int n = FormatGeneralFloat(value, separator, buf);
    return QString::fromLatin1(buf, n);
}

QString FloatToStr(double value) { return FloatToStr(value, static_cast<char>(DecimalSeparator())); }

QString FloatToStrDot(double value) { return FloatToStr(value, '.'); }

bool TryTextToFloat(QStringView text, char16_t separator, double& value) {
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && text[i] == u' ')
        ++i;
    char buf[128];
    int len = 0;
    auto put = [&](char c) {
        if (len >= static_cast<int>(sizeof buf) - 1)
            return false;
        buf[len++] = c;
        return true;
    };
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) {
        negative = text[i] == u'-';
        ++i;
    }
    int digits = 0;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        if (!put(static_cast<char>(text[i].unicode())))
            return false;
        ++i;
        ++digits;
    }
    if (i < n && text[i] == QChar(separator)) {
        ++i;
        if (!put('.'))
            return false;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            if (!put(static_cast<char>(text[i].unicode())))
                return false;
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < n && (text[i] == u'e' || text[i] == u'E')) {
        ++i;
        if (!put('e'))
            return false;
        if (i < n && (text[i] == u'+' || text[i] == u'-')) {
            if (!put(static_cast<char>(text[i].unicode())))
                return false;
            ++i;
        }
        int expDigits = 0;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            if (!put(static_cast<char>(text[i].unicode())))
                return false;
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    while (i < n && text[i] == u' ')
        ++i;
    if (i != n)
        return false;
    double v = 0;
    const auto res = std::from_chars(buf, buf + len, v, std::chars_format::general);
    if (res.ec == std::errc::result_out_of_range) {
        // Overflow gives infinity, underflow zero, as the platform's conversion would
        // refuse only malformed texts; keep the nearest representable value.
        v = std::strtod(std::string(buf, static_cast<size_t>(len)).c_str(), nullptr);
    } else if (res.ec != std::errc() || res.ptr != buf + len) {
        return false;
    }
    value = negative ? -v : v;
    return true;
}

bool TryStrToFloat(QStringView text, double& value) {
    return TryTextToFloat(text, DecimalSeparator(), value);
}

QString NotAFloatMessage(QStringView text) {
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}
