// The network manager on real loopback sockets: the send router's roads by
// network flag, the receive road from datagram to dispatcher, the filter,
// port, destination, multicast and time-to-live settings, start-up failure
// and shut-down.
#include <atomic>
#include <filesystem>
#include <thread>

#include "net/receive_road.h"
#include "net_fixture.h"
#include "pdu_samples.h"

using namespace nettest;
using namespace hcy::net;
using namespace hcy::net::test;

namespace {

// Whole PDUs in host order and as they travel.
struct Samples {
    Bytes txHost = Concat(BytesOf(SampleTransmitter()), SampleModulationParameters());
    Bytes txWire = Concat(SampleTransmitterWire(), SampleModulationParameters());
    Bytes sigHost = Concat(BytesOf(SampleSignal()), SampleSignalAudio());
    Bytes sigWire = Concat(SampleSignalWire(), SampleSignalAudio());
    Bytes rxHost = BytesOf(SampleReceiver());
    Bytes rxWire = SampleReceiverWire();
    Bytes esWire = SampleEntityStateWire();
    Bytes icsTxHost = BytesOf(SampleIcsTransmitter());
    Bytes icsTxWire = SampleIcsTransmitterWire();
    Bytes icsSigHost = Concat(BytesOf(SampleIcsSignal()), SampleIcsSignalAudio());
    Bytes icsSigWire = Concat(SampleIcsSignalWire(), SampleIcsSignalAudio());
};

Bytes Prefix(const Bytes& bytes, std::size_t n) { return Bytes(bytes.begin(), bytes.begin() + n); }

std::size_t ThreadCount() {
    // A sanitizer's runtime starts a thread of its own with the first thread
    // the process creates; let that happen before anything is counted.
    static const bool warmedUp = (std::thread([] {}).join(), true);
    (void)warmedUp;
    std::size_t n = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++n;
    return n;
}

// Datagrams at `peer` up to and including `sentinel`.
std::vector<Bytes> UpTo(Peer& peer, const Bytes& sentinel) {
    std::vector<Bytes> got;
    while (auto d = peer.Receive()) {
        got.push_back(*d);
        if (*d == sentinel) break;
    }
    return got;
}

}  // namespace

class SendRouterTest : public NetTest {
protected:
    Samples s;
};

TEST_F(SendRouterTest, FlagsChooseTheNetworksAndPdusLeaveInNetworkOrder) {
    const std::uint16_t secondaryPort = hcytest::FreeUdpPort();
    ASSERT_TRUE(MovePort(2, secondaryPort));
    Peer primary(primaryPort_), secondary(secondaryPort);

    struct Case {
        std::uint32_t flags;
        bool txPrimary, txSecondary, sigPrimary, sigSecondary;
    };
    const Case cases[] = {
        {NET_PRIMARY | NET_SECONDARY, true, true, true, true},
        {NET_SIGNAL_PRIMARY | NET_PRIMARY, true, false, true, false},
        {NET_SIGNAL_SECONDARY | NET_PRIMARY, true, false, false, true},
        {NET_SIGNAL_PRIMARY, false, false, true, false},
        {NET_SECONDARY, false, true, false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flags);
        ASSERT_TRUE(Send(s.txHost, c.flags));
        ASSERT_TRUE(Send(s.sigHost, c.flags));
        ASSERT_TRUE(Send(s.rxHost, NET_PRIMARY | NET_SECONDARY));  // sentinel on both

        std::vector<Bytes> wantPrimary, wantSecondary;
        if (c.txPrimary) wantPrimary.push_back(s.txWire);
        if (c.sigPrimary) wantPrimary.push_back(s.sigWire);
        if (c.txSecondary) wantSecondary.push_back(s.txWire);
        if (c.sigSecondary) wantSecondary.push_back(s.sigWire);
        wantPrimary.push_back(s.rxWire);
        wantSecondary.push_back(s.rxWire);
        EXPECT_EQ(UpTo(primary, s.rxWire), wantPrimary);
        EXPECT_EQ(UpTo(secondary, s.rxWire), wantSecondary);
    }
}

TEST_F(SendRouterTest, InterphonePdusFollowTheSameRules) {
    Peer primary(primaryPort_);
    ASSERT_TRUE(Send(s.icsTxHost, NET_PRIMARY));
    ASSERT_TRUE(Send(s.icsSigHost, NET_SIGNAL_PRIMARY));
    ASSERT_TRUE(Send(s.icsSigHost, NET_SIGNAL_SECONDARY | NET_PRIMARY));  // secondary: closed
    ASSERT_TRUE(Send(s.rxHost, NET_PRIMARY));
    EXPECT_EQ(UpTo(primary, s.rxWire), (std::vector<Bytes>{s.icsTxWire, s.icsSigWire, s.rxWire}));
}

TEST_F(SendRouterTest, LoopbackReachesLocalListenersWithSourceFourOnly) {
    auto loopback = AddRadio(NET_LOOPBACK);
    auto primaryOnly = AddRadio(NET_PRIMARY);
    auto signalLoopback = AddRadio(NET_PRIMARY | (NET_LOOPBACK << 16));
    auto station = AddInterphone(NET_LOOPBACK);
    Peer primary(primaryPort_);

    for (const Bytes* pdu : {&s.txHost, &s.sigHost, &s.icsTxHost, &s.icsSigHost, &s.rxHost})
        ASSERT_TRUE(Send(*pdu, NET_LOOPBACK));
    ASSERT_TRUE(Send(s.rxHost, NET_PRIMARY));

    // Nothing of it went on the wire.
    EXPECT_EQ(UpTo(primary, s.rxWire), std::vector<Bytes>{s.rxWire});
    ASSERT_TRUE(hcytest::WaitFor([&] { return loopback->count() == 2 && station->heard().size() == 2; }));
    ASSERT_TRUE(hcytest::WaitFor([&] { return signalLoopback->count() == 1; }));

    // Back in host order, with the length it had.
    auto heard = loopback->heard();
    std::sort(heard.begin(), heard.end(), [](auto& a, auto& b) { return a.type < b.type; });
    EXPECT_EQ(heard[0].type, PDU_TYPE_TRANSMITTER);
    EXPECT_EQ(heard[0].bytes, s.txHost);
    EXPECT_EQ(heard[1].type, PDU_TYPE_SIGNAL);
    EXPECT_EQ(heard[1].bytes, s.sigHost);
    EXPECT_EQ(signalLoopback->heard()[0].type, PDU_TYPE_SIGNAL);

    auto calls = station->heard();
    std::sort(calls.begin(), calls.end(), [](auto& a, auto& b) { return a.type < b.type; });
    EXPECT_EQ(calls[0].bytes, s.icsTxHost);
    EXPECT_EQ(calls[1].bytes, s.icsSigHost);

    // Nothing receives a Receiver PDU, looped back or not.
    ASSERT_TRUE(Settle());
    EXPECT_EQ(primaryOnly->count(), 0u);
    EXPECT_EQ(loopback->count(), 2u);
}

TEST_F(SendRouterTest, RequestsThatDoNotHoldTheirPduAreRefused) {
    Peer primary(primaryPort_);
    Bytes unknown = s.rxHost;
    unknown[2] = std::byte{99};
    Bytes entityState = s.esWire;  // never sent, whatever the flags

    EXPECT_TRUE(Send(s.txHost, NET_PRIMARY, 0));
    EXPECT_TRUE(Send(s.txHost, NET_PRIMARY, 65536));
    EXPECT_TRUE(Send(s.txHost, NET_PRIMARY, static_cast<std::uint32_t>(s.txHost.size() + 1)));
    EXPECT_TRUE(Send(Prefix(s.txHost, 103), NET_PRIMARY));
    EXPECT_TRUE(Send(Prefix(s.sigHost, 31), NET_PRIMARY | NET_HLA));
    EXPECT_TRUE(Send(Prefix(s.rxHost, 35), NET_PRIMARY));
    EXPECT_TRUE(Send(Prefix(s.icsTxHost, 39), NET_PRIMARY));
    EXPECT_TRUE(Send(Prefix(s.icsSigHost, 37), NET_PRIMARY));
    EXPECT_TRUE(Send(Bytes(2), NET_PRIMARY));
    EXPECT_TRUE(Send(unknown, NET_PRIMARY));
    EXPECT_TRUE(Send(entityState, NET_PRIMARY | NET_LOOPBACK));
    EXPECT_TRUE(mgr_->Post(hcy::WM_NETMGR_SEND_PDU, 0, 0));
    EXPECT_TRUE(mgr_->Post(hcy::WM_NETMGR_SEND_PDU, 0, 0, plat::MakePayload<int>(5)));
    // A request shorter than its PDU sends what it names.
    EXPECT_TRUE(Send(s.txHost, NET_PRIMARY, 104));
    EXPECT_TRUE(Send(s.rxHost, NET_PRIMARY));

    EXPECT_EQ(UpTo(primary, s.rxWire), (std::vector<Bytes>{Prefix(s.txWire, 104), s.rxWire}));
}

TEST_F(SendRouterTest, ManagerTakesNoPostsOnceStopped) {
    hcyExit();
    EXPECT_FALSE(mgr_->IsRunning());
    EXPECT_FALSE(Send(s.txHost, NET_PRIMARY));  // the failed post frees the payload
    EXPECT_EQ(hcySetNetworkPort(primaryPort_), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Tervale has not been initialized");
}

// ---------------------------------------------------------------------------

class ReceiveRoadTest : public NetTest {
protected:
    Samples s;
};

TEST_F(ReceiveRoadTest, DatagramsReachTheDispatchersInHostOrderByTheirSource) {
    const std::uint16_t secondaryPort = hcytest::FreeUdpPort();
    ASSERT_TRUE(MovePort(2, secondaryPort));
    auto primaryOnly = AddRadio(NET_PRIMARY);
    auto secondaryOnly = AddRadio(NET_SECONDARY);
    auto both = AddRadio(NET_PRIMARY | NET_SECONDARY);
    auto xmitSecondarySignalPrimary = AddRadio(NET_SIGNAL_PRIMARY | NET_SECONDARY);
    auto station = AddInterphone(NET_PRIMARY | NET_SECONDARY);
    Peer primary(primaryPort_), secondary(secondaryPort);

    primary.Send(s.txWire);
    secondary.Send(s.sigWire);
    primary.Send(s.sigWire);
    primary.Send(s.icsTxWire);
    secondary.Send(s.icsSigWire);

    ASSERT_TRUE(hcytest::WaitFor([&] {
        return both->count() == 3 && station->heard().size() == 2 && primaryOnly->count() == 2 &&
               secondaryOnly->count() == 1 && xmitSecondarySignalPrimary->count() == 1;
    }));
    auto heard = primaryOnly->heard();
    std::sort(heard.begin(), heard.end(), [](auto& a, auto& b) { return a.type < b.type; });
    EXPECT_EQ(heard[0].type, PDU_TYPE_TRANSMITTER);
    EXPECT_EQ(heard[0].bytes, s.txHost);  // whole datagram, host order
    EXPECT_EQ(heard[1].bytes, s.sigHost);
    EXPECT_EQ(secondaryOnly->heard()[0].bytes, s.sigHost);
    EXPECT_EQ(xmitSecondarySignalPrimary->heard()[0].type, PDU_TYPE_SIGNAL);

    auto calls = station->heard();
    std::sort(calls.begin(), calls.end(), [](auto& a, auto& b) { return a.type < b.type; });
    EXPECT_EQ(calls[0].bytes, s.icsTxHost);
    EXPECT_EQ(calls[1].bytes, s.icsSigHost);
}

TEST_F(ReceiveRoadTest, UnwantedDatagramsAreDroppedAndReceptionGoesOn) {
    auto radio = AddRadio(NET_PRIMARY);
    auto station = AddInterphone(NET_PRIMARY);
    Peer primary(primaryPort_);

    Bytes unknown = s.txWire;
    unknown[2] = std::byte{99};
    Bytes oversize(9000);
    oversize[2] = std::byte{PDU_TYPE_SIGNAL};
    primary.Send(Bytes{});
    primary.Send(Prefix(s.sigWire, 31));
    primary.Send(Prefix(s.txWire, 103));
    primary.Send(Prefix(s.icsTxWire, 39));
    primary.Send(Prefix(s.icsSigWire, 37));
    primary.Send(s.rxWire);
    primary.Send(s.esWire);  // no radio is attached to an entity
    primary.Send(unknown);
    primary.Send(oversize);
    for (std::size_t n = 1; n < 32; ++n) {  // short noise
        Bytes noise(n, std::byte{static_cast<unsigned char>(n * 37)});
        if (n > 2) noise[2] = std::byte{200};
        primary.Send(noise);
    }
    // The shortest PDUs that pass, after all of that.
    primary.Send(Prefix(s.sigWire, 32));
    primary.Send(Prefix(s.txWire, 104));
    primary.Send(Prefix(s.icsTxWire, 40));
    primary.Send(Prefix(s.icsSigWire, 38));

    ASSERT_TRUE(hcytest::WaitFor([&] { return radio->count() == 2 && station->heard().size() == 2; }));
    for (auto& h : radio->heard()) {
        if (h.type == PDU_TYPE_SIGNAL) EXPECT_EQ(h.bytes, Prefix(s.sigHost, 32));
        else EXPECT_EQ(h.bytes, Prefix(s.txHost, 104));
    }

    // Entity State passes once some radio is attached to an entity.
    theApp.m_bAcceptEntityState = true;
    primary.Send(Prefix(s.esWire, 143));
    primary.Send(s.esWire);
    ASSERT_TRUE(hcytest::WaitFor([&] { return radio->count() == 3; }));
    theApp.m_bAcceptEntityState = false;
    const Heard es = radio->heard().back();
    EXPECT_EQ(es.type, PDU_TYPE_ENTITY_STATE);
    Bytes expected(s.esWire.size());
    ASSERT_EQ(EntityStatePduToHost(s.esWire, expected), 144u);
    EXPECT_EQ(es.bytes, expected);
    EXPECT_EQ(radio->heard().size(), 3u);
}

TEST_F(ReceiveRoadTest, ReopeningUnderTrafficKeepsOneReaderPerSocket) {
    auto radio = AddRadio(NET_PRIMARY);
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        Peer peer(primaryPort_);
        while (!stop) peer.Send(s.sigWire);
    });
    for (int i = 0; i < 50; ++i) ASSERT_TRUE(Settle());
    stop = true;
    sender.join();
    const auto before = radio->count();
    Peer peer(primaryPort_);
    peer.Send(s.txWire);
    ASSERT_TRUE(hcytest::WaitFor([&] {
        for (auto& h : radio->heard())
            if (h.type == PDU_TYPE_TRANSMITTER) return true;
        return false;
    }));
    EXPECT_GE(radio->count(), before + 1);
}

// ---------------------------------------------------------------------------

class NetSettingsTest : public NetTest {
protected:
    Samples s;
};

TEST_F(NetSettingsTest, ConfiguredPortWinsAndSecondaryPortZeroCloses) {
    const std::uint16_t configured = hcytest::FreeUdpPort();
    WriteConfig("[Network]\nPrimPort=" + std::to_string(configured) + "\n");
    ASSERT_TRUE(MovePort(1, hcytest::FreeUdpPort(), configured));
    auto radio = AddRadio(NET_PRIMARY | NET_SECONDARY);
    {
        Peer sender(configured);
        sender.Send(s.txWire);
        ASSERT_TRUE(hcytest::WaitFor([&] { return radio->count() == 1; }));
    }
    Peer primary(configured);

    const std::uint16_t secondaryPort = hcytest::FreeUdpPort();
    ASSERT_TRUE(MovePort(2, secondaryPort));
    Peer secondary(secondaryPort);
    hcySetSecondaryPort(0);
    ASSERT_TRUE(hcytest::WaitFor([&] { return !mgr_->GetSocketStatus(2).open; }));
    ASSERT_TRUE(Send(s.sigHost, NET_PRIMARY | NET_SECONDARY));
    ASSERT_TRUE(Send(s.rxHost, NET_PRIMARY));
    EXPECT_EQ(UpTo(primary, s.rxWire), (std::vector<Bytes>{s.sigWire, s.rxWire}));
    EXPECT_FALSE(secondary.Receive(std::chrono::milliseconds(100)));
}

TEST_F(NetSettingsTest, DestinationsSendAtOnceAndBindAtTheNextOpen) {
    EXPECT_EQ(mgr_->GetSocketStatus(1).boundAddress, kLoopbackBroadcast);
    Peer unicast(primaryPort_, kLoopback);

    hcySetSubNet(NET_PRIMARY, "127.0.0.1");
    ASSERT_TRUE(Send(s.rxHost, NET_PRIMARY));
    EXPECT_EQ(unicast.Receive(), s.rxWire);
    EXPECT_EQ(mgr_->GetSocketStatus(1).boundAddress, kLoopbackBroadcast);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(mgr_->GetSocketStatus(1).boundAddress, kLoopback);
    EXPECT_EQ(mgr_->GetSocketStatus(2).destination, "127.255.255.255");

    // A null text keeps the destination; any network but 2 is the primary.
    mgr_->Post(hcy::WM_NETMGR_SET_BROADCAST_ADDRESS, 1, 0);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(mgr_->GetSocketStatus(1).destination, "127.0.0.1");
    mgr_->Post(hcy::WM_NETMGR_SET_BROADCAST_ADDRESS, 7, 0,
               plat::MakePayload<std::string>("127.255.255.255"));
    ASSERT_TRUE(Settle());
    EXPECT_EQ(mgr_->GetSocketStatus(1).destination, "127.255.255.255");

    // The configured destination wins over what is asked for.
    WriteConfig("[Network]\nPrimBroadcast=127.0.0.1\n");
    hcySetSubNet(NET_PRIMARY, "127.255.255.255");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(mgr_->GetSocketStatus(1).destination, "127.0.0.1");
    WriteConfig("");

    // An empty destination binds to any address (it would send to the
    // limited broadcast address; nothing is sent here).
    hcySetSubNet(NET_PRIMARY, "");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(mgr_->GetSocketStatus(1).boundAddress, kAnyAddress);
    EXPECT_EQ(mgr_->GetSocketStatus(1).boundPort, primaryPort_);
}

TEST_F(NetSettingsTest, MulticastJoinsTheGroupWithItsTimeToLive) {
    if (!OnlyLoopbackInterface()) GTEST_SKIP() << "multicast only inside a namespace with lo alone";
    const Ipv4 group = 0xEF010203;  // 239.1.2.3
    hcySetSubNet(NET_PRIMARY, "239.1.2.3");
    ASSERT_TRUE(Settle());
    auto status = mgr_->GetSocketStatus(1);
    EXPECT_TRUE(status.joinedGroup);
    EXPECT_EQ(status.boundAddress, kAnyAddress);
    EXPECT_EQ(status.multicastTtl, 25);
    EXPECT_TRUE(status.multicastLoop);

    // The time-to-live takes effect at the next open.
    hcySetMulticastTTL(NET_PRIMARY, 7);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(mgr_->GetSocketStatus(1).multicastTtl, 7);

    auto radio = AddRadio(NET_PRIMARY);
    Peer member(primaryPort_);
    ASSERT_TRUE(member.JoinGroup(group));
    ASSERT_TRUE(Send(s.rxHost, NET_PRIMARY));
    EXPECT_EQ(member.Receive(), s.rxWire);
    member.Send(s.txWire, group);
    ASSERT_TRUE(hcytest::WaitFor([&] { return radio->count() == 1; }));

    // A configured local address binds there and joins no group.
    WriteConfig("[Network]\nBindAdx=127.0.0.1\n");
    ASSERT_TRUE(Settle());
    status = mgr_->GetSocketStatus(1);
    EXPECT_FALSE(status.joinedGroup);
    EXPECT_EQ(status.boundAddress, kLoopback);
}

TEST_F(NetSettingsTest, HeartbeatMessageGoesOutOncePerPeriod) {
    hcySetHeartbeat(1.0f);  // 4 ticks
    const std::uint32_t first = theApp.m_nTickCount;
    const std::uint32_t before = mgr_->HeartbeatsHandled();
    Ticks(12);
    std::uint32_t expected = 0;
    for (std::uint32_t t = first; t < first + 12; ++t) expected += t % 4 == 0;
    EXPECT_TRUE(hcytest::WaitFor([&] { return mgr_->HeartbeatsHandled() == before + expected; }));
}

TEST_F(NetSettingsTest, HlaRequestsWithoutAFederationChangeNothing) {
    for (plat::UINT m = hcy::WM_NETMGR_HLA_REGISTER_OBJECT; m <= hcy::WM_NETMGR_HLA_REQUEST_UPDATE; ++m)
        EXPECT_TRUE(mgr_->Post(m, 1, 0x1FFFFF, plat::MakePayload<int>(1)));
    ASSERT_TRUE(Settle());
    EXPECT_EQ(mgr_->HlaState(), HLA_STATE_NONE);
    auto radio = AddRadio(NET_LOOPBACK);
    ASSERT_TRUE(Send(s.txHost, NET_LOOPBACK));
    EXPECT_TRUE(hcytest::WaitFor([&] { return radio->count() == 1; }));
}

// ---------------------------------------------------------------------------

TEST_F(LibraryTest, FailedPrimarySocketFailsInitAtOnceAndLeavesNothingRunning) {
    const std::size_t threads = ThreadCount();
    hcy::net::FailNextSocketCreations(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hcyInit(0, "127.255.255.255"), 0);
    // Well inside the 30 s that a silent manager would be given.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(Error(), "HCY ERROR: Timed out waiting for net manager to initialize.\n");
    EXPECT_EQ(theApp.NetMgr(), nullptr);
    EXPECT_FALSE(theApp.IsInitialized());
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(hcySetNetworkPort(4000), 0);

    ASSERT_EQ(hcyInit(0, "127.255.255.255"), 1) << Error();
    EXPECT_TRUE(theApp.NetMgr()->GetSocketStatus(1).open);
    hcyExit();
    EXPECT_EQ(ThreadCount(), threads);
}

TEST_F(LibraryTest, ExitJoinsEveryThreadItStarted) {
    const std::size_t threads = ThreadCount();
    ASSERT_EQ(hcyInit(0, "127.255.255.255"), 1) << Error();
    auto mgr = theApp.NetMgr();
    hcySetSecondaryPort(hcytest::FreeUdpPort());
    ASSERT_TRUE(hcytest::WaitFor([&] { return mgr->GetSocketStatus(2).open; }));
    // Manager, two workers, two receive threads.
    EXPECT_EQ(ThreadCount(), threads + 5);
    hcyExit();
    EXPECT_EQ(ThreadCount(), threads);
    EXPECT_EQ(mgr->SignalWorkerId(), 0u);
    EXPECT_FALSE(mgr->GetSocketStatus(1).open);
    EXPECT_FALSE(mgr->GetSocketStatus(2).open);
}

// Radios and interphones come and go while datagrams arrive on both
// networks, the send router loops PDUs back and the tick runs: the tables'
// lock keeps every dispatcher off objects being destroyed.
TEST_F(ReceiveRoadTest, ListenersComeAndGoUnderTrafficAndTicks) {
    Samples samples;
    const std::uint16_t secondaryPort = hcytest::FreeUdpPort();
    ASSERT_TRUE(MovePort(2, secondaryPort));
    std::atomic<bool> stop{false};
    auto flood = [&](std::uint16_t port) {
        Peer peer(port);
        while (!stop) {
            peer.Send(samples.sigWire);
            peer.Send(samples.txWire);
            peer.Send(samples.icsSigWire);
            peer.Send(samples.icsTxWire);
        }
    };
    std::thread primary(flood, primaryPort_), secondary(flood, secondaryPort);
    std::thread looper([&] {
        while (!stop) {
            Send(samples.sigHost, NET_LOOPBACK);
            Send(samples.icsTxHost, NET_LOOPBACK);
        }
    });
    std::thread ticker([&] {
        while (!stop) Ticks(1);
    });
    std::size_t heard = 0;
    for (int i = 0; i < 200; ++i) {
        auto radio = AddRadio<hcytest::StandInRadio>(NET_PRIMARY | NET_SECONDARY | NET_LOOPBACK);
        auto station = std::make_shared<hcytest::StandInInterphone>(NET_PRIMARY | NET_LOOPBACK);
        const int ics = theApp.AddInterphone(station);
        if (i % 20 == 0)
            hcytest::WaitFor([&] { return radio->signalPdus > 0; }, std::chrono::seconds(2));
        hcyDestroyInterphone(ics);
        hcyDestroyComRadio(radio->GetUserId());
        heard += static_cast<std::size_t>(radio->signalPdus + radio->transmitterPdus);
    }
    stop = true;
    primary.join();
    secondary.join();
    looper.join();
    ticker.join();
    EXPECT_GT(heard, 0u);
}
