// The update tick's schedule, the heartbeat and time-out settings, the
// dispatchers' mask rules, and exclusion between tables and their readers.
#include <cmath>
#include <thread>

#include "base/thread_kinds.h"
#include "hcyplat/thread.h"
#include "hcyplat/thread_boundary.h"
#include "support/library_fixture.h"
#include "support/stand_ins.h"

using hcytest::StandInDevice;
using hcytest::StandInInterphone;
using hcytest::StandInRadio;

namespace {

std::shared_ptr<StandInRadio> AddRadio(std::uint32_t mask = NET_PRIMARY) {
    auto radio = std::make_shared<StandInRadio>(mask);
    const int handle = theApp.AddRadio(radio, nullptr);
    radio->SetUserId(static_cast<std::uint32_t>(handle));
    return radio;
}

}  // namespace

TEST_F(LibraryTest, HeartbeatAndTimeoutConversions) {
    EXPECT_EQ(hcySetHeartbeat(0.3f), 1);
    EXPECT_EQ(hcy::Library().m_nHeartbeatTicks, 1);
    EXPECT_EQ(hcy::Library().m_nRecvTimeoutTicks, 3);  // 0.9 s from the first call

    // Below one tick: one tick (not off), and a time-out of three of them.
    hcy::Library().m_bRecvTimeoutSet = false;
    hcySetHeartbeat(0.1f);
    EXPECT_EQ(hcy::Library().m_nHeartbeatTicks, 1);
    EXPECT_EQ(hcy::Library().m_nRecvTimeoutTicks, 3);

    hcy::Library().m_bRecvTimeoutSet = false;
    hcySetHeartbeat(2.0f);
    hcySetHeartbeat(5.0f);
    EXPECT_EQ(hcy::Library().m_nHeartbeatTicks, 20);
    EXPECT_EQ(hcy::Library().m_nRecvTimeoutTicks, 24);

    hcySetRecvTimeout(0.1f);
    EXPECT_EQ(hcy::Library().m_nRecvTimeoutTicks, 1);

    hcy::Library().m_bRecvTimeoutSet = false;
    hcySetHeartbeat(0.0f);
    EXPECT_EQ(hcy::Library().m_nHeartbeatTicks, -1);
    EXPECT_EQ(hcy::Library().m_nRecvTimeoutTicks, 1);
}

TEST_F(LibraryTest, OutOfRangeSecondsAreDefined) {
    hcySetRecvTimeout(std::nanf(""));
    EXPECT_EQ(hcy::Library().m_nRecvTimeoutTicks, 1);
    hcySetRecvTimeout(-1.0f);  // the low 32 bits of -1000, divided
    EXPECT_EQ(hcy::Library().m_nRecvTimeoutTicks, static_cast<std::int32_t>(0xFFFFFC18u / 250));
    // Huge seconds saturate at the largest 64-bit count, whose low 32 bits
    // are all ones; huge negative ones at the smallest, whose are zero.
    hcySetHeartbeat(1e30f);
    EXPECT_EQ(hcy::Library().m_nHeartbeatTicks, static_cast<std::int32_t>(0xFFFFFFFFu / 250));
    hcySetHeartbeat(-1e30f);
    EXPECT_EQ(hcy::Library().m_nHeartbeatTicks, -1);
    hcySetHeartbeat(std::nanf(""));
    EXPECT_EQ(hcy::Library().m_nHeartbeatTicks, -1);
}

TEST_F(RunningLibraryTest, HeartbeatsSpreadOverThePeriod) {
    std::vector<std::shared_ptr<StandInRadio>> radios;
    for (int i = 0; i < 13; ++i) radios.push_back(AddRadio());
    auto interphone = std::make_shared<StandInInterphone>();
    theApp.AddInterphone(interphone);

    std::vector<int> perTick;
    int total = 0;
    for (int tick = 0; tick < 12; ++tick) {
        Ticks(1);
        int now = 0;
        for (auto& r : radios) now += r->heartbeats;
        perTick.push_back(now - total);
        total = now;
    }
    // 13 radios over 12 phases: one phase carries two.
    EXPECT_EQ(total, 13);
    EXPECT_EQ(std::count(perTick.begin(), perTick.end(), 2), 1);
    EXPECT_EQ(std::count(perTick.begin(), perTick.end(), 1), 11);
    for (auto& r : radios) EXPECT_EQ(r->heartbeats, 1);
    EXPECT_EQ(interphone->heartbeats, 1);
}

TEST_F(RunningLibraryTest, FiveRadiosUseFivePhasesAndOffMeansNone) {
    std::vector<std::shared_ptr<StandInRadio>> radios;
    for (int i = 0; i < 5; ++i) radios.push_back(AddRadio());
    Ticks(24);
    for (auto& r : radios) EXPECT_EQ(r->heartbeats, 2);

    hcySetHeartbeat(0.0f);
    Ticks(24);
    for (auto& r : radios) EXPECT_EQ(r->heartbeats, 2);

    hcySetHeartbeat(0.25f);  // one tick: everybody, every tick
    Ticks(3);
    for (auto& r : radios) EXPECT_EQ(r->heartbeats, 5);
}

TEST_F(RunningLibraryTest, DutiesFollowTheTickNumber) {
    auto radio = AddRadio();
    auto interphone = std::make_shared<StandInInterphone>();
    theApp.AddInterphone(interphone);
    radio->maxRecvValue = 42;
    hcySetRecvTimeout(1.5f);  // 6 ticks: apart from the dialogs' 4 and the paths' 2

    const std::uint32_t first = hcy::Library().m_nTickCount;
    const int n = 24;
    Ticks(n);
    int sweeps = 0, dialogs = 0, even = 0;
    for (std::uint32_t t = first; t < first + n; ++t) {
        sweeps += t % 6 == 0;
        dialogs += t % 4 == 0;
        even += t % 2 == 0;
    }
    EXPECT_EQ(sweeps, 4);
    EXPECT_EQ(radio->sweeps, sweeps);
    EXPECT_EQ(radio->dialogUpdates, dialogs);
    EXPECT_EQ(radio->pathUpdates, even);
    EXPECT_EQ(interphone->sweeps, even);
    std::int32_t value = 0;
    hcyGetRadioData(0, RD_MAX_RECV_VALUE, &value);
    EXPECT_EQ(value, 42);
}

// The update tick runs inside two boundaries: its own and the platform's
// around every timer callback. A fault in either loses one tick only.
TEST_F(RunningLibraryTest, AnExceptionInATickLosesThatTickOnly) {
    for (const char* what : {hcy::boundary::kUpdateTick, plat::kTimerCallback}) {
        SCOPED_TRACE(what);
        const std::uint32_t first = hcy::Library().m_nTickCount;
        plat::InjectThreadFaultForTest(what);
        Ticks(1);
        EXPECT_EQ(Error(), std::string("HCY ERROR: Error while ") + what + ": injected fault");
        EXPECT_EQ(hcy::Library().m_nTickCount, first);
        Ticks(2);
        EXPECT_EQ(hcy::Library().m_nTickCount, first + 2);
    }
}

TEST_F(RunningLibraryTest, DispatchersOfferPdusByMask) {
    auto signalPrimaryXmitSecondary = AddRadio(NET_SIGNAL_PRIMARY | NET_SECONDARY);
    auto both = AddRadio(NET_PRIMARY | NET_SECONDARY);
    auto loopback = AddRadio(NET_LOOPBACK);
    auto hla = AddRadio(NET_HLA);

    for (std::uint32_t source : {NET_PRIMARY, NET_SECONDARY, NET_LOOPBACK}) {
        theApp.DispatchTransmitterPdu(nullptr, 0, source);
        theApp.DispatchSignalPdu(nullptr, 0, source);
        theApp.DispatchEntityStatePdu(nullptr, 0, source);
    }
    EXPECT_EQ(signalPrimaryXmitSecondary->transmitterPdus, 1);  // secondary only
    EXPECT_EQ(signalPrimaryXmitSecondary->signalPdus, 1);       // primary only
    EXPECT_EQ(signalPrimaryXmitSecondary->entityStatePdus, 1);
    EXPECT_EQ(both->transmitterPdus, 2);
    EXPECT_EQ(both->signalPdus, 2);
    EXPECT_EQ(loopback->transmitterPdus, 1);
    EXPECT_EQ(loopback->signalPdus, 1);
    EXPECT_EQ(hla->transmitterPdus + hla->signalPdus, 0);

    theApp.DispatchHlaTransmitterUpdate(5, nullptr, 1);
    theApp.DispatchHlaSignal(nullptr, nullptr, 0, nullptr);
    theApp.ForEachHlaRadioRemoveObject(5);
    EXPECT_EQ(hla->hlaUpdates + hla->hlaSignals + hla->hlaRemovals, 3);
    EXPECT_EQ(both->hlaUpdates + both->hlaSignals + both->hlaRemovals, 0);

    hla->hlaHandle = 77;
    EXPECT_EQ(theApp.FindHlaRadio(77), hla);
    EXPECT_EQ(theApp.FindHlaRadio(78), nullptr);
}

TEST_F(RunningLibraryTest, InterphoneDispatchUsesTheSignalRuleForAudio) {
    auto station = std::make_shared<StandInInterphone>(NET_SIGNAL_SECONDARY | NET_PRIMARY);
    theApp.AddInterphone(station);
    for (std::uint32_t source : {NET_PRIMARY, NET_SECONDARY}) {
        theApp.DispatchIcsTransmitterPdu(nullptr, 0, source);
        theApp.DispatchIcsSignalPdu(nullptr, 0, source);
    }
    EXPECT_EQ(station->controlPdus, 1);
    EXPECT_EQ(station->audioPdus, 1);
}

TEST_F(RunningLibraryTest, DestroyAndCloseLetGoOfEverything) {
    auto radio = AddRadio();
    auto device = std::make_shared<StandInDevice>();
    device->SetHandle(theApp.TakeHandle());
    theApp.AddDevice(device);
    auto interphone = std::make_shared<StandInInterphone>();
    const int ics = theApp.AddInterphone(interphone);

    EXPECT_EQ(hcyCloseAudioDevice(device->GetHandle()), 1);
    EXPECT_EQ(radio->detaches, 1);
    EXPECT_EQ(device->closes, 1);
    EXPECT_EQ(hcyCloseAudioDevice(device->GetHandle()), 0);

    auto other = std::make_shared<StandInDevice>();
    other->SetHandle(theApp.TakeHandle());
    theApp.AddDevice(other);
    EXPECT_EQ(hcyDestroyComRadio(radio->GetUserId()), 1);
    EXPECT_EQ(radio->shutdowns, 1);
    EXPECT_EQ(other->radioPathsRemoved, 1);
    theApp.SetError("kept");
    EXPECT_EQ(hcyDestroyComRadio(radio->GetUserId()), 0);
    EXPECT_EQ(Error(), "HCY ERROR: kept");

    EXPECT_EQ(hcyDestroyInterphone(ics), 1);
    EXPECT_EQ(interphone->removed, 1);
    EXPECT_EQ(other->intercomPathsRemoved, 1);
    EXPECT_EQ(hcyDestroyInterphone(ics), 0);
}

TEST_F(RunningLibraryTest, ExitTearsDownEveryTable) {
    auto radio = AddRadio();
    auto device = std::make_shared<StandInDevice>();
    device->SetHandle(theApp.TakeHandle());
    theApp.AddDevice(device);
    auto interphone = std::make_shared<StandInInterphone>();
    theApp.AddInterphone(interphone);
    hcyExit();
    EXPECT_EQ(radio->shutdowns, 1);
    EXPECT_EQ(interphone->removed, 1);
    EXPECT_EQ(device->closes, 1);
    EXPECT_EQ(theApp.FindRadio(radio->GetUserId()), nullptr);
    EXPECT_EQ(theApp.FindDevice(device->GetHandle()), nullptr);
}

TEST_F(RunningLibraryTest, DestroyWaitsForADispatchInFlight) {
    auto radio = std::make_shared<hcytest::HoldingRadio>(NET_PRIMARY);
    const int h = theApp.AddRadio(radio, nullptr);
    radio->SetUserId(static_cast<std::uint32_t>(h));

    std::thread worker([] { theApp.DispatchSignalPdu(nullptr, 0, NET_PRIMARY); });
    ASSERT_TRUE(hcytest::WaitFor([&] { return radio->entered.load(); }));
    std::atomic<bool> destroyed{false};
    std::thread host([&] {
        hcyDestroyComRadio(h);
        destroyed = true;
    });
    // The destroy cannot finish while the dispatcher walks the table.
    EXPECT_FALSE(hcytest::WaitFor([&] { return destroyed.load(); }, std::chrono::milliseconds(50)));
    radio->Release();
    worker.join();
    host.join();
    EXPECT_TRUE(destroyed);
    EXPECT_EQ(radio->shutdowns, 1);
}

// Stand-ins that count what reaches them after they were let go of.
class LateCountingRadio : public StandInRadio {
public:
    using StandInRadio::StandInRadio;
    std::atomic<bool> down{false};
    std::atomic<int> late{0};
    void Shutdown() override {
        down = true;
        StandInRadio::Shutdown();
    }
    void OnSignalPdu(const SignalPdu* pdu, std::uint32_t length) override {
        late += down;
        StandInRadio::OnSignalPdu(pdu, length);
    }
    void OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length) override {
        late += down;
        StandInRadio::OnTransmitterPdu(pdu, length);
    }
    int Heartbeat() override {
        late += down;
        return StandInRadio::Heartbeat();
    }
};

class LateCountingInterphone : public StandInInterphone {
public:
    using StandInInterphone::StandInInterphone;
    std::atomic<int> late{0};
    void OnAudioPdu(const IcsSignalPdu* pdu, std::uint32_t length) override {
        late += removed.load();
        StandInInterphone::OnAudioPdu(pdu, length);
    }
};

TEST_F(RunningLibraryTest, TablesChangeSafelyUnderDispatchAndTick) {
    hcySetHeartbeat(0.25f);  // every radio every tick
    std::atomic<bool> stop{false};
    auto dispatch = [&](std::uint32_t source) {
        while (!stop) {
            theApp.DispatchTransmitterPdu(nullptr, 0, source);
            theApp.DispatchSignalPdu(nullptr, 0, source);
            theApp.DispatchEntityStatePdu(nullptr, 0, source);
            theApp.DispatchIcsSignalPdu(nullptr, 0, source);
            theApp.DispatchHlaSignal(nullptr, nullptr, 0, nullptr);
        }
    };
    std::thread a(dispatch, NET_PRIMARY), b(dispatch, NET_SECONDARY);
    std::thread ticker([&] {
        while (!stop) Ticks(1);
    });
    std::vector<std::shared_ptr<LateCountingRadio>> radios;
    std::vector<std::shared_ptr<LateCountingInterphone>> stations;
    std::vector<std::shared_ptr<StandInDevice>> devices;
    for (int i = 0; i < 200; ++i) {
        auto radio = std::make_shared<LateCountingRadio>(NET_PRIMARY | NET_SECONDARY | NET_HLA);
        radio->SetUserId(static_cast<std::uint32_t>(theApp.AddRadio(radio, nullptr)));
        auto station = std::make_shared<LateCountingInterphone>(NET_PRIMARY);
        const int ics = theApp.AddInterphone(station);
        auto device = std::make_shared<StandInDevice>();
        device->SetHandle(theApp.TakeHandle());
        theApp.AddDevice(device);
        // Each is in use by the dispatchers and the tick before it goes.
        ASSERT_TRUE(hcytest::WaitFor([&] {
            return radio->signalPdus > 0 && radio->heartbeats > 0 && station->audioPdus > 0;
        }));
        EXPECT_EQ(hcyCloseAudioDevice(device->GetHandle()), 1);
        EXPECT_EQ(hcyDestroyInterphone(ics), 1);
        EXPECT_EQ(hcyDestroyComRadio(radio->GetUserId()), 1);
        radios.push_back(radio);
        stations.push_back(station);
        devices.push_back(device);
    }
    stop = true;
    a.join();
    b.join();
    ticker.join();
    // Nothing was offered to what had been destroyed, everything went once.
    for (auto& r : radios) {
        EXPECT_EQ(r->late, 0);
        EXPECT_EQ(r->shutdowns, 1);
        EXPECT_EQ(theApp.FindRadio(r->GetUserId()), nullptr);
    }
    for (auto& s : stations) {
        EXPECT_EQ(s->late, 0);
        EXPECT_EQ(s->removed, 1);
    }
    for (auto& d : devices) EXPECT_EQ(d->closes, 1);
}
