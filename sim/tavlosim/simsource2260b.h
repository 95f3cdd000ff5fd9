#pragma once

#include "tavlosim/simgpib.h"

// A Keithley 2260B-800-1 power supply (reached over LAN) driving a load resistor: voltage and
// current setpoints, output on/off, read-back of output voltage and current, beeper and key
// lock settings accepted.
class TSimSource2260B : public TSimScpiInstrument {
public:
    QString Describe() const override;

    double VoltageSetpoint = 0;
    double CurrentLimit = 1;
    bool OutputOn = false;
    double LoadOhms = 100;
    bool BeeperOn = true;
    bool KeysLocked = true;
    int Beeps = 0;

    double OutputVoltage() const;
    double OutputCurrent() const;

protected:
    bool Command(const QString& command) override;
};
