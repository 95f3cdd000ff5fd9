#include "tavlosim/simflowserver.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

TSimFlowServer::TSimFlowServer(QString service) : Service(std::move(service)) {}

QString TSimFlowServer::Describe() const {
    return QStringLiteral("flow server \"%1\" with %2 channel(s)").arg(Service).arg(Channels.size());
}

QStringList TSimFlowServer::Details() const {
    QStringList lines;
    for (const auto& [channel, c] : Channels)
        lines.append(QStringLiteral("C(%1): %2 %3 %4, capacity %5 %6, setpoint %7")
                         .arg(channel)
                         .arg(c.Type, c.Serial, c.Gas)
                         .arg(c.Capacity)
                         .arg(c.Unit)
                         .arg(c.Setpoint));
    return lines;
}

QString TSimFlowServer::Number(double value, int decimals) const {
    QString text = QString::number(value, 'f', decimals);
    if (DecimalSeparator != '.')
        text.replace(u'.', QChar::fromLatin1(DecimalSeparator));
    return text;
}

void TSimFlowServer::Tick(TSimLine&) { Advance(SimNowMs()); }

void TSimFlowServer::Advance(double now) {
    if (FLastMs < 0) {
        FLastMs = now;
        return;
    }
    const double dt = (now - FLastMs) / 1000.0;
    if (dt < 0.005)
        return;
    FLastMs = now;
    std::normal_distribution<double> noise(0, 0.0005);
    for (auto& [channel, c] : Channels) {
        const double target = std::clamp(c.Setpoint, 0.0, c.Capacity);
        c.Measured += (target - c.Measured) * (1 - std::exp(-dt / std::max(c.LagSeconds, 1e-3)));
        c.Measured = std::clamp(c.Measured + noise(FRandom) * c.Capacity * 0.01, 0.0, c.Capacity);
    }
}

void TSimFlowServer::Receive(TSimLine& line, const QByteArray& bytes) {
    Advance(SimNowMs());
    TConversation& conversation = FConversations[&line];
    conversation.Input += bytes;
    qsizetype nl;
    while ((nl = conversation.Input.indexOf('\n')) >= 0) {
        QByteArray text = conversation.Input.left(nl);
        conversation.Input.remove(0, nl + 1);
        if (text.endsWith('\r'))
            text.chop(1);
        Lines.append(text);
        if (text.startsWith("CONNECT "))
            conversation.Topic.clear();
        line.Reply(Answer(text, conversation.Topic) + '\n');
    }
    if (conversation.Input.size() > 4096)
        conversation.Input.clear();
}

QByteArray TSimFlowServer::Answer(const QByteArray& line, QString& topic) {
    const QString text = QString::fromUtf8(line);
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    if (words.isEmpty())
        return "ERR empty command";
    static const QRegularExpression topicPattern(QStringLiteral("^C\\((\\d+)\\)$"));
    static const QRegularExpression itemPattern(QStringLiteral("^P\\((\\d+)\\)$"));
    const QString command = words[0];
    if (command == QStringLiteral("CONNECT")) {
        if (words.size() != 3)
            return "ERR usage: CONNECT <service> <topic>";
        if (words[1].compare(Service, Qt::CaseInsensitive) != 0)
            return "ERR no such service";
        const QRegularExpressionMatch m = topicPattern.match(words[2]);
        if (!m.hasMatch() || !Channels.count(m.captured(1).toInt()))
            return "ERR no such topic";
        topic = m.captured(1);
        return "OK";
    }
    if (topic.isEmpty())
        return "ERR not connected";
    TSimElflow& c = Channels[topic.toInt()];
    if (command != QStringLiteral("REQUEST") && command != QStringLiteral("POKE"))
        return "ERR unknown command";
    if (words.size() < 2)
        return "ERR item missing";
    const QRegularExpressionMatch m = itemPattern.match(words[1]);
    if (!m.hasMatch())
        return "ERR no such item";
    const int item = m.captured(1).toInt();
    if (c.Unreadable)
        return "ERR channel not responding";
    if (command == QStringLiteral("POKE")) {
        if (words.size() != 3)
            return "ERR usage: POKE <item> <value>";
        if (item != 9)
            return "ERR item is read-only";
        if (c.RefusePoke)
            return "ERR poke refused";
        bool ok = false;
        const double value = words[2].toDouble(&ok);
        if (!ok || !std::isfinite(value))
            return "ERR not a number";
        c.Setpoint = value;
        return "OK";
    }
    if (words.size() != 2)
        return "ERR usage: REQUEST <item>";
    QString value;
    switch (item) {
    case 90: value = c.Type; break;
    case 92: value = c.Serial; break;
    case 25: value = c.Gas; break;
    case 129: value = c.Unit; break;
    case 21: value = Number(c.Capacity, 3); break;
    case 9: value = Number(c.Setpoint, 0); break;
    case 205:
        if (c.FailMeasuredReads > 0) {
            --c.FailMeasuredReads;
            value = QStringLiteral("n/a");
        } else {
            value = Number(c.Measured, 3);
        }
        break;
    default: return "ERR no such item";
    }
    return "OK " + value.toUtf8();
}
