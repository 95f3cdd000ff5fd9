#pragma once

#include "tavlosim/simlab.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <random>

// The flow server of "ELFLOW" controllers on a loopback socket. Line protocol, one
// conversation per connection: "CONNECT <service> <topic>", then "REQUEST <item>" or
// "POKE <item> <value>"; each line is answered "OK[ <text>]" or "ERR <text>". Topics are
// "C(channel)", items "P(parameter)": 90 device type, 92 serial, 25 gas, 129 unit,
// 21 capacity, 205 measured value, 9 setpoint (written).
struct TSimElflow {
    QString Type = QStringLiteral("DMFC");
    QString Serial = QStringLiteral("M21212345A");
    QString Gas = QStringLiteral("N2");
    QString Unit = QStringLiteral("mln/min");
    double Capacity = 200;
    double Setpoint = 0;
    double Measured = 0;
    double LagSeconds = 0.3;
    // Misbehaviour of the channel.
    bool Unreadable = false;     // every request answers "ERR"
    int FailMeasuredReads = 0;   // this many reads of the measured value give a non-number
    bool RefusePoke = false;     // pokes answer "ERR"
};

class TSimFlowServer : public TSimDevice {
public:
    explicit TSimFlowServer(QString service = QStringLiteral("FlowDDE"));
    QString Describe() const override;
    QStringList Details() const override;
    void Receive(TSimLine& line, const QByteArray& bytes) override;
    void Tick(TSimLine& line) override;
    int LatencyMs() const override { return 1; }

    QString Service;
    std::map<int, TSimElflow> Channels;
    char DecimalSeparator = '.';  // of the numbers the server gives
    QList<QByteArray> Lines;      // every line received

private:
    QByteArray Answer(const QByteArray& line, QString& topic);
    // Moves the measured values towards their setpoints up to the given time.
    void Advance(double nowMs);
    QString Number(double value, int decimals) const;
    struct TConversation {
        QByteArray Input;
        QString Topic;
    };
    std::map<TSimLine*, TConversation> FConversations;
    double FLastMs = -1;
    std::mt19937 FRandom{99};
};
