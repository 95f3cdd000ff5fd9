#include "tavlo/datastring.h"

#include <QByteArray>

#include <charconv>
#include <cmath>
#include <limits>

#include "tavlo/numformat.h"

QString FormatDataString(const std::vector<TMeasurementResult>& points, char separator) {
    QByteArray out;
    out.reserve(static_cast<qsizetype>(points.size()) * 64);
    char buf[40];
    for (size_t i = 0; i < points.size(); ++i) {
        if (i > 0)
            out.append('!');
        const TMeasurementResult& p = points[i];
        out.append(buf, FormatGeneralFloat(p.Time, separator, buf));
        out.append('/');
        out.append(buf, FormatGeneralFloat(p.Value1, separator, buf));
        out.append('/');
        out.append(buf, FormatGeneralFloat(p.Value2, separator, buf));
        out.append('/');
        out.append(buf, FormatGeneralFloat(p.Value3, separator, buf));
    }
    return QString::fromLatin1(out);
}

namespace {
template <class F> void SplitDelimited(QStringView text, char16_t delimiter, F&& onField) {
    const char16_t* p = reinterpret_cast<const char16_t*>(text.data());
    const char16_t* end = p + text.size();
    // The text ends at a NUL character, as the platform's rule reads it.
    for (const char16_t* q = p; q < end; ++q) {
        if (*q == 0) {
            end = q;
            break;
        }
    }
    auto blank = [&](const char16_t* at) { return at < end && *at >= 1 && *at <= u' '; };
    while (blank(p))
        ++p;
    QString quoted;
    while (p < end) {
        if (*p == u'"') {
            // A quoted field; doubled quotes inside stand for one.
            quoted.clear();
            ++p;
            while (p < end) {
                if (*p == u'"') {
                    if (p + 1 < end && p[1] == u'"') {
                        quoted.append(QChar(u'"'));
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                quoted.append(QChar(*p));
                ++p;
            }
            // Text after the closing quote up to the next delimiter or blank is dropped.
            while (p < end && *p > u' ' && *p != delimiter)
                ++p;
            onField(quoted);
        } else {
            const char16_t* start = p;
            while (p < end && *p > u' ' && *p != delimiter)
                ++p;
            onField(QStringView(start, p - start));
        }
        while (blank(p))
            ++p;
        if (p < end && *p == delimiter) {
            if (p + 1 >= end)
                onField(QStringView());
            do
                ++p;
            while (blank(p));
        }
    }
}
} // namespace

void SplitDelimitedText(QStringView text, char16_t delimiter,
                        const std::function<void(QStringView field)>& onField) {
    SplitDelimited(text, delimiter, onField);
}

namespace {

// One field as a number: either decimal mark is taken (both have been made the system's).
bool FieldToDouble(QStringView field, char16_t separator, double& value) {
    const qsizetype n = field.size();
    if (n == 3 && field == u"NAN") {
        value = std::numeric_limits<double>::quiet_NaN();
        return true;
    }
    // Infinities are what the writer produces for them; read them back.
    if (n == 3 && field == u"INF") {
        value = std::numeric_limits<double>::infinity();
        return true;
    }
    if (n == 4 && field == u"-INF") {
        value = -std::numeric_limits<double>::infinity();
        return true;
    }
    if (n == 0 || n > 64)
        return n > 64 && TryTextToFloat(field, separator, value);
    char buf[72];
    int len = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = field[i].unicode();
        char a;
        if (c == separator || (separator == u'.' && c == u',') ||
            (separator == u',' && c == u'.'))
            a = '.';
        else if ((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'e' || c == u'E')
            a = static_cast<char>(c);
        else
            return false;
        buf[len++] = a;
    }
    // Grammar: [sign] digits [. digits] [e [sign] digits], at least one mantissa digit.
    int i = 0;
    bool negative = false;
    if (buf[i] == '+' || buf[i] == '-') {
        negative = buf[i] == '-';
        ++i;
    }
    const int mantissaStart = i;
    int digits = 0;
    while (i < len && buf[i] >= '0' && buf[i] <= '9') {
        ++i;
        ++digits;
    }
    if (i < len && buf[i] == '.') {
        ++i;
        while (i < len && buf[i] >= '0' && buf[i] <= '9') {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < len && (buf[i] == 'e' || buf[i] == 'E')) {
        ++i;
        if (i < len && (buf[i] == '+' || buf[i] == '-'))
            ++i;
        int expDigits = 0;
        while (i < len && buf[i] >= '0' && buf[i] <= '9') {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    if (i != len)
        return false;
    double v = 0;
    const auto res = std::from_chars(buf + mantissaStart, buf + len, v);
    if (res.ec == std::errc::result_out_of_range) {
        buf[len] = 0;
        v = std::strtod(buf + mantissaStart, nullptr);
    } else if (res.ec != std::errc() || res.ptr != buf + len) {
        return false;
    }
    value = negative ? -v : v;
    return true;
}

} // namespace

std::vector<TMeasurementResult> ParseDataString(QStringView text, char16_t separator) {
    std::vector<TMeasurementResult> points;
    points.reserve(static_cast<size_t>(text.size() / 40 + 1));
    SplitDelimited(text, u'!', [&](QStringView pointText) {
        double fields[4];
        int count = 0;
        SplitDelimited(pointText, u'/', [&](QStringView field) {
            if (count >= 4)
                return; // further fields are not read
            double v = 0;
            if (!FieldToDouble(field, separator, v))
                throw EDataStringError(NotAFloatMessage(field).toStdString());
            fields[count++] = v;
        });
        if (count < 4)
            throw EDataStringError(
                QStringLiteral("List index out of bounds (%1)").arg(count).toStdString());
        points.push_back({fields[0], fields[1], fields[2], fields[3]});
    });
    return points;
}
