#pragma once

#include "tavlosim/simgpib.h"
#include "tavlosim/simlab.h"

#include <map>
#include <memory>

// A LAN instrument on its raw socket: a GPIB instrument model behind a TCP port. Lines end
// with LF (a CR before it is dropped). An answer stays in the instrument until a connection
// reads it: it goes to a connection that has written nothing for a moment (the asking one
// when it waits for its answer, or the next connection when the asking one went away).
class TSimLanInstrument : public TSimDevice {
public:
    explicit TSimLanInstrument(std::shared_ptr<TSimGpibInstrument> instrument);
    QString Describe() const override;
    void Receive(TSimLine& line, const QByteArray& bytes) override;
    void Tick(TSimLine& line) override;
    int LatencyMs() const override { return 1; }

    std::shared_ptr<TSimGpibInstrument> Instrument;
    // How long a connection must be quiet before an answer goes to it.
    int QuietMs = 50;

private:
    QByteArray FInput;
    std::optional<QByteArray> FPending;
    std::map<const TSimLine*, qint64> FLastWrite; // monotonic ms
};
