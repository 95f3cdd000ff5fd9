#pragma once

#include "tavlosim/simgpib.h"

#include <complex>
#include <optional>

// A sample for impedance analysers: a series resistance and a parallel RC element,
// Z(f) = Rs + Rp / (1 + j 2 pi f Rp Cp).
struct TSimRcSample {
    double SeriesResistance = 50.0;
    double ParallelResistance = 1000.0;
    double Capacitance = 1.0e-7;
    std::complex<double> Impedance(double frequency) const;
};

// The common part of the simulated impedance analysers: a sample, noise, a measurement that
// takes MeasureMs (at least one period of the test frequency, at most MaxPeriodMs) and the
// frequency range beyond which the overflow value is given.
class TSimImpedanceAnalyser : public TSimScpiInstrument {
public:
    TSimRcSample Sample;
    double RelativeNoise = 1.0e-4;
    double MeasureMs = 150;
    double MaxPeriodMs = 2000;
    double MaxImpedance = 1.0e9;  // beyond this the reading overflows
    // When set, a measurement never completes (the instrument hangs).
    bool NeverReady = false;

    double Frequency = 1000;      // Hz
    double Amplitude = 0.1;       // V (or A for constant current)
    double Bias = 0;              // V
    bool BiasOn = false;
    int Measurements = 0;         // measurements started

protected:
    // Starts a measurement; the result is ready at ReadyAt.
    void StartMeasurement();
    bool MeasurementReady() const;
    // The sample's impedance with noise (NaN parts when it overflows).
    std::complex<double> Measured();
    static bool Number(const QString& text, double& value);

    double ReadyAt = 0;
    bool Measuring = false;
};

// Hioki 3522-50 LCR HiTester: ":FREQ", ":LEV CV/CC", ":LEV:CVOLT", ":LEV:CCURR", "*TRG",
// ":MEAS?" answering "Rs,X" (the ":PAR3 RS;:PAR4 X" selection), MAV when ready.
class TSimHioki3522 : public TSimImpedanceAnalyser {
public:
    static constexpr const char* Identification = "HIOKI,3522,50,0,V2.03";
    QString Describe() const override;
    bool ConstantCurrent = false;

protected:
    bool Command(const QString& command) override;
};

// Solartron 1260 frequency response analyser: "VA", "FR", "VB", "SI" (single integration)
// and the set-up commands; the result "F,R,X" with status bits 0x12 (and RQS) when ready.
class TSimSolartron1260 : public TSimImpedanceAnalyser {
public:
    static constexpr const char* Identification = "SOLARTRON,1260 IMPEDANCE ANALYZER,0,V2.4";
    QString Describe() const override;
    uint8_t StatusByte() override;

protected:
    bool Command(const QString& command) override;
};

// Novocontrol Alpha analyser: "ACV=", "GFR=", "DCE=", "DCV=", "MST" (start), "ZRE?" answering
// "ZRE=R,X,F,state" (state 2: valid); status bit 0x01 when a measurement has finished.
class TSimNovocontrolAlpha : public TSimImpedanceAnalyser {
public:
    static constexpr const char* Identification = "ALPHA Analyzer, Novocontrol Technologies, V5.30";
    QString Describe() const override;
    uint8_t StatusByte() override;
    // The state the analyser reports with a result (2: valid, others: a failed measurement).
    int ResultState = 2;

protected:
    bool Command(const QString& command) override;
};

// HP 4192A LF impedance analyser (no "*IDN?"): "OL<v>EN", "FR<kHz>EN", "EX" (trigger),
// circuit mode "C1"/"C2" (R/X) or "C3" (parallel: G/B); the result
// "NR<R>,NX<X>,K<kHz>" or "NG<G>,NB<B>,K<kHz>" with status 0x41 when ready.
class TSimHP4192A : public TSimImpedanceAnalyser {
public:
    QString Describe() const override;
    uint8_t StatusByte() override;
    bool Parallel = false;
    // When set, the display values are reported instead of a measurement (e.g. 200, -200).
    std::optional<std::pair<double, double>> FixedDisplay;

protected:
    bool Command(const QString& command) override;
};

// Solartron 1287 electrochemical interface (potentiostat, no "*IDN?"): set-up commands and
// "RU1" (read): the reply "V,I" with status bit 0x80 when ready.
class TSimSolartron1287 : public TSimImpedanceAnalyser {
public:
    QString Describe() const override;
    uint8_t StatusByte() override;
    double CellPotential = 0.25;      // V held by the potentiostat
    double CellResistance = 500.0;    // ohms

protected:
    bool Command(const QString& command) override;
};
