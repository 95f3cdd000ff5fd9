#pragma once

#include "tavlosim/simlab.h"

// The Gen'Air oxygen sensor on its own serial port: answers " OXY\r" with the oxygen
// partial pressure (atm) as "2.0951E-01" + CR LF, with noise.
class TSimGenAir : public TSimDevice {
public:
    QString Describe() const override;
    void Receive(TSimLine& line, const QByteArray& bytes) override;

    double PartialPressure = 0.2095; // atm
    double RelativeNoise = 1.0e-4;
    int Requests = 0;

private:
    QByteArray FInput;
};
