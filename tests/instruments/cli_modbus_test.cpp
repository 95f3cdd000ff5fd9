#include <gtest/gtest.h>

#include "tavlosim/modbuslab.h"
#include "testutil.h"

#include <QProcess>

namespace {
struct TCliRun {
    int Code = -1;
    QString Out, Err;
};

class CliModbus : public ::testing::Test {
protected:
    CliModbus() {
        EXPECT_TRUE(BuildModbusLab(Lab, Devices));
        EXPECT_TRUE(Lab.WritePortMap(Folder.Path()));
        EXPECT_TRUE(WriteServiceMap(Folder.Path(), QString::fromLatin1(TModbusLab::FlowService),
                                    Devices.FlowServerPort));
        Lab.Start();
    }
    ~CliModbus() override { Lab.Stop(); }

    TCliRun Run(QStringList args) {
        args << QStringLiteral("--data-folder") << Folder.Path();
        const TProcessRun r = RunProcess(QStringLiteral(TAVLO_CLI_PATH), args, 30000);
        return {r.Code, QString::fromLocal8Bit(r.Out), QString::fromLocal8Bit(r.Err)};
    }

    TTestFolder Folder;
    TSimLab Lab;
    TModbusLab Devices;
};
} // namespace

TEST_F(CliModbus, EurothermActions) {
    {
        auto lock = Lab.Lock();
        Devices.Furnace2204->TargetSetpoint = 333;
    }
    const TCliRun words = Run({"modbus", "--port", "COM5", "--addr", "2", "read-words", "1", "5"});
    EXPECT_EQ(words.Code, 0) << words.Err.toStdString();
    EXPECT_TRUE(words.Out.contains("Register 2 : 333\n")) << words.Out.toStdString();
    EXPECT_TRUE(words.Out.contains("Register 5 : ")) << words.Out.toStdString();
    EXPECT_TRUE(words.Out.endsWith("Status : \n"));

    const TCliRun write = Run({"modbus", "--port", "COM5", "--addr", "2", "write", "35", "42"});
    EXPECT_EQ(write.Code, 0) << write.Err.toStdString();
    EXPECT_TRUE(write.Out.contains("Read back: 42\n")) << write.Out.toStdString();
    {
        auto lock = Lab.Lock();
        EXPECT_EQ(Devices.Furnace2204->RampRate, 42);
    }
    const TCliRun model = Run({"modbus", "--port", "COM5", "--addr", "3", "model"});
    EXPECT_EQ(model.Code, 0);
    EXPECT_EQ(model.Out, "Model : 2416\n");
    const TCliRun notPid = Run({"modbus", "--port", "COM5", "--addr", "4", "model"});
    EXPECT_EQ(notPid.Code, 1);
    EXPECT_EQ(notPid.Out, "Model : Controller not configured as PID\n");
    const TCliRun test = Run({"modbus", "--port", "COM5", "--addr", "1", "test"});
    EXPECT_EQ(test.Code, 0);
    EXPECT_EQ(test.Out, "Loop-back test at COM5 address 1: passed\n");
    const TCliRun pv = Run({"modbus", "--port", "COM5", "--addr", "1", "read-float", "1"});
    EXPECT_EQ(pv.Code, 0);
    EXPECT_TRUE(pv.Out.startsWith("Parameter 1 : 2")) << pv.Out.toStdString(); // about 25 degrees
    const TCliRun many = Run({"modbus", "--port", "COM5", "--addr", "1", "read-words", "1", "33"});
    EXPECT_EQ(many.Code, 1);
    EXPECT_EQ(many.Out, "Status : Maximum wordcount read is 32\n");
}

TEST_F(CliModbus, EurothermFailuresAndBadArguments) {
    const TCliRun silent = Run({"modbus", "--port", "COM5", "--addr", "9", "test"});
    EXPECT_EQ(silent.Code, 1);
    EXPECT_EQ(silent.Out, "Loop-back test at COM5 address 9: failed\n");
    const TCliRun noPort = Run({"modbus", "--port", "COM99", "--addr", "1", "read-float", "1"});
    EXPECT_EQ(noPort.Code, 1);
    EXPECT_TRUE(noPort.Out.contains("Status : Failed to setup Com port, port in use"));
    EXPECT_TRUE(noPort.Err.contains("there is no device"));
    EXPECT_EQ(Run({"modbus", "--port", "COM5", "--addr", "0", "test"}).Code, 2);
    EXPECT_EQ(Run({"modbus", "--port", "COM5", "--addr", "1", "write", "2"}).Code, 2);
    EXPECT_EQ(Run({"modbus", "--port", "COM5", "--addr", "1", "write", "2", "x"}).Code, 2);
    const TCliRun unknown = Run({"modbus", "--port", "COM5", "--addr", "1", "fly"});
    EXPECT_EQ(unknown.Code, 2);
    EXPECT_TRUE(unknown.Err.contains("unknown action fly"));
}

TEST_F(CliModbus, MassFlowToolOnAPortAndThroughTheFlowServer) {
    const TCliRun read = Run({"mfc", "--port", "COM6", "--addr", "2", "read"});
    EXPECT_EQ(read.Code, 0) << read.Err.toStdString() << read.Out.toStdString();
    EXPECT_TRUE(read.Out.contains("Serial number   : 987654\n")) << read.Out.toStdString();
    EXPECT_TRUE(read.Out.contains("Measured gas    : O2\n"));
    EXPECT_TRUE(read.Out.contains("Range           : 20\n"));
    EXPECT_TRUE(read.Out.contains("   3 O2  (active)\n"));
    EXPECT_TRUE(read.Out.contains("   9 Air\n"));

    const TCliRun set = Run({"mfc", "--port", "COM6", "--addr", "2", "set", "7.5", "--gas", "4"});
    EXPECT_EQ(set.Code, 0) << set.Err.toStdString();
    EXPECT_TRUE(set.Out.contains("Target flow     : 7.5\n")) << set.Out.toStdString();
    EXPECT_TRUE(set.Out.contains("   4 Ar  (active)\n"));
    {
        auto lock = Lab.Lock();
        Devices.Gsc2->AlarmBits = (1 << 3) | (1 << 8);
    }
    const TCliRun alarms = Run({"mfc", "--port", "COM6", "--addr", "2", "alarms"});
    EXPECT_EQ(alarms.Code, 0);
    EXPECT_TRUE(alarms.Out.startsWith("Error bitmask: 264\n\n3) No gas / jammed valve alarm."));
    EXPECT_TRUE(alarms.Out.endsWith("\n\n\nRestart device to clear errors\n")) << alarms.Out.toStdString();

    const TCliRun busy = Run({"mfc", "--port", "COM6", "--addr", "5", "read"});
    EXPECT_EQ(busy.Code, 1);
    EXPECT_EQ(busy.Out, "Unable to communicate, device possibly busy\n");

    const TCliRun elflow = Run({"mfc", "--service", "FLOWDDE", "--addr", "2", "read"});
    EXPECT_EQ(elflow.Code, 0) << elflow.Err.toStdString();
    EXPECT_TRUE(elflow.Out.contains("Serial number   : M21298765B\n"));
    EXPECT_TRUE(elflow.Out.contains("Range           : 50.000\n"));
    const TCliRun poke = Run({"mfc", "--service", "FLOWDDE", "--addr", "2", "set", "12.5"});
    EXPECT_EQ(poke.Code, 0);
    EXPECT_EQ(poke.Out, "Target flow 12 to FLOWDDE C(2): accepted\n");
    const TCliRun absent = Run({"mfc", "--service", "NODDE", "--addr", "2", "set", "1"});
    EXPECT_EQ(absent.Code, 1);
    EXPECT_TRUE(absent.Out.contains("is not in the port map"));
    EXPECT_EQ(Run({"mfc", "--port", "COM6", "--service", "X", "--addr", "2", "read"}).Code, 2);
}
