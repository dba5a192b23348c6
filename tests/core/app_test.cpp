// Lifecycle, last error, version, identifiers, device lists.
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "hcyplat/sound_devices.h"
#include "hcyplat/timer.h"
#include "hcyplat/virtual_sound.h"
#include "hcyplat/window.h"
#include "net/net_mgr.h"
#include "support/app_access.h"
#include "support/library_fixture.h"
#include "support/stand_ins.h"

using hcytest::StandInInterphone;
using hcytest::StandInRadio;

TEST_F(LibraryTest, LastErrorKeepsPrefixAndSurvivesSuccess) {
    theApp.SetError(nullptr);
    EXPECT_EQ(Error(), "HCY ERROR: ");
    EXPECT_EQ(hcyCreateComRadio(0, 0, 0, 0, 0), -1);
    EXPECT_EQ(Error(), "HCY ERROR: Tervale has not been initialized");
    // A success does not clear it.
    EXPECT_EQ(hcySetCaptureSize(-1, 64), 1);
    EXPECT_EQ(Error(), "HCY ERROR: Tervale has not been initialized");
    // Only a successful hcyInit empties it, without the prefix.
    ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
    EXPECT_EQ(Error(), "");
}

TEST_F(LibraryTest, LastErrorCopyBelongsToTheCallingThread) {
    theApp.SetError("first");
    const char* mine = hcyGetLastError();
    std::string seenByOther;
    std::thread other([&] {
        theApp.SetError("second");
        seenByOther = hcyGetLastError();
    });
    other.join();
    EXPECT_STREQ(mine, "HCY ERROR: first");  // still valid and unchanged
    EXPECT_EQ(seenByOther, "HCY ERROR: second");
    EXPECT_EQ(Error(), "HCY ERROR: second");
}

TEST_F(LibraryTest, InitExitAndInitAgain) {
    const std::uint32_t ticksBefore = hcy::Library().m_nTickCount;
    ASSERT_EQ(hcyInit(0, "127.255.255.255"), 1);
    EXPECT_TRUE(theApp.IsInitialized());
    EXPECT_EQ(theApp.TakeHandle(), 1);
    EXPECT_EQ(hcyOpenAudioDevice(99, nullptr, nullptr), -1);  // a failed open uses a number up
    EXPECT_EQ(theApp.TakeHandle(), 3);
    Ticks(3);
    EXPECT_EQ(hcy::Library().m_nTickCount - ticksBefore, 3u);

    EXPECT_EQ(hcyExit(), 1);
    EXPECT_FALSE(theApp.IsInitialized());
    EXPECT_EQ(theApp.NetMgr(), nullptr);
    EXPECT_EQ(hcyExit(), 1);
    Ticks(2);  // no tick without the library running
    EXPECT_EQ(hcy::Library().m_nTickCount - ticksBefore, 3u);

    ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
    EXPECT_EQ(theApp.TakeHandle(), 1);  // handles restart
    Ticks(1);
    EXPECT_EQ(hcy::Library().m_nTickCount - ticksBefore, 4u);  // the tick count does not
}

TEST_F(LibraryTest, InitWhileRunningKeepsManagerTimerAndHandles) {
    ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
    auto manager = theApp.NetMgr();
    EXPECT_EQ(theApp.TakeHandle(), 1);
    theApp.SetError("stale");
    const plat::HWND window = plat::CreateMessageWindow();
    ASSERT_EQ(hcyInit(window, "127.0.0.1"), 1);
    EXPECT_EQ(theApp.NetMgr(), manager);
    EXPECT_EQ(theApp.TakeHandle(), 2);
    EXPECT_EQ(hcy::Library().m_hMsgWnd.load(), window);
    EXPECT_EQ(Error(), "");
    const std::uint32_t before = hcy::Library().m_nTickCount;
    Ticks(1);
    EXPECT_EQ(hcy::Library().m_nTickCount - before, 1u);  // still one timer
    plat::DestroyMessageWindow(window);
}

TEST_F(LibraryTest, NetworkManagerRunsAtTimeCriticalPriorityAndStopsWithExit) {
    ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
    auto manager = theApp.NetMgr();
    ASSERT_NE(manager, nullptr);
    EXPECT_EQ(manager->Priority(), plat::THREAD_PRIORITY_TIME_CRITICAL);
    EXPECT_TRUE(manager->IsRunning());
    hcyExit();
    EXPECT_FALSE(manager->IsRunning());
}

TEST_F(LibraryTest, TimerFailureLeavesNothingRunning) {
    plat::FailNextTimerCreations(1);
    EXPECT_EQ(hcyInit(0, "127.0.0.1"), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Setting update timer failed.\n");
    EXPECT_FALSE(theApp.IsInitialized());
    EXPECT_EQ(theApp.NetMgr(), nullptr);
    EXPECT_EQ(hcyInit(0, "127.0.0.1"), 1);
}

TEST_F(LibraryTest, NoWindowAtAllFailsInit) {
    const plat::HWND desktop = plat::GetDesktopWindow();
    plat::SetDesktopWindowForTest(0);
    EXPECT_EQ(hcyInit(0, "127.0.0.1"), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Could not find a window handle.");
    EXPECT_FALSE(theApp.IsInitialized());
    plat::SetDesktopWindowForTest(desktop);
    const plat::HWND window = plat::CreateMessageWindow();
    EXPECT_EQ(hcyInit(window, "127.0.0.1"), 1);
    EXPECT_EQ(hcy::Library().m_hWnd.load(), window);
    plat::DestroyMessageWindow(window);
}

TEST_F(RunningLibraryTest, RadioActivityGoesToTheLibraryWindowOnlyOnceNamed) {
    // hcyInit(0, ...) used the desktop for sound but names no message window.
    EXPECT_NE(hcy::Library().m_hWnd.load(), 0u);
    EXPECT_EQ(theApp.PostToMsgWnd(WM_CLIENT_RADIO_ACTIVITY, 1, 1), 0);

    const plat::HWND window = plat::CreateMessageWindow();
    EXPECT_EQ(hcySetMsgWnd(0, window), 1);
    EXPECT_EQ(theApp.PostToMsgWnd(WM_CLIENT_RADIO_ACTIVITY, 7, 1), 1);
    plat::WindowMessage m;
    ASSERT_TRUE(plat::PeekWindowMessage(window, m));
    EXPECT_EQ(m.message, 0x500u);
    EXPECT_EQ(m.wParam, 7u);
    EXPECT_EQ(m.lParam, 1);

    auto interphone = std::make_shared<StandInInterphone>();
    const int ics = theApp.AddInterphone(interphone);
    EXPECT_EQ(hcySetMsgWnd(ics, window), 0);
    EXPECT_EQ(Error(), "HCY ERROR: SetMsgWnd error. Invalid radio handle.\n");

    auto radio = std::make_shared<StandInRadio>();
    const int h = theApp.AddRadio(radio, nullptr);
    radio->SetUserId(static_cast<std::uint32_t>(h));
    EXPECT_EQ(hcySetMsgWnd(h, window), 1);
    EXPECT_EQ(radio->msgWnd.load(), window);
    plat::DestroyMessageWindow(window);
}

TEST_F(LibraryTest, VersionAndCopyright) {
    std::uint32_t version = 0xFFFFFFFF;
    EXPECT_STREQ(hcyGetHCYVersion(&version), "Version 1.0.0");
    EXPECT_EQ(version, 0x010000u);
    EXPECT_STREQ(hcyGetHCYVersion(nullptr), "Version 1.0.0");
    EXPECT_NE(std::strstr(hcyGetHCYCopyright(), "Halcyra"), nullptr);
}

// Each thread reads its own copies: texts another thread is reading at the
// same time are never rewritten under it.
TEST_F(LibraryTest, VersionAndCopyrightBelongToTheCallingThread) {
    const char* version = hcyGetHCYVersion(nullptr);
    const char* copyright = hcyGetHCYCopyright();
    std::vector<std::thread> others;
    for (int t = 0; t < 4; ++t)
        others.emplace_back([] {
            for (int i = 0; i < 200; ++i) {
                EXPECT_STREQ(hcyGetHCYVersion(nullptr), "Version 1.0.0");
                EXPECT_NE(std::strstr(hcyGetHCYCopyright(), "Halcyra"), nullptr);
            }
        });
    for (int i = 0; i < 200; ++i) {
        EXPECT_STREQ(version, "Version 1.0.0");
        EXPECT_NE(std::strstr(copyright, "Halcyra"), nullptr);
    }
    for (auto& t : others) t.join();
}

TEST_F(LibraryTest, EntityIdentifiersComeFromTheGuidOrTheConfiguration) {
    plat::SetGuidSourceForTest([] {
        plat::GUID g{};
        g.Data1 = 0xAAAABBBB;
        g.Data2 = 0xCCCC;
        return g;
    });
    hcy::net::EntityId id = theApp.DefaultEntityId();
    EXPECT_EQ(id.site, 0xBBBB);
    EXPECT_EQ(id.application, 0xAAAA);
    EXPECT_EQ(id.entity, 0xCCCC);

    WriteConfig("[DIS_IDs]\r\nSiteID=5\r\n");
    id = theApp.DefaultEntityId();
    EXPECT_EQ(id.site, 5);
    EXPECT_EQ(id.application, 0xAAAA);
    EXPECT_EQ(id.entity, 0xCCCC);

    WriteConfig("[DIS_IDs]\nSiteID=70001\nHostID=-1\nEntityID=0\n");
    id = theApp.DefaultEntityId();
    EXPECT_EQ(id.site, 70001 & 0xFFFF);  // low 16 bits
    EXPECT_EQ(id.application, 0xAAAA);
    EXPECT_EQ(id.entity, 0);
}

TEST_F(RunningLibraryTest, SetEntityIdDefaultsEachZeroFieldAlone) {
    plat::SetGuidSourceForTest([] {
        plat::GUID g{};
        g.Data1 = 0x00020001;
        g.Data2 = 3;
        return g;
    });
    auto radio = std::make_shared<StandInRadio>();
    const int h = theApp.AddRadio(radio, nullptr);
    radio->SetUserId(static_cast<std::uint32_t>(h));
    EXPECT_EQ(hcySetEntityID(h, 0, 7, 0, 0), 1);
    EXPECT_EQ(radio->site, 1);
    EXPECT_EQ(radio->application, 7);
    EXPECT_EQ(radio->entity, 3);
    EXPECT_EQ(radio->radioNumber, h);
    EXPECT_EQ(hcySetEntityID(h + 100, 1, 2, 3, 4), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Invalid radio handle sent to SetEntityID.");
}

class DeviceListTest : public LibraryTest {
protected:
    static plat::GUID Guid(std::uint32_t n) {
        plat::GUID g{};
        g.Data1 = n;
        return g;
    }
    void SetUp() override {
        LibraryTest::SetUp();
        plat::ClearSoundEndpoints();
    }
    void TearDown() override {
        LibraryTest::TearDown();
        plat::ClearSoundEndpoints();
    }
};

TEST_F(DeviceListTest, DuplicateDescriptionsGetNumbers) {
    for (std::uint32_t n = 1; n <= 3; ++n)
        plat::RegisterSoundEndpoint(plat::EndpointKind::Output, "Speakers", Guid(n));
    ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
    char name[64];
    HCYGUID guid;
    std::vector<std::string> names;
    int more = hcyGetOutputDevices(1, name, 63, &guid);
    names.push_back(name);
    while (more) {
        more = hcyGetOutputDevices(0, name, 63, &guid);
        names.push_back(name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"Speakers", "Speakers (2)", "Speakers (3)"}));
    EXPECT_EQ(guid.Data1, 3u);

    // Past the end: the message, and the outputs stay untouched.
    std::strcpy(name, "untouched");
    EXPECT_EQ(hcyGetOutputDevices(0, name, 63, &guid), 0);
    EXPECT_EQ(Error(), "HCY ERROR: There are no compatible output devices present.");
    EXPECT_STREQ(name, "untouched");
}

TEST_F(DeviceListTest, OneDeviceAndShortNameBuffer) {
    plat::RegisterSoundEndpoint(plat::EndpointKind::Capture, "Twenty characters ok", Guid(9));
    ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
    char name[8];
    std::memset(name, 'x', sizeof name);
    HCYGUID guid;
    // Before any first call the cursor is at no entry.
    EXPECT_EQ(hcyGetCaptureDevices(0, name, 5, &guid), 0);
    EXPECT_EQ(Error(), "HCY ERROR: There are no compatible input devices present.");
    // One device: delivered, and 0 because it is the last.
    EXPECT_EQ(hcyGetCaptureDevices(1, name, 5, &guid), 0);
    EXPECT_EQ(std::string(name, 6), std::string("Twent\0", 6));
    EXPECT_EQ(name[6], 'x');
    EXPECT_EQ(guid.Data1, 9u);
    EXPECT_EQ(hcyGetCaptureDevices(0, name, 5, &guid), 0);
    EXPECT_EQ(Error(), "HCY ERROR: There are no compatible input devices present.");
    // Bad buffers are refused without writing.
    EXPECT_EQ(hcyGetCaptureDevices(1, nullptr, 5, &guid), 0);
    EXPECT_EQ(hcyGetCaptureDevices(1, name, -1, &guid), 0);
    EXPECT_EQ(hcyGetCaptureDevices(1, name, 5, nullptr), 0);
}

TEST_F(DeviceListTest, WaveInputListEndsWithAMessage) {
    plat::RegisterSoundEndpoint(plat::EndpointKind::WaveIn, "Line In", Guid(1));
    plat::RegisterSoundEndpoint(plat::EndpointKind::WaveIn, "Microphone", Guid(2));
    char name[32];
    std::uint32_t id = 99;
    // Before any first call the cursor is at no entry.
    EXPECT_EQ(hcyGetInputDevices(0, name, 31, &id), 0);
    EXPECT_EQ(Error(), "HCY ERROR: There are no compatible input devices present.");
    EXPECT_EQ(id, 99u);
    EXPECT_EQ(hcyGetInputDevices(1, name, 31, &id), 1);
    EXPECT_STREQ(name, "Line In");
    EXPECT_EQ(id, 0u);
    EXPECT_EQ(hcyGetInputDevices(0, name, 31, &id), 0);
    EXPECT_STREQ(name, "Microphone");
    EXPECT_EQ(id, 1u);
    EXPECT_EQ(hcyGetInputDevices(0, name, 31, &id), 0);
    EXPECT_EQ(Error(), "HCY ERROR: There are no compatible input devices present.");
    EXPECT_EQ(id, 1u);
}

TEST_F(DeviceListTest, NoDevicesAtAll) {
    ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
    char name[8];
    HCYGUID guid;
    std::uint32_t id;
    EXPECT_EQ(hcyGetOutputDevices(1, name, 7, &guid), 0);
    EXPECT_EQ(Error(), "HCY ERROR: There are no compatible output devices present.");
    EXPECT_EQ(hcyGetInputDevices(1, name, 7, &id), 0);
    EXPECT_EQ(Error(), "HCY ERROR: There are no compatible input devices present.");
}

// ---------------------------------------------------------------------------
// Shut-down against threads that do not let go, and creates that race it.

namespace {

// The shut-down bound for one test.
struct ShortStopLimit {
    std::chrono::milliseconds old = CHalcyraAppTestAccess::StopLimit();
    explicit ShortStopLimit(std::chrono::milliseconds limit) {
        CHalcyraAppTestAccess::SetStopLimit(limit);
    }
    ~ShortStopLimit() { CHalcyraAppTestAccess::SetStopLimit(old); }
};

}  // namespace

TEST_F(LibraryTest, ExitGivesUpOnAStuckDispatcherWithinItsBound) {
    ShortStopLimit limit(std::chrono::milliseconds(200));
    ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
    auto radio = std::make_shared<hcytest::HoldingRadio>(NET_PRIMARY);
    const int handle = theApp.AddRadio(radio, nullptr);
    radio->SetUserId(static_cast<std::uint32_t>(handle));
    std::weak_ptr<CNetMgr> manager = theApp.NetMgr();
    // A Signal PDU on the manager's own worker, held inside the radio.
    std::vector<std::byte> signal(32);
    signal[2] = std::byte{26};
    ASSERT_TRUE(manager.lock()->DispatchReceived(26, signal, NET_PRIMARY));
    ASSERT_TRUE(hcytest::WaitFor([&] { return radio->entered.load(); }));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hcyExit(), 1);
    // One bound for the tables and the manager, not one each, nor a second
    // wait when the manager goes.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(Error(), "HCY ERROR: Timed out waiting for net manager to stop.\n");
    EXPECT_FALSE(theApp.IsInitialized());
    EXPECT_EQ(theApp.NetMgr(), nullptr);
    EXPECT_FALSE(manager.expired());  // its thread keeps it
    EXPECT_EQ(hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 0), -1);
    EXPECT_EQ(Error(), "HCY ERROR: Tervale has not been initialized");
    EXPECT_EQ(hcyExit(), 1);  // nothing left to wait for

    // Released, the manager ends on its own and frees itself.
    radio->Release();
    EXPECT_TRUE(hcytest::WaitFor([&] { return manager.expired(); }));
    // The next start tears down what the held tables kept.
    EXPECT_EQ(radio->shutdowns, 0);
    ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
    EXPECT_EQ(radio->shutdowns, 1);
    EXPECT_EQ(theApp.FindRadio(handle), nullptr);
    EXPECT_EQ(CHalcyraAppTestAccess::TableSizes(), (std::array<std::size_t, 3>{0, 0, 0}));
}

TEST_F(LibraryTest, CreatesRacingExitFailOrGoWithTheRest) {
    plat::vsnd::RemoveAllEndpoints();
    plat::vsnd::OutputEndpointConfig out;
    out.sink = std::make_shared<plat::vsnd::MemorySink>();
    const plat::GUID speakers = plat::vsnd::CreateOutputEndpoint(out).guid;
    const auto mic = plat::vsnd::CreateInputEndpoint(plat::vsnd::InputEndpointConfig{});
    const auto* output = reinterpret_cast<const HCYGUID*>(&speakers);

    for (int round = 0; round < 20; ++round) {
        ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
        std::atomic<bool> stop{false};
        std::atomic<int> made{0};
        std::vector<int> handles;
        std::thread creator([&] {
            while (!stop) {
                const int radio = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 0);
                const int device = hcyOpenAudioDeviceSimple(mic.waveInId, output);
                const int station = theApp.AddInterphone(std::make_shared<StandInInterphone>());
                for (int h : {radio, device, station})
                    if (h > 0) handles.push_back(h);
                made += radio > 0;
            }
        });
        // A radio is never seen in the table without its handle as user id.
        std::thread watcher([&] {
            while (!stop)
                CHalcyraAppTestAccess::ForEachRadio(
                    [](CRadioModel& r) { EXPECT_GT(r.GetUserId(), 0); });
        });
        ASSERT_TRUE(hcytest::WaitFor([&] { return made > round % 3; }));
        hcyExit();
        stop = true;
        creator.join();
        watcher.join();
        // Nothing outlived the shut-down, and the microphone was let go.
        EXPECT_EQ(CHalcyraAppTestAccess::TableSizes(), (std::array<std::size_t, 3>{0, 0, 0}));
        for (int h : handles) EXPECT_EQ(theApp.FindRadio(h), nullptr);
        EXPECT_FALSE(plat::vsnd::IsEndpointOpen(mic.guid));
    }
    // Handles start again, and name only what was made since.
    ASSERT_EQ(hcyInit(0, "127.0.0.1"), 1);
    const int first = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 0);
    EXPECT_EQ(first, 1);
    EXPECT_EQ(CHalcyraAppTestAccess::TableSizes(), (std::array<std::size_t, 3>{1, 0, 0}));
    plat::vsnd::RemoveAllEndpoints();
}
