#include "tavlosim/standardlab.h"

bool BuildStandardLab(TSimLab& lab, TStandardLab& devices, QString* error) {
    devices.Adapter = std::make_shared<TSimPrologix>();
    devices.Keithley = std::make_shared<TSimKeithley2000>();
    devices.Adapter->Plug(TStandardLab::KeithleyAddress, devices.Keithley);
    return !lab.AddSerialDevice(QString::fromLatin1(TStandardLab::AdapterPort), devices.Adapter,
                                error)
                .isEmpty();
}
