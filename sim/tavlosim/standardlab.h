#pragma once

#include "tavlosim/simkeithley2000.h"
#include "tavlosim/simlab.h"

#include <memory>

// The simulated laboratory that tavlo-sim serves. Later instruments are added here.
struct TStandardLab {
    static constexpr const char* AdapterPort = "COM33";
    static constexpr int KeithleyAddress = 4;

    std::shared_ptr<TSimPrologix> Adapter;
    std::shared_ptr<TSimKeithley2000> Keithley;
};

// Adds the standard devices to the lab; false (and error) when one cannot be served.
bool BuildStandardLab(TSimLab& lab, TStandardLab& devices, QString* error = nullptr);
