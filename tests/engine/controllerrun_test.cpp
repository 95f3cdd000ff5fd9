// Furnace and mass-flow nodes run by the engine against the simulated controllers.
#include <gtest/gtest.h>

#include <cmath>

#include "labsession.h"
#include "tavlo/folders.h"
#include "tavlo/userinteraction.h"
#include "tavlosim/modbuslab.h"
#include "tavlosim/simlab.h"
#include "testutil.h"

namespace {
class ControllerRun : public TLabSessionTest {
protected:
    void SetUp() override {
        TLabSessionTest::SetUp();
        QString error;
        ASSERT_TRUE(BuildModbusLab(lab, devices, &error)) << error.toStdString();
        ASSERT_TRUE(WriteServiceMap(dir.Path(), TModbusLab::FlowService, devices.FlowServerPort, &error))
            << error.toStdString();
        StartSession();
        m = AddMeasurement(*session, "Furnace");
    }
    TModbusLab devices;
    TMeasurement* m = nullptr;
};
} // namespace

TEST_F(ControllerRun, TemperatureReadingAndSegmentProgram) {
    TMeasurementNode* et = AddNode(*m, "a oven", "ET");
    et->Instrument = "Eurotherm 3208 COM5 ADDR:1";
    et->SegmentProgram = "0 500 50\r\n600 800 50\r\n";
    TMeasurementNode* missing = AddNode(*m, "b missing", "ET");
    missing->Instrument = "Eurotherm 3208 COM5 ADDR:9";
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(et->DataCount(), 1);
    EXPECT_NEAR(et->GetData(0).Value1, 25, 2); // room temperature
    // The first segment is due at once; the second only after 600 minutes.
    EXPECT_EQ(et->SegmentLine, 0);
    EXPECT_EQ(et->SegmentSPPrev, 500);
    EXPECT_EQ(et->SegmentRRPrev, 50);
    EXPECT_EQ(devices.Furnace3208->TargetSetpoint, 500);
    EXPECT_EQ(devices.Furnace3208->RampRate, 50);
    EXPECT_EQ(missing->DataCount(), 0);
    EXPECT_FALSE(session->RunLog().filter("ET type node failed to retrieve result").isEmpty());
    ASSERT_TRUE(OneRun(*session));
    EXPECT_EQ(et->SegmentLine, 0);
    EXPECT_FALSE(session->RunLog().filter("ET type node end with Segment message:Insufficient time has elapsed: ").isEmpty());
}

TEST_F(ControllerRun, FurnaceActionSendsOnlyNewValues) {
    TMeasurementNode* action = AddNode(*m, "setpoint", "AU");
    action->AUType = "Furnace";
    action->Instrument = "Eurotherm 2204 COM5 ADDR:2";
    action->AF1Expression = "640.5"; // halves to even: 640
    action->AF2Expression = "12";
    action->AF1Max = 1000;
    action->AF2Max = 100;
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(action->DataCount(), 1);
    EXPECT_EQ(action->GetData(0).Value1, 640);
    EXPECT_EQ(action->GetData(0).Value3, 1); // sent and confirmed
    EXPECT_EQ(devices.Furnace2204->TargetSetpoint, 640);
    EXPECT_FALSE(session->RunLog().filter("New setpoint for Eurotherm 2204 COM5 ADDR:2 SP:640 RR:12").isEmpty());
    // The same values again: nothing is sent.
    devices.Furnace2204->TargetSetpoint = 1;
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(action->DataCount(), 2);
    EXPECT_EQ(action->GetData(1).Value3, 0);
    EXPECT_EQ(devices.Furnace2204->TargetSetpoint, 1);
}

TEST_F(ControllerRun, FlowReadingsAndSetpoints) {
    TMeasurementNode* gsc = AddNode(*m, "a gsc", "FL");
    gsc->Instrument = "MassFlowController GSC COM6 ADDR:1";
    TMeasurementNode* elflow = AddNode(*m, "b elflow", "FL");
    elflow->Instrument = "MassFlowController ELFLOW FLOWDDE ADDR:1";
    TMeasurementNode* set = AddNode(*m, "c set", "AU");
    set->AUType = "Flow";
    set->Instrument = "MassFlowController GSC COM6 ADDR:1";
    set->AM1Expression = "2.5";
    set->AM1Max = 4;
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(gsc->DataCount(), 1);
    EXPECT_FALSE(std::isnan(gsc->GetData(0).Value1));
    ASSERT_EQ(elflow->DataCount(), 1);
    EXPECT_FALSE(std::isnan(elflow->GetData(0).Value1));
    ASSERT_EQ(set->DataCount(), 1);
    EXPECT_EQ(set->GetData(0).Value1, 2.5);
    EXPECT_FLOAT_EQ(devices.Gsc1->Setpoint, 2.5f);
}

TEST_F(ControllerRun, FlowServerSetpointOnlyWhenNew) {
    TMeasurementNode* set = AddNode(*m, "elflow set", "AU");
    set->AUType = "Flow";
    set->Instrument = "MassFlowController ELFLOW FLOWDDE ADDR:2";
    set->AM1Expression = "42";
    set->AM1Max = 100;
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(set->DataCount(), 1);
    EXPECT_EQ(set->GetData(0).Value1, 42);
    EXPECT_EQ(set->GetData(0).Value3, 1); // sent
    {
        auto lock = lab.Lock();
        EXPECT_EQ(devices.FlowServer->Channels[2].Setpoint, 42);
        devices.FlowServer->Channels[2].Setpoint = 7;
    }
    ASSERT_TRUE(OneRun(*session)); // the same value: nothing is sent
    ASSERT_EQ(set->DataCount(), 2);
    EXPECT_EQ(set->GetData(1).Value3, 0);
    auto lock = lab.Lock();
    EXPECT_EQ(devices.FlowServer->Channels[2].Setpoint, 7);
}

TEST_F(ControllerRun, AFurnaceWriteThatDoesNotReadBackIsSentAgain) {
    TMeasurementNode* action = AddNode(*m, "too hot", "AU");
    action->AUType = "Furnace";
    action->Instrument = "Eurotherm 3208 COM5 ADDR:1";
    action->AF1Expression = "1300"; // above the controller's high limit of 1200
    action->AF2Expression = "10";
    action->AF1Max = 2000;
    action->AF2Max = 100;
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(action->DataCount(), 1);
    EXPECT_EQ(action->GetData(0).Value3, -1);
    EXPECT_FALSE(session->RunLog().filter("SP:1300 RR:10 Failed!").isEmpty());
    // The failed send asks for the values again; with the limit raised it is confirmed.
    {
        auto lock = lab.Lock();
        devices.Furnace3208->SetpointHighLimit = 1500;
    }
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(action->DataCount(), 2);
    EXPECT_EQ(action->GetData(1).Value3, 1);
    auto lock = lab.Lock();
    EXPECT_EQ(devices.Furnace3208->TargetSetpoint, 1300);
}

TEST_F(ControllerRun, ASegmentProgramAdvancesLineByLine) {
    TMeasurementNode* et = AddNode(*m, "oven", "ET");
    et->Instrument = "Eurotherm 2416 COM5 ADDR:3";
    et->SegmentProgram = "0 300 20\r\n0 450 30";
    ASSERT_TRUE(OneRun(*session));
    EXPECT_EQ(et->SegmentLine, 0);
    ASSERT_TRUE(OneRun(*session));
    EXPECT_EQ(et->SegmentLine, 1);
    EXPECT_EQ(et->SegmentSPPrev, 450);
    ASSERT_TRUE(OneRun(*session));
    EXPECT_FALSE(session->RunLog().filter("Segment program done, line index: 1").isEmpty());
    auto lock = lab.Lock();
    EXPECT_EQ(devices.Furnace2416->TargetSetpoint, 450);
    EXPECT_EQ(devices.Furnace2416->RampRate, 30);
}
