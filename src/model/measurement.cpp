#include "tavlo/measurement.h"

#include <QDir>
#include <QFileInfo>

#include <cmath>
#include <cstring>

#include "tavlo/ansi.h"
#include "tavlo/clock.h"
#include "tavlo/componenttext.h"
#include "tavlo/log.h"
#include "tavlo/measurementnode.h"
#include "tavlo/userinteraction.h"

namespace {
const QString EscStar = QStringLiteral("#\u00A4%&%\u00A4#_001");
const QString EscDoubleQuote = QStringLiteral("#\u00A4%&%\u00A4#_002");
const QString EscQuote = QStringLiteral("#\u00A4%&%\u00A4#_003");
} // namespace

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
    QString out;
    const QList<QObject*> nodes = Nodes->Items();
    for (qsizetype i = 0; i < nodes.size(); ++i) {
        if (i > 0)
            out += u'*';
        out += static_cast<TMeasurementNode*>(nodes.at(i))->AsText();
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
    text.replace(QStringLiteral("#####2"), QStringLiteral("\""));
    text.replace(QStringLiteral("#####1"), QStringLiteral("*"));
    text.replace(QStringLiteral("#####"), QStringLiteral("*"));
    text.replace(EscStar, QStringLiteral("*"));
    text.replace(EscDoubleQuote, QStringLiteral("\""));
    text.replace(EscQuote, QStringLiteral("'"));
    return text;
}

void TMeasurement::RetrieveNodesFromDataString(const TLoadProgress& progress) {
    Nodes->Clear();
    NodesIncomplete = false;
    QString copy = NodesAsString;
    // Instrument commands in older files that were stored without escapes.
    copy.replace(QStringLiteral("*CLS"), EscStar + QStringLiteral("CLS"));
    copy.replace(QStringLiteral("*RST"), EscStar + QStringLiteral("RST"));
    const qsizetype total = copy.size();
    qsizetype pos = 0;
    while (pos < total) {
        const qsizetype star = copy.indexOf(u'*', pos);
        const qsizetype end = star < 0 ? total : star + 1;
        const QString piece = RestoreNodeText(copy.mid(pos, end - pos));
        pos = end;
        std::unique_ptr<QObject> obj;
        QString failure;
        try {
            obj = TextToComponent(piece);
            if (!qobject_cast<TMeasurementNode*>(obj.get()))
                failure = QStringLiteral("not a node: ") +
                          QLatin1String(obj->metaObject()->className());
        } catch (const std::exception& e) {
            failure = QString::fromStdString(e.what());
        }
        if (!failure.isEmpty()) {
            NodesIncomplete = true;
            LogTo(TLogCategory::MeasurementClass,
                  QStringLiteral("Reading node %1 of '%2' failed: %3")
                      .arg(Nodes->Count() + 1)
                      .arg(Caption(), failure));
            UserInteraction().ShowMessage(QStringLiteral(
                "Loading nodes from the measurement file failed. The file may be corrupt, or is "
                "incompatible (newer?) version than the Tavlo trying to open it."));
            return;
        }
        AddNode(static_cast<TMeasurementNode*>(obj.release()));
        if (progress)
            progress(2, QStringLiteral("Extract nodes from data ") +
                            QString::number(std::lround(100.0 * pos / total)) +
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
    const int m = MaxIndexNonIS();
    for (QObject* item : Nodes->Items()) {
        auto* node = static_cast<TMeasurementNode*>(item);
        if (node->NodeType != QLatin1String("IS") && node->DataCount() < m + 1)
            node->DataSize(m + 1);
    }
}
