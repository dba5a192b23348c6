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
#include "net/net_mgr.h"
#include "support/test_support.h"

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = std::make_unique<hcytest::ScopedEnv>("XDG_CONFIG_HOME", dir_.path());
        cwd_ = std::make_unique<hcytest::ScopedCwd>(dir_.path());
        plat::UseManualClock();
        hcy::Library().m_bRecvTimeoutSet = false;
        hcy::Library().m_nHeartbeatTicks = 12;
        hcy::Library().m_nRecvTimeoutTicks = 36;
        hcy::Library().m_nMaxRecvValue = -1;
        hcy::Library().m_nTickCount =
            0;  // kept across hcyExit: tick schedules start afresh per test
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

    // Moves the primary network off port 3000, where every test process's
    // library opens it at the start: what other tests' radios send there
    // would reach this test's radios.
    static bool OwnPrimaryPort() {
        const auto mgr = theApp.NetMgr();
        if (!mgr) return false;
        const std::uint32_t port = hcytest::FreeUdpPort();
        const auto before = mgr->GetSocketStatus(NET_PRIMARY).opens;
        if (hcySetNetworkPort(port) != 1) return false;
        return hcytest::WaitFor([&] {
            const auto status = mgr->GetSocketStatus(NET_PRIMARY);
            return status.open && status.port == port && status.opens > before;
        });
    }

    // Writes Tervale.cfg into the working folder.
    void WriteConfig(const std::string& text) {
        hcytest::WriteFile(dir_.file("Tervale.cfg"), text);
    }

    hcytest::TempDir dir_;
    std::unique_ptr<hcytest::ScopedEnv> home_;
    std::unique_ptr<hcytest::ScopedCwd> cwd_;
};

// A library that has been started with hcyInit, its primary network on a
// port of its own.
class RunningLibraryTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(hcyInit(0, "127.255.255.255"), 1) << Error();
        ASSERT_TRUE(OwnPrimaryPort());
    }
};
