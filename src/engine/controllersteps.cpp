// The engine's furnace and mass-flow steps: ET readings with their segment programs, FL
// readings, and the furnace, flow and GPIB actions.
#include <QString>
#include <QStringList>
#include <QThread>

#include <cmath>
#include <limits>

#include "tavlo/clock.h"
#include "tavlo/commandlist.h"
#include "tavlo/device.h"
#include "tavlo/engine.h"
#include "tavlo/eurotherm.h"
#include "tavlo/flowserver.h"
#include "tavlo/formatfloat.h"
#include "tavlo/log.h"
#include "tavlo/mainthread.h"
#include "tavlo/measurementnode.h"
#include "tavlo/numformat.h"
#include "tavlo/prologix.h"
#include "tavlo/serialport.h"
#include "tavlo/voegtlinport.h"
#include "tavlo/ansi.h"

#include <QDateTime>

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

void Tell(TMeasuringEngine& engine, const QString& line) {
    engine.Feedback.Add(line);
    LogLine(line);
}

} // namespace

TSegmentDecision SegmentDecision(const TMeasurementNode& node) {
    TSegmentDecision d;
    if (node.SegmentProgram.trimmed().isEmpty()) {
        d.Message = QStringLiteral("No segment program:") + node.SegmentProgram + u'*';
        return d;
    }
    QStringList lines = node.SegmentProgram.split(u'\n');
    for (QString& line : lines)
        if (line.endsWith(u'\r'))
            line.chop(1);
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast(); // a final line break ends the last line
    const int n = node.SegmentLine + 1;
    if (n < 0 || n >= lines.size()) {
        d.Message = QStringLiteral("Segment program done, line index: ") +
                    QString::number(node.SegmentLine);
        return d;
    }
    const QStringList words = lines[n].split(u' ');
    bool ok1 = false, ok2 = false, ok3 = false;
    const int t = words.value(0).toInt(&ok1);
    const int sp = words.value(1).toInt(&ok2);
    const int rr = words.value(2).toInt(&ok3);
    if (words.size() != 3 || !ok1 || !ok2 || !ok3) {
        d.Message = QStringLiteral("Segment program parameter fail");
        return d;
    }
    const double minutes = node.GetFAM();
    LogLine(QStringLiteral("GetFAM: ") + FloatToStr(minutes));
    LogLine(QStringLiteral("TimeMinutes: ") + QString::number(t));
    if (!(minutes > t)) {
        d.Message = QStringLiteral("Insufficient time has elapsed: ") +
                    FormatFloat(QStringLiteral("0.0"), minutes, QChar(DecimalSeparator())) + u'/' +
                    QString::number(t);
        return d;
    }
    if (sp == node.SegmentSPPrev && rr == node.SegmentRRPrev) {
        d.Message = QStringLiteral("Values already sent");
        return d;
    }
    d.Apply = true;
    d.Setpoint = sp;
    d.RampRate = rr;
    d.Message = QStringLiteral("Apply new SP/RR: %1/%2").arg(sp).arg(rr);
    return d;
}

void ApplySegment(TMeasuringEngine& engine, TMeasurementNode& node, const QString& port, int address) {
    const TSegmentDecision d = SegmentDecision(node);
    if (!d.Apply) {
        Tell(engine, QStringLiteral("ET type node end with Segment message:") + d.Message);
        return;
    }
    Tell(engine, QStringLiteral("ET type node has decided to apply new SP/RR:%1/%2")
                     .arg(d.Setpoint)
                     .arg(d.RampRate));
    const TSetpointApply a = ApplyEurothermSetpoint(port, address, d.Setpoint, d.RampRate);
    Tell(engine, QStringLiteral("  -> Sent"));
    Tell(engine, QStringLiteral("  -> Readback to verify: SP/RR: %1/%2")
                     .arg(a.SetpointRead)
                     .arg(a.RampRateRead));
    if (a.Confirmed) {
        LogLine(QStringLiteral("Apply segment OK. Message: ") + d.Message);
        node.SegmentLine += 1;
        node.SegmentSPPrev = d.Setpoint;
        node.SegmentRRPrev = d.RampRate;
    } else {
        LogLine(QStringLiteral("Apply segment Failed, trying again on next loop. Message:") + d.Message);
    }
}

namespace {

void TemperatureStep(TMeasuringEngine& engine, TMeasurementNode& node) {
    const TDevice instrument = InstrumentData(node);
    const TEurothermReading r = ReadEurotherm(instrument.Port, instrument.Address);
    LogLine(QStringLiteral("Port: ") + instrument.Port);
    LogLine(QStringLiteral("Addr: ") + QString::number(instrument.Address));
    LogLine(QStringLiteral("Response value  : ") + FloatToStr(r.ProcessValue));
    LogLine(QStringLiteral("Response status : ") + QString::fromLatin1(r.Status));
    LogLine(QStringLiteral("Mem address 3 : ") + FloatToStr(r.OutputPower));
    if (!r.Valid) {
        engine.Feedback.Add(QStringLiteral("ET type node failed to retrieve result"));
        engine.Feedback.Add(QStringLiteral("  Node   : $") + node.objectName() + u' ' + node.Caption);
        engine.Feedback.Add(QStringLiteral("  Status : ") + QString::fromLatin1(r.Status));
        engine.Feedback.Add(QStringLiteral("  Time   : ") +
                            QDateTime::currentDateTime().toString(QStringLiteral("MM.dd hh:mm:ss")));
    } else {
        node.AddData(Now(), r.ProcessValue, r.WorkingSetpoint, r.OutputPower);
    }
    ApplySegment(engine, node, instrument.Port, instrument.Address);
    engine.Feedback.Add(QStringLiteral("Measuring loop ET done"));
    engine.Feedback.Add(QString());
}

void FlowStep(TMeasuringEngine& engine, TMeasurementNode& node) {
    const TDevice instrument = InstrumentData(node);
    if (instrument.IDString == QLatin1String("GSC")) {
        const TGscReading r = ReadGscFlow(instrument.Port, instrument.Address);
        if (r.Valid)
            node.AddData(Now(), r.Flow, r.Setpoint, 0);
        else
            node.AddData(Now(), NaN, NaN, 0);
    } else if (instrument.IDString == QLatin1String("ELFLOW")) {
        double value = -1;
        RunInMainThread([&] { value = FlowServerReadMeasured(FlowServiceName, instrument.Address); });
        if (value != -1)
            node.AddData(Now(), value, NaN, 0);
        else
            node.AddData(Now(), NaN, NaN, NaN);
    } else {
        engine.Feedback.Add(QStringLiteral("Flow node: unknown mass-flow controller ") +
                            instrument.IDString);
    }
}

void FurnaceAction(TMeasuringEngine& engine, TMeasurementNode& node) {
    if (node.AF3Value == 0) {
        node.AddData(node.AFTime, node.AF1Value, node.AF2Value, 0);
        return;
    }
    const TDevice instrument = InstrumentData(node);
    QThread::msleep(100);
    const TSetpointApply a =
        ApplyEurothermSetpoint(instrument.Port, instrument.Address, node.AF1Value, node.AF2Value);
    const QString text = QStringLiteral("New setpoint for ") + node.Instrument +
                         QStringLiteral(" SP:%1 RR:%2").arg(node.AF1Value).arg(node.AF2Value);
    if (a.Confirmed) {
        engine.Feedback.Add(text);
        node.AddData(node.AFTime, node.AF1Value, node.AF2Value, node.AF3Value);
    } else {
        engine.Feedback.Add(text + QStringLiteral(" Failed!"));
        node.AddData(node.AFTime, node.AF1Value, node.AF2Value, -1);
    }
}

void FlowAction(TMeasuringEngine& engine, TMeasurementNode& node) {
    const TDevice instrument = InstrumentData(node);
    const double value = node.AM1Value;
    if (instrument.IDString == QLatin1String("GSC")) {
        if (WriteGscSetpoint(instrument.Port, instrument.Address, value))
            node.AddData(node.AMTime, value, NaN, NaN);
        else
            node.AddData(node.AMTime, NaN, NaN, NaN);
    } else if (instrument.IDString == QLatin1String("ELFLOW")) {
        if (node.AM3B != 1) {
            node.AddData(Now(), value, NaN, 0);
            return;
        }
        bool ok = false;
        RunInMainThread([&] { ok = FlowServerWriteSetpoint(FlowServiceName, instrument.Address, value); });
        if (ok)
            node.AddData(Now(), value, NaN, 1);
        else
            node.AddData(Now(), NaN, NaN, 0);
    } else {
        engine.Feedback.Add(QStringLiteral("Flow action: unknown mass-flow controller ") +
                            instrument.IDString);
    }
}

// The bytes of one binary broadcast line: decimal numbers from its start up to the first word
// that is not a non-negative integer, each modulo 256.
QByteArray BroadcastBytes(const QString& line) {
    QByteArray bytes;
    for (const QString& word : line.split(u' ', Qt::SkipEmptyParts)) {
        bool ok = false;
        const qulonglong n = word.toULongLong(&ok);
        if (!ok || word.startsWith(u'+'))
            break;
        bytes.append(static_cast<char>(n % 256));
    }
    return bytes;
}

void BroadcastAction(TMeasuringEngine& engine, TMeasurementNode& node) {
    if (node.AUCOM.isEmpty()) {
        engine.Feedback.Add(QStringLiteral("AUCOM broadcast not performed, port not defined"));
        return;
    }
    bool sent = false;
    for (QString line : node.AUCOMBinary.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        const QByteArray bytes = BroadcastBytes(line);
        if (bytes.isEmpty())
            continue;
        TSerialPort3 port;
        port.SetDebug(true);
        port.SetBaudRate(115200);
        port.SetStopBits(2);
        port.SetParity(0);
        port.SetWindowsReadLoopTimeoutMS(5);
        port.SetReadoutTimeoutMS(50);
        port.SetPort(node.AUCOM);
        TSerialResponse3 response;
        port.SendData(reinterpret_cast<const uint8_t*>(bytes.constData()),
                      static_cast<int>(bytes.size()), response, false);
        QThread::msleep(100);
        sent = true;
    }
    if (sent)
        return;
    const QString text = FormatWithSeparator(node.AUCOMNumberFormat, node.AUCOMValue);
    TSerialPort port;
    port.SetBaudRate(9600);
    port.SetStopBits(0);
    port.SetParity(0);
    port.SetPort(node.AUCOM);
    TSerialResponse response;
    port.SendData(reinterpret_cast<const uint8_t*>(ToWindows1252(text + u'\r').constData()),
                  static_cast<int>(text.size() + 1), response, false);
    if (!response.Status.isEmpty()) {
        engine.Feedback.Add(QStringLiteral("AUCOM broadcast not performed, port could not be opened"));
        node.AddData(Now(), NaN, NaN, NaN);
        return;
    }
    engine.Feedback.Add(QStringLiteral("AUCOM broadcast: ") + text);
    node.AddData(Now(), node.AUCOMValue, NaN, NaN);
}

} // namespace

void GPIBAction(TMeasuringEngine&, TMeasurementNode& node, IInstrumentContext* context) {
    const TDevice instrument = InstrumentData(node);
    TPrologix adapter;
    adapter.SetWindowsReadLoopTimeoutMS(250);
    adapter.SetReadoutTimeoutMS(2000);
    adapter.SetEOIonSend(true);
    adapter.SetEOTEnabled(false);
    adapter.SetAutoRead(false);
    adapter.SetPort(instrument.Port);
    adapter.SetAddress(static_cast<quint32>(instrument.Address));
    const QString& code = node.AGGPIBCode;
    const bool missing = (code.contains(QLatin1String("$AG1")) && std::isnan(node.AG1Value)) ||
                         (code.contains(QLatin1String("$AG2")) && std::isnan(node.AG2Value)) ||
                         (code.contains(QLatin1String("$AG3")) && std::isnan(node.AG3Value));
    if (!missing)
        ParseAndSendGPIB(node, node.AGGPIBEvaluated, adapter, context);
    node.AddData(node.GetAGTime(), node.AG1Value, node.AG2Value, node.AG3Value);
}

void RegisterControllerSteps() {
    TMeasuringEngine::RegisterNodeStep(QStringLiteral("ET"), TemperatureStep);
    TMeasuringEngine::RegisterNodeStep(QStringLiteral("FL"), FlowStep);
    TMeasuringEngine::RegisterNodeStep(QStringLiteral("AU/Furnace"), FurnaceAction);
    TMeasuringEngine::RegisterNodeStep(QStringLiteral("AU/Flow"), FlowAction);
    TMeasuringEngine::RegisterNodeStep(QStringLiteral("AU/COM"), BroadcastAction);
}
