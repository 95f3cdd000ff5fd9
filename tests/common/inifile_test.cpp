#include <gtest/gtest.h>

#include "tavlo/inifile.h"
#include "testutil.h"

TEST(IniFile, ParsesSectionsKeysAndValuesKeepingOrder) {
    TIniFile ini;
    ini.SetText(QStringLiteral("; comment\r\nstray=1\r\n[Ports]\r\nCOM33=/dev/pts/4\r\n"
                               "  ttyUSB0 =  /dev/ttyUSB0 \r\n\r\n[Services]\nFLOWDDE=127.0.0.1:50100\n"
                               "[ports]\rCOM1=/dev/ttyS0\rnovalue\r"));
    EXPECT_EQ(ini.Sections(), QStringList({"Ports", "Services"}));
    EXPECT_EQ(ini.Keys("PORTS"), QStringList({"COM33", "ttyUSB0", "COM1", "novalue"}));
    EXPECT_EQ(ini.ReadString("ports", "com33"), "/dev/pts/4");
    EXPECT_EQ(ini.ReadString("Ports", "TTYUSB0"), "  /dev/ttyUSB0 "); // values keep blanks
    EXPECT_EQ(ini.ReadString("Ports", "novalue", "x"), "");
    EXPECT_TRUE(ini.ValueExists("Ports", "novalue"));
    EXPECT_EQ(ini.ReadString("Services", "FlowDDE"), "127.0.0.1:50100");
    EXPECT_EQ(ini.ReadString("Missing", "stray", "dflt"), "dflt");
    EXPECT_FALSE(ini.ValueExists("Ports", "stray"));
}

TEST(IniFile, RepeatedKeyKeepsFirstValue) {
    TIniFile ini;
    ini.SetText(QStringLiteral("[A]\nk=1\nK=2\n"));
    EXPECT_EQ(ini.Keys("A"), QStringList({"k"}));
    EXPECT_EQ(ini.ReadString("A", "k"), "1");
}

TEST(IniFile, WritesInPlaceAndRoundTrips) {
    TIniFile ini;
    ini.WriteString("Ports", "COM33", "/dev/pts/1");
    ini.WriteString("Services", "FLOWDDE", "127.0.0.1:1");
    ini.WriteString("ports", "com33", "/dev/pts/2"); // same key, other case: replaced in place
    ini.WriteInteger("Ports", "Count", -3);
    ini.WriteBool("Ports", "On", true);
    EXPECT_EQ(ini.Text(), QStringLiteral("[Ports]\r\nCOM33=/dev/pts/2\r\nCount=-3\r\nOn=1\r\n\r\n"
                                         "[Services]\r\nFLOWDDE=127.0.0.1:1\r\n"));
    EXPECT_EQ(ini.ReadInteger("Ports", "Count", 0), -3);
    EXPECT_EQ(ini.ReadInteger("Ports", "COM33", 7), 7);
    EXPECT_TRUE(ini.ReadBool("Ports", "On", false));

    TIniFile copy;
    copy.SetText(ini.Text());
    EXPECT_EQ(copy.Text(), ini.Text());

    copy.DeleteKey("PORTS", "count");
    copy.EraseSection("services");
    EXPECT_EQ(copy.Text(), QStringLiteral("[Ports]\r\nCOM33=/dev/pts/2\r\nOn=1\r\n"));
    EXPECT_EQ(copy.ReadString("ports", "ON"), "1");
    EXPECT_FALSE(copy.ValueExists("Ports", "Count"));
    copy.WriteString("Ports", "Count", "9");
    EXPECT_EQ(copy.Keys("Ports"), QStringList({"COM33", "On", "Count"}));
}

TEST(IniFile, FileRoundTripAndMissingFile) {
    TTestFolder folder;
    TIniFile ini;
    EXPECT_TRUE(ini.LoadFromFile(folder.Path("absent.ini")));
    EXPECT_TRUE(ini.Sections().isEmpty());
    ini.WriteString(QStringLiteral("Grüße"), "Key", QStringLiteral("Wert µ"));
    QString error;
    ASSERT_TRUE(ini.SaveToFile(folder.Path("sub.ini"), &error)) << error.toStdString();
    TIniFile back;
    ASSERT_TRUE(back.LoadFromFile(folder.Path("sub.ini")));
    EXPECT_EQ(back.ReadString(QStringLiteral("GRÜSSE"), "key", "none"), "none");
    EXPECT_EQ(back.ReadString(QStringLiteral("grüße"), "key"), QStringLiteral("Wert µ"));
}
