#include "tavlosim/simlabsetup.h"

#include "tavlosim/modbuslab.h"
#include "tavlosim/simkeithley2000.h"
#include "tavlosim/standardlab.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

QStringList SimLabSetupLines() {
    const QString furnace = QLatin1String(TModbusLab::FurnacePort);
    const QString flow = QLatin1String(TModbusLab::FlowPort);
    const QString display = QLatin1String(TModbusLab::DisplayPort);
    const QString adapter = QLatin1String(TStandardLab::AdapterPort);
    const QString service = QLatin1String(TModbusLab::FlowService);
    const QString keithley = QStringLiteral("Multimeter K2000 ") + adapter + QStringLiteral(" ADDR:") +
                             QString::number(TStandardLab::KeithleyAddress) +
                             QStringLiteral(" EOS:0 GPIB IDN?:") +
                             QLatin1String(TSimKeithley2000::Identification);
    return {
        furnace,
        u'\t' + QStringLiteral("Eurotherm 3208 ") + furnace + QStringLiteral(" ADDR:1"),
        u'\t' + QStringLiteral("Eurotherm 2204 ") + furnace + QStringLiteral(" ADDR:2"),
        u'\t' + QStringLiteral("Eurotherm 2416 ") + furnace + QStringLiteral(" ADDR:3"),
        flow,
        u'\t' + QStringLiteral("MassFlowController GSC ") + flow + QStringLiteral(" ADDR:1"),
        u'\t' + QStringLiteral("MassFlowController GSC ") + flow + QStringLiteral(" ADDR:2"),
        display,
        u'\t' + QStringLiteral("Wachendorf Display ") + display + QStringLiteral(" ADDR:254"),
        adapter,
        QStringLiteral("\tPrologix USB-GPIB device"),
        QStringLiteral("\t\t") + keithley,
        service,
        u'\t' + QStringLiteral("MassFlowController ELFLOW ") + service + QStringLiteral(" ADDR:1"),
        u'\t' + QStringLiteral("MassFlowController ELFLOW ") + service + QStringLiteral(" ADDR:2"),
        QStringLiteral("API"),
        QStringLiteral("\tZHINST"),
        QStringLiteral("\t\tImp.Spectrometer mf-dev1234 127.0.0.1 8004 API"),
    };
}

QString SimLabSetupID() {
    quint32 h = 0;
    for (const QString& line : SimLabSetupLines()) {
        const QString text = line.mid(static_cast<qsizetype>(line.lastIndexOf(u'\t') + 1));
        for (const QChar c : text) {
            h = (h << 4) + c.unicode();
            const quint32 g = h & 0xF0000000u;
            if (g != 0)
                h ^= g >> 24;
            h &= ~g;
        }
    }
    return QString::number(h);
}

bool WriteSimLabSetup(const QString& dataFolder, QString* setupId, QString* error) {
    const QString folder = dataFolder + QStringLiteral("/Device Setups");
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create ") + folder;
        return false;
    }
    QByteArray bytes;
    for (const QString& line : SimLabSetupLines())
        bytes += line.toLatin1() + "\r\n"; // the texts are ASCII
    QSaveFile file(folder + QStringLiteral("/simlab.tdq"));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        if (error)
            *error = QStringLiteral("cannot write ") + file.fileName() + QStringLiteral(": ") +
                     file.errorString();
        return false;
    }
    if (setupId)
        *setupId = SimLabSetupID();
    return true;
}
