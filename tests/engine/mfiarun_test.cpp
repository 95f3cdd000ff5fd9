// Engine runs of impedance nodes on the analyser reached through its client library.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "enginetest.h"
#include "tavlo/folders.h"
#include "tavlo/userinteraction.h"
#include "tavlo/zhinst.h"
#include "testutil.h"

namespace {

const char* const KDeviceLine = "Imp.Spectrometer mf-dev1234 host 8004 API";

class AnalyserRun : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("TAVLO_ZISIM_SEQUENCE");
        unsetenv("TAVLO_ZISIM_FLAGS");
        setenv("TAVLO_ZISIM_SEED", "7", 1);
        Scope = std::make_unique<TUserInteractionScope>(ui);
        SetDataFolder(dir.Path());
        auto mfia = std::make_unique<TZHInst>();
        mfia->Serial = QStringLiteral("mf-dev1234");
        mfia->Port = QStringLiteral("8004");
        ASSERT_TRUE(mfia->APIWorks()) << mfia->LastError().toStdString();
        ASSERT_TRUE(mfia->Connect()) << mfia->LastError().toStdString();
        mfia->InitMFIA();
        ReplaceMFIAObject(std::move(mfia));
        session = std::make_unique<TTavloSession>();
        session->SetDeviceSetupID("4711");
        session->SetDevicesValidated(true);
        session->LastAutosave = Now();
    }
    void TearDown() override {
        session.reset();
        ReplaceMFIAObject(nullptr);
        unsetenv("TAVLO_ZISIM_SEED");
    }
    TTestFolder dir;
    TRecordingUserInteraction ui;
    std::unique_ptr<TUserInteractionScope> Scope;
    std::unique_ptr<TTavloSession> session;
};

// The simulated sample: 10 ohm in series with 1 kohm parallel to 100 nF.
double ExpectedR(double f) {
    const double w = 2 * M_PI * f, rc = 1000 * 1e-7;
    return 10 + 1000 / (1 + w * w * rc * rc);
}

} // namespace

TEST_F(AnalyserRun, AnImpedanceNodeReadsTheSampleAfterItsSettingsLines) {
    TMeasurement* m = AddMeasurement(*session, "Analyser");
    m->ImpTimeout = 20;
    TMeasurementNode* node = AddNode(*m, "ic", "IC");
    node->Instrument = KDeviceLine;
    node->Frequency = 1000;
    node->ACVoltage = 0.1;
    node->MFIARR = 0.01;
    node->GPIBBeforePoint = "/DEV1234/IMPS/0/DEMOD/RATE|<Double>| 20,0 | faster\r\n/DEV1234/IMPS/0/MODE|1";
    ASSERT_TRUE(OneRun(*session));
    ASSERT_EQ(node->DataCount(), 1);
    const TMeasurementResult p = node->GetData(0);
    EXPECT_NEAR(p.Value1, ExpectedR(1000), 0.02 * ExpectedR(1000));
    EXPECT_LT(p.Value2, 0); // capacitive
    EXPECT_EQ(p.Value3, 1000);
    const QStringList log = session->RunLog();
    EXPECT_FALSE(log.filter("ZAPI: /DEV1234/IMPS/0/DEMOD/RATE|<Double>| 20,0 | faster").isEmpty());
    EXPECT_FALSE(log.filter("ZAPI commands before measurement point had a faulty line skipped: "
                            "/DEV1234/IMPS/0/MODE|1").isEmpty());
    EXPECT_FALSE(log.filter("Subscribe  : /DEV1234/IMPS/0/SAMPLE 00000000").isEmpty());
    // The rate set by the settings line stays; the signal is off after the reading.
    TziAPI& api = MFIAObject()->API();
    EXPECT_EQ(api.GetNodeValue<double>("/dev1234/imps/0/demod/rate"), 20.0);
    EXPECT_EQ(api.GetNodeValue<qint64>("/dev1234/imps/0/output/on"), 0);
    EXPECT_EQ(api.GetNodeValue<qint64>("/dev1234/imps/0/enable"), 0);
}

TEST_F(AnalyserRun, AShortSweepHandsEachPointToTheMeasurement) {
    TMeasurement* m = AddMeasurement(*session, "Analyser sweep");
    m->ImpTimeout = 20;
    TMeasurementNode* sweep = AddNode(*m, "is", "IS");
    sweep->Instrument = KDeviceLine;
    sweep->ACVoltage = 0.1;
    sweep->MFIARR = 0;
    sweep->SweepStartHz = 100;
    sweep->SweepPoints = 3;
    sweep->SweepStep = 10;
    ASSERT_TRUE(OneRun(*session, 90000));
    ASSERT_EQ(sweep->DataCount(), 3);
    const double f[] = {100, 1000, 10000};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i);
        const TMeasurementResult p = sweep->GetData(i);
        EXPECT_EQ(p.Value3, f[i]);
        EXPECT_NEAR(p.Value1, ExpectedR(f[i]), 0.02 * ExpectedR(f[i]));
    }
    // The real part falls with frequency across the RC corner (1.6 kHz).
    EXPECT_GT(sweep->GetData(0).Value1, sweep->GetData(2).Value1 * 3);
    EXPECT_TRUE(sweep->SweepFinished);
    EXPECT_EQ(session->RunLog().filter("MeasureIC node, InstrumentID mf-dev").size(), 3);
}
