#include "tavlo/session.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

#include "tavlo/actionvalues.h"
#include "tavlo/atomicfile.h"
#include "tavlo/clock.h"
#include "tavlo/componenttext.h"
#include "tavlo/device.h"
#include "tavlo/engine.h"
#include "tavlo/folders.h"
#include "tavlo/log.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementfile.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/userinteraction.h"
#include "tavlo/variables.h"
#include "tavlo/zhinst.h"

namespace {
constexpr double AutosaveInterval = 0.04167; // days
constexpr qint64 RunLogClearTicks = 10000;

double RoundTo10(double v) {
    if (!std::isfinite(v))
        return v;
    const double scaled = v * 1e10;
    return std::isfinite(scaled) ? std::nearbyint(scaled) / 1e10 : v;
}
} // namespace

TTavloSession::TTavloSession(QObject* parent)
    : QObject(parent),
      MeasurementsList(new TComponentObjectList(this, QStringLiteral("TMeasurement"))) {
    RegisterModelClasses();
    MeasurementsList->setObjectName(QStringLiteral("MCOL"));
    FTimer.setInterval(100);
    connect(&FTimer, &QTimer::timeout, this, &TTavloSession::EngineTick);
}

TTavloSession::~TTavloSession() {
    FTimer.stop();
    WaitForEngine();
    MeasurementsList->Clear();
    // The analyser connection ends with the program's session.
    ReplaceMFIAObject(nullptr);
}

void TTavloSession::AppendRunLog(const QString& line) {
    FRunLog.append(line);
    emit RunLogAppended(line);
}

void TTavloSession::ClearRunLog() {
    FRunLog.clear();
    emit RunLogCleared();
}

void TTavloSession::SetStatusText(const QString& text) { UserInteraction().SetStatusText(0, text); }

void TTavloSession::AddMeasurement(TMeasurement* measurement) { MeasurementsList->Add(measurement); }

void TTavloSession::CloseMeasurement(TMeasurement* measurement) {
    // A run holding copies of its nodes finds the measurement gone when results return.
    delete measurement;
}

TMeasurement* TTavloSession::FindOpenMeasurement(const QString& componentName) const {
    if (componentName.isEmpty())
        return nullptr;
    for (QObject* item : MeasurementsList->Items())
        if (item->objectName() == componentName)
            return static_cast<TMeasurement*>(item);
    return nullptr;
}

bool TTavloSession::IsOpen(const TMeasurement* measurement) const {
    return measurement && measurement->parent() == MeasurementsList;
}

QString TTavloSession::InstrumentIDString(const TMeasurementNode& node) const {
    return InstrumentData(node).IDString;
}

void TTavloSession::AddDeviceMemo(const QString& line) {
    FDeviceMemo.append(line);
    emit DeviceMemoAppended(line);
}

void TTavloSession::ClearDeviceMemo() {
    FDeviceMemo.clear();
    emit DeviceMemoCleared();
}

bool TTavloSession::SaveDeviceSetup(const QString& path) {
    QString error;
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        error = QStringLiteral("the folder ") + folder + QStringLiteral(" cannot be made");
    if (!error.isEmpty() || !DeviceTree.SaveToFile(path, &error)) {
        AddDeviceMemo(QStringLiteral("Device setup ") + path + QStringLiteral(" could not be saved: ") +
                      error);
        return false;
    }
    return true;
}

bool TTavloSession::LoadDeviceSetup(const QString& path) {
    QString error;
    if (!DeviceTree.LoadFromFile(path, &error)) {
        AddDeviceMemo(QStringLiteral("Device setup ") + path + QStringLiteral(" could not be loaded: ") +
                      error);
        return false;
    }
    SetDeviceSetupID(DeviceTree.DeviceSetupID());
    SetDevicesValidated(false);
    return true;
}

bool TTavloSession::LoadDefaultDeviceSetup() {
    const QString path = DataPath(QStringLiteral("Device Setups/default.tdq"));
    if (!QFile::exists(path) || !LoadDeviceSetup(path))
        return false;
    AddDeviceMemo(QStringLiteral("Note that any loaded setup (including default.tdq) requires "
                                 "validation before the devices can be used."));
    return true;
}

void TTavloSession::WaitForEngine() {
    while (FEngine) {
        if (FEngine->FinishedMeasuring) {
            FEngine.reset();
            ++CompletedRuns;
            emit RunFinished(CompletedRuns);
            break;
        }
        FEngine->RequestStop();
        // The engine's requests into the main thread run in this loop.
        QEventLoop loop;
        QTimer::singleShot(100, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

void TTavloSession::EngineTick() {
    ++TickCounter;
    if (TickCounter % RunLogClearTicks == 0)
        ClearRunLog();
    if (Now() - LastAutosave > AutosaveInterval)
        AutosaveAll();
    if (MeasurementsList->Count() == 0)
        return;
    if (FEngine) {
        if (FEngine->FinishedMeasuring) {
            FEngine.reset();
            SetStatusText(QStringLiteral("Idle"));
            ++CompletedRuns;
            emit RunFinished(CompletedRuns);
        }
        return;
    }

    auto engine = std::make_unique<TMeasuringEngine>(this);
    const QString did = DeviceSetupID();
    const bool valid = DevicesValidated();
    for (QObject* item : MeasurementsList->ItemsInOrder()) {
        auto* m = static_cast<TMeasurement*>(item);
        if (!m->EvaluateMeasurementValidity(did, valid)) {
            if (!m->UnfitNoticeGiven) {
                const QString line =
                    QStringLiteral("Skipping measurement '") + m->Caption() +
                    QStringLiteral("' Check: Is it marked active, what is the frequency limit, if "
                                   "device setup IDs match, are devices validated");
                AppendRunLog(line);
                LogTo(TLogCategory::MainForm, line);
                m->UnfitNoticeGiven = true;
            }
            continue;
        }
        m->EqualizeDataCountInNodes();
        for (QObject* nodeItem : m->Nodes->ItemsInOrder()) {
            auto* node = static_cast<TMeasurementNode*>(nodeItem);
            if (!node->Active || node->SweepFinished)
                continue;
            try {
                PrepareNode(*m, *node, *engine);
            } catch (const std::exception& e) {
                // A node that cannot be prepared is left out; the run goes on without it.
                LogLine(QStringLiteral("Node '") + node->Caption +
                        QStringLiteral("' skipped, preparing it failed: ") +
                        QString::fromLocal8Bit(e.what()));
            }
        }
    }
    const int count = engine->Nodes->Count();
    if (count == 0)
        return; // nothing due: the run is never started
    const QString started = QStringLiteral("Engine started with %1 nodes.").arg(count);
    SetStatusText(started);
    AppendRunLog(started);
    FEngine = std::move(engine);
    FEngine->start();
    SetStatusText(QStringLiteral("Idle"));
}

bool TTavloSession::PrepareNode(TMeasurement& m, TMeasurementNode& node, TMeasuringEngine& engine) {
    const int index = m.MaxIndexNonIS();
    const TEvaluationResult start = EvaluateExpressionAt(m, index, node.StartExpression);
    const TEvaluationResult stop = EvaluateExpressionAt(m, index, node.StopExpression);
    const double startValue = RoundTo10(start.Value);
    const double stopValue = RoundTo10(stop.Value);
    const bool heldBack = startValue == 0 || stopValue != 0; // a NaN stop value holds back

    LogLine(QStringLiteral("***"));
    if (heldBack) {
        LogLine(node.Caption + QStringLiteral(" start or end condition does prevent measurement."));
        LogLine(QStringLiteral("Used index       : ") + QString::number(index));
    } else {
        LogLine(node.Caption + QStringLiteral(" passed start or end condition"));
    }
    LogLine(QStringLiteral("Start expression : ") + node.StartExpression);
    LogLine(QStringLiteral("Start evaluated  : ") + FloatToStr(startValue));
    LogLine(QStringLiteral("Message          : ") + start.Message);
    LogLine(QStringLiteral("Stop expression  : ") + node.StopExpression);
    LogLine(QStringLiteral("Stop  evaluated  : ") + FloatToStr(stopValue));
    LogLine(QStringLiteral("Message          : ") + stop.Message);

    if (heldBack) {
        if (node.NodeType != QLatin1String("IS")) {
            const double nan = std::nan("");
            node.AddData(Now(), nan, nan, nan);
            m.LastMeasured = Now();
        }
        return false;
    }
    if (node.FAM == -1) {
        node.FAM = Now();
        LogLine(QStringLiteral("  First ever node execution, time noted"));
    }
    node.LAM = Now();
    LogLine(QStringLiteral("  Node execution time noted"));

    if (node.NodeType.isEmpty()) {
        LogLine(node.Caption + QStringLiteral(" no node type defined."));
        return false;
    }
    if (node.Instrument.isEmpty() && node.NodeType != QLatin1String("AU") &&
        node.AUType != QLatin1String("COM")) {
        LogLine(node.Caption + QStringLiteral(" no instrument defined."));
        return false;
    }
    UtilityEvaluate(node);
    GPIBExpressionEvaluate(node);
    LogLine(QStringLiteral("$GPIB1 value formatted: ") + node.AGPIB1S);

    auto* copy = new TMeasurementNode;
    engine.Nodes->Add(copy);
    CopyProperties(&node, copy);
    copy->setObjectName(node.objectName());
    copy->MeasurementCaption = m.Caption();
    copy->MeasurementName = m.objectName();
    copy->ImpTimeout = m.ImpTimeout;
    copy->MultiTimeout = m.MultiTimeout;
    copy->Origin = &node;
    return true;
}

void TTavloSession::ReturnResults(TMeasuringEngine& engine) {
    QList<TMeasurement*> touched;
    for (QObject* item : engine.Nodes->Items()) {
        auto* copy = static_cast<TMeasurementNode*>(item);
        // The origin knows its measurement even if another one took its name meanwhile.
        TMeasurementNode* origin = copy->Origin;
        TMeasurement* m = origin ? origin->Measurement : FindOpenMeasurement(copy->MeasurementName);
        if (!m || !IsOpen(m))
            continue; // closed during the run
        if (!touched.contains(m))
            touched.append(m);
        if (!origin)
            continue; // the node was deleted during the run
        if (copy->NodeType == QLatin1String("ET")) {
            origin->SegmentLine = copy->SegmentLine;
            origin->SegmentSPPrev = copy->SegmentSPPrev;
            origin->SegmentRRPrev = copy->SegmentRRPrev;
        }
        if (copy->NodeType == QLatin1String("IS"))
            origin->SweepFinished = true;
        else if (copy->DataCount() == 1)
            origin->AddData(copy->GetData(0));
    }
    std::sort(touched.begin(), touched.end(), [](TMeasurement* a, TMeasurement* b) {
        return a->objectName() < b->objectName();
    });
    for (TMeasurement* m : touched) {
        m->UpdateSeries();
        m->LastMeasured = Now();
    }
    engine.ShowStatus();
}

void TTavloSession::ReturnSweepPoint(TMeasuringEngine& engine) {
    TMeasurementNode* target = engine.PendingTarget;
    TMeasurement* m = target ? target->Measurement : nullptr;
    if (!m || !IsOpen(m))
        return;
    if (engine.PendingFlag) {
        try {
            target->AddData(engine.PendingPoint);
            m->UpdateSeriesSweeps();
        } catch (...) {
            // ends the step silently
        }
    }
    engine.PendingFlag = false;
    m->LastMeasured = engine.PendingPoint.Time;
    if (!target->Active)
        engine.Abort = true;
}

void TTavloSession::WriteMeasurementsOpen(const QStringList& locations) {
    if (locations.isEmpty() || locations.first().trimmed().isEmpty())
        return;
    QDir().mkpath(DataPath(QStringLiteral("Utility")));
    // Write errors are ignored: the list only helps reopening.
    WriteFileAtomically(DataPath(QStringLiteral("Utility/MeasurementsOpen.txt")),
                        (locations.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).toLocal8Bit());
}

void TTavloSession::AutosaveAll() {
    const bool timerWasActive = FTimer.isActive();
    FTimer.stop();
    TBusyCursor busy;
    QString status = QStringLiteral("Autosaving");
    SetStatusText(status);
    QStringList locations;
    for (QObject* item : MeasurementsList->ItemsInOrder()) {
        auto* m = static_cast<TMeasurement*>(item);
        if (!m->FileLocation.isEmpty())
            locations << m->FileLocation;
        AutosaveMeasurement(*m);
        status += u'.';
        SetStatusText(status);
    }
    WriteMeasurementsOpen(locations);
    SaveAll();
    if (timerWasActive)
        FTimer.start();
    SetStatusText(QString());
    LastAutosave = Now();
}

void TTavloSession::SaveAll() {
    SetStatusText(QStringLiteral("Saving all open measurements..."));
    QStringList locations;
    for (QObject* item : MeasurementsList->Items()) {
        auto* m = static_cast<TMeasurement*>(item);
        m->Initialize();
        const int before = m->SaveCount;
        m->Save(m->FileLocation);
        // Saves to its own file do not advance the count (only a save that counted is undone).
        if (m->SaveCount != before)
            m->SaveCount -= 1;
        if (!m->FileLocation.isEmpty())
            locations << m->FileLocation;
    }
    WriteMeasurementsOpen(locations);
}
