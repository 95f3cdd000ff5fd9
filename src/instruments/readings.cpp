#include "tavlo/readings.h"

#include "tavlo/catalogue.h"
#include "tavlo/clock.h"
#include "tavlo/device.h"
#include "tavlo/instrumentcontext.h"
#include "tavlo/log.h"
#include "tavlo/measurementnode.h"
#include "tavlo/mfia.h"
#include "tavlo/numformat.h"
#include "tavlo/portmap.h"
#include "tavlo/posixserial.h"
#include "tavlo/prologix.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTime>

#include <sys/ioctl.h>

#include <chrono>
#include <cmath>
#include <exception>
#include <limits>
#include <thread>

namespace {
using TClock = std::chrono::steady_clock;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

void SleepMs(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

TClock::time_point DeadlineAfter(double seconds) {
    if (!(seconds > 0))
        return TClock::now();
    // Far-off deadlines are capped at one day.
    seconds = std::min(seconds, 86400.0);
    return TClock::now() + std::chrono::duration_cast<TClock::duration>(
                               std::chrono::duration<double>(seconds));
}

QString TimeText() { return QDateTime::currentDateTime().toString(QStringLiteral("hh:mm:ss.zzz")); }

QString Text(const QByteArray& bytes) { return QString::fromLatin1(bytes); }

// A number from an instrument ('.' as decimal mark); false (and the conversion logged) when
// the text is not one.
bool ToNumber(const QString& text, double& value) {
    if (TryTextToFloat(text.trimmed(), u'.', value))
        return true;
    LogLine(QStringLiteral("NewStrToFloat convert error on:") + text);
    return false;
}

// A reading field: the instruments' overflow value (9.9E+37) is no reading.
bool ReadingField(const QString& text, double& value) {
    if (text.contains(QLatin1String("E+37"), Qt::CaseInsensitive)) {
        value = NaN;
        return true;
    }
    return ToNumber(text, value);
}

struct TParseFailure : std::exception {};

double Item(const QStringList& items, int i) {
    if (i >= items.size())
        throw TParseFailure();
    return NewStrToFloat(items.at(i).trimmed(), u'.');
}

QString Lbl(double v) { return FloatToStrDot(v); }
} // namespace

// ---- Parsing ----

double GeometryFactor(const TMeasurementNode& node) {
    if (!node.SampleCorrect)
        return 1.0;
    if (!(node.SampeThickness > 0) || !(node.SampleDensity > 0)) {
        LogLine(QStringLiteral("Geometry correction of ") + node.Caption +
                QStringLiteral(" not applied: thickness and density must be greater than 0; the "
                               "reading is stored uncorrected"));
        return 1.0;
    }
    return node.SampleArea / node.SampeThickness / (node.SampleDensity * node.SampleDensity);
}

bool IsReadingModel(const QString& modelKey) {
    static const QStringList models = {
        QStringLiteral("K2000"),          QStringLiteral("K2400"),
        QStringLiteral("DMM6500"),        QStringLiteral("K6500"),
        QStringLiteral("K6514(Electrometer)"), QStringLiteral("K6430(MeasureOnly)"),
        QStringLiteral("34970A"),         QStringLiteral("34401A"),
        QStringLiteral("34420A"),         QStringLiteral("PowersupplyE3642A"),
        QStringLiteral("HP3458A"),        QStringLiteral("HP4339B"),
        QStringLiteral("KSB2985B(Electrometer)"), QStringLiteral("2260B")};
    return models.contains(modelKey);
}

bool ParseReading(const TMeasurementNode& node, const QString& modelKey, const QString& rawReply,
                  TReadingValues& values, QString* message) {
    const QString reply = rawReply.trimmed();
    if (node.NodeType == QLatin1String("GF")) {
        values = {NaN, NaN, NaN};
        const QRegularExpression re(node.GPIBFreeExp, QRegularExpression::CaseInsensitiveOption |
                                                          QRegularExpression::MultilineOption);
        if (!re.isValid()) {
            if (message)
                *message = QStringLiteral("Invalid regular expression: ") + re.errorString();
            return false;
        }
        QString problems;
        double* targets[] = {&values.V1, &values.V2, &values.V3};
        auto it = re.globalMatch(reply);
        for (int i = 0; i < 3 && it.hasNext(); ++i) {
            const QRegularExpressionMatch m = it.next();
            double v = 0;
            if (TryTextToFloat(m.captured(0).trimmed(), u'.', v))
                *targets[i] = v;
            else
                problems += QStringLiteral("Value ") + QString::number(i + 1) +
                            QStringLiteral(" : ") + m.captured(0) +
                            QStringLiteral(" failed to convert to a number at position: ") +
                            QString::number(m.capturedStart(0) + 1) + QStringLiteral("\r\n");
        }
        if (message)
            *message = problems;
        return true;
    }
    values = {0, 0, 0};
    if (reply.isEmpty())
        return false;
    if (modelKey == QLatin1String("HP4339B")) {
        const QStringList items = reply.split(u',');
        LogLine(QStringLiteral("HP4339 raw:") + reply);
        if (items.size() < 2)
            return false;
        LogLine(QStringLiteral("HP4339 [1]:") + items.at(1));
        return ReadingField(items.at(1), values.V1);
    }
    if (modelKey == QLatin1String("K6430(MeasureOnly)"))
        return ReadingField(reply.left(13), values.V1);
    if (modelKey == QLatin1String("K2400") && node.NodeType == QLatin1String("MV"))
        return ReadingField(reply.left(13), values.V1) && ReadingField(reply.right(13), values.V2);
    if (modelKey == QLatin1String("KSB2985B(Electrometer)") && node.NodeType == QLatin1String("MC")) {
        LogLine(QStringLiteral("KSB2985B(Electrometer), Handling current info retrieval"));
        if (reply.size() < 15 || !ReadingField(reply.mid(14, 13), values.V1))
            return false;
        values.V2 = node.AGPIB1;
        LogLine(QStringLiteral("KSB2985B(Electrometer), $GPIB1 value: ") + Lbl(values.V2));
        if (values.V1 != 0)
            values.V3 = values.V2 / values.V1;
        return true;
    }
    if (!ReadingField(reply, values.V1))
        return false;
    LogLine(QStringLiteral("Interpreted result: ") + Lbl(values.V1));
    return true;
}

bool ParseImpedanceReply(const QString& key, const QString& rawReply, double requestedF,
                         double& R, double& X, double& F) {
    const QString reply = rawReply.trimmed();
    R = 0;
    X = 0;
    F = key == QLatin1String("Hioki_3522-50") ? requestedF : 0;
    const QStringList items = reply.split(u',');
    try {
        if (key == QLatin1String("Hioki_3522-50")) {
            R = Item(items, 0);
            X = Item(items, 1);
        } else if (key == QLatin1String("Solartron1260")) {
            F = Item(items, 0);
            R = Item(items, 1);
            X = Item(items, 2);
        } else if (key == QLatin1String("Solartron1287")) {
            R = Item(items, 0);
            X = Item(items, 1);
            F = 1;
        } else if (key == QLatin1String("HP4192A")) {
            if (items.size() < 3)
                throw TParseFailure();
            const QString first = items.at(0).trimmed();
            const QChar kind = first.size() > 1 ? first.at(1) : QChar();
            if (kind == u'R') {
                R = NewStrToFloat(first.right(11), u'.');
                X = NewStrToFloat(items.at(1).trimmed().right(11), u'.');
            } else if (kind == u'G') {
                const double G = NewStrToFloat(first.right(11), u'.');
                const double B = NewStrToFloat(items.at(1).trimmed().right(11), u'.');
                const double D = G * G + B * B;
                if (D == 0) {
                    R = std::numeric_limits<double>::max();
                    X = -R;
                } else {
                    R = G / D;
                    X = -B / D;
                }
            }
            F = NewStrToFloat(items.at(2).trimmed().right(10), u'.') * 1000;
            if (R == 200 && X == -200) {
                R = 0;
                X = 0;
            }
        } else if (key == QLatin1String("NovocontrolAlphaAT")) {
            const QStringList parts =
                reply.mid(4).split(QRegularExpression(QStringLiteral("[, ]")), Qt::SkipEmptyParts);
            bool ok = false;
            if (parts.size() >= 4 && parts.at(3).trimmed().toInt(&ok) == 2 && ok) {
                F = Item(parts, 2);
                R = Item(parts, 0);
                X = Item(parts, 1);
            }
        }
    } catch (const TParseFailure&) {
        return false;
    }
    return true;
}

// ---- ReceiveResult ----

bool ReceiveResult(TMeasurementNode& node, TPrologix& adapter, IInstrumentContext* context) {
    IInstrumentContext& ctx = context ? *context : DefaultInstrumentContext();
    const TDevice device = InstrumentData(node);
    const QString key = device.IDString;
    const auto deadline = DeadlineAfter(node.MultiTimeout);
    const auto start = TClock::now();
    adapter.SetWindowsReadLoopTimeoutMS(100);
    bool ready = false;
    TSerialResponse response;
    while (TClock::now() < deadline && !ready && !ctx.Aborting()) {
        LogLine(QStringLiteral("while (now < Timeout) and (ResultReady = false) do..."));
        SleepMs(100);
        if (device.InterfaceType == ditGPIB) {
            SleepMs(200);
            LogLine(TimeText() + QStringLiteral(" Serial poll (++spoll) Prologix instrument at: ") +
                    QString::number(device.Address));
            response = TSerialResponse();
            adapter.Send2(QByteArrayLiteral("++spoll ") + QByteArray::number(device.Address) + '\r',
                          true, response);
            LogLine(TimeText() + QStringLiteral(" Result=") + Text(response.Response) +
                    QStringLiteral(" & Status=") + Text(response.Status));
            ready = IsResultReady(key, response.Response);
            if (ready)
                LogLine(QStringLiteral("SPOLL, result ready"));
        } else if (device.InterfaceType == ditLAN) {
            LogLine(QStringLiteral(" For most LAN instrument there is no check for when measurement is ready."));
            LogLine(QStringLiteral(" Software delays 500 ms by default."));
            LogLine(QStringLiteral(" For longer wait, use #SLEEP X where X is milliseconds, as the last "
                                   "line of GPIB commands in the \"GPIB BEFORE\" field."));
            SleepMs(500);
            ready = true;
        }
    }
    SleepMs(100);
    QString reply;
    QString status;
    if (ready && device.InterfaceType == ditGPIB) {
        LogLine(QStringLiteral("GPIB Result is ready, sending (read EOI)"));
        response = TSerialResponse();
        adapter.Send2(QByteArrayLiteral("++read eoi\r"), true, response);
        reply = Text(response.Response);
        status = Text(response.Status);
        const double waited = std::chrono::duration<double>(TClock::now() - start).count();
        LogLine(QStringLiteral(" Result -> ") + reply);
        LogLine(QStringLiteral(" Timeout : ") + Lbl(node.MultiTimeout) + QStringLiteral(" s"));
        LogLine(QStringLiteral(" Looptime: ") + Lbl(std::round(waited * 1000) / 1000) +
                QStringLiteral(" s"));
        LogLine(QStringLiteral(" Was sent: ") + Text(response.SentMessage).trimmed());
        LogLine(QStringLiteral(" Status  : ") + status);
        LogLine(QStringLiteral(" Result  : ") + reply);
    } else if (ready && device.InterfaceType == ditLAN) {
        if (!ctx.ReadLAN(node, reply))
            status = QStringLiteral("LAN read failed");
    } else {
        LogLine(QStringLiteral(" Timeout"));
    }

    auto failed = [&] {
        LogLine(QStringLiteral("Measuring with ") + key + QStringLiteral(" on node ") + node.Caption +
                QStringLiteral(" failed or timed out."));
        LogLine(QStringLiteral("Result      : ") + reply);
        LogLine(QStringLiteral("Read status : ") + status);
        return false;
    };
    const bool gf = node.NodeType == QLatin1String("GF");
    if (!IsReadingModel(key) && !gf)
        return failed();
    // A result that never became ready is no reading, whatever the buffer holds.
    if (!ready)
        return failed();
    TReadingValues values;
    QString message;
    if (!ParseReading(node, key, reply, values, &message)) {
        LogLine(QStringLiteral("Format result failed"));
        if (!message.isEmpty())
            LogLine(message);
        LogLine(QStringLiteral("Response: ") + reply);
        LogLine(QStringLiteral("Status  : ") + status);
        return false;
    }
    if (gf) {
        if (!message.isEmpty()) {
            LogLine(QStringLiteral("**GPIB Freestyle result conversion problem"));
            LogLine(message);
        } else {
            LogLine(QStringLiteral("**GPIB Freestyle result converted"));
            LogLine(QStringLiteral("Instrument result: ") + reply);
            LogLine(QStringLiteral("Regexp           : ") + node.GPIBFreeExp);
            LogLine(QStringLiteral("R1               : ") + Lbl(values.V1));
            LogLine(QStringLiteral("R2               : ") + Lbl(values.V2));
            LogLine(QStringLiteral("R3               : ") + Lbl(values.V3));
        }
    }
    values.V1 *= GeometryFactor(node);
    node.AddData(Now(), values.V1, values.V2, values.V3);
    LogLine(QStringLiteral("Format results OK"));
    LogLine(QStringLiteral("Format results 1: ") + Lbl(values.V1));
    LogLine(QStringLiteral("Format results 2: ") + Lbl(values.V2));
    LogLine(QStringLiteral("Format results 3: ") + Lbl(values.V3));
    return true;
}

// ---- MeasureImpedance ----

bool MeasureImpedance(TMeasurementNode& node, TPrologix& adapter, double F,
                      IInstrumentContext* context) {
    IInstrumentContext& ctx = context ? *context : DefaultInstrumentContext();
    const TDevice device = InstrumentData(node);
    const QString key = device.IDString;
    const bool sweep = node.NodeType == QLatin1String("IS");
    ctx.Feedback(QStringLiteral("MeasureIC node, InstrumentID ") + key);
    if (key == QLatin1String("mf-dev") && device.InterfaceType == ditAPIZ) {
        const bool accepted = MeasureImpedanceMFIA(node, F, ctx);
        ctx.Refresh();
        return accepted;
    }

    auto send = [&](const QString& command) {
        TSerialResponse r;
        adapter.GPIBSend2(command, false, r);
    };
    auto sendLogged = [&](const QString& command, const QString& prefix = QStringLiteral("->")) {
        send(command);
        ctx.Feedback(prefix + command);
    };
    auto wait = [&] {
        SleepMs(node.DCBiasWait > 1 ? static_cast<int>(std::lround(std::min(node.DCBiasWait, 86400.0) * 1000))
                                    : 1000);
    };

    // 1. Set-up and trigger.
    if (key == QLatin1String("Hioki_3522-50")) {
        for (int i = 0; i < 3; ++i)
            send(QStringLiteral("*CLS"));
        if (node.ConstantVoltage) {
            send(QStringLiteral(":LEV CV"));
            send(QStringLiteral(":LEV:CVOLT ") + FmtE(node.ACVoltage));
        } else if (node.ConstantCurrent) {
            send(QStringLiteral(":LEV CC"));
            send(QStringLiteral(":LEV:CCURR ") + FmtE(node.ACCurrent));
        }
        send(QStringLiteral(":FREQ ") + FmtE(F));
        wait();
        send(QStringLiteral("*TRG;:MEAS?"));
    } else if (key == QLatin1String("Solartron1260")) {
        sendLogged(QStringLiteral("*CLS"));
        SleepMs(250);
        sendLogged(QStringLiteral("GT 0"));
        SleepMs(250);
        sendLogged(QStringLiteral("VA ") + FmtSignedE(node.ACVoltage));
        SleepMs(250);
        sendLogged(QStringLiteral("FR ") + FmtSignedE(F));
        SleepMs(250);
        if (node.DCBias != 0)
            sendLogged(QStringLiteral("VB ") + FmtSignedE(node.DCBias));
        wait();
        sendLogged(QStringLiteral("SI"));
    } else if (key == QLatin1String("Solartron1287")) {
        sendLogged(QStringLiteral("RU1"));
        wait();
    } else if (key == QLatin1String("NovocontrolAlphaAT")) {
        sendLogged(QStringLiteral("ACV=") + NovocontrolNumber(node.ACVoltage));
        sendLogged(QStringLiteral("GFR=") + NovocontrolNumber(F));
        if (node.DCBias != 0) {
            sendLogged(QStringLiteral("DCE=1"));
            sendLogged(QStringLiteral("DCV=") + NovocontrolNumber(node.DCBias));
            if (node.DCBiasWait != 0)
                SleepMs(static_cast<int>(std::lround(std::min(node.DCBiasWait, 86400.0) * 1000)));
            SleepMs(250);
        }
        wait();
        sendLogged(QStringLiteral("MST"));
    } else if (key == QLatin1String("HP4192A")) {
        const QString sent = QStringLiteral("Sent: ");
        sendLogged(QStringLiteral("OL") + HP4192AVolts(node.ACVoltage) + QStringLiteral("EN"), sent);
        SleepMs(500);
        sendLogged(QStringLiteral("FR") + HP4192AKiloHertz(F / 1000) + QStringLiteral("EN"), sent);
        wait();
        sendLogged(QStringLiteral("EX"), sent);
    }

    // 2. The wait for the result.
    bool ready = false;
    TSerialResponse response;
    if (device.InterfaceType == ditGPIB) {
        double total = node.ImpTimeout;
        if (F != 0)
            total += 1.0 / std::fabs(F);
        const auto start = TClock::now();
        const auto deadline = DeadlineAfter(total);
        ctx.SetStartTime(Now());
        SleepMs(250);
        while (TClock::now() < deadline && !ready && !ctx.Aborting()) {
            const double elapsed = std::chrono::duration<double>(TClock::now() - start).count();
            ctx.ShowStatus(QStringLiteral(" *** At ") + QString::number(F, 'f', 3) +
                           QStringLiteral("Hz *** Elapsed ") + QString::number(elapsed, 'f', 0) +
                           u'/' + QString::number(total, 'f', 0) + QStringLiteral(" seconds"));
            response = TSerialResponse();
            adapter.Send2(QByteArrayLiteral("++spoll\r"), true, response);
            LogLine(QStringLiteral("++spoll:"));
            LogLine(QStringLiteral("Time   : ") + TimeText());
            LogLine(QStringLiteral("Query  : ") + Text(response.SentMessage).trimmed());
            LogLine(QStringLiteral("Answer : ") + Text(response.Response));
            LogLine(QStringLiteral("Status : ") + Text(response.Status));
            ready = IsResultReady(key, response.Response);
            if (!ready) {
                if (key == QLatin1String("Hioki_3522-50") || key == QLatin1String("NovocontrolAlphaAT"))
                    SleepMs(250);
                else if (key == QLatin1String("Solartron1260") || key == QLatin1String("HP4192A"))
                    SleepMs(1000);
            }
        }
    }

    // 3. The Novocontrol is asked for its result.
    if (key == QLatin1String("NovocontrolAlphaAT"))
        send(QStringLiteral("ZRE?"));

    bool valid = false;
    double R = 0, X = 0, Fr = 0;
    if (ready) {
        // 4. Read and parse.
        response = TSerialResponse();
        adapter.Send2(QByteArrayLiteral("++read eoi\r"), true, response);
        const QString reply = Text(response.Response).trimmed();
        const QString status = Text(response.Status).trimmed();
        LogLine(QStringLiteral("++read eoi"));
        LogLine(QStringLiteral("Result-> ") + reply);
        LogLine(QStringLiteral("Status-> ") + status);
        if (!ParseImpedanceReply(key, reply, F, R, X, Fr)) {
            LogLine(QStringLiteral("Measuring Impedance with ") + key + QStringLiteral(" on node ") +
                    node.Caption + QStringLiteral(" failed with exception."));
            LogLine(QStringLiteral("Result      : ") + reply);
            LogLine(QStringLiteral("Read status : ") + status);
            LogLine(QStringLiteral(" -> Resetting instrument."));
            InitializeGPIBInstrument(device.Port, device.Address, device.EOS, key);
        } else {
            LogLine(QStringLiteral("Raw"));
            LogLine(QStringLiteral("RS -> ") + Lbl(R));
            LogLine(QStringLiteral("X  -> ") + Lbl(X));
            LogLine(QStringLiteral("F  -> ") + Lbl(Fr));
            // 5. Validity, correction, the point.
            valid = Fr != 0 && R != 0;
            if (valid) {
                if (node.SampleCorrect) {
                    const double factor = GeometryFactor(node);
                    R *= factor;
                    X *= factor;
                    LogLine(QStringLiteral("Corrected"));
                    LogLine(QStringLiteral("RS ->") + Lbl(R));
                    LogLine(QStringLiteral("X  ->") + Lbl(X));
                }
                const TMeasurementResult point{Now(), R, X, Fr};
                if (sweep)
                    ctx.HandOverSweepPoint(node, point);
                else
                    node.AddData(point);
            } else {
                LogLine(QStringLiteral("Measuring Impedance with ") + key + QStringLiteral(" on node ") +
                        node.Caption + QStringLiteral(" failed, no proper result found."));
            }
        }
        // 6. After a read.
        if (key == QLatin1String("Solartron1260")) {
            sendLogged(QStringLiteral("VB 0"));
        } else if (key == QLatin1String("NovocontrolAlphaAT")) {
            sendLogged(QStringLiteral("DCE=0"));
            sendLogged(QStringLiteral("DCV=0"));
        }
    } else {
        // 7. No result: the instrument is initialised again and the attempt recorded.
        if (device.InterfaceType == ditGPIB)
            InitializeGPIBInstrument(device.Port, device.Address, device.EOS, key);
        const TMeasurementResult point{Now(), NaN, NaN, F};
        if (sweep)
            ctx.HandOverSweepPoint(node, point);
        else
            node.AddData(point);
        LogLine(QStringLiteral("Timeout or other failure while waiting for result at ") + Lbl(F) +
                QStringLiteral(" Hz"));
        LogLine(QStringLiteral("Instrument was reset"));
    }

    // 8. Clean-up.
    if (key == QLatin1String("Hioki_3522-50")) {
        send(QStringLiteral("*CLS"));
        send(QStringLiteral(":LEV CV"));
        send(QStringLiteral(":LEV:CVOLT ") + FmtE(0));
        send(QStringLiteral(":LEV CC"));
        send(QStringLiteral(":LEV:CCURR ") + FmtE(0));
    } else if (key == QLatin1String("NovocontrolAlphaAT")) {
        send(QStringLiteral("ACV=") + NovocontrolNumber(0));
        send(QStringLiteral("GFR=") + NovocontrolNumber(F));
        send(QStringLiteral("DCE=0"));
        send(QStringLiteral("DCV=") + NovocontrolNumber(0));
    } else if (key == QLatin1String("HP4192A")) {
        send(QStringLiteral("OL") + HP4192AVolts(0) + QStringLiteral("EN"));
        SleepMs(500);
    }
    ctx.Refresh();
    return valid;
}

// ---- MeasureP1 ----

bool MeasureP1(TMeasurementNode& node, TPrologix& adapter, IInstrumentContext* context) {
    IInstrumentContext& ctx = context ? *context : DefaultInstrumentContext();
    const TDevice device = InstrumentData(node);
    const QString key = device.IDString;
    LogLine(QStringLiteral("MeasureP1 node, InstrumentID ") + key);
    const bool potentiostat = key == QLatin1String("Solartron1287");
    if (potentiostat) {
        TSerialResponse r;
        adapter.GPIBSend2(QStringLiteral("RU1"), false, r);
        ctx.Feedback(QStringLiteral("->RU1"));
        SleepMs(250);
    }
    ctx.SetStartTime(Now());
    constexpr double total = 5;
    const auto start = TClock::now();
    const auto deadline = DeadlineAfter(total);
    bool ready = false;
    TSerialResponse response;
    while (TClock::now() < deadline && !ready && !ctx.Aborting()) {
        const double elapsed = std::chrono::duration<double>(TClock::now() - start).count();
        ctx.ShowStatus(QStringLiteral(" *** Elapsed ") + QString::number(elapsed, 'f', 0) + u'/' +
                       QString::number(total, 'f', 0) + QStringLiteral(" seconds"));
        response = TSerialResponse();
        adapter.Send2(QByteArrayLiteral("++spoll\r"), true, response);
        LogLine(QString());
        LogLine(QStringLiteral("++spoll:"));
        LogLine(QStringLiteral("Time   : ") +
                QTime(0, 0).addMSecs(static_cast<int>(elapsed * 1000)).toString(QStringLiteral("hh:mm:ss")));
        LogLine(QStringLiteral("Query  : ") + Text(response.Response));
        LogLine(QStringLiteral("Answer : ") + Text(response.Response));
        LogLine(QStringLiteral("Status : ") + Text(response.Status));
        ready = IsResultReady(key, response.Response);
        if (!ready)
            SleepMs(250);
    }
    if (!ready) {
        node.AddData(Now(), NaN, NaN, NaN);
        LogLine(QStringLiteral("Timeout or other failure."));
        return false;
    }
    response = TSerialResponse();
    adapter.Send2(QByteArrayLiteral("++read eoi\r"), true, response);
    const QString reply = Text(response.Response).trimmed();
    const QString status = Text(response.Status).trimmed();
    LogLine(QString());
    LogLine(QStringLiteral("++read eoi"));
    LogLine(QStringLiteral("Result-> ") + reply);
    LogLine(QStringLiteral("Status-> ") + status);
    double v1 = 0, v2 = 0;
    if (potentiostat) {
        const QStringList items = reply.split(u',');
        if (items.size() < 2 || !ToNumber(items.at(0), v1) || !ToNumber(items.at(1), v2)) {
            LogLine(QStringLiteral("Reading potentiostat values with  ") + key +
                    QStringLiteral(" on node ") + node.Caption +
                    QStringLiteral(" failed with exception."));
            LogLine(QStringLiteral("Result      : ") + reply);
            LogLine(QStringLiteral("Read status : ") + status);
            return false;
        }
    }
    node.AddData(Now(), v1, v2, NaN);
    return true;
}

// ---- MeasureOxygen ----

bool MeasureOxygen(TMeasurementNode& node) {
    const TDevice device = InstrumentData(node);
    QString port = device.Port;
    if (port.isEmpty()) {
        // "Oxygen GenAir <port> ...": a line of no GPIB or Modbus form names its port third.
        const QStringList tokens = DeviceLineTokens(node.Instrument);
        if (tokens.size() > 2)
            port = tokens.at(2);
    }
    auto failed = [&](const QString& why) {
        LogLine(QStringLiteral("GenAir conversion failed") +
                (why.isEmpty() ? QString() : QStringLiteral(": ") + why));
        node.AddData(Now(), NaN, 0, 0);
        return false;
    };
    TPosixSerial serial;
    if (port.isEmpty() || !serial.Open(DevicePathOf(port)))
        return failed(QStringLiteral("cannot open the port ") + port);
    if (!serial.SetLine(9600, 0, 0))
        return failed(QStringLiteral("cannot set up the port ") + port);
    serial.SetReadTimeouts(20, 10, 200);
    serial.SetWriteTimeouts(10, 1000);
    SleepMs(100);
    LogLine(QStringLiteral("GenAir: ") + port);
    static const char request[] = " OXY\r";
    if (serial.Write(request, sizeof request - 1) != static_cast<int64_t>(sizeof request - 1))
        return failed(QStringLiteral("cannot write to the port ") + port);
    SleepMs(100);
    QByteArray received;
    const int waiting = serial.BytesWaiting();
    if (waiting > 0) {
        received.resize(std::min(waiting, 4096));
        const int64_t n = serial.Read(received.data(), received.size());
        received.resize(n > 0 ? static_cast<qsizetype>(n) : 0);
    }
    QString text = QString::fromLatin1(received).trimmed();
    SleepMs(100);
    int lines = 0;
    const bool cts = ioctl(serial.Handle(), TIOCMGET, &lines) == 0 && (lines & TIOCM_CTS);
    LogLine(cts ? QStringLiteral("CTS ON") : QStringLiteral("CTS OFF"));
    serial.Close();
    LogLine(QStringLiteral("GenAir Original : ") + text);
    // The sensor writes '.'; the text is read in the user's number format.
    text.replace(u'.', QChar(DecimalSeparator()));
    LogLine(QStringLiteral("GenAir Changed  : ") + text);
    double value = 0;
    if (text.isEmpty() || !TryStrToFloat(text, value))
        return failed(QString());
    LogLine(QStringLiteral("GenAir conversion OK"));
    node.AddData(Now(), value, 0, 0);
    LogLine(QStringLiteral("GenAir Number   : ") + FloatToStr(value));
    return true;
}
