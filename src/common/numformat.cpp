#include "tavlo/numformat.h"

#include <QLocale>

#include <algorithm>
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
    // The digits rounded to 15 significant ones. Where the shortest exact form has no more
    // than 15 digits it is that rounding (and much cheaper to get).
    char tmp[40];
    auto res = std::to_chars(tmp, tmp + sizeof tmp, value, std::chars_format::scientific);
    int n = static_cast<int>(res.ptr - tmp);
    const int mantissaEnd = static_cast<int>(std::find(tmp, tmp + n, 'e') - tmp);
    const int sign = tmp[0] == '-' ? 1 : 0;
    const int shortestDigits = mantissaEnd - sign - (mantissaEnd - sign > 1 ? 1 : 0);
    if (shortestDigits > 15) {
        res = std::to_chars(tmp, tmp + sizeof tmp, value, std::chars_format::scientific, 14);
        n = static_cast<int>(res.ptr - tmp);
    }
    // tmp is "[-]d[.ddd]e[+-]XX"; collect the digits without trailing zeros.
    char digits[20];
    int nd = 0;
    int i = sign;
    for (; i < n && tmp[i] != 'e'; ++i)
        if (tmp[i] != '.')
            digits[nd++] = tmp[i];
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;
    int exp10 = 0;
    std::from_chars(tmp + i + 1 + (tmp[i + 1] == '+' ? 1 : 0), tmp + n, exp10);

    int out = 0;
    if (sign)
        buf[out++] = '-';
    if (exp10 < -4 || exp10 >= 15) {
        // Exponent form as the general format writes it: "1.5E-5", "1E20".
        buf[out++] = digits[0];
        if (nd > 1) {
            buf[out++] = separator;
            for (int k = 1; k < nd; ++k)
                buf[out++] = digits[k];
        }
        buf[out++] = 'E';
        const auto e = std::to_chars(buf + out, buf + out + 6, exp10);
        out = static_cast<int>(e.ptr - buf);
    } else if (exp10 < 0) {
        buf[out++] = '0';
        buf[out++] = separator;
        for (int k = -1; k > exp10; --k)
            buf[out++] = '0';
        for (int k = 0; k < nd; ++k)
            buf[out++] = digits[k];
    } else {
        for (int k = 0; k <= exp10; ++k)
            buf[out++] = k < nd ? digits[k] : '0';
        if (nd > exp10 + 1) {
            buf[out++] = separator;
            for (int k = exp10 + 1; k < nd; ++k)
                buf[out++] = digits[k];
        }
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
