#pragma once

#include <QString>

#include "tavlo/componentlist.h"
#include "tavlo/measurement.h"

struct TLoadOptions {
    // Ask whether an active measurement should be made inactive.
    bool AskActive = true;
    TLoadProgress Progress;
};

// Opens a measurement file: checks it, resolves a name already in use by an open
// measurement, reads it, asks about the active flag, adds it to openMeasurements (when
// given) and rebuilds its nodes and graphs. Returns nullptr after the message when the file
// cannot be opened; the caller owns the result when openMeasurements is null.
TMeasurement* LoadMeasurement(const QString& path, TComponentObjectList* openMeasurements,
                              const TLoadOptions& options = {});

// The file an autosave of the measurement writes.
QString AutosavePath(const TMeasurement& measurement);
// Saves a copy to the autosave folder without changing FileLocation.
bool AutosaveMeasurement(TMeasurement& measurement);
