// The instrument steps of the engine: what one node copy does with its instrument.
#include <QString>

#include <cmath>
#include <limits>

#include "tavlo/clock.h"
#include "tavlo/commandlist.h"
#include "tavlo/device.h"
#include "tavlo/engine.h"
#include "tavlo/formatfloat.h"
#include "tavlo/instrumentcontext.h"
#include "tavlo/lan.h"
#include "tavlo/log.h"
#include "tavlo/mainthread.h"
#include "tavlo/measurementnode.h"
#include "tavlo/mfia.h"
#include "tavlo/prologix.h"
#include "tavlo/readings.h"
#include "tavlo/userinteraction.h"

#include <QTime>

namespace {

// The engine as the instrument operations see it.
class TEngineContext : public IInstrumentContext {
public:
    explicit TEngineContext(TMeasuringEngine& engine) : E(engine) {}
    void Feedback(const QString& line) override { E.Feedback.Add(line); }
    void ShowStatus(const QString& text) override {
        E.StepStatus = text;
        E.RequestShowStatus();
    }
    bool Aborting() const override { return E.isInterruptionRequested(); }
    void SetStartTime(double time) override { E.StartTime = time; }
    void HandOverSweepPoint(TMeasurementNode& node, const TMeasurementResult& point) override {
        E.PendingTarget = node.Origin;
        E.PendingMeasurementName = node.MeasurementName;
        E.PendingPoint = point;
        E.PendingFlag = true;
        E.RequestReturnSweepPoint();
    }
    void Refresh() override { E.RequestFlushFeedback(); }
    void SendLAN(TMeasurementNode& node, const QString& text) override {
        ParseAndSendLAN(node, text, this);
    }
    bool ReadLAN(TMeasurementNode& node, QString& reply) override {
        return ReadLANReply(node, reply, this);
    }

private:
    TMeasuringEngine& E;
};

QString Clock() { return QTime::currentTime().toString(QStringLiteral("hh:mm:ss:zzz")); }

// The pause for manual cable switching: the engine waits until the user confirms.
void ManualSwitching(const TMeasurementNode& node, const char* phase) {
    const QString text = QStringLiteral("Tavlo 2 is paused for manual cable switching.\r\n\r\n"
                                        "Measurement: ") +
                         node.MeasurementCaption + QStringLiteral(" \r\nNode: ") + node.Caption +
                         QStringLiteral(" \r\nPhase: ") + QLatin1String(phase);
    RunInMainThread([&] { UserInteraction().ShowMessage(text); });
}

void SwitchBefore(TMeasurementNode& node, TPrologix& adapter, IInstrumentContext& context) {
    if (node.Connection == QLatin1String("Manual")) {
        ManualSwitching(node, "Before measurement of this node");
    } else if (node.Connection == QLatin1String("Switch")) {
        const TDevice sw = SwitchData(node);
        adapter.SetAddress(static_cast<quint32>(sw.Address));
        adapter.SetTerminator(sw.EOS);
        ParseAndSendGPIB(node, node.SwitchGPIBBeforePoint, adapter, &context);
    } else {
        LogLine(QStringLiteral("**1st switching stage PRE: No switching"));
    }
}

void SwitchAfter(TMeasurementNode& node, TPrologix& adapter, IInstrumentContext& context) {
    if (node.Connection == QLatin1String("Manual")) {
        context.Feedback(QStringLiteral("**2st switching stage: Manual switching"));
        ManualSwitching(node, "After measurement of this node");
    } else if (node.Connection == QLatin1String("Switch")) {
        context.Feedback(QStringLiteral("**1st switching stage: External switching"));
        const TDevice sw = SwitchData(node);
        adapter.SetAddress(static_cast<quint32>(sw.Address));
        adapter.SetTerminator(sw.EOS);
        context.Feedback(QStringLiteral("**Serial port component address : ") +
                         QString::number(sw.Address));
        ParseAndSendGPIB(node, node.SwitchGPIBAfterPoint, adapter, &context);
    } else {
        context.Feedback(QStringLiteral("**1st switching stage POST: No switching"));
    }
}

// The instrument frame: adapter, switching, before list, the reading, after list.
void InstrumentFrame(TMeasuringEngine& engine, TMeasurementNode& node) {
    TEngineContext context(engine);
    const TDevice instrument = InstrumentData(node);
    TPrologix adapter;
    adapter.SetWindowsReadLoopTimeoutMS(250);
    adapter.SetReadoutTimeoutMS(3000);
    adapter.SetEOIonSend(true);
    adapter.SetEOTEnabled(false);
    adapter.SetAutoRead(false);
    adapter.SetPort(instrument.Port);
    context.Feedback(QStringLiteral(" GPIB node, serial port component created (even for LAN/ZAPInodes)"));
    context.Feedback(QStringLiteral(" **Serial port component created : ") + instrument.Port);
    context.Feedback(QStringLiteral(" **Serial port component address : ") +
                     QString::number(instrument.Address));

    SwitchBefore(node, adapter, context);

    context.Feedback(QStringLiteral(" **Handling GPIB before"));
    LogLine(Clock() + QStringLiteral(" **GPIB before"));
    if (instrument.InterfaceType == ditGPIB) {
        adapter.SetAddress(static_cast<quint32>(instrument.Address));
        adapter.SetTerminator(instrument.EOS);
        ParseAndSendGPIB(node, node.GPIBBeforePoint, adapter, &context);
    } else if (instrument.InterfaceType == ditLAN) {
        context.SendLAN(node, node.GPIBBeforePoint);
    } else if (instrument.InterfaceType == ditAPIZ) {
        ParseAndSendZIAPI(node, node.GPIBBeforePoint, &context);
    }
    context.Feedback(QStringLiteral(" **Handling GPIB after"));
    LogLine(Clock() + QStringLiteral(" **GPIB after"));

    const QString& type = node.NodeType;
    if (type == QLatin1String("AU")) {
        GPIBAction(engine, node, &context);
    } else if (type == QLatin1String("P1")) {
        MeasureP1(node, adapter, &context);
    } else if (type == QLatin1String("IC")) {
        MeasureImpedance(node, adapter, node.Frequency, &context);
    } else if (type == QLatin1String("IS")) {
        double f = node.SweepStartHz;
        for (int i = 0; i < node.SweepPoints; ++i) {
            if (engine.Abort) {
                // The node ends at once: no after list, no switching after.
                context.Feedback(QStringLiteral("Sweep stopped: the node was made inactive"));
                return;
            }
            engine.StepStatus = QStringLiteral(" *** At ") + FormatFloat(QStringLiteral("0.000"), f) +
                                QStringLiteral("Hz");
            engine.RequestShowStatus();
            context.Feedback(engine.StepStatus);
            MeasureImpedance(node, adapter, f, &context);
            engine.RequestFlushFeedback();
            f *= node.SweepStep;
        }
        node.SweepFinished = true;
        engine.StepStatus.clear();
    } else if (type == QLatin1String("M2") || type == QLatin1String("M4") ||
               type == QLatin1String("MV") || type == QLatin1String("MC") ||
               type == QLatin1String("GF")) {
        ReceiveResult(node, adapter, &context);
    } // TI: nothing

    context.Feedback(QString());
    context.Feedback(QStringLiteral("**GPIB after"));
    if (instrument.InterfaceType != ditAPIZ)
        ParseAndSendGPIB(node, node.GPIBAfterPoint, adapter, &context);
    context.Feedback(QString());
    SwitchAfter(node, adapter, context);
    context.Feedback(QStringLiteral("Measuring loop ended"));
    context.Feedback(QString());
}

void OxygenStep(TMeasuringEngine&, TMeasurementNode& node) { MeasureOxygen(node); }

} // namespace

void RegisterInstrumentSteps() {
    static const bool registered = [] {
        for (const char* type : {"GF", "IC", "IS", "M2", "M4", "MC", "MV", "P1", "TI"})
            TMeasuringEngine::RegisterNodeStep(QLatin1String(type), InstrumentFrame);
        TMeasuringEngine::RegisterNodeStep(QStringLiteral("OX"), OxygenStep);
        TMeasuringEngine::RegisterNodeStep(QStringLiteral("AU/GPIB"), InstrumentFrame);
        RegisterControllerSteps();
        return true;
    }();
    (void)registered;
}
