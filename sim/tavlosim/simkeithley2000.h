#pragma once

#include "tavlosim/simgpib.h"

// A Keithley 2000 multimeter on a simulated resistor: "*IDN?", "*CLS", "*RST",
// "FUNC '...'", ":MEAS?" and its function forms, ":READ?", ":FETC?", "SYST:ERR?", "*STB?",
// "*OPC?". A reading takes MeasureMs; the status byte has 0x10 (MAV) while it waits to be
// read.
class TSimKeithley2000 : public TSimScpiInstrument {
public:
    static constexpr const char* Identification =
        "KEITHLEY INSTRUMENTS INC.,MODEL 2000,1187302,A20  /A02";

    QString Describe() const override;
    void Clear() override;

    // The simulated sample and the meter's noise.
    double Resistance = 100.0;      // ohms, between the four-wire sense points
    double LeadResistance = 0.25;   // ohms, added to two-wire readings
    double Voltage = 0.0125;        // volts on the input
    double Current = 1.0e-4;        // amperes through the input
    double RelativeNoise = 2.0e-5;  // standard deviation relative to the value
    double MeasureMs = 120;         // time one reading takes

    // The selected function: "VOLT:DC", "RES", "FRES", "CURR:DC", ...
    QString Function = QStringLiteral("VOLT:DC");
    double LastReading = 0;

protected:
    bool Command(const QString& command) override;

private:
    double Measure();
    bool SetFunction(const QString& name);
};
