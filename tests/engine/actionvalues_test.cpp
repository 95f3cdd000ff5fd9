#include <gtest/gtest.h>

#include <cmath>

#include "enginetest.h"
#include "tavlo/actionvalues.h"
#include "tavlo/log.h"
#include "tavlo/numformat.h"
#include "tavlo/readings.h"

namespace {
struct TActionFixture {
    TMeasurement m;
    TMeasurementNode* reading;
    TMeasurementNode* action;
    TActionFixture() {
        reading = AddNode(m, "reading", "ET");
        reading->AddData(45000, 812.4, 0, 0);
        reading->AddData(45000.1, 815.6, 0, 0);
        action = AddNode(m, "action", "AU");
    }
};
} // namespace

TEST(UtilityEvaluate, FurnaceValuesAndWhetherToSend) {
    TActionFixture f;
    TMeasurementNode& a = *f.action;
    a.AUType = "Furnace";
    a.AF1Expression = "$N1.V1+0.5"; // 816.1 -> 816
    a.AF2Expression = "2.5";        // halves round to even: 2
    a.AF1Max = 1200;
    a.AF2Max = 10;
    UtilityEvaluate(a);
    EXPECT_EQ(a.AF1Value, 816);
    EXPECT_EQ(a.AF2Value, 2);
    EXPECT_EQ(a.AF3Value, 1); // nothing sent yet
    EXPECT_NEAR(a.AFTime, Now(), 5.0 / SecondsPerDay);
    // The last sent values equal the new ones: nothing to send.
    a.AddData(Now(), 816, 2, 1);
    UtilityEvaluate(a);
    EXPECT_EQ(a.AF3Value, 0);
    // The previous send failed: ask again.
    a.AddData(Now(), 816, 2, -1);
    UtilityEvaluate(a);
    EXPECT_EQ(a.AF3Value, 1);
    // Limits.
    a.AF1Max = 700;
    UtilityEvaluate(a);
    EXPECT_EQ(a.AF1Value, 700);
    // A NaN setpoint keeps the previous values and sends nothing.
    TLogCapture log;
    a.AF1Expression = "$N9.V1";
    UtilityEvaluate(a);
    EXPECT_EQ(a.AF1Value, 700);
    EXPECT_EQ(a.AF3Value, 0);
    EXPECT_TRUE(log.Contains("previous values kept, nothing sent"));
}

TEST(UtilityEvaluate, GpibValuesAreTiedAndFormatted) {
    TActionFixture f;
    TMeasurementNode& a = *f.action;
    a.AUType = "GPIB";
    a.AG1Expression = "12.3456";
    a.AG1Max = 10;
    a.AG1Format = "0.00";
    a.AG2Expression = "-50";
    a.AG2Max = 20;
    a.AG2Format = "0,0";
    a.AG3Expression = "$N1.V1";
    a.AG3Max = 1000;
    a.AG3Format = "0.0E+00";
    a.AGGPIBCode = "SOUR:VOLT $AG1\r\nSOUR:CURR $AG2\r\nX $AG3";
    UtilityEvaluate(a);
    EXPECT_EQ(a.AG1Value, 10);
    EXPECT_EQ(a.AG2Value, -20);
    EXPECT_DOUBLE_EQ(a.AG3Value, 815.6);
    EXPECT_EQ(a.AGGPIBEvaluated, "SOUR:VOLT 10.00\r\nSOUR:CURR -20,0\r\nX 8.2E+02");
    EXPECT_NEAR(a.GetAGTime(), Now(), 5.0 / SecondsPerDay);
}

TEST(UtilityEvaluate, FlowAndBroadcast) {
    TActionFixture f;
    TMeasurementNode& a = *f.action;
    a.AUType = "Flow";
    a.AM1Expression = "150";
    a.AM1Max = 100;
    UtilityEvaluate(a);
    EXPECT_EQ(a.AM1Value, 100.0f);
    EXPECT_EQ(a.AM3B, 1);
    a.AddData(Now(), 100, 0, 0);
    UtilityEvaluate(a);
    EXPECT_EQ(a.AM3B, 0);
    a.AM1Expression = "-5"; // no lower limit
    UtilityEvaluate(a);
    EXPECT_EQ(a.AM1Value, -5.0f);
    EXPECT_EQ(a.AM3B, 1);

    a.AUType = "COM";
    a.AUCOMExpression = "$N1.V1*2";
    UtilityEvaluate(a);
    EXPECT_DOUBLE_EQ(a.AUCOMValue, 1631.2);

    TMeasurementNode& reading = *f.reading; // not an action: nothing changes
    reading.AUType = "COM";
    reading.AUCOMExpression = "1";
    UtilityEvaluate(reading);
    EXPECT_EQ(reading.AUCOMValue, 0);
}

TEST(GPIBExpressionEvaluate, BoundAndText) {
    TActionFixture f;
    TMeasurementNode& a = *f.action;
    const struct {
        const char* expression;
        double bound;
        double value;
        const char* text;
    } cases[] = {
        {"150", 1000, 150, "1.50000E+02"},
        {"150", 100, 100, "1.00000E+02"},
        {"-150", 100, -100, "-1.00000E+02"},
        {"0.00123", 1, 0.00123, "1.23000E-03"},
        {"", 100, 0, "0.00000E+00"},      // no expression: 0
        {"$N9.V1", 100, 0, "0.00000E+00"}, // failure: 0
    };
    for (const auto& c : cases) {
        a.AGPIB1Expression = c.expression;
        a.AGPIB1Bound = c.bound;
        GPIBExpressionEvaluate(a);
        EXPECT_DOUBLE_EQ(a.AGPIB1, c.value) << c.expression;
        EXPECT_EQ(a.AGPIB1S, QString::fromLatin1(c.text)) << c.expression;
    }
    a.AGPIB1Expression = "1234.5";
    a.AGPIB1Bound = 1e9;
    a.AGPIB1FormatA = 3;
    a.AGPIB1FormatB = 3;
    TDecimalSeparatorScope comma(u',');
    GPIBExpressionEvaluate(a);
    EXPECT_EQ(a.AGPIB1S, "1,23E+003");
}

TEST(SegmentDecision, FollowsTheProgramAgainstTheNodesRunningTime) {
    TMeasurementNode node;
    node.SegmentProgram = "0 500 50\r\n60 800 50\r\n120 800 50";
    const struct {
        double minutesSinceFirst; // -1: never ran
        int line;
        int spPrev, rrPrev;
        bool apply;
        const char* message;
    } cases[] = {
        {1, -1, -1, -1, true, "Apply new SP/RR: 500/50"},
        {30, 0, 500, 50, false, "Insufficient time has elapsed: 30.0/60"},
        {61, 0, 500, 50, true, "Apply new SP/RR: 800/50"},
        {200, 1, 800, 50, false, "Values already sent"}, // the line repeats the previous one
        {200, 2, 800, 50, false, "Segment program done, line index: 2"},
    };
    for (const auto& c : cases) {
        node.FAM = Now() - c.minutesSinceFirst / MinutesPerDay;
        node.SegmentLine = c.line;
        node.SegmentSPPrev = c.spPrev;
        node.SegmentRRPrev = c.rrPrev;
        const TSegmentDecision d = SegmentDecision(node);
        EXPECT_EQ(d.Apply, c.apply) << c.message;
        EXPECT_EQ(d.Message, QString::fromLatin1(c.message));
    }
    node.SegmentLine = -1;
    node.SegmentProgram = "0 500 fifty";
    EXPECT_EQ(SegmentDecision(node).Message, "Segment program parameter fail");
    node.SegmentProgram = "  ";
    EXPECT_EQ(SegmentDecision(node).Message, "No segment program:  *");
}

TEST(GeometryCorrection, AppliedOnlyWithAPositiveThicknessAndDensity) {
    TMeasurementNode node;
    node.SampleArea = 2;
    node.SampeThickness = 0.5;
    node.SampleDensity = 2;
    EXPECT_EQ(GeometryFactor(node), 1); // correction off
    node.SampleCorrect = true;
    EXPECT_EQ(GeometryFactor(node), 1); // 2 / 0.5 / 2^2
    node.SampleArea = 4;
    EXPECT_EQ(GeometryFactor(node), 2);
    TLogCapture log;
    node.SampeThickness = 0;
    EXPECT_EQ(GeometryFactor(node), 1); // stored uncorrected, and said so
    EXPECT_TRUE(log.Contains("not applied: thickness and density must be greater than 0"));
}
