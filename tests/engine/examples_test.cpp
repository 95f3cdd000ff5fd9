// The simulated laboratory's example measurements, written, loaded and run by the engine
// against the laboratory that tavlo-sim serves.
#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>

#include <cmath>
#include <complex>
#include <memory>

#include "labsession.h"
#include "tavlo/measurementfile.h"
#include "tavlosim/examples.h"
#include "tavlosim/modbuslab.h"
#include "tavlosim/simanalysers.h"
#include "tavlosim/simmeters.h"
#include "tavlosim/standardlab.h"

namespace {

int AddressOf(const TMeasurementNode& node) {
    const auto m = QRegularExpression(QStringLiteral("ADDR:(\\d+)")).match(node.Instrument);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

class Examples : public TLabSessionTest {
protected:
    void SetUp() override {
        TLabSessionTest::SetUp();
        QString error;
        ASSERT_TRUE(BuildStandardLab(lab, standard, &error)) << error.toStdString();
        ASSERT_TRUE(BuildModbusLab(lab, modbus, &error)) << error.toStdString();
        ASSERT_TRUE(WriteServiceMap(dir.Path(), TModbusLab::FlowService, modbus.FlowServerPort, &error))
            << error.toStdString();
        StartSession();
        // The session's setup ID, so that the examples are fit to run.
        ASSERT_TRUE(WriteExampleMeasurements(dir.Path(), "4711", &error)) << error.toStdString();
        paths = ExampleMeasurementPaths(dir.Path());
    }
    TMeasurement* Open(int example) {
        TLoadOptions options;
        options.AskActive = false;
        return LoadMeasurement(paths.value(example), session->MeasurementsList, options);
    }
    void Runs(int count, int milliseconds = 60000) {
        for (int run = 0; run < count; ++run)
            ASSERT_TRUE(OneRun(*session, milliseconds)) << "run " << run + 1;
    }
    TStandardLab standard;
    TModbusLab modbus;
    QStringList paths;
};

} // namespace

TEST_F(Examples, ThreeMeasurementFilesForTheLaboratory) {
    ASSERT_EQ(paths.size(), 3);
    const QStringList types[] = {{"ET", "M4"}, {"IS", "IC"}, {"AU", "FL", "AU"}};
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(QFile::exists(paths[i])) << paths[i].toStdString();
        EXPECT_TRUE(paths[i].startsWith(dir.Path("Measurements/Examples/")));
        TMeasurement* m = Open(i);
        ASSERT_NE(m, nullptr) << paths[i].toStdString();
        EXPECT_EQ(m->DeviceSetup(), "4711");
        EXPECT_TRUE(m->Active);
        ASSERT_EQ(m->NodeCount(), types[i].size());
        for (int n = 0; n < m->NodeCount(); ++n) {
            EXPECT_EQ(m->NodeInOrder(n)->NodeType, types[i][n]) << paths[i].toStdString() << " " << n;
            EXPECT_TRUE(m->NodeInOrder(n)->Active);
        }
    }
    // Written again, a changed copy is replaced.
    QFile changed(paths[0]);
    ASSERT_TRUE(changed.open(QIODevice::WriteOnly | QIODevice::Truncate));
    changed.write("not a measurement");
    changed.close();
    QString error;
    ASSERT_TRUE(WriteExampleMeasurements(dir.Path(), "0", &error));
    QFile rewritten(paths[0]);
    ASSERT_TRUE(rewritten.open(QIODevice::ReadOnly));
    EXPECT_TRUE(rewritten.readAll().contains("DeviceSetup = '0'"));
    // A data folder that is a file: a clear message, nothing written.
    dir.Write("plain", "x");
    EXPECT_FALSE(WriteExampleMeasurements(dir.Path("plain"), "0", &error));
    EXPECT_TRUE(error.contains(dir.Path("plain/Measurements/Examples"))) << error.toStdString();
}

TEST_F(Examples, FourWireResistanceWhileTheFurnaceFollowsItsProgram) {
    TMeasurement* m = Open(0);
    ASSERT_NE(m, nullptr);
    TMeasurementNode* furnace = m->NodeInOrder(0);
    TMeasurementNode* sample = m->NodeInOrder(1);
    ASSERT_EQ(AddressOf(*furnace), 1); // the 3208 of the furnace line
    ASSERT_EQ(AddressOf(*sample), TStandardLab::KeithleyAddress);
    Runs(2);
    // The first line set the ramp rate at room temperature, the second started the ramp.
    EXPECT_EQ(furnace->SegmentLine, 1);
    EXPECT_EQ(furnace->SegmentSPPrev, 300);
    {
        auto lock = lab.Lock();
        EXPECT_EQ(modbus.Furnace3208->TargetSetpoint, 300);
        EXPECT_EQ(modbus.Furnace3208->RampRate, 60);
    }
    // Ten minutes later the third line is due.
    furnace->FAM -= 11.0 / (24 * 60);
    Runs(1);
    EXPECT_EQ(furnace->SegmentLine, 2);
    {
        auto lock = lab.Lock();
        EXPECT_EQ(modbus.Furnace3208->TargetSetpoint, 450);
    }
    ASSERT_EQ(furnace->DataCount(), 3);
    EXPECT_NEAR(furnace->GetData(0).Value1, 25, 2); // room temperature
    EXPECT_EQ(furnace->GetData(1).Value2, 25);      // the first line's setpoint
    // Read before the third line was sent: the working setpoint is on its way to 300.
    EXPECT_GT(furnace->GetData(2).Value2, 25);
    EXPECT_LT(furnace->GetData(2).Value2, 300);
    EXPECT_GT(furnace->GetData(2).Value1, furnace->GetData(0).Value1);
    // The four-wire reading leaves out the leads' 0.25 ohm.
    ASSERT_EQ(sample->DataCount(), 3);
    for (const TMeasurementResult& p : sample->Points())
        EXPECT_NEAR(p.Value1, 100, 0.05);
    auto lock = lab.Lock();
    EXPECT_TRUE(standard.Keithley->Received.contains("FUNC 'FRES'"));
}

TEST_F(Examples, ImpedanceSweepFollowsTheSample) {
    TMeasurement* m = Open(1);
    ASSERT_NE(m, nullptr);
    TMeasurementNode* sweep = m->NodeInOrder(0);
    TMeasurementNode* single = m->NodeInOrder(1);
    const auto hioki =
        std::dynamic_pointer_cast<TSimHioki3522>(standard.Adapter->Instrument(AddressOf(*sweep)));
    ASSERT_TRUE(hioki) << sweep->Instrument.toStdString();
    Runs(1, 120000);
    EXPECT_TRUE(sweep->SweepFinished);
    ASSERT_EQ(sweep->DataCount(), sweep->SweepPoints);
    ASSERT_GE(sweep->SweepPoints, 5);
    ASSERT_EQ(single->DataCount(), 1);
    TSimRcSample sample;
    {
        auto lock = lab.Lock();
        sample = hioki->Sample;
    }
    std::vector<TMeasurementResult> points = sweep->Points();
    points.push_back(single->GetData(0));
    double f = sweep->SweepStartHz;
    for (size_t i = 0; i < points.size(); ++i) {
        const double expected = i + 1 < points.size() ? f : single->Frequency;
        const TMeasurementResult& p = points[i];
        EXPECT_NEAR(p.Value3, expected, expected * 1e-6) << i;
        const std::complex<double> z = sample.Impedance(expected);
        EXPECT_NEAR(p.Value1, z.real(), std::abs(z) * 0.01) << expected << " Hz";
        EXPECT_NEAR(p.Value2, z.imag(), std::abs(z) * 0.01) << expected << " Hz";
        f *= sweep->SweepStep;
    }
    EXPECT_NEAR(points[sweep->SweepPoints - 1].Value3, sweep->SweepEndHz, 1e-6);
}

TEST_F(Examples, FlowRampAndTheSupplyThatFollowsIt) {
    TMeasurement* m = Open(2);
    ASSERT_NE(m, nullptr);
    TMeasurementNode* setpoint = m->NodeInOrder(0);
    TMeasurementNode* flow = m->NodeInOrder(1);
    TMeasurementNode* supply = m->NodeInOrder(2);
    ASSERT_EQ(setpoint->AUType, "Flow");
    ASSERT_EQ(supply->AUType, "GPIB");
    const auto source =
        std::dynamic_pointer_cast<TSimScpiMeter>(standard.Adapter->Instrument(AddressOf(*supply)));
    ASSERT_TRUE(source && source->Model == TSimScpiMeter::AgilentE3642A) << supply->Instrument.toStdString();
    Runs(3);
    // The setpoint follows the run index: 0.5 at index 0 (the first two runs), then 1.
    const double ramp[] = {0.5, 0.5, 1.0};
    ASSERT_EQ(setpoint->DataCount(), 3);
    ASSERT_EQ(flow->DataCount(), 3);
    ASSERT_EQ(supply->DataCount(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_DOUBLE_EQ(setpoint->GetData(i).Value1, ramp[i]) << i;
        EXPECT_FLOAT_EQ(static_cast<float>(flow->GetData(i).Value2), static_cast<float>(ramp[i])) << i;
        EXPECT_DOUBLE_EQ(supply->GetData(i).Value1, ramp[i]) << i;
    }
    // A run later the flow has settled on the setpoint.
    EXPECT_NEAR(flow->GetData(1).Value1, 0.5, 0.05);
    {
        auto lock = lab.Lock();
        EXPECT_FLOAT_EQ(modbus.Gsc1->Setpoint, 1.0f);
        EXPECT_TRUE(source->Received.contains("SOUR:VOLT 0.500"));
        EXPECT_TRUE(source->Received.contains("SOUR:VOLT 1.000"));
        EXPECT_DOUBLE_EQ(source->SourceVoltage, 1.0);
        EXPECT_TRUE(source->OutputOn);
    }
}
