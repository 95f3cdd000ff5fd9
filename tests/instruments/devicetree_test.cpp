#include <gtest/gtest.h>

#include "tavlo/devicetree.h"
#include "testutil.h"

namespace {
// COM33 > Prologix > multimeter; COM5 > Eurotherm; LAN > group > LAN line.
TDeviceTree Laboratory() {
    TDeviceTree tree;
    const int com33 = tree.AddRoot("COM33");
    const int adapter = tree.AddChild(com33, "Prologix USB-GPIB device");
    tree.AddChild(adapter, "Multimeter K2000 COM33 ADDR:4 EOS:0 GPIB");
    const int com5 = tree.AddRoot("COM5");
    tree.AddChild(com5, "Eurotherm 3208 COM5 ADDR:1");
    return tree;
}
} // namespace

TEST(DeviceTree, SetupTextAndIdentity) {
    const TDeviceTree tree = Laboratory();
    EXPECT_EQ(tree.ToSetupText(), "COM33\r\n\tPrologix USB-GPIB device\r\n\t\tMultimeter K2000 COM33 "
                                  "ADDR:4 EOS:0 GPIB\r\nCOM5\r\n\tEurotherm 3208 COM5 ADDR:1\r\n");
    // ELF hash of the texts in tree order, worked out independently.
    EXPECT_EQ(tree.DeviceSetupID(), "239519265");
    EXPECT_EQ(ElfHash("AB"), 1106u);
    EXPECT_EQ(ElfHash(QString()), 0u);
    EXPECT_EQ(TDeviceTree().DeviceSetupID(), "0");
}

TEST(DeviceTree, FilesReadBackByteForByte) {
    TTestFolder dir;
    TDeviceTree tree = Laboratory();
    const int lan = tree.AddRoot("LAN");
    const int group = tree.AddChild(lan, "Keysight");
    tree.AddChild(group, "Multimeter KS34465 5025 ADDR:0 EOS:0 LAN 192.168.1.20 \"Ofen \u00A4\"");
    QString error;
    ASSERT_TRUE(tree.SaveToFile(dir.Path("lab.tdq"), &error)) << error.toStdString();
    const QByteArray bytes = dir.Read("lab.tdq");
    EXPECT_TRUE(bytes.contains("\"Ofen \xA4\"\r\n")); // Windows-1252
    TDeviceTree back;
    ASSERT_TRUE(back.LoadFromFile(dir.Path("lab.tdq"), &error)) << error.toStdString();
    EXPECT_EQ(back.ToSetupText(), tree.ToSetupText());
    EXPECT_EQ(back.DeviceSetupID(), tree.DeviceSetupID());
    ASSERT_TRUE(back.SaveToFile(dir.Path("again.tdq")));
    EXPECT_EQ(dir.Read("again.tdq"), bytes);
    EXPECT_EQ(back.Children(-1).size(), 3);
    EXPECT_EQ(back.Node(back.Children(back.Children(-1)[0])[0]).Text, "Prologix USB-GPIB device");
}

TEST(DeviceTree, ASkippedLevelIsRefusedAndChangesNothing) {
    TTestFolder dir;
    dir.Write("bad.tdq", "COM1\r\n\t\tMultimeter K2000 COM1 ADDR:4 EOS:0 GPIB\r\n");
    TDeviceTree tree = Laboratory();
    QString error;
    EXPECT_FALSE(tree.LoadFromFile(dir.Path("bad.tdq"), &error));
    EXPECT_EQ(error, "Invalid level (2) for item 'Multimeter K2000 COM1 ADDR:4 EOS:0 GPIB' in line 2");
    EXPECT_EQ(tree.ToSetupText(), Laboratory().ToSetupText());
    EXPECT_FALSE(tree.LoadFromFile(dir.Path("missing.tdq"), &error));
}

TEST(DeviceTree, DeviceRecordsOfNodes) {
    TDeviceTree tree = Laboratory();
    const int com5 = tree.Children(-1)[1];
    const int mfc = tree.AddChild(com5, "MassFlowController GSC COM5 ADDR:12");
    const int eurotherm = tree.Children(com5)[0];
    TDevice e = tree.DeviceFromTreeNode(eurotherm);
    EXPECT_EQ(e.InterfaceType, ditModbus);
    EXPECT_EQ(e.Role, "Eurotherm");
    EXPECT_EQ(e.IDString, "3208");
    EXPECT_EQ(e.Port, "COM5");
    EXPECT_EQ(e.Address, 1);
    TDevice f = tree.DeviceFromTreeNode(mfc);
    EXPECT_EQ(f.Role, "MassFlowController");
    EXPECT_EQ(f.IDString, "GSC");
    EXPECT_EQ(f.Address, 12);
    const int adapter = tree.Children(tree.Children(-1)[0])[0];
    TDevice g = tree.DeviceFromTreeNode(tree.Children(adapter)[0]);
    EXPECT_EQ(g.InterfaceType, ditGPIB);
    EXPECT_EQ(g.Address, 4);
    TDevice root = tree.DeviceFromTreeNode(tree.Children(-1)[0]);
    EXPECT_EQ(root.InterfaceType, ditUndefined);
    EXPECT_EQ(root.Address, -1);
    EXPECT_EQ(root.EOS, -1);
}

TEST(DeviceTree, AChildGoesAfterItsParentsSubtree) {
    TDeviceTree tree;
    const int a = tree.AddRoot("A");
    tree.AddRoot("B");
    tree.AddChild(a, "a1"); // B moves down
    tree.AddChild(tree.Children(-1)[1], "b1");
    EXPECT_EQ(tree.ToSetupText(), "A\r\n\ta1\r\nB\r\n\tb1\r\n");
    EXPECT_EQ(tree.Node(3).Parent, 2);
}

TEST(DeviceTree, RemovingASubtree) {
    TDeviceTree tree = Laboratory();
    tree.Remove(tree.Children(-1)[0]);
    EXPECT_EQ(tree.ToSetupText(), "COM5\r\n\tEurotherm 3208 COM5 ADDR:1\r\n");
    EXPECT_EQ(tree.Node(1).Parent, 0);
}
