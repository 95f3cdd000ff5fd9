#pragma once

#include <QString>
#include <QStringList>

// The example measurements of the simulated laboratory, saved as the program saves
// measurements into DIR/Measurements/Examples. Each runs against the laboratory that
// tavlo-sim serves:
//   FourWireFurnace.mea  four-wire resistance of the Keithley 2000's resistor while a
//                        Eurotherm 3208 on COM5 follows a segment program;
//   ImpedanceSweep.mea   a short sweep and a single reading on the Hioki 3522-50;
//   FlowRamp.mea         a GSC flow controller on COM6 whose setpoint ramps with the run
//                        index, and a GPIB action that makes the E3642A supply follow it.
struct TExampleFiles {
    static constexpr const char* Folder = "Measurements/Examples";
    static constexpr const char* FourWireFurnace = "FourWireFurnace.mea";
    static constexpr const char* ImpedanceSweep = "ImpedanceSweep.mea";
    static constexpr const char* FlowRamp = "FlowRamp.mea";
};

// Writes the three examples with DeviceSetup = setupId, replacing earlier copies. False
// (and error) when the folder or a file cannot be written.
bool WriteExampleMeasurements(const QString& dataFolder, const QString& setupId,
                              QString* error = nullptr);

// The full paths of the examples below dataFolder, in the order above.
QStringList ExampleMeasurementPaths(const QString& dataFolder);
