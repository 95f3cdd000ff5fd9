#include "tavlo/commandlist.h"

#include "tavlo/device.h"
#include "tavlo/instrumentcontext.h"
#include "tavlo/log.h"
#include "tavlo/measurementnode.h"
#include "tavlo/prologix.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>

#include <chrono>
#include <thread>

TCommandLine ParseCommandLine(const QString& line) {
    TCommandLine result;
    QString text = line;
    const qsizetype comment = text.indexOf(QLatin1String("//"));
    if (comment >= 0)
        text = text.left(comment).trimmed();
    // Leading blanks do not hide a pause line; "#SLEEP " with nothing after it is one.
    qsizetype start = 0;
    while (start < text.size() && text.at(start).unicode() <= ' ')
        ++start;
    text.remove(0, start);
    const QString head = text.left(7).toUpper();
    if (head == QLatin1String("#SLEEP ") || head == QLatin1String("*SLEEP ") ||
        head == QLatin1String("#SLEEP") || head == QLatin1String("*SLEEP")) {
        bool ok = false;
        const int ms = text.mid(7).trimmed().toInt(&ok);
        result.SleepMs = ok && ms > 0 ? ms : 0;
        return result;
    }
    result.Command = text.trimmed();
    return result;
}

void ParseAndSendGPIB(TMeasurementNode& node, const QString& text, TPrologix& adapter,
                      IInstrumentContext* context) {
    IInstrumentContext& ctx = context ? *context : DefaultInstrumentContext();
    const TDevice device = InstrumentData(node);
    if (device.InterfaceType == ditAPIZ) {
        LogLine(QStringLiteral("Inside ParseAndSendGPIB with ZAPI type instrument. Exit"));
        return;
    }
    if (device.InterfaceType == ditLAN) {
        LogLine(QStringLiteral("Inside ParseAndSendGPIB with LAN type instrument. Diverting"));
        ctx.SendLAN(node, text);
        return;
    }
    if (device.InterfaceType == ditGPIB)
        LogLine(QStringLiteral("Inside ParseAndSendGPIB with GPIB type instrument. Proceeding"));
    ctx.Feedback(QStringLiteral("**Sending following commands through Prologix"));
    const QStringList lines = text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
    for (const QString& raw : lines) {
        const TCommandLine line = ParseCommandLine(raw);
        if (line.SleepMs >= 0) {
            ctx.Feedback(QStringLiteral("Sleeping for ") + QString::number(line.SleepMs) +
                         QStringLiteral(" ms"));
            std::this_thread::sleep_for(std::chrono::milliseconds(line.SleepMs));
            continue;
        }
        if (line.Command.isEmpty())
            continue;
        QString command = line.Command;
        command.replace(QLatin1String("$GPIB1"), node.AGPIB1S);
        TSerialResponse response;
        adapter.GPIBSend2(command, false, response);
        ctx.Feedback(QDateTime::currentDateTime().toString(QStringLiteral("ss:zzz")) +
                     QStringLiteral(" Sent: ") + command);
    }
}
