#pragma once

#include "tavlosim/simgpib.h"
#include "tavlosim/simlab.h"

#include <QStringList>

// A switching unit on GPIB (a Keithley 7001 style scanner): it accepts the relay and channel
// commands of the switching templates, keeps the closed channels and records every command.
class TSimSwitchUnit : public TSimScpiInstrument {
public:
    QString Describe() const override;
    // Channels closed now, as written in the commands ("1!1", ...).
    QStringList Closed;

protected:
    bool Command(const QString& command) override;
};

// A receiver on a serial port that records what a broadcast sends: the bytes and the
// CR-terminated lines.
class TSimBroadcastReceiver : public TSimDevice {
public:
    QString Describe() const override;
    void Receive(TSimLine& line, const QByteArray& bytes) override;

    QByteArray Bytes;
    QList<QByteArray> Lines;

private:
    QByteArray FLine;
};
