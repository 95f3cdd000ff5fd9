#include "tavlosim/simgenair.h"

#include <cstdio>

QString TSimGenAir::Describe() const {
    return QStringLiteral("Gen'Air oxygen sensor, pO2 ") + QString::number(PartialPressure) +
           QStringLiteral(" atm");
}

void TSimGenAir::Receive(TSimLine& line, const QByteArray& bytes) {
    FInput += bytes;
    qsizetype cr;
    while ((cr = FInput.indexOf('\r')) >= 0) {
        const QByteArray request = FInput.left(cr).trimmed().toUpper();
        FInput.remove(0, cr + 1);
        if (request != "OXY")
            continue;
        ++Requests;
        std::normal_distribution<double> noise(0.0, RelativeNoise);
        char buf[32];
        std::snprintf(buf, sizeof buf, "%.4E\r\n", PartialPressure * (1 + noise(Random)));
        line.Reply(QByteArray(buf));
    }
    if (FInput.size() > 256)
        FInput.clear();
}
