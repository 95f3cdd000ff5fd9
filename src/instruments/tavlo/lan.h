#pragma once

#include <QString>

class IInstrumentContext;
class TMeasurementNode;
struct TDevice;

// LAN instruments: every exchange is one short TCP connection to the instrument's raw socket
// port (connect and read time-outs 1000 ms, lines end with CR LF on writing, LF on reading).

// Sends a command list: "//" comments cut, "#SLEEP n" / "*SLEEP n" pauses, "$GPIB1" replaced,
// every other line written without waiting for answers.
void ParseAndSendLAN(TMeasurementNode& node, const QString& text, IInstrumentContext* context = nullptr);
// Reads one reply line on a new connection; false when no connection could be made.
bool ReadLANReply(TMeasurementNode& node, QString& reply, IInstrumentContext* context = nullptr);
// The connection test of validation; the report gets the lines of the test.
bool TestLANDevice(const TDevice& device, QString& report);
// The lines sent to a LAN instrument after a successful validation.
void InitializeLANInstrument(const TDevice& device);
