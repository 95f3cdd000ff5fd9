#pragma once

#include <QString>

class TMeasurementNode;
class IInstrumentContext;

// Sends a command list of analyser settings lines ("node path|<Integer>|value|comment",
// "<Double>" values with "." or ","), "//" comments, "#SLEEP n" / "*SLEEP n" pauses. Paths
// are used as written (upper-cased). Needs the analyser object; without it nothing is sent.
void ParseAndSendZIAPI(TMeasurementNode& node, const QString& text,
                       IInstrumentContext* context = nullptr);

// The analyser branch of MeasureImpedance: test signal, sample subscription, attempts until
// a sample passes the flags and results-ratio tests or ImpTimeout has passed, the point,
// test signal off. Returns true for an accepted reading.
bool MeasureImpedanceMFIA(TMeasurementNode& node, double F, IInstrumentContext& context);
