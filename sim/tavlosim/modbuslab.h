#pragma once

#include "tavlosim/simflowserver.h"
#include "tavlosim/simlab.h"
#include "tavlosim/simmodbus.h"

#include <memory>

// The Modbus part of the simulated laboratory: a furnace line with Eurotherm controllers,
// a mass-flow line with Vögtlin controllers, a "Wachendorf" display, and the flow server.
struct TModbusLab {
    static constexpr const char* FurnacePort = "COM5";
    static constexpr const char* FlowPort = "COM6";
    static constexpr const char* DisplayPort = "COM7";
    static constexpr const char* FlowService = "FLOWDDE";

    // Furnace line: 1 a 3208, 2 a 2204, 3 a 2416, 4 not configured as PID, 5 unknown model.
    std::shared_ptr<TSimModbusBus> FurnaceLine;
    std::shared_ptr<TSimEurotherm> Furnace3208, Furnace2204, Furnace2416, NotPid, Unknown;
    // Flow line: GSC controllers at addresses 1 and 2.
    std::shared_ptr<TSimModbusBus> FlowLine;
    std::shared_ptr<TSimVoegtlin> Gsc1, Gsc2;
    // Display line: the display at address 254.
    std::shared_ptr<TSimModbusBus> DisplayLine;
    std::shared_ptr<TSimWachendorf> Display;
    // Flow server with ELFLOW controllers on channels 1 and 2.
    std::shared_ptr<TSimFlowServer> FlowServer;
    uint16_t FlowServerPort = 0;
};

// Serves the devices in the lab; false (and error) when one cannot be served.
bool BuildModbusLab(TSimLab& lab, TModbusLab& devices, QString* error = nullptr);

// Writes [Services] NAME=127.0.0.1:port into DIR/Utility/ports.ini, keeping other entries.
bool WriteServiceMap(const QString& dataFolder, const QString& service, uint16_t port,
                     QString* error = nullptr);
