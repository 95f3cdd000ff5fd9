#pragma once

#include <QString>

class TMeasurementNode;
class TPrologix;
class IInstrumentContext;

// Sends a command list to the node's instrument through the adapter: "//" comments cut,
// "#SLEEP n" / "*SLEEP n" pauses, "$GPIB1" replaced by the node's $GPIB1 text, every other
// non-empty line written to the instrument. API devices are not served here (logged and
// left), LAN devices are diverted to the context's LAN branch.
void ParseAndSendGPIB(TMeasurementNode& node, const QString& text, TPrologix& adapter,
                      IInstrumentContext* context = nullptr);

// One line of a command list: the command to send (empty for none) and the pause in ms
// (-1 when the line is no pause line).
struct TCommandLine {
    QString Command;
    int SleepMs = -1;
};
TCommandLine ParseCommandLine(const QString& line);
