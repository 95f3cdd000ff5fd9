#pragma once

#include <QByteArray>
#include <QString>

// The flow server of "ELFLOW" mass-flow controllers, reached over a loopback TCP line
// protocol: one connection per conversation; "CONNECT <service> <topic>", then
// "REQUEST <item>" or "POKE <item> <value>", one '\n'-terminated line each, each answered
// by "OK[ <text>]" or "ERR <text>". The service's address comes from the port map's
// [Services] section. Nothing here raises to the caller.

inline const QString FlowServiceName = QStringLiteral("FlowDDE");

// "C(" + channel + ")" and "P(" + parameter + ")".
QString FlowTopic(int channel);
QString FlowItem(int parameter);

namespace FlowParam {
constexpr int DeviceType = 90;
constexpr int SerialNumber = 92;
constexpr int Gas = 25;
constexpr int Unit = 129;
constexpr int Capacity = 21;
constexpr int Measured = 205;
constexpr int Setpoint = 9;
} // namespace FlowParam

// One answer line of the server: true for "OK[ text]" with text the rest of the line,
// false for "ERR text" or anything else, with error a readable reason.
bool ParseFlowServerReply(const QByteArray& line, QString& text, QString& error);

struct TFlowServerResult {
    bool Ok = false;
    QString Text;  // the item's text when Ok
    QString Error; // the reason otherwise (never a number)
};

// One conversation with the server.
class TFlowServerClient {
public:
    explicit TFlowServerClient(const QString& service = FlowServiceName, int timeoutMs = 2000);

    // Reads an item of a topic as text.
    TFlowServerResult Request(const QString& topic, const QString& item) const;
    // Pokes a value to an item; Ok when the server accepted it.
    TFlowServerResult Poke(const QString& topic, const QString& item, const QString& value) const;

private:
    TFlowServerResult Converse(const QString& topic, const QByteArray& command) const;
    QString FService;
    int FTimeoutMs;
};

// Reads an item of a channel; on any failure the text is the reason, which is not a number.
QString FlowServerRead(const QString& service, int channel, int parameter, int timeoutMs = 2000);
// The FL read: "P(205)" as a number in the program's number format, repeated after 50 ms
// pauses at most five more times while it is -1. A text that is not a number gives -1.
double FlowServerReadMeasured(const QString& service, int channel, int timeoutMs = 2000);
// The setpoint poke: "P(9)" with the value rounded to an integer (halves to even).
bool FlowServerWriteSetpoint(const QString& service, int channel, double value,
                             int timeoutMs = 2000, QString* error = nullptr);
// Validation: "P(90)" must read "DMFC"; answer receives what came (or the reason).
bool FlowServerValidate(const QString& service, int channel, QString* answer = nullptr,
                        int timeoutMs = 2000);
