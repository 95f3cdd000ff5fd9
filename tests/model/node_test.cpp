#include <gtest/gtest.h>

#include <QVariant>

#include <cmath>

#include "tavlo/clock.h"
#include "tavlo/componenttext.h"
#include "tavlo/measurement.h"
#include "tavlo/measurementnode.h"

TEST(Node, NewNodeWritesItsDefaults) {
    RegisterModelClasses();
    TMeasurementNode node;
    node.setObjectName("N1");
    const QString text = ComponentToText(&node);
    for (const char* line :
         {"object N1: TMeasurementNode\r\n", "  StartExpression = '1'\r\n",
          "  StopExpression = '0'\r\n", "  AF1Expression = '0'\r\n", "  AF2Expression = '0'\r\n",
          "  FAM = -1.000000000000000000\r\n", "  LAM = -1.000000000000000000\r\n",
          "  SegmentLine = -1\r\n", "  AGPIB1FormatA = 6\r\n", "  AGPIB1FormatB = 2\r\n",
          "  SweepPoints = 50\r\n", "  ConstantVoltage = True\r\n", "  Active = False\r\n",
          "  ACVoltage = 0.100000000000000000\r\n", "  SweepStartHz = 1000000.000000000000000000\r\n"})
        EXPECT_TRUE(text.contains(QLatin1String(line))) << line;
    // Empty texts and zero doubles are left out.
    EXPECT_FALSE(text.contains(QLatin1String("Caption")));
    EXPECT_FALSE(text.contains(QLatin1String("DCBias ")));
    EXPECT_TRUE(text.endsWith(QLatin1String("end\r\n")));
    // Declaration order is file order.
    EXPECT_LT(text.indexOf("ConstantVoltage"), text.indexOf("ACVoltage"));
    EXPECT_LT(text.indexOf("SegmentLine"), text.indexOf("SegmentRRPrev"));
}

TEST(Node, AliasedPropertiesShareOneValue) {
    TMeasurementNode node;
    node.setProperty("P1SetValue", 5.0);
    EXPECT_EQ(node.property("P1SettlingTimeMS").toDouble(), 5.0);
    node.setProperty("AFTime", 123.5);
    EXPECT_EQ(node.property("AGTime").toDouble(), 123.5);
    node.setProperty("AGTime", 7.0);
    EXPECT_EQ(node.AFTime, 7.0);
    // Both names are stored, in declaration order.
    const QString text = ComponentToText(&node);
    EXPECT_TRUE(text.contains("  AFTime = 7.000000000000000000\r\n"));
    EXPECT_TRUE(text.contains("  P1SettlingTimeMS = 5.000000000000000000\r\n"));
    EXPECT_LT(text.indexOf("AFTime"), text.indexOf("AGTime"));
}

TEST(Node, ImpedanceFromAPoint) {
    TMeasurementNode node;
    node.AddData(1, 100, 0, 1000);
    node.AddData(1, 100, -100, 1000);
    TMeasurementImpResult prior;
    prior.PA2 = 12.5;
    const TMeasurementImpResult zeroX = node.Imp(0, prior);
    for (double v : {zeroX.P, zeroX.Z, zeroX.Y, zeroX.G, zeroX.B, zeroX.RP, zeroX.LS, zeroX.LP,
                     zeroX.CS, zeroX.CP})
        EXPECT_TRUE(std::isnan(v));
    EXPECT_EQ(zeroX.PA2, 12.5);

    const TMeasurementImpResult r = node.Imp(1);
    EXPECT_NEAR(r.P, -45, 1e-12);
    EXPECT_NEAR(r.PA2, -45, 1e-12);
    EXPECT_NEAR(r.Z, 141.4213562373095, 1e-10);
    EXPECT_NEAR(r.CS, 1 / (100 * 2 * M_PI * 1000), 1e-18);
    EXPECT_NEAR(r.G, 0.005, 1e-15);
    EXPECT_NEAR(r.RP, 200, 1e-10);
    EXPECT_NEAR(r.CP, 0.005 / (2 * M_PI * 1000), 1e-15);

    node.AddData(1, -100, 100, 1000); // second quadrant: PA2 differs from P
    const TMeasurementImpResult q = node.Imp(2);
    EXPECT_NEAR(q.P, -45, 1e-12);
    EXPECT_NEAR(q.PA2, 135, 1e-12);
}

TEST(Node, ElapsedTimes) {
    TMeasurementNode node;
    EXPECT_EQ(node.TS(0), -1);
    node.AddData(45000.0, 0, 0, 0);
    node.AddData(45000.5, 0, 0, 0);
    EXPECT_EQ(node.TS(0), 0);
    EXPECT_EQ(node.TS(3), -1);
    EXPECT_EQ(node.TS(2), -1); // the point does not exist
    EXPECT_DOUBLE_EQ(node.TS(1), 43200);
    EXPECT_DOUBLE_EQ(node.TM(1), 720);
    EXPECT_DOUBLE_EQ(node.TH(1), 12);
    EXPECT_DOUBLE_EQ(node.TD(1), 0.5);
    node.AddData(-1, 0, 0, 0);
    EXPECT_EQ(node.TS(2), -1); // time not positive
}

TEST(Node, FirstAndLatestExecution) {
    TMeasurementNode node;
    EXPECT_EQ(node.GetFAM(), -1);
    EXPECT_EQ(node.GetLAM(), -1);
    node.SetFAM(Now() - 10.0 / MinutesPerDay);
    node.LAM = Now() - 1.0 / MinutesPerDay;
    EXPECT_NEAR(node.GetFAM(), 10, 0.01);
    EXPECT_NEAR(node.GetLAM(), 1, 0.01);
}

TEST(Node, MaxValPerField) {
    TMeasurementNode node;
    EXPECT_EQ(node.MaxVal(1), -1.7976931348623157E308);
    node.AddData(1, 5, -3, NAN);
    node.AddData(2, 7, -4, 1);
    EXPECT_EQ(node.MaxVal(1), 7);
    EXPECT_EQ(node.MaxVal(2), -3);
    EXPECT_EQ(node.MaxVal(3), 1);
    EXPECT_EQ(node.MaxVal(4), -1.7976931348623157E308);
}

TEST(Node, DataFieldCaptions) {
    const struct {
        const char* type;
        const char* au;
        int field;
        const char* caption;
    } cases[] = {
        {"OX", "", 1, "pO2"},           {"OX", "", 2, ""},
        {"MC", "", 3, "V/I"},           {"ET", "", 3, "OP/Output Power %"},
        {"IS", "", 2, "Reactance"},     {"AU", "", 1, "AU1"},
        {"AU", "Furnace", 2, "AF2/Ramprate"}, {"AU", "GPIB", 3, "AG3"},
        {"AU", "Flow", 1, "AM1/Setpoint"},    {"AU", "Flow", 2, ""},
        {"TI", "", 1, ""},              {"M4", "", 1, "Resistance"},
        {"FL", "", 2, "FLS/Setpoint"},  {"M2", "", 0, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(TMeasurementNode::DataFieldCaption(c.field, c.type, c.au),
                  QString::fromLatin1(c.caption))
            << c.type << "/" << c.au << "/" << c.field;
}

TEST(Node, AsTextEscapesStarsAndQuotes) {
    RegisterModelClasses();
    TMeasurementNode node;
    node.setObjectName("N4");
    node.Caption = QStringLiteral("Sample \"A\"");
    node.GPIBBeforePoint = QStringLiteral("*RST\r\nFUNC 'RES'");
    const QString text = node.AsText();
    EXPECT_FALSE(text.contains(u'*'));
    EXPECT_FALSE(text.contains(u'"'));
    EXPECT_FALSE(text.contains(u'\''));
    EXPECT_TRUE(text.contains(QStringLiteral("#\u00A4%&%\u00A4#_001RST")));
    EXPECT_TRUE(text.contains(QStringLiteral("#\u00A4%&%\u00A4#_002A#\u00A4%&%\u00A4#_002")));
    auto back = TextToComponent(RestoreNodeText(text));
    auto* copy = qobject_cast<TMeasurementNode*>(back.get());
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->objectName(), "N4");
    EXPECT_EQ(copy->Caption, node.Caption);
    EXPECT_EQ(copy->GPIBBeforePoint, node.GPIBBeforePoint);
}
