#pragma once

#include <QString>

#include "tavlo/measurementresult.h"

class TMeasurementNode;

// What an instrument operation needs of the engine that runs it: the Feedback log, the
// status text, the abort flag, the engine's start time, the hand-over of IS sweep points
// to the user-interface thread, the refresh request and the LAN branch. The default does
// without an engine: feedback goes to the diagnostic log, IS points are added to the node.
class IInstrumentContext {
public:
    virtual ~IInstrumentContext() = default;
    // One line of the engine's Feedback log.
    virtual void Feedback(const QString& line);
    // The engine's status text (shown by the user interface).
    virtual void ShowStatus(const QString& text) {}
    // The engine is being stopped: wait loops end.
    virtual bool Aborting() const { return false; }
    // The engine's start time of the current step (days).
    virtual void SetStartTime(double time) {}
    // An IS sweep point: handed to the user-interface thread, which adds it to the node.
    virtual void HandOverSweepPoint(TMeasurementNode& node, const TMeasurementResult& point);
    // The user interface is asked to refresh.
    virtual void Refresh() {}
    // A command text for a LAN device. Until the LAN instruments exist nothing is sent.
    virtual void SendLAN(TMeasurementNode& node, const QString& text);
    // The LAN read of one reply line; false when nothing could be read.
    virtual bool ReadLAN(TMeasurementNode& node, QString& reply);
};

// The context used when the caller passes none.
IInstrumentContext& DefaultInstrumentContext();
