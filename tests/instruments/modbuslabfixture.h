#pragma once

#include "simfixture.h"
#include "tavlo/modbus.h"
#include "tavlosim/modbuslab.h"

#include <gtest/gtest.h>

// The Modbus laboratory on ptys, with the port map of the fixture's data folder.
class ModbusLabTest : public ::testing::Test {
protected:
    ModbusLabTest() {
        EXPECT_TRUE(BuildModbusLab(Sim.Lab, Lab));
        Sim.Lab.WritePortMap(Sim.Folder.Path());
        EXPECT_TRUE(WriteServiceMap(Sim.Folder.Path(), QString::fromLatin1(TModbusLab::FlowService),
                                    Lab.FlowServerPort));
        Fast.SetPort(QStringLiteral("COM5"));
        Fast.SetWindowsReadLoopTimeoutMS(10);
        Fast.SetReadoutTimeoutMS(300);
    }
    template <class F>
    auto Locked(F f) {
        auto lock = Sim.Lab.Lock();
        return f();
    }
    int FramesSeen() {
        return Locked([&] { return static_cast<int>(Lab.FurnaceLine->Frames.size()); });
    }

    // Serves a scripted device that answers every request with the same bytes.
    std::shared_ptr<TScriptDevice> ServeScript(const QString& name, const QByteArray& reply) {
        auto device = std::make_shared<TScriptDevice>();
        device->BinaryReply = reply;
        Sim.Serve(name, device);
        return device;
    }

    TSimFixture Sim;
    TModbusLab Lab;
    TModbusPort Fast; // short poll for the port-level tests
};
