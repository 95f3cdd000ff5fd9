#include "tavlo/formatfloat.h"

#include <QStringList>

#include <algorithm>
#include <charconv>
#include <string>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Splits the picture into sections at ';' outside quotes.
QStringList Sections(const QString& picture) {
    QStringList sections;
    QString current;
    QChar quote;
    for (QChar c : picture) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            current += c;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
            current += c;
        } else if (c == u';') {
            sections << current;
            current.clear();
        } else {
            current += c;
        }
    }
    sections << current;
    return sections;
}

struct TPicture {
    QString Prefix, Suffix;
    int IntZeros = 0;      // '0' before the point
    int IntPlaces = 0;     // '0' and '#' before the point
    int Decimals = 0;      // '0' and '#' after the point
    int MinDecimals = 0;   // up to the last '0' after the point
    bool Exponent = false;
    bool ExponentPlus = false; // "E+": sign always
    QChar ExponentLetter = u'E';
    int ExponentDigits = 0;
    bool AnyPlaceholder = false;
};

TPicture Parse(const QString& section) {
    TPicture p;
    bool afterPoint = false;
    bool seenPlaceholder = false;
    QString literal; // literal text since the last placeholder
    QChar quote;
    for (qsizetype i = 0; i < section.size(); ++i) {
        const QChar c = section.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                literal += c;
            continue;
        }
        if (c == u'"' || c == u'\'') {
            quote = c;
            continue;
        }
        if (p.Exponent) {
            if (c == u'0') {
                ++p.ExponentDigits;
                continue;
            }
            literal += c;
            continue;
        }
        if (c == u'0' || c == u'#') {
            if (!seenPlaceholder)
                p.Prefix = literal;
            literal.clear();
            seenPlaceholder = true;
            p.AnyPlaceholder = true;
            if (afterPoint) {
                ++p.Decimals;
                if (c == u'0')
                    p.MinDecimals = p.Decimals;
            } else {
                ++p.IntPlaces;
                if (c == u'0')
                    ++p.IntZeros;
            }
            continue;
        }
        if (c == u'.') {
            if (!seenPlaceholder) {
                p.Prefix = literal;
                literal.clear();
                seenPlaceholder = true;
            }
            afterPoint = true;
            continue;
        }
        if ((c == u'E' || c == u'e') && i + 1 < section.size() &&
            (section.at(i + 1) == u'+' || section.at(i + 1) == u'-') && seenPlaceholder) {
            p.Exponent = true;
            p.ExponentLetter = c;
            p.ExponentPlus = section.at(i + 1) == u'+';
            ++i;
            literal.clear();
            continue;
        }
        literal += c;
    }
    if (seenPlaceholder)
        p.Suffix = literal;
    else
        p.Prefix = literal;
    return p;
}

// The magnitude rounded to decimals places, halves away from zero on its shortest decimal
// form (as the platform's picture formatting rounds): "int.frac" with exactly decimals digits.
QString DecimalFixed(double magnitude, int decimals) {
    char buf[40];
    const auto res = std::to_chars(buf, buf + sizeof buf, magnitude, std::chars_format::scientific);
    const std::string text(buf, res.ptr);
    const size_t e = text.find('e');
    std::string digits;
    for (size_t i = 0; i < e; ++i)
        if (text[i] != '.')
            digits += text[i];
    int exp10 = std::stoi(text.substr(e + 1));
    // value = 0.d1d2... x 10^(exp10 + 1)
    int intDigits = exp10 + 1;
    const int keep = intDigits + decimals;
    if (keep < 0) {
        digits.assign(1, '0');
        intDigits = 1;
    } else if (keep < static_cast<int>(digits.size())) {
        const bool up = digits[static_cast<size_t>(keep)] >= '5';
        digits.resize(static_cast<size_t>(keep));
        if (up) {
            int i = keep - 1;
            for (; i >= 0; --i) {
                if (digits[static_cast<size_t>(i)] == '9') {
                    digits[static_cast<size_t>(i)] = '0';
                } else {
                    ++digits[static_cast<size_t>(i)];
                    break;
                }
            }
            if (i < 0) {
                digits.insert(digits.begin(), '1');
                ++intDigits;
            }
        }
    }
    // Lay the digits out around the point.
    std::string intPart, frac;
    for (int k = 0; k < intDigits; ++k)
        intPart += k < static_cast<int>(digits.size()) ? digits[static_cast<size_t>(k)] : '0';
    for (int k = 0; k < decimals; ++k) {
        const int idx = intDigits + k;
        frac += idx >= 0 && idx < static_cast<int>(digits.size()) ? digits[static_cast<size_t>(idx)] : '0';
    }
    if (intPart.empty())
        intPart.assign(1, '0');
    while (intPart.size() > 1 && intPart[0] == '0')
        intPart.erase(0, 1);
    if (decimals > 0) {
        intPart.push_back('.');
        intPart.append(frac);
    }
    return QString::fromStdString(intPart);
}

QString Digits(double magnitude, const TPicture& p, QChar mark, int& exponentOut) {
    exponentOut = 0;
    double m = magnitude;
    if (p.Exponent && m != 0) {
        const int intDigits = std::max(1, p.IntPlaces);
        int e = static_cast<int>(std::floor(std::log10(m))) - (intDigits - 1);
        m = magnitude / std::pow(10.0, e);
        // Rounding may carry into one more integer digit.
        if (DecimalFixed(m, p.Decimals).section(u'.', 0, 0).size() > intDigits) {
            ++e;
            m = magnitude / std::pow(10.0, e);
        }
        exponentOut = e;
    }
    const QString text = m == 0 ? (p.Decimals > 0 ? QStringLiteral("0.") + QString(p.Decimals, u'0')
                                                  : QStringLiteral("0"))
                                : DecimalFixed(m, p.Decimals);
    QString intPart = text.section(u'.', 0, 0);
    QString frac = text.contains(u'.') ? text.section(u'.', 1) : QString();
    while (frac.size() > p.MinDecimals && frac.endsWith(u'0'))
        frac.chop(1);
    if (intPart == QLatin1String("0") && p.IntZeros == 0)
        intPart.clear();
    while (intPart.size() < p.IntZeros)
        intPart.prepend(u'0');
    return frac.isEmpty() ? intPart : intPart + mark + frac;
}

} // namespace

QString FormatFloat(const QString& picture, double value, QChar decimalMark) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    const QStringList sections = Sections(picture);
    QString section = sections.value(0);
    bool negativeSign = value < 0;
    if (value < 0 && sections.size() > 1 && !sections.at(1).isEmpty()) {
        section = sections.at(1);
        negativeSign = false; // the section writes its own sign, if any
    } else if (value == 0 && sections.size() > 2 && !sections.at(2).isEmpty()) {
        section = sections.at(2);
    }
    const TPicture p = Parse(section);
    if (!p.AnyPlaceholder && p.Prefix.isEmpty() && p.Suffix.isEmpty()) {
        // No picture: the general text.
        QString general = QString::number(value, 'g', 15);
        general.replace(u'.', decimalMark);
        return general;
    }
    if (!p.AnyPlaceholder)
        return p.Prefix + p.Suffix;
    int exponent = 0;
    QString number = Digits(std::fabs(value), p, decimalMark, exponent);
    if (p.Exponent) {
        QString e = QString::number(std::abs(exponent));
        while (e.size() < p.ExponentDigits)
            e.prepend(u'0');
        number += p.ExponentLetter;
        if (exponent < 0)
            number += u'-';
        else if (p.ExponentPlus)
            number += u'+';
        number += e;
    }
    // A value that rounds to zero is written without a sign.
    bool allZero = true;
    for (QChar c : number.left(number.indexOf(p.ExponentLetter) < 0 ? number.size()
                                                                     : number.indexOf(p.ExponentLetter)))
        if (c.isDigit() && c != u'0')
            allZero = false;
    if (negativeSign && !allZero)
        number.prepend(u'-');
    return p.Prefix + number + p.Suffix;
}

QString FormatWithSeparator(const QString& rule, double value) {
    const QChar mark = rule.contains(u',') ? QChar(u',') : QChar(u'.');
    QString picture = rule;
    picture.replace(u',', u'.');
    return FormatFloat(picture, value, mark);
}

QString FloatToStrExponent(double value, int significant, int exponentDigits, QChar decimalMark) {
    if (std::isnan(value))
        return QStringLiteral("NAN");
    if (std::isinf(value))
        return value < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
    significant = std::clamp(significant, 1, 18);
    exponentDigits = std::clamp(exponentDigits, 0, 4);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*E", significant - 1, value);
    QString text = QString::fromLatin1(buf); // "1.50000E+02"
    const qsizetype e = text.indexOf(u'E');
    QString mantissa = text.left(e);
    mantissa.replace(u'.', decimalMark);
    const QChar sign = text.at(e + 1);
    QString digits = text.mid(e + 2);
    while (digits.size() > 1 && digits.startsWith(u'0'))
        digits.remove(0, 1);
    while (digits.size() < exponentDigits)
        digits.prepend(u'0');
    return mantissa + u'E' + sign + digits;
}
