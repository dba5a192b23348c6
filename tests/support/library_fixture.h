#pragma once
// A library with its own configuration folder, registry and working folder,
// on the manual clock, shut down after each test.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/app.h"
#include "halcyra/halcyra.h"
#include "hcyplat/clock.h"
#include "hcyplat/guid.h"
#include "hcyplat/registry.h"
#include "support/test_support.h"

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = std::make_unique<hcytest::ScopedEnv>("XDG_CONFIG_HOME", dir_.path());
        cwd_ = std::make_unique<hcytest::ScopedCwd>(dir_.path());
        plat::UseManualClock();
        theApp.m_bRecvTimeoutSet = false;
        theApp.m_nHeartbeatTicks = 12;
        theApp.m_nRecvTimeoutTicks = 36;
        theApp.m_nMaxRecvValue = -1;
        theApp.m_nTickCount = 0;  // kept across hcyExit: tick schedules start afresh per test
    }

    void TearDown() override {
        hcyExit();
        plat::UseRealClock();
        plat::SetGuidSourceForTest({});
        cwd_.reset();
        home_.reset();
    }

    // Advances the manual clock by whole update ticks.
    static void Ticks(int n) {
        for (int i = 0; i < n; ++i) plat::AdvanceClock(CHalcyraApp::kTickPeriodMs);
    }

    std::string Error() const { return hcyGetLastError(); }

    // Writes Tervale.cfg into the working folder.
    void WriteConfig(const std::string& text) {
        hcytest::WriteFile(dir_.file("Tervale.cfg"), text);
    }

    hcytest::TempDir dir_;
    std::unique_ptr<hcytest::ScopedEnv> home_;
    std::unique_ptr<hcytest::ScopedCwd> cwd_;
};

// A library that has been started with hcyInit.
class RunningLibraryTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(hcyInit(0, "127.255.255.255"), 1) << Error();
    }
};
