#include "tavlosim/simlan.h"

#include <QDateTime>
#include <QElapsedTimer>

namespace {
qint64 MonotonicMs() {
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.elapsed();
}
} // namespace

TSimLanInstrument::TSimLanInstrument(std::shared_ptr<TSimGpibInstrument> instrument)
    : Instrument(std::move(instrument)) {}

QString TSimLanInstrument::Describe() const {
    return QStringLiteral("LAN: ") + Instrument->Describe();
}

void TSimLanInstrument::Receive(TSimLine& line, const QByteArray& bytes) {
    FLastWrite[&line] = MonotonicMs();
    FInput += bytes;
    qsizetype lf;
    while ((lf = FInput.indexOf('\n')) >= 0) {
        QByteArray message = FInput.left(lf);
        FInput.remove(0, lf + 1);
        if (message.endsWith('\r'))
            message.chop(1);
        Instrument->Write(message + '\n', true);
    }
}

void TSimLanInstrument::Tick(TSimLine& line) {
    if (!FPending)
        FPending = Instrument->Talk();
    if (!FPending)
        return;
    const auto it = FLastWrite.find(&line);
    if (it != FLastWrite.end() && MonotonicMs() - it->second < QuietMs)
        return;
    QByteArray answer = *FPending;
    if (!answer.endsWith('\n'))
        answer += '\n';
    line.Reply(answer);
    FPending.reset();
}
