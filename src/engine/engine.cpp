#include "tavlo/engine.h"

#include <QMap>

#include <cmath>
#include <limits>

#include "tavlo/clock.h"
#include "tavlo/device.h"
#include "tavlo/log.h"
#include "tavlo/mainthread.h"
#include "tavlo/measurementnode.h"
#include "tavlo/session.h"

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();

std::mutex GStepMutex;
QMap<QString, TMeasuringEngine::TNodeStep>& Steps() {
    static QMap<QString, TMeasuringEngine::TNodeStep> steps;
    return steps;
}
} // namespace

TMeasuringEngine::TMeasuringEngine(TTavloSession* session)
    : StartTime(Now()), Nodes(new TComponentObjectList(nullptr, QStringLiteral("TMeasurementNode"))),
      FSession(session) {
    RegisterInstrumentSteps();
    Nodes->setObjectName(QStringLiteral("EngineNodeList"));
}

TMeasuringEngine::~TMeasuringEngine() {
    wait(); // destroying the object waits for its thread
    delete Nodes;
}

void TMeasuringEngine::RegisterNodeStep(const QString& key, TNodeStep step) {
    std::lock_guard lock(GStepMutex);
    Steps()[key] = std::move(step);
}

TMeasuringEngine::TNodeStep TMeasuringEngine::NodeStep(const QString& key) {
    std::lock_guard lock(GStepMutex);
    return Steps().value(key);
}

void TMeasuringEngine::Request(void (TMeasuringEngine::*step)()) {
    RunInMainThread([this, step] { (this->*step)(); });
}

void TMeasuringEngine::run() {
    const QList<QObject*> copies = Nodes->Items();
    const int n = static_cast<int>(copies.size());
    for (int p = 0; p < n; ++p) {
        auto* node = static_cast<TMeasurementNode*>(copies.at(p));
        StepStatus.clear();
        NodeStatus = QStringLiteral("Instrument:") + FSession->InstrumentIDString(*node) +
                     QStringLiteral(" *** Measurement:") + node->MeasurementCaption +
                     QStringLiteral(" *** Node:") + node->Caption + QStringLiteral(" *** Type:") +
                     node->NodeType + QStringLiteral(" *** Nodecount:") + QString::number(p + 1) +
                     u'/' + QString::number(n);
        Request(&TMeasuringEngine::ShowStatus);
        // An abort stops the sweep of the node that was switched off, not the sweeps after it.
        Abort = false;
        try {
            Measure(*node);
        } catch (const std::exception& e) {
            // A failing step never ends the run.
            Feedback.Add(QStringLiteral("Node ") + node->Caption + QStringLiteral(" failed: ") +
                         QString::fromLocal8Bit(e.what()));
        }
    }
    Request(&TMeasuringEngine::ReturnResults);
    Request(&TMeasuringEngine::FlushFeedback);
    QThread::msleep(50);
    FinishedMeasuring = true;
}

void TMeasuringEngine::Measure(TMeasurementNode& node) {
    LogTo(TLogCategory::MeasuringEngine, QStringLiteral("Enter Measure"));
    const TDevice instrument = InstrumentData(node);
    auto tell = [this](const QString& line) {
        LogLine(line);
        Feedback.Add(line);
    };
    switch (instrument.InterfaceType) {
    case ditAPIZ:
        tell(QStringLiteral("Instrument InterfaceType ZAPI"));
        tell(QStringLiteral("ZNodePath: ") + instrument.ZNodePath);
        break;
    case ditLAN:
        tell(QStringLiteral("Instrument InterfaceType LAN"));
        break;
    case ditGPIB:
        tell(QStringLiteral("Instrument InterfaceType GPIB"));
        break;
    default:
        tell(QStringLiteral("Instrument InterfaceType Undefined"));
    }
    Feedback.Add(QString());
    Feedback.Add(QStringLiteral("** ** ** ** ** ** ** **"));
    Feedback.Add(QStringLiteral("Measuring loop started"));
    Feedback.Add(QStringLiteral("**Node       : ") + node.Caption);
    Feedback.Add(QStringLiteral("**Node type  : ") + node.NodeType);
    Feedback.Add(QStringLiteral("**Instrument : ") + node.Instrument);

    TNodeStep step;
    {
        std::lock_guard lock(GStepMutex);
        const QString key = node.NodeType == QLatin1String("AU")
                                ? QStringLiteral("AU/") + node.AUType
                                : node.NodeType;
        step = Steps().value(key);
    }
    if (step) {
        step(*this, node);
    } else if (node.NodeType == QLatin1String("AU") &&
               (node.AUType.isEmpty() || (node.AUType != QLatin1String("Furnace") &&
                                          node.AUType != QLatin1String("GPIB") &&
                                          node.AUType != QLatin1String("Flow") &&
                                          node.AUType != QLatin1String("COM")))) {
        node.AddData(Now(), NaN, NaN, NaN);
    } else {
        Feedback.Add(QStringLiteral("Node type ") + node.NodeType +
                     (node.NodeType == QLatin1String("AU") ? u'/' + node.AUType : QString()) +
                     QStringLiteral(" cannot be run by this version: no point stored"));
    }
    LogTo(TLogCategory::MeasuringEngine, QStringLiteral("Exit Measure"));
}

void TMeasuringEngine::ShowStatus() { FSession->SetStatusText(NodeStatus + StepStatus); }

void TMeasuringEngine::FlushFeedback() {
    for (const QString& line : Feedback.Lines())
        FSession->AppendRunLog(line);
    Feedback.Clear();
}

void TMeasuringEngine::ReturnResults() { FSession->ReturnResults(*this); }

void TMeasuringEngine::ReturnSweepPoint() { FSession->ReturnSweepPoint(*this); }
