#include "tavlo/measurement.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <cmath>
#include <cstring>

#include "tavlo/ansi.h"
#include "tavlo/clock.h"
#include "tavlo/componenttext.h"
#include "tavlo/log.h"
#include "tavlo/numformat.h"
#include "tavlo/measurementnode.h"
#include "tavlo/parallel.h"
#include "tavlo/rtgraph.h"
#include "tavlo/rtseries.h"
#include "tavlo/userinteraction.h"

void RegisterModelClasses() {
    static const bool registered = [] {
        RegisterComponentClass<TMeasurement>();
        RegisterComponentClass<TMeasurementNode>();
        return true;
    }();
    (void)registered;
}

TMeasurement::TMeasurement(QObject* aOwner)
    : QObject(aOwner), Nodes(new TComponentObjectList(this)),
      Graphs(new TComponentObjectList(this)) {
    RegisterModelClasses();
    setObjectName(RandomName(20));
    Graphs->setObjectName(QStringLiteral("GraphsList"));
    Initialize();
}

TMeasurement::~TMeasurement() {
    // Graphs, then nodes, then the lists.
    Graphs->Clear();
    Nodes->Clear();
}

void TMeasurement::SetCaption(const QString& value) { FCaption = AnsiString(value); }
void TMeasurement::SetDeviceSetup(const QString& value) { FDeviceSetup = AnsiString(value); }
void TMeasurement::SetStartCondition(const QString& value) { FStartCondition = AnsiString(value); }
void TMeasurement::SetStopCondition(const QString& value) { FStopCondition = AnsiString(value); }

void TMeasurement::Initialize() {
    Graphs->ListType = QStringLiteral("TRtGraph2D");
    Graphs->setObjectName(GraphsListName);
    Nodes->ListType = QStringLiteral("TMeasurementNode");
    Nodes->setObjectName(RandomName(20));
}

TMeasurementNode* TMeasurement::Node(int aIndex) const {
    return Nodes->Item<TMeasurementNode>(aIndex);
}

TMeasurementNode* TMeasurement::NodeInOrder(int aIndex) const {
    return Nodes->ItemInOrder<TMeasurementNode>(aIndex);
}

void TMeasurement::AddNode(TMeasurementNode* node) {
    Nodes->Add(node);
    node->Measurement = this;
}

QString TMeasurement::MakeNodesAsString() const {
    const QList<QObject*> nodes = Nodes->Items();
    std::vector<QString> texts(static_cast<size_t>(nodes.size()));
    // Nodes are written independently; only their own fields are read.
    ParallelFor(static_cast<int>(nodes.size()), [&](int i) {
        texts[static_cast<size_t>(i)] = static_cast<const TMeasurementNode*>(nodes.at(i))->AsText();
    });
    qsizetype size = 0;
    for (const QString& t : texts)
        size += t.size() + 1;
    QString out;
    out.reserve(size);
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i > 0)
            out += u'*';
        out += texts[i];
    }
    return out;
}

void TMeasurement::MakeGraphsAsString() {
    // Graphs are kept in their stored text form: GraphsAsString and GraphsListName stay
    // exactly as loaded, so that no file loses its graphs.
}

bool TMeasurement::Save(const QString& aPath) {
    if (objectName().isEmpty() || aPath.isEmpty())
        return false;
    SaveCount += 1;
    NodesAsString = MakeNodesAsString();
    int total = 0;
    for (QObject* item : Nodes->Items())
        total += static_cast<TMeasurementNode*>(item)->DataCount();
    AmountOfData = total;
    MakeGraphsAsString();
    QString error;
    if (!SaveComponentToFile(this, aPath, &error)) {
        LogTo(TLogCategory::MeasurementClass, QStringLiteral("Save failed: ") + error);
        UserInteraction().ShowMessage(QStringLiteral("Measurement '") + Caption() +
                                      QStringLiteral("' has not been saved because the default "
                                                     "save location '") +
                                      aPath + QStringLiteral("' is not accessible."));
        return false;
    }
    FileLocation = aPath;
    return true;
}

QString RestoreNodeText(QString text) {
    // The escapes of older versions come first, as a whole pass each.
    if (text.contains(QLatin1String("#####"))) {
        text.replace(QStringLiteral("#####2"), QStringLiteral("\""));
        text.replace(QStringLiteral("#####1"), QStringLiteral("*"));
        text.replace(QStringLiteral("#####"), QStringLiteral("*"));
    }
    // The current escapes cannot overlap one another: one pass restores all three.
    static const QString prefix = QStringLiteral("#\u00A4%&%\u00A4#_00");
    qsizetype at = text.indexOf(prefix);
    if (at < 0)
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype start = 0;
    while (at >= 0) {
        const qsizetype codeAt = at + prefix.size();
        const QChar code = codeAt < text.size() ? text.at(codeAt) : QChar();
        const QChar restored = code == u'1' ? QChar(u'*') : code == u'2' ? QChar(u'"')
                             : code == u'3' ? QChar(u'\'') : QChar();
        if (restored.isNull()) {
            at = text.indexOf(prefix, at + 1);
            continue;
        }
        out.append(QStringView(text).mid(start, at - start));
        out.append(restored);
        start = codeAt + 1;
        at = text.indexOf(prefix, start);
    }
    out.append(QStringView(text).mid(start));
    return out;
}

void TMeasurement::RetrieveNodesFromDataString(const TLoadProgress& progress) {
    Nodes->Clear();
    NodesIncomplete = false;
    // Nodes are separated by '*'. Older files stored nodes without escapes, so a "*CLS" or
    // "*RST" instrument command there is text, not a separator.
    const QString& all = NodesAsString;
    const qsizetype total = all.size();
    auto isCommand = [&](qsizetype star) {
        const QStringView next = QStringView(all).mid(star + 1, 3);
        return next == u"CLS" || next == u"RST";
    };
    struct TPiece {
        qsizetype End = 0; // consumed text after this piece
        std::unique_ptr<QObject> Node;
        QString Failure;
    };
    std::vector<TPiece> pieces;
    std::vector<qsizetype> starts;
    for (qsizetype pos = 0; pos < total;) {
        qsizetype star = all.indexOf(u'*', pos);
        while (star >= 0 && isCommand(star))
            star = all.indexOf(u'*', star + 1);
        const qsizetype end = star < 0 ? total : star + 1;
        starts.push_back(pos);
        pieces.push_back(TPiece{end, nullptr, QString()});
        pos = end;
    }
    // Nodes are read independently, then taken in file order up to the first failure.
    QThread* home = thread();
    ParallelFor(static_cast<int>(pieces.size()), [&](int i) {
        TPiece& piece = pieces[static_cast<size_t>(i)];
        const qsizetype start = starts[static_cast<size_t>(i)];
        try {
            piece.Node = TextToComponent(RestoreNodeText(all.mid(start, piece.End - start)));
            if (!qobject_cast<TMeasurementNode*>(piece.Node.get())) {
                piece.Failure = QStringLiteral("not a node: ") +
                                QLatin1String(piece.Node->metaObject()->className());
                piece.Node.reset();
            } else {
                piece.Node->moveToThread(home);
            }
        } catch (const std::exception& e) {
            piece.Failure = QString::fromStdString(e.what());
            piece.Node.reset();
        }
    });
    for (TPiece& piece : pieces) {
        if (!piece.Node) {
            NodesIncomplete = true;
            LogTo(TLogCategory::MeasurementClass,
                  QStringLiteral("Reading node %1 of '%2' failed: %3")
                      .arg(Nodes->Count() + 1)
                      .arg(Caption(), piece.Failure));
            UserInteraction().ShowMessage(QStringLiteral(
                "Loading nodes from the measurement file failed. The file may be corrupt, or is "
                "incompatible (newer?) version than the Tavlo trying to open it."));
            return;
        }
        AddNode(static_cast<TMeasurementNode*>(piece.Node.release()));
        if (progress)
            progress(2, QStringLiteral("Extract nodes from data ") +
                            QString::number(std::lround(100.0 * piece.End / total)) +
                            QStringLiteral(" %"));
    }
}

void TMeasurement::RetrieveGraphsFromDataString(const TLoadProgress& progress) {
    // Graphs stay in their stored text form (see MakeGraphsAsString).
    Graphs->Clear();
    if (progress && !GraphsAsString.isEmpty())
        progress(2, QStringLiteral("Extract graphs from data 100 %"));
}

namespace {
int MaxIndexOf(const TComponentObjectList* nodes, bool withIS) {
    int result = 0;
    for (QObject* item : nodes->Items()) {
        const auto* node = static_cast<const TMeasurementNode*>(item);
        if (!node->Active || (!withIS && node->NodeType == QLatin1String("IS")))
            continue;
        result = std::max(result, node->DataCount() - 1);
    }
    return result;
}
} // namespace

int TMeasurement::MaxIndexNonIS() const { return MaxIndexOf(Nodes, false); }

int TMeasurement::MaxIndexAll() const { return MaxIndexOf(Nodes, true); }

double TMeasurement::StartTime() const {
    const QList<QObject*> nodes = Nodes->Items();
    if (nodes.isEmpty())
        return 0;
    const auto* first = static_cast<const TMeasurementNode*>(nodes.first());
    double result = first->DataCount() > 0 ? first->GetData(0).Time : 0;
    for (QObject* item : nodes) {
        const auto* node = static_cast<const TMeasurementNode*>(item);
        if (node->DataCount() == 0)
            continue;
        const double t = node->GetData(0).Time;
        if (t > 1 && !(t > result))
            result = t;
    }
    return result - OneMillisecond;
}

bool TMeasurement::LateEnoughToMeasure() const {
    return Now() > LastMeasured + FrequencyLimit / MinutesPerDay;
}

bool TMeasurement::EvaluateMeasurementValidity(const QString& DID, bool ValidDevices) const {
    return Active && LateEnoughToMeasure() && DID == DeviceSetup() && ValidDevices;
}

void TMeasurement::EqualizeDataCountInNodes() {
    // Without any point in the active non-sweep nodes there is no index to pad to: padding to
    // one point would put a zero reading that never happened at the start of every node.
    bool anyPoint = false;
    for (QObject* item : Nodes->Items()) {
        const auto* node = static_cast<const TMeasurementNode*>(item);
        anyPoint = anyPoint || (node->Active && node->NodeType != QLatin1String("IS") &&
                                node->DataCount() > 0);
    }
    if (!anyPoint)
        return;
    const int m = MaxIndexNonIS();
    for (QObject* item : Nodes->Items()) {
        auto* node = static_cast<TMeasurementNode*>(item);
        if (node->NodeType != QLatin1String("IS") && node->DataCount() < m + 1)
            node->DataSize(m + 1);
    }
}

TMeasurementNode* TMeasurement::FindNode(const QString& name) const {
    for (QObject* item : Nodes->Items())
        if (item->objectName().compare(name, Qt::CaseInsensitive) == 0)
            return static_cast<TMeasurementNode*>(item);
    return nullptr;
}

TRtPointSeries* TMeasurement::FindSerie(const QString& variable) const {
    for (QObject* item : Graphs->Items()) {
        auto* graph = qobject_cast<TRtGraph2D*>(item);
        if (!graph)
            continue;
        for (TRtSeries* series : graph->Series())
            if (auto* point = qobject_cast<TRtPointSeries*>(series))
                if (point->ExpressionVariable == variable)
                    return point;
    }
    return nullptr;
}

bool TMeasurement::LAST(const QString& Match, QString& Res) const {
    Res = QStringLiteral(" 0 ");
    const QStringList items = Match.trimmed().split(u',');
    if (items.size() != 5)
        return false;
    auto find = [](const QString& item, const char* pattern) {
        const QRegularExpressionMatch m = QRegularExpression(QLatin1String(pattern)).match(item);
        return m.hasMatch() ? m.captured(0) : QString();
    };
    const QString kind = find(items[0], "[GgLl][Tt]").toUpper();
    const QString nodeName = find(items[1], "[Nn]\\d+");
    const QString fieldText = find(items[2], "\\d+");
    const QString minutesText = find(items[3], "\\d+");
    const QString thresholdText = find(items[4], "[-+]?[0-9]*\\.?[0-9]+");
    if (kind.isEmpty() || nodeName.isEmpty() || fieldText.isEmpty() || minutesText.isEmpty() ||
        thresholdText.isEmpty())
        return false;
    const TMeasurementNode* node = FindNode(nodeName);
    if (!node)
        return false;
    const int field = fieldText.toInt() - 1;
    if (field < 0 || field > 2)
        return false;
    const double minutes = minutesText.toDouble();
    // The pattern only admits '.' as decimal mark, as in every expression.
    double threshold = 0;
    if (!TryTextToFloat(thresholdText, u'.', threshold))
        return false;
    const int n = node->DataCount();
    if (n == 0)
        return true;
    const double start = node->GetData(n - 1).Time - minutes / MinutesPerDay;
    bool all = true;
    bool any = false;
    for (int i = n - 1; i >= 0; --i) {
        const TMeasurementResult p = node->GetData(i);
        if (p.Time < start)
            break;
        any = true;
        const double v = field == 0 ? p.Value1 : field == 1 ? p.Value2 : p.Value3;
        const bool ok = kind == QLatin1String("GT") ? v >= threshold : v <= threshold;
        if (!ok) {
            all = false;
            break;
        }
    }
    if (any && all)
        Res = QStringLiteral(" 1 ");
    return true;
}
