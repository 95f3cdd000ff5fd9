#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "enginetest.h"
#include "tavlo/folders.h"
#include "tavlo/userinteraction.h"
#include "tavlosim/simlab.h"
#include "testutil.h"

// A session on a validated setup over a simulated laboratory: the test's SetUp serves its
// devices in Lab and then calls StartSession.
class TLabSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        Scope = std::make_unique<TUserInteractionScope>(ui);
        SetDataFolder(dir.Path());
    }
    void StartSession() {
        lab.Start();
        lab.WritePortMap(dir.Path());
        session = std::make_unique<TTavloSession>();
        session->SetDeviceSetupID("4711");
        session->SetDevicesValidated(true);
        session->LastAutosave = Now();
    }
    void TearDown() override {
        session.reset();
        lab.Stop();
    }
    TTestFolder dir;
    TRecordingUserInteraction ui;
    std::unique_ptr<TUserInteractionScope> Scope;
    TSimLab lab;
    std::unique_ptr<TTavloSession> session;
};
