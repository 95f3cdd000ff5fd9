#include "tavlosim/cataloguelab.h"

#include <cstring>

std::shared_ptr<TSimScpiMeter> TCatalogueLab::Meter(const char* modelKey) const {
    for (const TGpibEntry& e : Gpib)
        if (std::strcmp(e.ModelKey, modelKey) == 0)
            return std::dynamic_pointer_cast<TSimScpiMeter>(e.Instrument);
    return nullptr;
}

int TCatalogueLab::AddressOf(const char* modelKey) const {
    for (const TGpibEntry& e : Gpib)
        if (std::strcmp(e.ModelKey, modelKey) == 0)
            return e.Address;
    return -1;
}

bool AddCatalogueInstruments(TSimLab& lab, TSimPrologix& adapter, TCatalogueLab& devices,
                             const QString& oxygenPort, QString* error) {
    using M = TSimScpiMeter;
    struct {
        int Address;
        const char* Key;
        M::TModel Model;
    } meters[] = {
        {2, "K2000-20-5", M::Keithley2200_20_5},
        {3, "K2000-30-5", M::Keithley2200_30_5},
        {5, "PowersupplyE3642A", M::AgilentE3642A},
        {7, "34420A", M::HP34420A},
        {9, "34970A", M::HP34970A},
        {12, "HP3458A", M::HP3458A},
        {14, "K6430(MeasureOnly)", M::Keithley6430},
        {15, "K6514(Electrometer)", M::Keithley6514},
        {16, "K6500", M::KeithleyDMM6500},
        {17, "HP4339B", M::HP4339B},
        {22, "34401A", M::HP34401A},
        {23, "KSB2985B(Electrometer)", M::KeysightB2985B},
        {24, "K2400", M::Keithley2400},
    };
    devices.Gpib.clear();
    for (const auto& m : meters) {
        auto meter = std::make_shared<M>(m.Model);
        if (m.Model == M::HP4339B || m.Model == M::Keithley6514 || m.Model == M::KeysightB2985B)
            meter->Resistance = 2.5e9; // an insulator sample for the high-resistance meters
        devices.Gpib.push_back({m.Address, m.Key, meter});
    }
    devices.Hioki = std::make_shared<TSimHioki3522>();
    devices.Solartron1260 = std::make_shared<TSimSolartron1260>();
    devices.Novocontrol = std::make_shared<TSimNovocontrolAlpha>();
    devices.HP4192A = std::make_shared<TSimHP4192A>();
    devices.Solartron1287 = std::make_shared<TSimSolartron1287>();
    devices.Gpib.push_back({1, "Hioki_3522-50", devices.Hioki});
    devices.Gpib.push_back({6, "Solartron1260", devices.Solartron1260});
    devices.Gpib.push_back({8, "NovocontrolAlphaAT", devices.Novocontrol});
    devices.Gpib.push_back({11, "HP4192A", devices.HP4192A});
    devices.Gpib.push_back({13, "Solartron1287", devices.Solartron1287});
    for (const auto& e : devices.Gpib)
        adapter.Plug(e.Address, e.Instrument);
    if (oxygenPort.isEmpty())
        return true;
    devices.GenAir = std::make_shared<TSimGenAir>();
    return !lab.AddSerialDevice(oxygenPort, devices.GenAir, error).isEmpty();
}
