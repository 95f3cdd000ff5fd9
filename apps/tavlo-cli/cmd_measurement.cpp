// requires: tavlo_model
// info, dump and resave: measurement files from the command line.
#include "cli.h"

#include <QMetaProperty>

#include <cmath>
#include <cstdio>
#include <memory>

#include "tavlo/componenttext.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementfile.h"
#include "tavlo/measurementnode.h"

namespace {

// Loads without the active-flag question; prints the load messages on stderr.
std::unique_ptr<TMeasurement> Load(const QString& path) {
    TLoadOptions options;
    options.AskActive = false;
    return std::unique_ptr<TMeasurement>(LoadMeasurement(path, nullptr, options));
}

QString ValueText(const QVariant& v) {
    switch (v.metaType().id()) {
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(v.toDouble(), 'g', 15);
    case QMetaType::QString: {
        QString s = v.toString();
        s.replace(QStringLiteral("\r\n"), QStringLiteral("\\n"));
        s.replace(u'\n', QStringLiteral("\\n"));
        return u'\'' + s + u'\'';
    }
    default:
        return v.toString();
    }
}

bool IsBulk(const char* name) {
    return std::strcmp(name, "NodesAsString") == 0 || std::strcmp(name, "GraphsAsString") == 0 ||
           std::strcmp(name, "DataString") == 0;
}

int Info(const QStringList& args) {
    if (args.size() != 1) {
        Err(QStringLiteral("usage: tavlo-cli info FILE.mea"));
        return 2;
    }
    const auto m = Load(args.first());
    if (!m)
        return 1;
    QString out;
    out += QStringLiteral("Measurement: ") + m->Caption() + u'\n';
    out += QStringLiteral("Component: ") + m->objectName() + u'\n';
    out += QStringLiteral("Properties:\n");
    for (const QMetaProperty& p : PublishedProperties(*m->metaObject())) {
        const QVariant v = p.read(m.get());
        if (IsBulk(p.name()))
            out += QStringLiteral("  %1: %2 characters\n")
                       .arg(QLatin1String(p.name()))
                       .arg(v.toString().size());
        else
            out += QStringLiteral("  %1 = %2\n").arg(QLatin1String(p.name()), ValueText(v));
    }
    const int n = m->NodeCount();
    out += QStringLiteral("Nodes: %1\n").arg(n);
    for (int i = 0; i < n; ++i) {
        const TMeasurementNode* node = m->Node(i);
        out += QStringLiteral("  %1  type %2  caption '%3'  %4  %5 points\n")
                   .arg(node->objectName(), node->NodeType.isEmpty() ? QStringLiteral("-")
                                                                      : node->NodeType,
                        node->Caption,
                        node->Active ? QStringLiteral("active") : QStringLiteral("inactive"))
                   .arg(node->DataCount());
    }
    Out(out);
    if (m->NodesIncomplete) {
        Err(QStringLiteral("not all nodes could be read"));
        return 1;
    }
    return 0;
}

// ---- JSON ----

class TJsonOut {
public:
    ~TJsonOut() { Flush(); }
    void Raw(const char* s) { FBuf.append(s); }
    void Raw(char c) { FBuf.append(c); }
    void Number(double v) {
        if (!std::isfinite(v)) {
            FBuf.append("null");
        } else {
            char buf[40];
            const int n = std::snprintf(buf, sizeof buf, "%.17g", v);
            FBuf.append(buf, n);
        }
        MaybeFlush();
    }
    void String(const QString& s) {
        FBuf.append('"');
        for (QChar qc : s) {
            const char16_t c = qc.unicode();
            switch (c) {
            case u'"': FBuf.append("\\\""); break;
            case u'\\': FBuf.append("\\\\"); break;
            case u'\n': FBuf.append("\\n"); break;
            case u'\r': FBuf.append("\\r"); break;
            case u'\t': FBuf.append("\\t"); break;
            default:
                if (c < 0x20 || qc.isSurrogate()) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
                    FBuf.append(buf);
                } else if (c < 0x80) {
                    FBuf.append(static_cast<char>(c));
                } else {
                    FBuf.append(QString(qc).toUtf8());
                }
            }
        }
        FBuf.append('"');
        MaybeFlush();
    }
    void Value(const QVariant& v) {
        switch (v.metaType().id()) {
        case QMetaType::Bool: Raw(v.toBool() ? "true" : "false"); break;
        case QMetaType::Int: FBuf.append(QByteArray::number(v.toInt())); break;
        case QMetaType::Double:
        case QMetaType::Float: Number(v.toDouble()); break;
        default: String(v.toString());
        }
    }
    void Properties(const QObject* o) {
        Raw("{");
        bool first = true;
        for (const QMetaProperty& p : PublishedProperties(*o->metaObject())) {
            if (std::strcmp(p.name(), "NodesAsString") == 0 ||
                std::strcmp(p.name(), "DataString") == 0)
                continue; // given structured as "nodes" and "points"
            if (!first)
                Raw(", ");
            first = false;
            String(QLatin1String(p.name()));
            Raw(": ");
            Value(p.read(o));
        }
        Raw("}");
    }
    void Flush() {
        std::fwrite(FBuf.constData(), 1, static_cast<size_t>(FBuf.size()), stdout);
        FBuf.clear();
    }

private:
    void MaybeFlush() {
        if (FBuf.size() > (1 << 20))
            Flush();
    }
    QByteArray FBuf;
};

int Dump(const QStringList& args) {
    if (args.size() != 1) {
        Err(QStringLiteral("usage: tavlo-cli dump FILE.mea"));
        return 2;
    }
    const auto m = Load(args.first());
    if (!m)
        return 1;
    {
        TJsonOut j;
        j.Raw("{\"name\": ");
        j.String(m->objectName());
        j.Raw(", \"class\": ");
        j.String(QLatin1String(m->metaObject()->className()));
        j.Raw(", \"properties\": ");
        j.Properties(m.get());
        j.Raw(", \"nodes\": [");
        for (int i = 0; i < m->NodeCount(); ++i) {
            const TMeasurementNode* node = m->Node(i);
            j.Raw(i ? ", {\"name\": " : "{\"name\": ");
            j.String(node->objectName());
            j.Raw(", \"class\": ");
            j.String(QLatin1String(node->metaObject()->className()));
            j.Raw(", \"properties\": ");
            j.Properties(node);
            j.Raw(", \"points\": [");
            bool first = true;
            for (const TMeasurementResult& p : node->Points()) {
                j.Raw(first ? "[" : ", [");
                first = false;
                j.Number(p.Time);
                j.Raw(", ");
                j.Number(p.Value1);
                j.Raw(", ");
                j.Number(p.Value2);
                j.Raw(", ");
                j.Number(p.Value3);
                j.Raw("]");
            }
            j.Raw("]}");
        }
        j.Raw("]}\n");
    }
    std::fflush(stdout);
    if (m->NodesIncomplete) {
        Err(QStringLiteral("not all nodes could be read"));
        return 1;
    }
    return 0;
}

int Resave(const QStringList& args) {
    if (args.size() != 2) {
        Err(QStringLiteral("usage: tavlo-cli resave IN.mea OUT.mea"));
        return 2;
    }
    const auto m = Load(args.at(0));
    if (!m)
        return 1;
    if (m->NodesIncomplete) {
        Err(QStringLiteral("not all nodes of %1 could be read; nothing written").arg(args.at(0)));
        return 1;
    }
    if (!m->Save(args.at(1)))
        return 1;
    Out(QStringLiteral("saved %1 nodes, %2 points to %3\n")
            .arg(m->NodeCount())
            .arg(m->AmountOfData)
            .arg(args.at(1)));
    return 0;
}

} // namespace

TAVLO_CLI_COMMAND(info, "info", "info FILE.mea          caption, name, properties and nodes", Info);
TAVLO_CLI_COMMAND(dump, "dump", "dump FILE.mea          the whole measurement as JSON", Dump);
TAVLO_CLI_COMMAND(resave, "resave", "resave IN.mea OUT.mea  load and save again", Resave);
