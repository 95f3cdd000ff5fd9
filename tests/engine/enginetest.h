#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

#include "tavlo/clock.h"
#include "tavlo/engine.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"
#include "tavlo/session.h"

// Runs the event loop until the condition holds (false after the time-out).
inline bool RunUntil(const std::function<bool()>& condition, int milliseconds = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

// One tick that starts a run, the run, and the tick that frees it.
inline bool OneRun(TTavloSession& session, int milliseconds = 60000) {
    session.EngineTick();
    if (!session.CurrentEngine())
        return false;
    if (!RunUntil([&] { return session.CurrentEngine()->FinishedMeasuring.load(); }, milliseconds))
        return false;
    session.EngineTick();
    return session.CurrentEngine() == nullptr;
}

inline TMeasurement* AddMeasurement(TTavloSession& session, const QString& caption) {
    auto* m = new TMeasurement;
    m->SetCaption(caption);
    m->Active = true;
    m->SetDeviceSetup("4711");
    session.AddMeasurement(m);
    return m;
}

inline TMeasurementNode* AddNode(TMeasurement& m, const QString& caption,
                                 const QString& type = QStringLiteral("AU")) {
    auto* node = new TMeasurementNode;
    node->setObjectName(QStringLiteral("N%1").arg(++m.NodeIDCounter));
    node->Caption = caption;
    node->NodeType = type;
    node->Active = true;
    m.AddNode(node);
    return node;
}

