#pragma once

#include "tavlosim/simgpib.h"

// GPIB multimeters, sources and electrometers of the catalogue on a simulated resistor
// sample. One class serves all models; the model decides the identification, the reply
// format and the ready bit. Readings carry noise; a resistance beyond the model's range
// reads as the overflow value +9.9E+37.
class TSimScpiMeter : public TSimScpiInstrument {
public:
    enum TModel {
        HP34970A,
        HP34420A,
        HP34401A,
        AgilentE3642A,
        HP3458A,
        HP4339B,
        Keithley2200_20_5,
        Keithley2200_30_5,
        Keithley2400,
        Keithley6430,
        Keithley6514,
        KeithleyDMM6500,
        KeysightB2985B,
    };

    explicit TSimScpiMeter(TModel model);

    // The "*IDN?" answer of a model.
    static const char* IdentificationOf(TModel model);
    QString Describe() const override;
    uint8_t StatusByte() override;
    void Clear() override;

    TModel Model;
    // The sample and the meter.
    double Resistance = 1000.0;     // ohms between the sense points
    double LeadResistance = 0.5;    // added to two-wire readings
    double SampleVoltage = 0.0125;  // volts on the input when nothing is sourced
    double SampleCurrent = 1.0e-4;  // amperes through the input when nothing is sourced
    double RelativeNoise = 2.0e-5;
    double MaxResistance = 1.2e8;   // beyond this a resistance reading overflows
    double MeasureMs = 80;

    // State set by commands.
    QString Function = QStringLiteral("VOLT"); // VOLT, CURR, RES, FRES
    double SourceVoltage = 0;
    double SourceCurrent = 0;
    bool SourceIsCurrent = false;
    bool OutputOn = false;
    bool ReadingOnly = false;        // ":FORM:ELEM READ"
    QStringList Elements;            // Keithley 24xx ":FORM:ELEM" (empty: all five)
    double LastReading = 0;

protected:
    bool Command(const QString& command) override;

private:
    double Measure(const QString& function);
    QByteArray Reply(const QString& function);
    bool SetFunction(const QString& text);
    double PendingReadyAt = 0;
    QByteArray Pending;
};
