// The network manager on real loopback sockets: the send router's roads by
// network flag, the receive road from datagram to dispatcher, the filter,
// port, destination, multicast and time-to-live settings, start-up failure
// and shut-down; and the receive road's filter and routing without sockets.
#include <atomic>
#include <filesystem>
#include <map>
#include <thread>

#include <unistd.h>

#include "net/receive_road.h"
#include "net_fixture.h"

using namespace nettest;

namespace {

// A joined thread's kernel task can still be listed for a moment after the
// join returns (the join wakes when the thread clears its id, before the
// kernel reaps it), so counts are waited for.
std::size_t ThreadCount() {
    // A sanitizer's runtime starts a thread of its own with the first thread
    // the process creates; let that happen, and the warm-up thread's task
    // go, before anything is counted.
    static const bool warmedUp = [] {
        pid_t task = 0;
        std::thread([&] { task = gettid(); }).join();
        const std::string listed = "/proc/self/task/" + std::to_string(task);
        return hcytest::WaitFor([&] { return !std::filesystem::exists(listed); });
    }();
    EXPECT_TRUE(warmedUp);
    const std::filesystem::directory_iterator tasks("/proc/self/task");
    return static_cast<std::size_t>(std::distance(begin(tasks), end(tasks)));
}

bool ThreadsAt(std::size_t count) {
    return hcytest::WaitFor([&] { return ThreadCount() == count; }, std::chrono::seconds(5));
}

}  // namespace

class SendRouterTest : public NetTest {};
class ReceiveRoadTest : public NetTest {};
class NetSettingsTest : public NetTest {};

// Transmitter and interphone control PDUs follow bits 0 and 1; audio follows
// bits 16 and 17 when any of bits 16 to 23 is set.
TEST_F(SendRouterTest, FlagsChooseTheNetworksAndPdusLeaveInNetworkOrder) {
    const std::uint16_t secondaryPort = hcytest::FreeUdpPort();
    ASSERT_TRUE(MovePort(2, secondaryPort));
    Peer primary(primaryPort_), secondary(secondaryPort);
    struct Case {
        std::uint32_t flags;
        bool controlPrimary, controlSecondary, audioPrimary, audioSecondary;
    };
    for (const Case& c : {Case{NET_PRIMARY | NET_SECONDARY, true, true, true, true},
                          Case{NET_SIGNAL_PRIMARY | NET_PRIMARY, true, false, true, false},
                          Case{NET_SIGNAL_SECONDARY | NET_PRIMARY, true, false, false, true},
                          Case{NET_SIGNAL_PRIMARY, false, false, true, false},
                          Case{NET_SECONDARY, false, true, false, true}}) {
        SCOPED_TRACE(c.flags);
        std::vector<Bytes> wantPrimary, wantSecondary;
        for (const auto& [host, wire, audio] : {std::tuple{&s.txHost, &s.txWire, false},
                                                {&s.sigHost, &s.sigWire, true},
                                                {&s.icsTxHost, &s.icsTxWire, false},
                                                {&s.icsSigHost, &s.icsSigWire, true}}) {
            ASSERT_TRUE(Send(*host, c.flags));
            if (audio ? c.audioPrimary : c.controlPrimary) wantPrimary.push_back(*wire);
            if (audio ? c.audioSecondary : c.controlSecondary) wantSecondary.push_back(*wire);
        }
        ASSERT_TRUE(Send(s.rxHost, NET_PRIMARY | NET_SECONDARY));  // sentinel on both
        wantPrimary.push_back(s.rxWire);
        wantSecondary.push_back(s.rxWire);
        EXPECT_EQ(primary.UpTo(s.rxWire), wantPrimary);
        EXPECT_EQ(secondary.UpTo(s.rxWire), wantSecondary);
    }
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
    EXPECT_EQ(primary.UpTo(s.rxWire), std::vector<Bytes>{s.rxWire});  // nothing went on the wire
    ASSERT_TRUE(hcytest::WaitFor([&] {
        return loopback->count() == 2 && station->count() == 2 && signalLoopback->count() == 1;
    }));

    // Back in host order, with the length it had.
    const auto heard = loopback->sorted();
    EXPECT_EQ(heard[0].type, PDU_TYPE_TRANSMITTER);
    EXPECT_EQ(heard[0].bytes, s.txHost);
    EXPECT_EQ(heard[1].bytes, s.sigHost);
    EXPECT_EQ(signalLoopback->heard()[0].type, PDU_TYPE_SIGNAL);
    const auto calls = station->sorted();
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
    const std::tuple<Bytes, std::uint32_t, std::optional<std::uint32_t>> refused[] = {
        {s.txHost, NET_PRIMARY, 0},
        {s.txHost, NET_PRIMARY, 65536},
        {s.txHost, NET_PRIMARY, static_cast<std::uint32_t>(s.txHost.size() + 1)},
        {Prefix(s.txHost, 103), NET_PRIMARY, {}},
        {Prefix(s.sigHost, 31), NET_PRIMARY | NET_HLA, {}},
        {Prefix(s.rxHost, 35), NET_PRIMARY, {}},
        {Prefix(s.icsTxHost, 39), NET_PRIMARY, {}},
        {Prefix(s.icsSigHost, 37), NET_PRIMARY, {}},
        {Bytes(2), NET_PRIMARY, {}},
        {unknown, NET_PRIMARY, {}},
        {s.esWire, NET_PRIMARY | NET_LOOPBACK, {}},  // Entity State is never sent
    };
    for (const auto& [pdu, flags, length] : refused) EXPECT_TRUE(Send(pdu, flags, length));
    EXPECT_TRUE(mgr_->Post(hcy::WM_NETMGR_SEND_PDU, 0, 0));
    EXPECT_TRUE(mgr_->Post(hcy::WM_NETMGR_SEND_PDU, 0, 0, plat::MakePayload<int>(5)));
    // A request shorter than its PDU sends what it names.
    EXPECT_TRUE(Send(s.txHost, NET_PRIMARY, 104));
    EXPECT_TRUE(Send(s.rxHost, NET_PRIMARY));
    EXPECT_EQ(primary.UpTo(s.rxWire), (std::vector<Bytes>{Prefix(s.txWire, 104), s.rxWire}));
}

// ---------------------------------------------------------------------------

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
        return both->count() == 3 && station->count() == 2 && primaryOnly->count() == 2 &&
               secondaryOnly->count() == 1 && xmitSecondarySignalPrimary->count() == 1;
    }));
    const auto heard = primaryOnly->sorted();
    EXPECT_EQ(heard[0].type, PDU_TYPE_TRANSMITTER);
    EXPECT_EQ(heard[0].bytes, s.txHost);  // whole datagram, host order
    EXPECT_EQ(heard[1].bytes, s.sigHost);
    EXPECT_EQ(secondaryOnly->heard()[0].bytes, s.sigHost);
    EXPECT_EQ(xmitSecondarySignalPrimary->heard()[0].type, PDU_TYPE_SIGNAL);
    const auto calls = station->sorted();
    EXPECT_EQ(calls[0].bytes, s.icsTxHost);
    EXPECT_EQ(calls[1].bytes, s.icsSigHost);
}

// Guards against the end of a transmission overtaking its last Signal PDU
// on the other worker (the last block was then dropped): a sender unkeys
// microseconds after its last block, and the radio's audio handling is slow.
TEST_F(ReceiveRoadTest, EachTransmittersPdusReachItsRadiosInArrivalOrder) {
    struct SlowAudioRadio : RecordingRadio {
        using RecordingRadio::RecordingRadio;
        void OnSignalPdu(const SignalPdu* pdu, std::uint32_t length) override {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            RecordingRadio::OnSignalPdu(pdu, length);
        }
    };
    auto radio = AddRadio<SlowAudioRadio>(NET_LOOPBACK);
    auto withEntity = [](Bytes pdu, std::uint8_t entity, std::uint8_t state = 0) {
        pdu[17] = static_cast<std::byte>(entity);
        if (pdu[2] == std::byte{PDU_TYPE_TRANSMITTER}) pdu[28] = static_cast<std::byte>(state);
        return pdu;
    };
    constexpr int kTransmitters = 4, kRounds = 5;
    for (int round = 0; round < kRounds; ++round)
        for (std::uint8_t e = 1; e <= kTransmitters; ++e) {
            ASSERT_TRUE(mgr_->DispatchReceived(PDU_TYPE_TRANSMITTER, withEntity(s.txWire, e, 2),
                                               NET_LOOPBACK));
            for (int block = 0; block < 2; ++block)
                ASSERT_TRUE(mgr_->DispatchReceived(PDU_TYPE_SIGNAL, withEntity(s.sigWire, e),
                                                   NET_LOOPBACK));
            ASSERT_TRUE(mgr_->DispatchReceived(PDU_TYPE_TRANSMITTER, withEntity(s.txWire, e, 0),
                                               NET_LOOPBACK));
        }
    ASSERT_TRUE(hcytest::WaitFor(
        [&] { return radio->count() == std::size_t{kTransmitters * kRounds * 4}; }));
    std::map<std::uint16_t, std::string> order;  // entity -> T(on) S S t(off) ...
    for (const Heard& h : radio->heard()) {
        RadioId id;
        std::memcpy(&id, h.bytes.data() + 12, sizeof id);
        order[id.entityId.entity] += h.type == PDU_TYPE_SIGNAL                ? 'S'
                                     : std::to_integer<int>(h.bytes[28]) == 2 ? 'T'
                                                                              : 't';
    }
    ASSERT_EQ(order.size(), std::size_t{kTransmitters});
    for (const auto& [entity, got] : order) {
        SCOPED_TRACE(entity);
        std::string want;
        for (int round = 0; round < kRounds; ++round) want += "TSSt";
        EXPECT_EQ(got, want);
    }
}

TEST_F(ReceiveRoadTest, UnwantedDatagramsAreDroppedAndReceptionGoesOn) {
    auto radio = AddRadio(NET_PRIMARY);
    auto station = AddInterphone(NET_PRIMARY);
    Peer primary(primaryPort_);

    Bytes unknown = s.txWire;
    unknown[2] = std::byte{99};
    Bytes oversize(9000);
    oversize[2] = std::byte{PDU_TYPE_SIGNAL};
    for (const Bytes& d : {Bytes{}, Prefix(s.sigWire, 31), Prefix(s.txWire, 103),
                           Prefix(s.icsTxWire, 39), Prefix(s.icsSigWire, 37), s.rxWire, unknown,
                           oversize, s.esWire})  // no radio is attached to an entity
        primary.Send(d);
    for (std::size_t n = 1; n < 32; ++n) {  // short noise
        Bytes noise(n, std::byte{static_cast<unsigned char>(n * 37)});
        if (n > 2) noise[2] = std::byte{200};
        primary.Send(noise);
    }
    // The shortest PDUs that pass, after all of that.
    for (const Bytes& d : {Prefix(s.sigWire, 32), Prefix(s.txWire, 104), Prefix(s.icsTxWire, 40),
                           Prefix(s.icsSigWire, 38)})
        primary.Send(d);
    ASSERT_TRUE(hcytest::WaitFor([&] { return radio->count() == 2 && station->count() == 2; }));
    const auto heard = radio->sorted();
    EXPECT_EQ(heard[0].bytes, Prefix(s.txHost, 104));
    EXPECT_EQ(heard[1].bytes, Prefix(s.sigHost, 32));

    // Entity State passes once some radio is attached to an entity.
    hcy::Library().m_bAcceptEntityState = true;
    primary.Send(Prefix(s.esWire, 143));
    primary.Send(s.esWire);
    ASSERT_TRUE(hcytest::WaitFor([&] { return radio->count() == 3; }));
    hcy::Library().m_bAcceptEntityState = false;
    EXPECT_EQ(radio->sorted()[0].bytes, s.esHost);  // Entity State (type 1) sorts first
    EXPECT_EQ(radio->count(), 3u);
}

// Radios and interphones come and go while datagrams arrive on both
// networks, the send router loops PDUs back and the tick runs: the tables'
// lock keeps every dispatcher off objects being destroyed.
TEST_F(ReceiveRoadTest, ListenersComeAndGoUnderTrafficAndTicks) {
    const std::uint16_t secondaryPort = hcytest::FreeUdpPort();
    ASSERT_TRUE(MovePort(2, secondaryPort));
    std::atomic<bool> stop{false};
    auto flood = [&](std::uint16_t port) {
        Peer peer(port);
        while (!stop)
            for (const Bytes* d : {&s.sigWire, &s.txWire, &s.icsSigWire, &s.icsTxWire})
                peer.Send(*d);
    };
    std::thread primary(flood, primaryPort_), secondary(flood, secondaryPort);
    std::thread looper([&] {
        while (!stop) {
            Send(s.sigHost, NET_LOOPBACK);
            Send(s.icsTxHost, NET_LOOPBACK);
        }
    });
    std::thread ticker([&] {
        while (!stop) Ticks(1);
    });
    std::size_t heard = 0;
    for (int i = 0; i < 200; ++i) {
        auto radio = AddRadio<hcytest::StandInRadio>(NET_PRIMARY | NET_SECONDARY | NET_LOOPBACK);
        const int ics = theApp.AddInterphone(
            std::make_shared<hcytest::StandInInterphone>(NET_PRIMARY | NET_LOOPBACK));
        if (i % 20 == 0)
            hcytest::WaitFor([&] { return radio->signalPdus > 0; }, std::chrono::seconds(2));
        hcyDestroyInterphone(ics);
        hcyDestroyComRadio(radio->GetUserId());
        heard += static_cast<std::size_t>(radio->signalPdus + radio->transmitterPdus);
    }
    stop = true;
    for (std::thread* t : {&primary, &secondary, &looper, &ticker}) t->join();
    EXPECT_GT(heard, 0u);
}

// Reopening the socket under traffic leaves one working reader.
TEST_F(ReceiveRoadTest, ReopeningUnderTrafficLeavesReceptionWorking) {
    std::atomic<bool> stop{false};
    std::thread sender([&] {
        Peer peer(primaryPort_);
        while (!stop) peer.Send(s.sigWire);
    });
    bool settled = true;
    for (int i = 0; i < 50 && settled; ++i) settled = Settle();
    stop = true;
    sender.join();
    ASSERT_TRUE(settled);
    // The flood may have filled the socket's buffer, which would drop the
    // one datagram below.
    ASSERT_TRUE(hcytest::WaitFor([&] { return ReceiveQueuesEmptyAt(primaryPort_); }));
    auto radio = AddRadio(NET_PRIMARY);
    Peer(primaryPort_).Send(s.txWire);
    EXPECT_TRUE(hcytest::WaitFor([&] {
        const auto heard =
            radio->sorted();  // Transmitter PDUs sort first; late Signal PDUs may follow
        return !heard.empty() && heard[0].type == PDU_TYPE_TRANSMITTER;
    }));
}

// The filter and routing without sockets or threads: which datagrams are
// kept, their minimum lengths, the WM_NETRX_* number by kind and source, and
// the inline road (the fuzz target's) into the dispatchers.
TEST_F(RunningLibraryTest, ReceiveFilterRoutesAndInlineRoad) {
    auto withType = [](int type, std::size_t length) {
        Bytes bytes(length);
        if (length > 2) bytes[2] = static_cast<std::byte>(type);
        return bytes;
    };
    for (int type = 0; type < 256; ++type) {
        const bool handled = type == 25 || type == 26 || type == 160 || type == 161;
        EXPECT_EQ(ClassifyPdu(withType(type, 200), false), handled ? type : -1) << type;
    }
    EXPECT_EQ(ClassifyPdu(withType(1, 200), true), 1);  // Entity State, when accepted
    EXPECT_EQ(ClassifyPdu(Bytes(2), true), -1);
    EXPECT_EQ(ClassifyPdu(Bytes{}, true), -1);

    struct Case {
        int type;
        std::size_t minimum;
        RxKind kind;
        bool audio;
    };
    for (const Case& c :
         {Case{26, 32, RxKind::Signal, true}, Case{25, 104, RxKind::Transmitter, false},
          Case{1, 144, RxKind::EntityState, false}, Case{160, 40, RxKind::IcsControl, false},
          Case{161, 38, RxKind::IcsAudio, true}}) {
        SCOPED_TRACE(c.type);
        EXPECT_FALSE(RouteReceived(c.type, c.minimum - 1, NET_PRIMARY));
        for (std::uint32_t source : {NET_PRIMARY, NET_SECONDARY, NET_LOOPBACK}) {
            const auto route = RouteReceived(c.type, c.minimum, source);
            ASSERT_TRUE(route);
            EXPECT_EQ(route->kind, c.kind);
            EXPECT_EQ(route->audio, c.audio);
            EXPECT_EQ(route->source, source);
            EXPECT_EQ(DecodeRxMessage(route->message), std::pair(c.kind, source));
        }
    }
    // Interphone control: 1126 primary, 1131 secondary, 1136 looped back.
    EXPECT_EQ(RouteReceived(160, 40, NET_PRIMARY)->message, 1126u);
    EXPECT_EQ(RouteReceived(160, 40, NET_SECONDARY)->message, 1131u);
    EXPECT_EQ(RouteReceived(160, 40, NET_LOOPBACK)->message, 1136u);
    // The first source bit counts; no source bit, nothing.
    EXPECT_EQ(RouteReceived(26, 32, NET_SECONDARY | NET_LOOPBACK)->source, NET_SECONDARY);
    EXPECT_FALSE(RouteReceived(26, 32, NET_HLA));
    EXPECT_FALSE(RouteReceived(27, 36, NET_PRIMARY));
    EXPECT_FALSE(DecodeRxMessage(1122));
    EXPECT_FALSE(DecodeRxMessage(1138));

    auto first = AddRadio(NET_PRIMARY), both = AddRadio(NET_PRIMARY | NET_SECONDARY),
         other = AddRadio(NET_SECONDARY);
    const Samples s;
    std::vector<std::byte> scratch;
    EXPECT_TRUE(ReceiveDatagramInline(theApp, s.sigWire, NET_PRIMARY, scratch));
    EXPECT_FALSE(ReceiveDatagramInline(theApp, Prefix(s.sigWire, 31), NET_PRIMARY, scratch));
    Bytes oversize(kMaxDatagramSize + 1);
    oversize[2] = std::byte{26};
    EXPECT_FALSE(ReceiveDatagramInline(theApp, oversize, NET_PRIMARY, scratch));
    EXPECT_EQ(first->heard().at(0).bytes, s.sigHost);
    EXPECT_EQ(both->heard().at(0).bytes, s.sigHost);
    EXPECT_EQ(first->count() + both->count() + other->count(), 2u);
}

// ---------------------------------------------------------------------------

TEST_F(NetSettingsTest, ConfiguredPortWinsAndSecondaryPortZeroCloses) {
    const std::uint16_t configured = hcytest::FreeUdpPort();
    WriteConfig("[Network]\nPrimPort=" + std::to_string(configured) + "\n");
    ASSERT_TRUE(MovePort(1, hcytest::FreeUdpPort(), configured));
    auto radio = AddRadio(NET_PRIMARY | NET_SECONDARY);
    Peer(configured).Send(s.txWire);
    ASSERT_TRUE(hcytest::WaitFor([&] { return radio->count() == 1; }));
    Peer primary(configured);

    const std::uint16_t secondaryPort = hcytest::FreeUdpPort();
    ASSERT_TRUE(MovePort(2, secondaryPort));
    Peer secondary(secondaryPort);
    hcySetSecondaryPort(0);
    ASSERT_TRUE(hcytest::WaitFor([&] { return !mgr_->GetSocketStatus(2).open; }));
    ASSERT_TRUE(Send(s.sigHost, NET_PRIMARY | NET_SECONDARY));
    ASSERT_TRUE(Send(s.rxHost, NET_PRIMARY));
    EXPECT_EQ(primary.UpTo(s.rxWire), (std::vector<Bytes>{s.sigWire, s.rxWire}));
    EXPECT_FALSE(secondary.Receive(std::chrono::milliseconds(100)));
}

TEST_F(NetSettingsTest, PortsPastTheRangeAreRefusedAndTheSocketStays) {
    EXPECT_EQ(hcySetNetworkPort(65536), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Invalid port 65536 sent to SetNetworkPort.");
    EXPECT_EQ(hcySetSecondaryPort(0xFFFFFFFFu), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Invalid port 4294967295 sent to SetSecondaryPort.");
    // A configured override out of range is refused by the manager itself.
    WriteConfig("[Network]\nPrimPort=-5\n");
    EXPECT_EQ(hcySetNetworkPort(hcytest::FreeUdpPort()), 1);
    ASSERT_TRUE(hcytest::WaitFor(
        [&] { return Error() == "HCY ERROR: Invalid port 4294967291 for the primary network."; }));
    const auto status = mgr_->GetSocketStatus(1);
    EXPECT_TRUE(status.open);
    EXPECT_EQ(status.port, primaryPort_);
    EXPECT_EQ(status.opens, 2u);  // the start-up and the move to primaryPort_
}

TEST_F(NetSettingsTest, DestinationsSendAtOnceAndBindAtTheNextOpen) {
    auto status = [&](std::uint32_t kind = 1) { return mgr_->GetSocketStatus(kind); };
    EXPECT_EQ(status().boundAddress, kLoopbackBroadcast);
    Peer unicast(primaryPort_, kLoopback);

    hcySetSubNet(NET_PRIMARY, "127.0.0.1");
    ASSERT_TRUE(Send(s.rxHost, NET_PRIMARY));
    EXPECT_EQ(unicast.Receive(), s.rxWire);
    EXPECT_EQ(status().boundAddress, kLoopbackBroadcast);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(status().boundAddress, kLoopback);
    EXPECT_EQ(status(2).destination, "127.255.255.255");

    // A null text keeps the destination; any network but 2 is the primary.
    mgr_->Post(hcy::WM_NETMGR_SET_BROADCAST_ADDRESS, 1, 0);
    ASSERT_TRUE(Settle());
    EXPECT_EQ(status().destination, "127.0.0.1");
    mgr_->Post(hcy::WM_NETMGR_SET_BROADCAST_ADDRESS, 7, 0,
               plat::MakePayload<std::string>("127.255.255.255"));
    ASSERT_TRUE(Settle());
    EXPECT_EQ(status().destination, "127.255.255.255");

    // The configured destination wins over what is asked for.
    WriteConfig("[Network]\nPrimBroadcast=127.0.0.1\n");
    hcySetSubNet(NET_PRIMARY, "127.255.255.255");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(status().destination, "127.0.0.1");
    WriteConfig("");

    // An empty destination binds to any address (it would send to the
    // limited broadcast address; nothing is sent here).
    hcySetSubNet(NET_PRIMARY, "");
    ASSERT_TRUE(Settle());
    EXPECT_EQ(status().boundAddress, kAnyAddress);
    EXPECT_EQ(status().boundPort, primaryPort_);
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

TEST_F(NetSettingsTest, HeartbeatMessageGoesOutOncePerPeriodAndHlaRequestsChangeNothing) {
    hcySetHeartbeat(1.0f);  // 4 ticks: any 12 ticks in a row hold 3 heartbeats
    const std::uint32_t before = mgr_->HeartbeatsHandled();
    Ticks(12);
    EXPECT_TRUE(hcytest::WaitFor([&] { return mgr_->HeartbeatsHandled() == before + 3; }));

    // Without a federation the HLA requests reach a seam that does nothing.
    for (plat::UINT m = hcy::WM_NETMGR_HLA_REGISTER_OBJECT; m <= hcy::WM_NETMGR_HLA_REQUEST_UPDATE;
         ++m)
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
    FailNextSocketCreations(1);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(hcyInit(0, "127.255.255.255"), 0);
    // Well inside the 30 s that a silent manager would be given.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
    EXPECT_EQ(Error(), "HCY ERROR: Timed out waiting for net manager to initialize.\n");
    EXPECT_EQ(theApp.NetMgr(), nullptr);
    EXPECT_FALSE(theApp.IsInitialized());
    EXPECT_TRUE(ThreadsAt(threads)) << ThreadCount();
    EXPECT_EQ(hcySetNetworkPort(4000), 0);

    ASSERT_EQ(hcyInit(0, "127.255.255.255"), 1) << Error();
    EXPECT_TRUE(theApp.NetMgr()->GetSocketStatus(1).open);
    hcyExit();
    EXPECT_TRUE(ThreadsAt(threads)) << ThreadCount();
}

// A second Start used to report a failure for a manager that runs on.
TEST_F(LibraryTest, ASecondStartOrStopOfTheManagerChangesNothing) {
    ASSERT_EQ(hcyInit(0, "127.255.255.255"), 1) << Error();
    auto mgr = theApp.NetMgr();
    const auto opens = mgr->GetSocketStatus(1).opens;
    EXPECT_EQ(mgr->Start(std::chrono::seconds(5)), CNetMgr::Outcome::Succeeded);
    EXPECT_TRUE(mgr->IsRunning());
    EXPECT_EQ(mgr->GetSocketStatus(1).opens, opens);
    hcyExit();
    EXPECT_TRUE(mgr->Stop(std::chrono::seconds(5)));
    EXPECT_EQ(mgr->Start(std::chrono::seconds(5)), CNetMgr::Outcome::Failed);
    EXPECT_FALSE(mgr->IsRunning());
}

TEST_F(LibraryTest, ExitJoinsEveryThreadItStartedAndTakesNoMorePosts) {
    const std::size_t threads = ThreadCount();
    ASSERT_EQ(hcyInit(0, "127.255.255.255"), 1) << Error();
    auto mgr = theApp.NetMgr();
    hcySetSecondaryPort(hcytest::FreeUdpPort());
    ASSERT_TRUE(hcytest::WaitFor([&] { return mgr->GetSocketStatus(2).open; }));
    // The manager, two workers, two receive threads.
    EXPECT_TRUE(ThreadsAt(threads + 5)) << ThreadCount();
    hcyExit();
    EXPECT_TRUE(ThreadsAt(threads)) << ThreadCount();
    EXPECT_FALSE(mgr->IsRunning());
    EXPECT_EQ(mgr->WorkerId(0), 0u);
    EXPECT_FALSE(mgr->GetSocketStatus(1).open);
    EXPECT_FALSE(mgr->GetSocketStatus(2).open);
    // The failed post frees its payload (the leak checker would tell).
    EXPECT_FALSE(mgr->Post(hcy::WM_NETMGR_SEND_PDU, 0, 0, plat::MakePayload<OutgoingPdu>()));
    EXPECT_EQ(hcySetNetworkPort(4000), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Tervale has not been initialized");
}
