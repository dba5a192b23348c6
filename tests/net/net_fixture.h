#pragma once
// A running library whose networks use ports of their own on loopback, a
// peer socket per port standing for the rest of the exercise, and stand-in
// radios and interphones that keep what the dispatchers hand them.
//
// Everything here sends to 127.255.255.255 (loopback broadcast), 127.0.0.1,
// or to a multicast group only when the test runs in a network namespace of
// its own whose only interface is lo.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "core/messages.h"
#include "net/net_mgr.h"
#include "net/pdu.h"
#include "net/udp_socket.h"
#include "support/library_fixture.h"
#include "support/stand_ins.h"

namespace nettest {

using Bytes = std::vector<std::byte>;
using hcy::net::Ipv4;

inline constexpr Ipv4 kLoopback = 0x7F000001;           // 127.0.0.1
inline constexpr Ipv4 kLoopbackBroadcast = 0x7FFFFFFF;  // 127.255.255.255

// True when this process's network namespace has no interface but lo, so
// that multicast cannot leave it.
inline bool OnlyLoopbackInterface() {
    std::ifstream dev("/proc/self/net/dev");
    std::string line;
    int interfaces = 0;
    bool sawLo = false;
    while (std::getline(dev, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        std::string name = line.substr(0, colon);
        name.erase(0, name.find_first_not_of(' '));
        ++interfaces;
        sawLo |= name == "lo";
    }
    return interfaces == 1 && sawLo;
}

// A socket bound to any address at `port` (shared with the library's own
// socket there), sending to loopback.
class Peer {
public:
    explicit Peer(std::uint16_t port, Ipv4 bindAddress = hcy::net::kAnyAddress) : port_(port) {
        EXPECT_TRUE(socket_.Create());
        socket_.SetReuseAddress(true);
        socket_.SetBroadcast(true);
        socket_.SetReceiveTimeout(50);
        EXPECT_TRUE(socket_.Bind(bindAddress, port)) << "errno " << socket_.LastError();
    }
    bool JoinGroup(Ipv4 group) { return socket_.JoinGroup(group); }

    // One datagram to `address` at the peer's port.
    void Send(const Bytes& bytes, Ipv4 address = kLoopbackBroadcast) {
        EXPECT_TRUE(socket_.SendTo(address, port_, bytes)) << "errno " << socket_.LastError();
    }

    // The next datagram, waiting at most `limit`.
    std::optional<Bytes> Receive(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        Bytes buffer(70000);
        const auto end = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < end) {
            const auto r = socket_.Receive(buffer);
            if (r.status == hcy::net::UdpSocket::RecvStatus::Datagram) {
                buffer.resize(r.bytes);
                return buffer;
            }
        }
        return std::nullopt;
    }

    std::uint16_t port() const { return port_; }

private:
    hcy::net::UdpSocket socket_;
    std::uint16_t port_;
};

// A received PDU as a dispatcher handed it over (host order).
struct Heard {
    std::uint8_t type;
    Bytes bytes;  // `length` bytes from the PDU pointer
};

// Stand-ins that keep a copy of every PDU offered to them.
class RecordingRadio : public hcytest::StandInRadio {
public:
    using StandInRadio::StandInRadio;
    void OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length) override {
        Keep(hcy::net::PDU_TYPE_TRANSMITTER, pdu, length);
        StandInRadio::OnTransmitterPdu(pdu, length);
    }
    void OnSignalPdu(const SignalPdu* pdu, std::uint32_t length) override {
        Keep(hcy::net::PDU_TYPE_SIGNAL, pdu, length);
        StandInRadio::OnSignalPdu(pdu, length);
    }
    void OnEntityStatePdu(const EntityStatePdu* pdu, std::uint32_t length) override {
        Keep(hcy::net::PDU_TYPE_ENTITY_STATE, pdu, length);
        StandInRadio::OnEntityStatePdu(pdu, length);
    }
    std::vector<Heard> heard() {
        std::lock_guard<std::mutex> lock(mutex_);
        return heard_;
    }
    std::size_t count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return heard_.size();
    }

private:
    void Keep(std::uint8_t type, const void* pdu, std::uint32_t length) {
        const auto* p = static_cast<const std::byte*>(pdu);
        std::lock_guard<std::mutex> lock(mutex_);
        heard_.push_back({type, Bytes(p, p + length)});
    }
    std::mutex mutex_;
    std::vector<Heard> heard_;
};

class RecordingInterphone : public hcytest::StandInInterphone {
public:
    using StandInInterphone::StandInInterphone;
    void OnControlPdu(const IcsTransmitterPdu* pdu, std::uint32_t length) override {
        Keep(hcy::net::PDU_TYPE_ICS_TRANSMITTER, pdu, length);
        StandInInterphone::OnControlPdu(pdu, length);
    }
    void OnAudioPdu(const IcsSignalPdu* pdu, std::uint32_t length) override {
        Keep(hcy::net::PDU_TYPE_ICS_SIGNAL, pdu, length);
        StandInInterphone::OnAudioPdu(pdu, length);
    }
    std::vector<Heard> heard() {
        std::lock_guard<std::mutex> lock(mutex_);
        return heard_;
    }

private:
    void Keep(std::uint8_t type, const void* pdu, std::uint32_t length) {
        const auto* p = static_cast<const std::byte*>(pdu);
        std::lock_guard<std::mutex> lock(mutex_);
        heard_.push_back({type, Bytes(p, p + length)});
    }
    std::mutex mutex_;
    std::vector<Heard> heard_;
};

template <class R = RecordingRadio>
std::shared_ptr<R> AddRadio(std::uint32_t mask) {
    auto radio = std::make_shared<R>(mask);
    const int handle = theApp.AddRadio(radio, nullptr);
    radio->SetUserId(static_cast<std::uint32_t>(handle));
    return radio;
}

inline std::shared_ptr<RecordingInterphone> AddInterphone(std::uint32_t network) {
    auto station = std::make_shared<RecordingInterphone>(network);
    theApp.AddInterphone(station);
    return station;
}

// The library started with loopback-broadcast destinations, the primary
// network moved to a port of its own.
class NetTest : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        ASSERT_EQ(hcyInit(0, "127.255.255.255"), 1) << Error();
        mgr_ = theApp.NetMgr();
        ASSERT_TRUE(mgr_);
        primaryPort_ = hcytest::FreeUdpPort();
        ASSERT_TRUE(MovePort(1, primaryPort_));
    }
    void TearDown() override {
        mgr_.reset();
        LibraryTest::TearDown();
    }

    // Asks for `port` on network `kind` and waits until the socket has been
    // opened again (on `expected`, when the configuration overrides it).
    bool MovePort(std::uint32_t kind, std::uint32_t port, std::optional<std::uint32_t> expected = {}) {
        const auto before = mgr_->GetSocketStatus(kind).opens;
        if (kind == 2)
            hcySetSecondaryPort(port);
        else
            hcySetNetworkPort(port);
        const std::uint32_t want = expected.value_or(port);
        return hcytest::WaitFor([&] {
            const auto s = mgr_->GetSocketStatus(kind);
            return s.open && s.port == want && s.opens > before;
        });
    }

    // Waits until the manager has handled everything posted so far: a port
    // message reopens the socket, so its status moves.
    bool Settle(std::uint32_t kind = 1) {
        const auto status = mgr_->GetSocketStatus(kind);
        return MovePort(kind, status.port);
    }

    // Posts a PDU (host order) to be sent with `flags`.
    bool Send(const Bytes& pdu, std::uint32_t flags, std::optional<std::uint32_t> length = {}) {
        OutgoingPdu outgoing;
        outgoing.request.networkFlags = flags;
        outgoing.request.length = length.value_or(static_cast<std::uint32_t>(pdu.size()));
        outgoing.pdu = pdu;
        return mgr_->Post(hcy::WM_NETMGR_SEND_PDU, 0, 0,
                          plat::MakePayload<OutgoingPdu>(std::move(outgoing)));
    }

    std::shared_ptr<CNetMgr> mgr_;
    std::uint16_t primaryPort_ = 0;
};

}  // namespace nettest
