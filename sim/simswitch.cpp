#include "tavlosim/simswitch.h"

#include <QRegularExpression>

QString TSimSwitchUnit::Describe() const {
    return QStringLiteral("Keithley 7001 switching unit");
}

bool TSimSwitchUnit::Command(const QString& command) {
    const QString upper = command.toUpper();
    if (upper == QLatin1String("*IDN?")) {
        Output("KEITHLEY INSTRUMENTS INC.,MODEL 7001,0,B06");
        return true;
    }
    if (upper == QLatin1String("*CLS") || upper == QLatin1String("*RST")) {
        if (upper == QLatin1String("*RST"))
            Closed.clear();
        return true;
    }
    // ROUT:CLOS (@1!1,1!2) / ROUT:OPEN (@...) / ROUT:OPEN:ALL
    static const QRegularExpression route(
        QStringLiteral("^:?ROUT(E)?:(CLOS(E)?|OPEN)(:ALL)?\\s*(\\(@([^)]*)\\))?$"));
    const QRegularExpressionMatch m = route.match(upper);
    if (!m.hasMatch())
        return false;
    const bool close = m.captured(2).startsWith(QLatin1String("CLOS"));
    if (!m.captured(4).isEmpty()) {
        Closed.clear();
        return true;
    }
    for (const QString& channel : m.captured(6).split(u',', Qt::SkipEmptyParts)) {
        const QString c = channel.trimmed();
        if (close && !Closed.contains(c))
            Closed.append(c);
        if (!close)
            Closed.removeAll(c);
    }
    return true;
}

QString TSimBroadcastReceiver::Describe() const {
    return QStringLiteral("broadcast receiver");
}

void TSimBroadcastReceiver::Receive(TSimLine&, const QByteArray& bytes) {
    Bytes += bytes;
    FLine += bytes;
    qsizetype cr;
    while ((cr = FLine.indexOf('\r')) >= 0) {
        Lines.append(FLine.left(cr));
        FLine.remove(0, cr + 1);
    }
}
