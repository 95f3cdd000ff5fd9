#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

struct TDevice;

// What the program knows about each instrument model.

// The role text ("Role ModelKey") of a GPIB instrument from its "*IDN?" answer: "U-role "
// + the first 20 characters with blanks as "_", replaced by every catalogue text the
// answer contains (ignoring case); the last match wins.
QString IdentifyRole(const QString& answer);

// The model keys the device search offers for identifying a device by hand, in order.
QStringList KnownModelKeys();

// The serial-poll bits that together mean "result ready" for a model key.
int ReadyMask(const QString& modelKey);
// (status AND mask) = mask, the status being the trimmed reply as a decimal integer (0 when
// it is not a number).
bool IsResultReady(const QString& modelKey, const QString& spollReply);
bool IsResultReady(const QString& modelKey, const QByteArray& spollReply);

// AC amplitude (V) and frequency (Hz) ranges of an impedance analyser; zeros for other keys.
struct TAnalyserLimits {
    double ACVoltageMin = 0;
    double ACVoltageMax = 0;
    double FrequencyMin = 0;
    double FrequencyMax = 0;
};
TAnalyserLimits GetAnalyserLimits(const QString& modelKey);

// Number texts sent to instruments ('.' as decimal mark).
QString FmtE(double x);        // "0.0000000E+00"
QString FmtSignedE(double x);  // the same with "+" in front of positive numbers
QString NovocontrolNumber(double x);  // the shortest general text
QString HP4192AVolts(double x);       // "0.000"
QString HP4192AKiloHertz(double x);   // "####0.0000"

// A number from an instrument with the given decimal separator; on a conversion error
// "NewStrToFloat convert error on:" + text is logged and 0 returned.
double NewStrToFloat(const QString& text, QChar separator = u'.');

// Sends a model's initialisation through the adapter on the port: drains stale input, sets
// the adapter defaults, address and terminator, then the model's lines with their pauses.
void InitializeGPIBInstrument(const QString& port, int address, int eos, const QString& model);
// The model's initialisation lines (without "\r"); a line "#PAUSE n" stands for a pause of n
// ms and a line ending in "#WAIT" is sent waiting for a reply. Empty for keys without one.
QStringList InitializationLines(const QString& model);

// The default command text of a device for a node type; kind 1 before, 2 during, 3 after.
// Empty when the model and node type have no lines; otherwise a comment header and the
// lines, each ended by "\r\n".
QString DefaultCommands(const TDevice& device, const QString& nodeType, int kind);

// The header line of every default command text.
extern const QString DefaultCommandsHeader;
