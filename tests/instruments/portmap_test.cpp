#include <gtest/gtest.h>

#include "simfixture.h"
#include "tavlo/portmap.h"

#include "tavlo/inifile.h"

#include <QRegularExpression>

#include <algorithm>

TEST(PortMap, DevicePathOfMappedAbsoluteAndPlainNames) {
    TTestFolder folder;
    SetDataFolder(folder.Path());
    folder.Write("Utility/ports.ini", "[Ports]\r\nCOM33 = /dev/serial/by-id/usb-FTDI-if00 \r\n"
                                      "[Services]\r\nFLOWDDE=127.0.0.1:50100\r\n");
    EXPECT_EQ(PortMapPath(), folder.Path("Utility/ports.ini"));
    EXPECT_EQ(DevicePathOf(QStringLiteral("COM33")), "/dev/serial/by-id/usb-FTDI-if00");
    EXPECT_EQ(DevicePathOf(QStringLiteral(" com33 ")), "/dev/serial/by-id/usb-FTDI-if00");
    EXPECT_EQ(DevicePathOf(QStringLiteral("ttyUSB0")), "/dev/ttyUSB0");
    EXPECT_EQ(DevicePathOf(QStringLiteral("/dev/pts/3")), "/dev/pts/3");
    EXPECT_EQ(DevicePathOf(QString()), QString());
    EXPECT_EQ(ServiceAddress(QStringLiteral("flowdde")), "127.0.0.1:50100");
    EXPECT_EQ(ServiceAddress(QStringLiteral("OTHER")), QString());
}

TEST(PortMap, WithoutAMapNamesAreDevicesUnderDev) {
    TTestFolder folder;
    SetDataFolder(folder.Path());
    EXPECT_EQ(DevicePathOf(QStringLiteral("COM3")), "/dev/COM3");
}

TEST(PortMap, NaturalOrder) {
    QStringList names{"COM10", "com2", "ttyUSB1", "COM1", "ttyS10", "ttyS9", "COM02", "ttyACM0"};
    std::sort(names.begin(), names.end(), NaturalLess);
    EXPECT_EQ(names, QStringList({"COM1", "COM02", "com2", "COM10", "ttyACM0", "ttyS9", "ttyS10",
                                  "ttyUSB1"}));
}

TEST(PortMap, ExistingPortsListMappedNamesWhoseTargetExists) {
    TSimFixture sim;
    auto device = std::make_shared<TScriptDevice>();
    const QString path10 = sim.Serve(QStringLiteral("COM10"), device);
    sim.Serve(QStringLiteral("COM9"), std::make_shared<TScriptDevice>());
    TIniFile ini;
    ASSERT_TRUE(ini.LoadFromFile(PortMapPath()));
    ini.WriteString("Ports", "COM5", "/dev/no-such-device");
    ini.WriteString("Ports", "COM2", path10); // two names for one device
    ASSERT_TRUE(ini.SaveToFile(PortMapPath()));

    const QStringList ports = ExistingPorts();
    const QStringList mapped = ports.filter(QRegularExpression(QStringLiteral("^COM\\d+$")));
    EXPECT_EQ(mapped, QStringList({"COM2", "COM9", "COM10"}));
    EXPECT_FALSE(ports.contains("COM5"));
    for (qsizetype i = 1; i < ports.size(); ++i)
        EXPECT_FALSE(NaturalLess(ports[i], ports[i - 1])) << ports.join(u' ').toStdString();

    sim.Lab.RemovePort(QStringLiteral("COM9"));
    EXPECT_FALSE(ExistingPorts().contains("COM9"));
}
