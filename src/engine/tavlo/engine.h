#pragma once

#include <QString>
#include <QPointer>
#include <QThread>

#include <atomic>
#include <functional>
#include <mutex>

#include "tavlo/componentlist.h"
#include "tavlo/measurementresult.h"
#include "tavlo/timestamplist.h"

class TMeasurementNode;
class TTavloSession;

class IInstrumentContext;

// Registers the instrument steps of the node types with the engine (idempotent).
void RegisterInstrumentSteps();
void RegisterControllerSteps();

// The decision of a furnace segment program at one ET execution.
struct TSegmentDecision {
    bool Apply = false;
    int Setpoint = 0;
    int RampRate = 0;
    QString Message;
};
TSegmentDecision SegmentDecision(const TMeasurementNode& node);
// Runs the decision and sends a new segment to the controller, verified by read-back.
void ApplySegment(class TMeasuringEngine& engine, TMeasurementNode& node, const QString& port,
                  int address);
// The GPIB action, run inside the instrument frame.
void GPIBAction(class TMeasuringEngine& engine, TMeasurementNode& node, IInstrumentContext* context);

// One engine run: a worker thread that executes its node copies one after the other and
// hands the results back to the measurements' own nodes through calls that run in the main
// thread.
class TMeasuringEngine : public QThread {
    Q_OBJECT
public:
    explicit TMeasuringEngine(TTavloSession* session);
    ~TMeasuringEngine() override;

    double StartTime;
    std::atomic<bool> FinishedMeasuring{false};
    TimeStamp_TStringList Feedback;
    // Set by the main thread when the node of a running sweep is made inactive.
    std::atomic<bool> Abort{false};
    TComponentObjectList* Nodes;

    // Status texts; status panel 0 shows both.
    QString NodeStatus;
    QString StepStatus;

    // The sweep point waiting to be handed to its node.
    QPointer<TMeasurementNode> PendingTarget; // the origin node
    QString PendingMeasurementName;
    TMeasurementResult PendingPoint;
    bool PendingFlag = false;

    // Requests from the engine thread into the main thread; each waits until it has run.
    void RequestShowStatus() { Request(&TMeasuringEngine::ShowStatus); }
    void RequestFlushFeedback() { Request(&TMeasuringEngine::FlushFeedback); }
    void RequestReturnSweepPoint() { Request(&TMeasuringEngine::ReturnSweepPoint); }

    // The steps themselves (main thread).
    void ShowStatus();
    void FlushFeedback();
    void ReturnResults();
    void ReturnSweepPoint();

    // Executes one node copy.
    void Measure(TMeasurementNode& node);
    // Steps of node types, by "NodeType" or "AU/AUType"; the instrument issues plug in here.
    using TNodeStep = std::function<void(TMeasuringEngine&, TMeasurementNode&)>;
    static void RegisterNodeStep(const QString& key, TNodeStep step);
    static TNodeStep NodeStep(const QString& key);

    // The main thread asks a running engine to stop waiting (shutdown).
    void RequestStop() { requestInterruption(); }

protected:
    void run() override; // Execute

private:
    void Request(void (TMeasuringEngine::*step)());
    TTavloSession* FSession;
};
