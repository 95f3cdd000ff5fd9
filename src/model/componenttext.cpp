#include "tavlo/componenttext.h"

#include <QFile>
#include <QHash>
#include <QMetaProperty>
#include <QRandomGenerator>

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <algorithm>
#include <map>
#include <type_traits>
#include <mutex>

#include "tavlo/ansi.h"
#include "tavlo/atomicfile.h"
#include "tavlo/numformat.h"

namespace {

struct TClassEntry {
    const QMetaObject* Meta = nullptr;
    TComponentFactory Factory;
    std::unique_ptr<QObject> Defaults; // a new instance, for the stored-value rule
};

std::mutex GRegistryMutex;
std::map<QString, TClassEntry>& Registry() {
    static std::map<QString, TClassEntry> registry;
    return registry;
}

const QObject* DefaultInstance(const QMetaObject& meta) {
    std::lock_guard lock(GRegistryMutex);
    auto it = Registry().find(QString::fromLatin1(meta.className()));
    if (it == Registry().end())
        return nullptr;
    if (!it->second.Defaults)
        it->second.Defaults.reset(it->second.Factory(nullptr));
    return it->second.Defaults.get();
}

const char* const CRLF = "\r\n";
constexpr int LineLength = 64;

void AppendIndent(QByteArray& out, int indent) { out.append(indent, ' '); }

// Printable ASCII other than the quote goes inside quotes; everything else is a #code.
inline bool InRun(char16_t c) { return c >= 32 && c != u'\'' && c <= 127; }

void AppendRuns(QByteArray& out, const char16_t* p, qsizetype n) {
    // At most 6 output bytes per character ("#65535"), plus quotes.
    const qsizetype at = out.size();
    out.resize(at + n * 6 + 2);
    char* const begin = out.data() + at;
    char* dst = begin;
    qsizetype i = 0;
    while (i < n) {
        if (InRun(p[i])) {
            *dst++ = '\'';
            while (i < n && InRun(p[i]))
                *dst++ = static_cast<char>(p[i++]);
            *dst++ = '\'';
        } else {
            *dst++ = '#';
            const auto res = std::to_chars(dst, dst + 5, static_cast<unsigned>(p[i]));
            dst = res.ptr;
            ++i;
        }
    }
    out.resize(at + (dst - begin));
}

// Builds the fixed text of a value with 16 significant digits and 18 decimals from the
// digit string and decimal exponent of its rounded form.
QByteArray FixedFromDigits(bool negative, const char* digits, int ndigits, int exp10) {
    // value = 0.d1d2...dn * 10^(exp10+1)
    QByteArray out;
    if (negative)
        out.append('-');
    const int intDigits = exp10 + 1;
    if (intDigits <= 0) {
        out.append('0');
    } else {
        for (int i = 0; i < intDigits; ++i)
            out.append(i < ndigits ? digits[i] : '0');
    }
    out.append('.');
    for (int d = 0; d < 18; ++d) {
        const int idx = intDigits + d; // index into digits of this decimal place
        out.append(idx >= 0 && idx < ndigits ? digits[idx] : '0');
    }
    return out;
}

} // namespace

void RegisterComponentClass(const QMetaObject& meta, TComponentFactory factory) {
    std::lock_guard lock(GRegistryMutex);
    TClassEntry& entry = Registry()[QString::fromLatin1(meta.className())];
    entry.Meta = &meta;
    entry.Factory = std::move(factory);
}

bool IsComponentClassRegistered(const QString& className) {
    std::lock_guard lock(GRegistryMutex);
    return Registry().count(className) != 0;
}

QList<QMetaProperty> PublishedProperties(const QMetaObject& meta) {
    QList<QMetaProperty> props;
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta.propertyCount(); ++i)
        props.append(meta.property(i));
    return props;
}

QMetaProperty FindPublishedProperty(const QMetaObject& meta, QStringView name) {
    for (int i = QObject::staticMetaObject.propertyCount(); i < meta.propertyCount(); ++i) {
        const QMetaProperty prop = meta.property(i);
        if (name.compare(QLatin1String(prop.name()), Qt::CaseInsensitive) == 0)
            return prop;
    }
    return {};
}

QByteArray FormatComponentDouble(double value) {
    if (std::isnan(value))
        return "NAN";
    if (std::isinf(value))
        return value < 0 ? "-INF" : "INF";
    if (value == 0)
        return "0.000000000000000000";
    // 16 significant digits.
    char sci[40];
    const auto res =
        std::to_chars(sci, sci + sizeof sci, value, std::chars_format::scientific, 15);
    const QByteArray text(sci, res.ptr - sci); // "-d.ddddddddddddddde+XX"
    const bool negative = text.startsWith('-');
    const qsizetype ePos = text.indexOf('e');
    const int exp10 = text.mid(ePos + 1).toInt();
    char digits[20];
    int nd = 0;
    for (qsizetype i = negative ? 1 : 0; i < ePos; ++i)
        if (text.at(i) != '.')
            digits[nd++] = text.at(i);
    if (exp10 < 16) {
        const QByteArray fixed = FixedFromDigits(negative, digits, nd, exp10);
        double back = 0;
        std::from_chars(fixed.constData(), fixed.constData() + fixed.size(), back);
        double rounded = 0;
        std::from_chars(text.constData(), text.constData() + text.size(), rounded);
        if (back == rounded)
            return fixed;
    }
    // Too large or too small for the fixed form without losing digits: exponent form,
    // which readers of the format accept.
    while (nd > 1 && digits[nd - 1] == '0')
        --nd;
    QByteArray out;
    if (negative)
        out.append('-');
    out.append(digits[0]);
    if (nd > 1) {
        out.append('.');
        out.append(digits + 1, nd - 1);
    }
    out.append('E');
    out.append(QByteArray::number(exp10));
    return out;
}

QByteArray FormatComponentSingle(float value) {
    char buf[40];
    const int n = FormatGeneralFloat(static_cast<double>(value), '.', buf);
    QByteArray out(buf, n);
    out.append('s');
    return out;
}

void AppendComponentString(QByteArray& out, QStringView text, int propertyIndent) {
    const qsizetype n = text.size();
    const auto* p = reinterpret_cast<const char16_t*>(text.data());
    if (n == 0) {
        out.append("''");
        return;
    }
    if (n <= LineLength) {
        AppendRuns(out, p, n);
        return;
    }
    out.reserve(out.size() + n + n / 2 + 64);
    for (qsizetype pos = 0; pos < n; pos += LineLength) {
        out.append(CRLF);
        AppendIndent(out, propertyIndent + 2);
        AppendRuns(out, p + pos, std::min<qsizetype>(LineLength, n - pos));
        if (pos + LineLength < n)
            out.append(" +");
    }
}

namespace {

bool IsDefaultEmpty(const QObject* defaults, const QMetaProperty& prop) {
    return !defaults || prop.read(defaults).toString().isEmpty();
}

bool IsDefaultZero(const QObject* defaults, const QMetaProperty& prop) {
    return !defaults || prop.read(defaults).toDouble() == 0;
}

void WriteObject(QByteArray& out, const QObject* c, int indent) {
    const QMetaObject& meta = *c->metaObject();
    const QObject* defaults = DefaultInstance(meta);
    AppendIndent(out, indent);
    out.append("object ");
    const QString name = c->objectName();
    if (!name.isEmpty()) {
        out.append(name.toLatin1());
        out.append(": ");
    }
    out.append(meta.className());
    out.append(CRLF);
    const int propIndent = indent + 2;
    for (const QMetaProperty& prop : PublishedProperties(meta)) {
        if (!prop.isStored() || !prop.isReadable())
            continue;
        const QVariant value = prop.read(c);
        QByteArray text;
        bool isString = false;
        switch (prop.metaType().id()) {
        case QMetaType::Bool:
            text = value.toBool() ? "True" : "False";
            break;
        case QMetaType::Int:
            text = QByteArray::number(value.toInt());
            break;
        case QMetaType::Double: {
            const double d = value.toDouble();
            // A zero is left out only where a new component holds zero too, so that
            // reading the text back gives the same value.
            if (d == 0 && IsDefaultZero(defaults, prop))
                continue;
            text = FormatComponentDouble(d);
            break;
        }
        case QMetaType::Float: {
            const float f = value.toFloat();
            if (f == 0 && IsDefaultZero(defaults, prop))
                continue;
            text = FormatComponentSingle(f);
            break;
        }
        case QMetaType::QString:
            if (value.toString().isEmpty() && IsDefaultEmpty(defaults, prop))
                continue;
            isString = true;
            break;
        default:
            continue; // not a stored kind of value
        }
        AppendIndent(out, propIndent);
        out.append(prop.name());
        out.append(" = ");
        if (isString) {
            const QString s = value.toString();
            AppendComponentString(out, s, propIndent);
        } else {
            out.append(text);
        }
        out.append(CRLF);
    }
    AppendIndent(out, indent);
    out.append("end");
    out.append(CRLF);
}

// ---- reading ----

enum class TValueKind { String, Integer, Float, Ident, Other };

struct TValue {
    TValueKind Kind = TValueKind::Other;
    QString Text;      // String and Ident
    qint64 Integer = 0;
    double Float = 0;
    char Suffix = 0;   // 's', 'd', 'c' after a float
};

// Reads from UTF-16 text or from plain ASCII bytes (a file as it is on disk).
template <class CharT> class TTextReader {
public:
    TTextReader(const CharT* data, qsizetype size) : D(data), N(size) {}

    std::unique_ptr<QObject> ReadNew() {
        const THeader h = ReadHeader();
        TComponentFactory factory;
        {
            std::lock_guard lock(GRegistryMutex);
            auto it = Registry().find(h.ClassName);
            if (it == Registry().end())
                Fail(QStringLiteral("Class %1 not found").arg(h.ClassName));
            factory = it->second.Factory;
        }
        std::unique_ptr<QObject> obj(factory(nullptr));
        obj->setObjectName(h.Name);
        ReadBody(obj.get());
        ReadTrailer();
        return obj;
    }

    void ReadInto(QObject* obj) {
        const THeader h = ReadHeader();
        if (h.ClassName != QLatin1String(obj->metaObject()->className()))
            Fail(QStringLiteral("Class %1 expected, found %2")
                     .arg(QLatin1String(obj->metaObject()->className()), h.ClassName));
        if (!h.Name.isEmpty())
            obj->setObjectName(h.Name);
        ReadBody(obj);
        ReadTrailer();
    }

private:
    struct THeader {
        QString Name;
        QString ClassName;
    };

    const CharT* D;
    qsizetype N;

    char16_t C(qsizetype i) const { return static_cast<char16_t>(static_cast<std::make_unsigned_t<CharT>>(D[i])); }
    QString Str(qsizetype start, qsizetype len) const {
        if constexpr (sizeof(CharT) == 1)
            return QString::fromLatin1(D + start, len);
        else
            return QString(reinterpret_cast<const QChar*>(D + start), len);
    }
    void AppendRange(QString& out, qsizetype start, qsizetype len) const {
        if constexpr (sizeof(CharT) == 1)
            out.append(QLatin1String(D + start, len));
        else
            out.append(QStringView(D + start, len));
    }
    qsizetype P = 0;
    int Line = 1;

    [[noreturn]] void Fail(const QString& what) const {
        throw EReadError(QStringLiteral("Line %1: %2").arg(Line).arg(what).toStdString());
    }

    bool AtEnd() const { return P >= N; }
    char16_t Ch() const { return P < N ? C(P) : 0; }

    void SkipBlanks() {
        while (P < N) {
            const char16_t c = C(P);
            if (c == u'\n') {
                ++Line;
            } else if (c != u' ' && c != u'\t' && c != u'\r' && c != 0xFEFF) {
                break;
            }
            ++P;
        }
    }

    // Blanks on the current line only.
    void SkipLineBlanks() {
        while (P < N && (C(P) == u' ' || C(P) == u'\t'))
            ++P;
    }

    static bool IsIdentStart(char16_t c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
    }
    static bool IsIdentChar(char16_t c) { return IsIdentStart(c) || (c >= u'0' && c <= u'9'); }

    QString ReadIdent(bool dotted = false) {
        SkipBlanks();
        if (!IsIdentStart(Ch()))
            Fail(QStringLiteral("Identifier expected"));
        const qsizetype start = P;
        while (IsIdentChar(Ch()) || (dotted && Ch() == u'.' && P + 1 < N &&
                                     IsIdentStart(C(P + 1))))
            ++P;
        return Str(start, P - start);
    }

    void Expect(char16_t c) {
        SkipBlanks();
        if (Ch() != c)
            Fail(QStringLiteral("'%1' expected").arg(QChar(c)));
        ++P;
    }

    THeader ReadHeader() {
        SkipBlanks();
        const QString keyword = ReadIdent();
        if (keyword.compare(QLatin1String("object"), Qt::CaseInsensitive) != 0 &&
            keyword.compare(QLatin1String("inherited"), Qt::CaseInsensitive) != 0 &&
            keyword.compare(QLatin1String("inline"), Qt::CaseInsensitive) != 0)
            Fail(QStringLiteral("'object' expected"));
        THeader h;
        const QString first = ReadIdent();
        SkipLineBlanks();
        if (Ch() == u':') {
            ++P;
            h.Name = first;
            h.ClassName = ReadIdent();
        } else {
            h.ClassName = first;
        }
        SkipLineBlanks();
        if (Ch() == u'[') { // position index of inherited forms
            while (!AtEnd() && Ch() != u']' && Ch() != u'\n')
                ++P;
            Expect(u']');
        }
        return h;
    }

    void ReadBody(QObject* obj) {
        for (;;) {
            SkipBlanks();
            if (AtEnd())
                Fail(QStringLiteral("'end' expected"));
            const qsizetype save = P;
            const int saveLine = Line;
            const QString ident = ReadIdent(true);
            if (ident.compare(QLatin1String("end"), Qt::CaseInsensitive) == 0)
                return;
            if (ident.compare(QLatin1String("object"), Qt::CaseInsensitive) == 0 ||
                ident.compare(QLatin1String("inherited"), Qt::CaseInsensitive) == 0 ||
                ident.compare(QLatin1String("inline"), Qt::CaseInsensitive) == 0) {
                P = save;
                Line = saveLine;
                Fail(QStringLiteral("Nested objects are not supported in %1")
                         .arg(QLatin1String(obj->metaObject()->className())));
            }
            Expect(u'=');
            const TValue value = ReadValue();
            Apply(obj, ident, value);
        }
    }

    void ReadTrailer() {
        // Node texts are joined with '*'; a separator left after the final end is ignored.
        for (;;) {
            SkipBlanks();
            if (AtEnd())
                return;
            if (Ch() == u'*' || Ch() == 0) {
                ++P;
                continue;
            }
            Fail(QStringLiteral("Text after the final 'end'"));
        }
    }

    void ReadStringPart(QString& out) {
        if (Ch() == u'\'') {
            ++P;
            for (;;) {
                const qsizetype start = P;
                while (P < N && C(P) != u'\'' && C(P) != u'\n' && C(P) != u'\r')
                    ++P;
                AppendRange(out, start, P - start);
                if (AtEnd() || C(P) != u'\'')
                    Fail(QStringLiteral("Unterminated string"));
                ++P;
                if (Ch() == u'\'') { // doubled quote inside a run
                    out.append(u'\'');
                    ++P;
                    continue;
                }
                return;
            }
        }
        // '#' code
        ++P;
        unsigned code = 0;
        int digits = 0;
        if (Ch() == u'$') {
            ++P;
            while (P < N) {
                const char16_t c = C(P);
                int v;
                if (c >= u'0' && c <= u'9')
                    v = c - u'0';
                else if (c >= u'a' && c <= u'f')
                    v = c - u'a' + 10;
                else if (c >= u'A' && c <= u'F')
                    v = c - u'A' + 10;
                else
                    break;
                code = code * 16 + static_cast<unsigned>(v);
                ++digits;
                ++P;
                if (code > 0xFFFF)
                    Fail(QStringLiteral("Character code out of range"));
            }
        } else {
            while (P < N && C(P) >= u'0' && C(P) <= u'9') {
                code = code * 10 + static_cast<unsigned>(C(P) - u'0');
                ++digits;
                ++P;
                if (code > 0xFFFF)
                    Fail(QStringLiteral("Character code out of range"));
            }
        }
        if (digits == 0)
            Fail(QStringLiteral("Character code expected after '#'"));
        out.append(QChar(static_cast<char16_t>(code)));
    }

    void ReadString(TValue& v) {
        v.Kind = TValueKind::String;
        for (;;) {
            while (Ch() == u'\'' || Ch() == u'#')
                ReadStringPart(v.Text);
            const qsizetype save = P;
            const int saveLine = Line;
            SkipBlanks();
            if (Ch() == u'+') {
                ++P;
                SkipBlanks();
                if (Ch() != u'\'' && Ch() != u'#')
                    Fail(QStringLiteral("String expected after '+'"));
                continue;
            }
            // A continuation line without '+': no property line starts with ' or #.
            if (Ch() == u'\'' || Ch() == u'#')
                continue;
            P = save;
            Line = saveLine;
            return;
        }
    }

    void ReadNumber(TValue& v) {
        const qsizetype start = P;
        if (Ch() == u'-' || Ch() == u'+')
            ++P;
        if (Ch() == u'$') { // hexadecimal integer
            ++P;
            const qsizetype hexStart = P;
            while (P < N && std::isxdigit(static_cast<int>(C(P) & 0x7F)) &&
                   C(P) < 128)
                ++P;
            bool ok = false;
            v.Integer = Str(hexStart, P - hexStart).toLongLong(&ok, 16);
            if (!ok)
                Fail(QStringLiteral("Invalid number"));
            if (C(start) == u'-')
                v.Integer = -v.Integer;
            v.Kind = TValueKind::Integer;
            return;
        }
        bool isFloat = false;
        while (P < N && C(P) >= u'0' && C(P) <= u'9')
            ++P;
        if (Ch() == u'.') {
            isFloat = true;
            ++P;
            while (P < N && C(P) >= u'0' && C(P) <= u'9')
                ++P;
        }
        if (Ch() == u'e' || Ch() == u'E') {
            isFloat = true;
            ++P;
            if (Ch() == u'-' || Ch() == u'+')
                ++P;
            while (P < N && C(P) >= u'0' && C(P) <= u'9')
                ++P;
        }
        const QString number = Str(start, P - start);
        const char16_t suffix = Ch();
        if (suffix == u's' || suffix == u'S' || suffix == u'd' || suffix == u'D' ||
            suffix == u'c' || suffix == u'C') {
            v.Suffix = static_cast<char>(QChar(suffix).toLower().unicode());
            isFloat = true;
            ++P;
        }
        if (IsIdentChar(Ch()))
            Fail(QStringLiteral("Invalid number"));
        if (!isFloat) {
            bool ok = false;
            v.Integer = number.toLongLong(&ok);
            if (ok) {
                v.Kind = TValueKind::Integer;
                return;
            }
        }
        double d = 0;
        if (!TryTextToFloat(number, u'.', d))
            Fail(QStringLiteral("Invalid number %1").arg(number));
        v.Kind = TValueKind::Float;
        v.Float = d;
    }

    void SkipBracketed(char16_t open, char16_t close) {
        int depth = 0;
        do {
            const char16_t c = Ch();
            if (AtEnd())
                Fail(QStringLiteral("'%1' expected").arg(QChar(close)));
            if (c == u'\n')
                ++Line;
            if (c == u'\'') {
                QString ignored;
                ReadStringPart(ignored);
                continue;
            }
            if (c == open)
                ++depth;
            else if (c == close)
                --depth;
            ++P;
        } while (depth > 0);
    }

    TValue ReadValue() {
        SkipBlanks();
        TValue v;
        const char16_t c = Ch();
        if (c == u'\'' || c == u'#') {
            ReadString(v);
        } else if ((c >= u'0' && c <= u'9') || c == u'$' || c == u'.' ||
                   ((c == u'-' || c == u'+') && P + 1 < N &&
                    ((C(P + 1) >= u'0' && C(P + 1) <= u'9') || C(P + 1) == u'.' ||
                     C(P + 1) == u'$'))) {
            ReadNumber(v);
        } else if (c == u'-' && P + 1 < N && IsIdentStart(C(P + 1))) {
            ++P;
            v.Kind = TValueKind::Ident;
            v.Text = QStringLiteral("-") + ReadIdent();
        } else if (IsIdentStart(c)) {
            v.Kind = TValueKind::Ident;
            v.Text = ReadIdent(true);
        } else if (c == u'[') {
            SkipBracketed(u'[', u']');
        } else if (c == u'(') {
            SkipBracketed(u'(', u')');
        } else if (c == u'{') {
            SkipBracketed(u'{', u'}');
        } else if (c == u'<') {
            SkipBracketed(u'<', u'>');
        } else {
            Fail(QStringLiteral("Property value expected"));
        }
        return v;
    }

    [[noreturn]] void FailProperty(const QObject* obj, const QString& prop, const QString& why) {
        Fail(QStringLiteral("Error reading %1.%2: %3")
                 .arg(QLatin1String(obj->metaObject()->className()), prop, why));
    }

    void Apply(QObject* obj, const QString& name, const TValue& v) {
        if (name.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0) {
            if (v.Kind != TValueKind::String)
                FailProperty(obj, name, QStringLiteral("Invalid property value"));
            obj->setObjectName(v.Text);
            return;
        }
        const QMetaProperty prop = FindPublishedProperty(*obj->metaObject(), name);
        if (!prop.isValid() || !prop.isWritable())
            FailProperty(obj, name, QStringLiteral("Property %1 does not exist").arg(name));
        QVariant value;
        switch (prop.metaType().id()) {
        case QMetaType::QString:
            if (v.Kind != TValueKind::String)
                FailProperty(obj, name, QStringLiteral("Invalid property value"));
            value = v.Text;
            break;
        case QMetaType::Bool:
            if (v.Kind == TValueKind::Ident &&
                v.Text.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
                value = true;
            else if (v.Kind == TValueKind::Ident &&
                     v.Text.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
                value = false;
            else
                FailProperty(obj, name, QStringLiteral("Invalid property value"));
            break;
        case QMetaType::Int:
            if (v.Kind != TValueKind::Integer || v.Integer < INT32_MIN || v.Integer > INT32_MAX)
                FailProperty(obj, name, QStringLiteral("Invalid property value"));
            value = static_cast<int>(v.Integer);
            break;
        case QMetaType::Double:
        case QMetaType::Float: {
            double d = 0;
            if (v.Kind == TValueKind::Integer) {
                d = static_cast<double>(v.Integer);
            } else if (v.Kind == TValueKind::Float) {
                d = v.Float;
            } else if (v.Kind == TValueKind::Ident && v.Text.compare(QLatin1String("NAN"),
                                                                     Qt::CaseInsensitive) == 0) {
                d = std::numeric_limits<double>::quiet_NaN();
            } else if (v.Kind == TValueKind::Ident &&
                       v.Text.compare(QLatin1String("INF"), Qt::CaseInsensitive) == 0) {
                d = std::numeric_limits<double>::infinity();
            } else if (v.Kind == TValueKind::Ident &&
                       v.Text.compare(QLatin1String("-INF"), Qt::CaseInsensitive) == 0) {
                d = -std::numeric_limits<double>::infinity();
            } else {
                FailProperty(obj, name, QStringLiteral("Invalid property value"));
            }
            if (prop.metaType().id() == QMetaType::Float)
                value = static_cast<float>(d);
            else
                value = d;
            break;
        }
        default:
            FailProperty(obj, name, QStringLiteral("Unsupported property type"));
        }
        try {
            if (!prop.write(obj, value))
                FailProperty(obj, name, QStringLiteral("Invalid property value"));
        } catch (const EReadError&) {
            throw;
        } catch (const std::exception& e) {
            FailProperty(obj, name, QString::fromStdString(e.what()));
        }
    }
};

} // namespace

QByteArray ComponentToBytes(const QObject* component) {
    QByteArray out;
    WriteObject(out, component, 0);
    return out;
}

QString ComponentToText(const QObject* component) {
    return QString::fromLatin1(ComponentToBytes(component));
}

std::unique_ptr<QObject> TextToComponent(QStringView text) {
    TTextReader<char16_t> reader(reinterpret_cast<const char16_t*>(text.data()), text.size());
    return reader.ReadNew();
}

void ReadComponentInto(QStringView text, QObject* component) {
    TTextReader<char16_t> reader(reinterpret_cast<const char16_t*>(text.data()), text.size());
    reader.ReadInto(component);
}

bool SaveComponentToFile(const QObject* component, const QString& path, QString* error) {
    return WriteFileAtomically(path, ComponentToBytes(component), error);
}

QString DecodeTextFile(const QByteArray& bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    bool ascii = true;
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    }
    return ascii ? QString::fromLatin1(bytes) : FromWindows1252(bytes);
}

std::unique_ptr<QObject> LoadComponentFromFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw EReadError(QStringLiteral("Cannot open file %1: %2")
                             .arg(path, f.errorString())
                             .toStdString());
    const QByteArray bytes = f.readAll();
    // Files written by the program are plain ASCII: read the bytes as they are.
    const bool ascii = std::all_of(bytes.cbegin(), bytes.cend(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (ascii) {
        TTextReader<char> reader(bytes.constData(), bytes.size());
        return reader.ReadNew();
    }
    return TextToComponent(DecodeTextFile(bytes));
}

void CopyProperties(const QObject* source, QObject* dest) {
    const QMetaObject& destMeta = *dest->metaObject();
    for (const QMetaProperty& prop : PublishedProperties(*source->metaObject())) {
        const QString name = QLatin1String(prop.name());
        if (name.compare(QLatin1String("Name"), Qt::CaseInsensitive) == 0 ||
            name.compare(QLatin1String("DataString"), Qt::CaseInsensitive) == 0)
            continue;
        const QMetaProperty target = FindPublishedProperty(destMeta, name);
        if (!target.isValid() || !target.isWritable())
            continue;
        target.write(dest, prop.read(source));
    }
}

QString RandomName(int n) {
    QString name(n > 0 ? n : 0, Qt::Uninitialized);
    auto* rng = QRandomGenerator::global();
    for (int i = 0; i < n; ++i)
        name[i] = QChar(static_cast<char16_t>(u'A' + rng->bounded(26)));
    return name;
}
