#include "tavlosim/standardlab.h"

#include "tavlosim/cataloguelab.h"

bool BuildStandardLab(TSimLab& lab, TStandardLab& devices, QString* error) {
    devices.Adapter = std::make_shared<TSimPrologix>();
    devices.Keithley = std::make_shared<TSimKeithley2000>();
    devices.Adapter->Plug(TStandardLab::KeithleyAddress, devices.Keithley);
    // The catalogue's instruments stay plugged into the adapter and served by the lab.
    TCatalogueLab catalogue;
    if (!AddCatalogueInstruments(lab, *devices.Adapter, catalogue,
                                 QLatin1String(TCatalogueLab::OxygenPort), error))
        return false;
    return !lab.AddSerialDevice(QString::fromLatin1(TStandardLab::AdapterPort), devices.Adapter,
                                error)
                .isEmpty();
}
