#pragma once

#include "tavlosim/simanalysers.h"
#include "tavlosim/simgenair.h"
#include "tavlosim/simmeters.h"

#include <memory>
#include <vector>

// The catalogue's instruments as the simulated laboratory serves them: GPIB meters, sources
// and analysers behind an adapter, and the oxygen sensor on its own port.
struct TCatalogueLab {
    static constexpr const char* OxygenPort = "COM8";

    struct TGpibEntry {
        int Address;
        const char* ModelKey; // the catalogue's model key
        std::shared_ptr<TSimGpibInstrument> Instrument;
    };
    std::vector<TGpibEntry> Gpib;
    std::shared_ptr<TSimHioki3522> Hioki;
    std::shared_ptr<TSimSolartron1260> Solartron1260;
    std::shared_ptr<TSimNovocontrolAlpha> Novocontrol;
    std::shared_ptr<TSimHP4192A> HP4192A;
    std::shared_ptr<TSimSolartron1287> Solartron1287;
    std::shared_ptr<TSimGenAir> GenAir;

    // The meter of a model key, nullptr when the lab has none.
    std::shared_ptr<TSimScpiMeter> Meter(const char* modelKey) const;
    // The GPIB address of a model key, -1 when the lab has none.
    int AddressOf(const char* modelKey) const;
};

// Plugs the catalogue's GPIB instruments into the adapter (addresses 1 to 24, never 4, the
// Keithley 2000's) and, when oxygenPort is not empty, serves the
// oxygen sensor there. False (and error) when the sensor's port cannot be served.
bool AddCatalogueInstruments(TSimLab& lab, TSimPrologix& adapter, TCatalogueLab& devices,
                             const QString& oxygenPort = QLatin1String(TCatalogueLab::OxygenPort),
                             QString* error = nullptr);
