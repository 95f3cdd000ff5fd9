#pragma once

#include <QString>

class TMeasurementNode;
class TPrologix;
class IInstrumentContext;

// One reading of an instrument for a node, added to the node as a data point. Every
// operation catches its own failures, logs them and records the outcome the node type
// defines; none throws. The context (nullptr: the default) is the engine's side.

// M2, M4, MV, MC, GF nodes: waits for the model's ready status (at most MultiTimeout s),
// reads and parses the reply. Adds (now, V1, V2, V3) and returns true on success; a result
// that never became ready or cannot be parsed adds no point.
bool ReceiveResult(TMeasurementNode& node, TPrologix& adapter, IInstrumentContext* context = nullptr);

// One impedance point at frequency F (IC node, or one step of an IS sweep): set-up, wait (at
// most ImpTimeout s plus one period), read, parse, correct, clean up. Adds (now, R, X, F) or,
// for an IS node, hands it to the context; after a time-out the instrument is initialised
// again and (now, NaN, NaN, F) is recorded. Returns true for a valid point.
bool MeasureImpedance(TMeasurementNode& node, TPrologix& adapter, double F,
                      IInstrumentContext* context = nullptr);

// P1 node: one potentiostat reading within 5 s; (now, V, I, NaN), or (now, NaN, NaN, NaN)
// after a time-out. Returns true for a read point.
bool MeasureP1(TMeasurementNode& node, TPrologix& adapter, IInstrumentContext* context = nullptr);

// OX node: one reading of the GenAir oxygen sensor on its own port (" OXY\r");
// (now, value, 0, 0), or (now, NaN, 0, 0) on any failure. Returns true for a number.
bool MeasureOxygen(TMeasurementNode& node);

// The reply parsing of ReceiveResult (without logging of the wait): false when the reply
// cannot be parsed. V1..V3 as the point stores them, before the geometry correction.
struct TReadingValues {
    double V1 = 0, V2 = 0, V3 = 0;
};
bool ParseReading(const TMeasurementNode& node, const QString& modelKey, const QString& reply,
                  TReadingValues& values, QString* message = nullptr);
// The models whose replies ReceiveResult parses.
bool IsReadingModel(const QString& modelKey);

// The reply parsing of MeasureImpedance: R, X and F by model key (F keeps the requested
// frequency for the Hioki). False when the reply lacks the items the model needs.
bool ParseImpedanceReply(const QString& modelKey, const QString& reply, double requestedF,
                         double& R, double& X, double& F);

// The geometry correction factor SampleArea / SampeThickness / SampleDensity^2, or 1 when
// the correction is off or thickness or density is not positive.
double GeometryFactor(const TMeasurementNode& node);
