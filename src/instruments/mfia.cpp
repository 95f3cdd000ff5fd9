// The impedance analyser's command lists and readings, through the analyser object.
#include "tavlo/mfia.h"

#include "tavlo/catalogue.h"
#include "tavlo/clock.h"
#include "tavlo/commandlist.h"
#include "tavlo/device.h"
#include "tavlo/instrumentcontext.h"
#include "tavlo/log.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/zhinst.h"

#include <QRegularExpression>
#include <QStringList>

#include <chrono>
#include <cmath>
#include <limits>
#include <memory>
#include <thread>

namespace {
using TClock = std::chrono::steady_clock;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr quint32 KFlagsMask = 0x78;
// A drain stops after this many polls even if the stream never runs dry.
constexpr int KMaxDrainPolls = 100000;

QString Hex8(int code) {
    return QString::number(static_cast<quint32>(code), 16).toUpper().rightJustified(8, u'0');
}

QString Num(double value) { return FloatToStr(value); }

void SleepMs(qint64 ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// One poll: true when an event with at least one value arrived. A failed poll is no data
// (the buffer may still hold an older event).
bool Poll(TziAPI& api, int index, int timeoutMs, TZIEvent& event) {
    const int result = api.PollData(index, timeoutMs);
    if (result != 0) {
        LogLine(QStringLiteral("PollData failed: $") + Hex8(result) + u' ' + api.ResultText(result));
        return false;
    }
    api.GetEvents(index, event);
    return event.count > 0;
}

// Throws away what arrived before now.
void Drain(TziAPI& api, int index, TZIEvent& event) {
    for (int i = 0; i < KMaxDrainPolls && Poll(api, index, 0, event); ++i) {
    }
}

} // namespace

void ParseAndSendZIAPI(TMeasurementNode& node, const QString& text, IInstrumentContext* context) {
    (void)node;
    IInstrumentContext& ctx = context ? *context : DefaultInstrumentContext();
    LogLine(QStringLiteral("Enter method: ParseAndSendZIAPI"));
    TZHInst* mfia = MFIAObject();
    if (!mfia) {
        ctx.Feedback(QStringLiteral("ZAPI: the analyser is not connected (validate the device "
                                    "setup); settings not sent"));
        LogLine(QStringLiteral("Exit method: ParseAndSendZIAPI"));
        return;
    }
    TziAPI& api = mfia->API();
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (const QString& raw : lines) {
        const TCommandLine parsed = ParseCommandLine(raw);
        if (parsed.SleepMs >= 0) {
            ctx.Feedback(QStringLiteral("Sleeping for ") + QString::number(parsed.SleepMs) +
                         QStringLiteral(" ms"));
            SleepMs(parsed.SleepMs);
            continue;
        }
        const QString& line = parsed.Command;
        if (line.isEmpty())
            continue;
        const QStringList fields = line.toUpper().split(u'|');
        if (fields.size() < 3 || fields.size() > 4) {
            ctx.Feedback(QStringLiteral("ZAPI commands before measurement point had a faulty line "
                                        "skipped: ") + line);
            ctx.Feedback(QStringLiteral("ZAPI correct format: node path|<variable type>|value as "
                                        "string|optional comments"));
            ctx.Feedback(QStringLiteral("ZAPI double format: 123.4E+2"));
            continue;
        }
        LogLine(QStringLiteral("Parsing line: ") + line);
        const QString path = fields.at(0).trimmed();
        const QString type = fields.at(1).trimmed();
        const QString value = fields.at(2).trimmed().replace(u',', u'.');
        if (type == QLatin1String("<INTEGER>")) {
            bool ok = false;
            const qint64 v = value.toLongLong(&ok);
            if (!ok) {
                ctx.Feedback(QStringLiteral("ZAPI integer value is not a whole number, line "
                                            "skipped: ") + line);
                continue;
            }
            api.SetNodeValue(path, v);
        } else if (type == QLatin1String("<DOUBLE>")) {
            api.SetNodeValue(path, NewStrToFloat(value, u'.'));
        }
        ctx.Feedback(QStringLiteral("ZAPI: ") + line);
    }
    LogLine(QStringLiteral("Exit method: ParseAndSendZIAPI"));
}

bool MeasureImpedanceMFIA(TMeasurementNode& node, double F, IInstrumentContext& ctx) {
    const TDevice device = InstrumentData(node);
    const bool sweep = node.NodeType == QLatin1String("IS");
    const auto store = [&](const TMeasurementResult& point) {
        if (sweep)
            ctx.HandOverSweepPoint(node, point);
        else
            node.AddData(point);
    };
    TZHInst* mfia = MFIAObject();
    if (!mfia) {
        const QString text = QStringLiteral("MFIA: the analyser is not connected (validate the "
                                            "device setup); no reading at ") + Num(F) +
                             QStringLiteral(" Hz");
        ctx.Feedback(text);
        LogLine(text);
        store({Now(), NaN, NaN, F});
        return false;
    }
    TziAPI& api = mfia->API();
    const QString& id = mfia->DeviceID;

    // 1. Test signal.
    if (node.DCBias != 0) {
        api.SetNodeValue(id + QStringLiteral("/imps/0/bias/value"), node.DCBias);
        api.SetNodeValue(id + QStringLiteral("/imps/0/bias/enable"), qint64(1));
    } else {
        api.SetNodeValue(id + QStringLiteral("/imps/0/bias/enable"), qint64(0));
    }
    api.SetNodeValue(id + QStringLiteral("/imps/0/freq"), F);
    api.SetNodeValue(id + QStringLiteral("/imps/0/output/amplitude"), node.ACVoltage);
    api.SetNodeValue(id + QStringLiteral("/imps/0/auto/inputrange"), qint64(1));
    api.SetNodeValue(id + QStringLiteral("/imps/0/output/on"), qint64(1));
    api.SetNodeValue(id + QStringLiteral("/imps/0/enable"), qint64(1));

    // 2. Subscription.
    const int index = api.EventAdd();
    const QString path = device.ZNodePath + QStringLiteral("/IMPS/0/SAMPLE");
    const int subscribed = api.Subscribe(path);
    ctx.Feedback(QStringLiteral("Subscribe  : ") + path + u' ' + Hex8(subscribed));
    ctx.Feedback(QStringLiteral("GetValue   : ") + Hex8(api.GetValueAsPollData(path)));
    LogLine(QStringLiteral("MFIA IC/IS node: ") + node.Caption);
    LogLine(QStringLiteral("F: ") + Num(node.Frequency));
    if (index < 0)
        LogLine(QStringLiteral("MFIA: the library gave no event buffer; no sample can arrive"));

    // 3. One period plus 5 s; a frequency that is not positive has no period.
    double waitMs = 5000;
    if (std::isfinite(F) && F > 0)
        waitMs += 1000.0 / F;
    else
        LogLine(QStringLiteral("MFIA: frequency ") + Num(F) + QStringLiteral(" Hz has no period; waiting 5 s"));
    const int wait = static_cast<int>(std::lround(std::min(waitMs, 86400000.0)));
    const auto start = TClock::now();
    const double RR = node.MFIARR;
    int attempt = 0;
    bool accepted = false;
    bool timedOut = false;
    bool anySample = false;
    TZIImpedanceSample A{}, B{};
    auto event = std::make_unique<TZIEvent>();

    // 4. Attempts.
    while (!accepted && !timedOut) {
        ++attempt;
        LogLine(QStringLiteral("Start of loop: ") + QString::number(attempt));
        SleepMs(wait);
        Drain(api, index, *event);
        A.realz = A.imagz = B.realz = B.imagz = 0;
        const bool gotA = Poll(api, index, wait, *event) && event->value;
        if (gotA) {
            ImpedanceSampleOf(*event, A);
            B = A;
            anySample = true;
            LogLine(QStringLiteral("isa1 accuired"));
            LogLine(QStringLiteral("isa1 R: ") + Num(A.realz));
            LogLine(QStringLiteral("isa1 I: ") + Num(A.imagz));
            LogLine(QStringLiteral("isa1 P: ") + Num(A.phase));
        } else {
            // Zeros are no reading: the attempt fails.
            LogLine(QStringLiteral("No sample arrived within ") + QString::number(wait) + QStringLiteral(" ms"));
        }
        bool ratioOK = false;
        if (gotA && RR > 0) {
            LogLine(QStringLiteral("User defined RR>1, acquiring second result"));
            Drain(api, index, *event);
            const bool gotB = Poll(api, index, wait, *event) && event->value;
            if (gotB) {
                ImpedanceSampleOf(*event, B);
                const double rR = B.realz != 0 ? A.realz / B.realz : -1;
                const double rI = B.imagz != 0 ? A.imagz / B.imagz : -1;
                LogLine(QStringLiteral(" -> Desired ratio: ") + Num(1 - RR) + QStringLiteral(" to ") + Num(1 + RR));
                ratioOK = (1 - RR < rR && rR < 1 + RR) || (1 - RR < rI && rI < 1 + RR);
                if (ratioOK) {
                    LogLine(QStringLiteral("1st R: ") + Num(A.realz));
                    LogLine(QStringLiteral("2nd R: ") + Num(B.realz));
                    LogLine(QStringLiteral("1st I: ") + Num(A.imagz));
                    LogLine(QStringLiteral("2nd I: ") + Num(B.imagz));
                    LogLine(QStringLiteral(" -> Ratio satisfied"));
                } else {
                    LogLine(QStringLiteral("1st R: ") + Num(A.realz));
                    LogLine(QStringLiteral("2nd R: ") + Num(B.realz));
                    LogLine(QStringLiteral("* Ratio: ") + Num(rR == -1 ? -1 : std::fabs(rR)));
                    LogLine(QStringLiteral("1st I: ") + Num(A.imagz));
                    LogLine(QStringLiteral("2nd I: ") + Num(B.imagz));
                    LogLine(QStringLiteral("* Ratio: ") + Num(rI == -1 ? -1 : std::fabs(rI)));
                    LogLine(QStringLiteral(" ** Ratio failed"));
                }
            } else {
                // Comparing the first sample with itself would always pass.
                LogLine(QStringLiteral("No second sample arrived within ") + QString::number(wait) +
                        QStringLiteral(" ms"));
                LogLine(QStringLiteral(" ** Ratio failed"));
            }
        }
        if (gotA) {
            const bool flagsOK = (B.flags & KFlagsMask) == 0;
            LogLine(QStringLiteral("FlagsOK    : ") + (flagsOK ? QStringLiteral("True") : QStringLiteral("False")));
            LogLine(QStringLiteral("Flags      : ") + QString::number(B.flags) + QStringLiteral(" $") +
                    Hex8(static_cast<int>(B.flags)));
            LogLine(QStringLiteral("Flags mask : 120 $") + Hex8(KFlagsMask));
            if (flagsOK && RR > 0) {
                LogLine(QStringLiteral("RRtesting is ON"));
                if (ratioOK) {
                    LogLine(QStringLiteral("Results Ratio is OK"));
                    LogLine(QStringLiteral("Accept result"));
                    accepted = true;
                } else {
                    LogLine(QStringLiteral("Results Ratio is BAD"));
                    LogLine(QStringLiteral("Failed result"));
                }
            } else if (flagsOK) {
                LogLine(QStringLiteral("RRtesting is OFF"));
                LogLine(QStringLiteral("Accept result"));
                accepted = true;
            } else {
                LogLine(QStringLiteral("Failed result"));
            }
        } else {
            LogLine(QStringLiteral("Failed result"));
        }
        const double elapsed = std::chrono::duration<double>(TClock::now() - start).count();
        LogLine(QStringLiteral(" -> Time ") + QString::number(std::llround(elapsed)) + u'/' +
                Num(node.ImpTimeout));
        timedOut = elapsed > node.ImpTimeout;
        if (!accepted && !timedOut && ctx.Aborting()) {
            LogLine(QStringLiteral("The engine is stopping; no further attempt"));
            timedOut = true;
        }
    }

    // 5., 6. The values.
    double R = NaN, X = NaN;
    if (timedOut) {
        LogLine(QStringLiteral("Timeout took place"));
        if (accepted)
            LogLine(QStringLiteral("However, a valid result was obtained, using it"));
    }
    if (accepted) {
        R = (A.realz + B.realz) / 2;
        X = (A.imagz + B.imagz) / 2;
        LogLine(QStringLiteral("Valid result added"));
        LogLine(QStringLiteral("R: ") + Num(A.realz));
        LogLine(QStringLiteral("I: ") + Num(A.imagz));
        LogLine(QStringLiteral("Pg: ") + Num(A.phase));
        LogLine(QStringLiteral("Pc: ") + Num(std::atan(A.imagz / A.realz)));
        LogLine(QStringLiteral("F: ") + Num(A.frequency));
    }

    // 7. The point: the frequency the instrument reported (the requested one when no sample
    // ever came).
    store({Now(), R, X, anySample ? A.frequency : F});

    // 8., 9. Unsubscribe; test signal off.
    api.Unsubscribe(path);
    api.EventsClear();
    api.SetNodeValue(id + QStringLiteral("/imps/0/bias/enable"), qint64(0));
    api.SetNodeValue(id + QStringLiteral("/imps/0/output/on"), qint64(0));
    api.SetNodeValue(id + QStringLiteral("/imps/0/enable"), qint64(0));
    return accepted;
}
