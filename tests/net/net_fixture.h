#pragma once
// Shared by the net tests: sample PDUs (host-order records with distinct
// field values and their big-endian wire bytes written out by hand), peer
// sockets on loopback, stand-ins that keep what the dispatchers hand them,
// and a running library whose primary network has a port of its own.
//
// Everything sends to 127.255.255.255, 127.0.0.1, or to a multicast group
// only when the test runs in a network namespace whose only interface is lo.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <mutex>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.h"
#include "net/net_mgr.h"
#include "net/pdu.h"
#include "net/udp_socket.h"
#include "support/library_fixture.h"
#include "support/stand_ins.h"

namespace nettest {

using namespace hcy::net;
using Bytes = std::vector<std::byte>;
using Converter = std::size_t (*)(std::span<const std::byte>, std::span<std::byte>);

// "06 07 19 04 ..." -> bytes; anything but hex digits is ignored.
inline Bytes Hex(std::string_view text) {
    Bytes out;
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(static_cast<std::byte>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return out;
}

inline Bytes Cat(std::span<const std::byte> a, std::span<const std::byte> b = {}) {
    Bytes out(a.begin(), a.end());
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

inline Bytes Prefix(const Bytes& bytes, std::size_t n) {
    return Bytes(bytes.begin(), bytes.begin() + n);
}

inline constexpr RadioId kRadioId = {{0x0A0B, 0x0C0D, 0x0E0F}, 0x1011};

// --- Transmitter (frequency 2^32 + 258 Hz; 16 bytes of modulation parameters)
inline TransmitterPdu SampleTransmitter() {
    return {.header = {6, 7, PDU_TYPE_TRANSMITTER, PROTOCOL_FAMILY_RADIO, 0x01020304, 120, 0},
            .radioId = kRadioId,
            .radioEntityType = {7, 2, 0x00E1, 0x15, 0x16, 0x1718},
            .transmitState = 2,
            .inputSource = 0x19,
            .netNumber = 0x1A1B,
            .antennaLocation = {1.5, -2.25, 6378137.0},
            .relativeAntennaLocation = {0.5f, -1.0f, 2.0f},
            .antennaPatternType = 0x1C1D,
            .antennaPatternLength = 0x1E1F,
            .frequencyHigh = 1,
            .frequencyLow = 258,
            .bandwidth = 25000.0f,
            .power = 40.0f,
            .modulation = {0x0001, 0x2223, 0x2425, 0x2627},
            .cryptoSystem = 0x2829,
            .cryptoKeyId = 0x8005,
            .modulationParameterLength = 16,
            .padding = {}};
}

inline const Bytes kModulationParameters = Hex("A0 A1 A2 A3 A4 A5 A6 A7 A8 A9 AA AB AC AD AE AF");

inline const Bytes kTransmitterWire =
    Hex("06 07 19 04  01 02 03 04  00 78  00 00"  // header
        "0A 0B 0C 0D 0E 0F 10 11"                 // entity id, radio number
        "07 02 00 E1 15 16 17 18"                 // radio entity type
        "02 19 1A 1B"                             // state, input source, net number
        "3F F8 00 00 00 00 00 00  C0 02 00 00 00 00 00 00  41 58 54 A6 40 00 00 00"
        "3F 00 00 00  BF 80 00 00  40 00 00 00"  // relative antenna location
        "1C 1D 1E 1F"                            // antenna pattern type, length
        "00 00 00 01 00 00 01 02"                // frequency
        "46 C3 50 00  42 20 00 00"               // bandwidth, power
        "00 01 22 23 24 25 26 27"                // modulation
        "28 29 80 05"                            // crypto system, key
        "10 00 00 00");                          // parameter length, padding

// --- Signal (encoding 4: four little-endian PCM samples, as the codec writes them)
inline SignalPdu SampleSignal() {
    return {{6, 7, PDU_TYPE_SIGNAL, PROTOCOL_FAMILY_RADIO, 0x11223344, 40, 0},
            kRadioId,
            4,
            0,
            16000,
            64,
            4};
}
inline const Bytes kSignalAudio = Hex("34 12 FE FF 02 01 00 7F");  // 0x1234, -2, 0x0102, 0x7F00
inline const Bytes kSignalWire =
    Hex("06 07 1A 04  11 22 33 44  00 28  00 00  0A 0B 0C 0D 0E 0F 10 11"
        "00 04  00 00  00 00 3E 80  00 40  00 04");  // encoding, TDL type, rate, bits, samples

// --- Receiver (received power in watts)
inline ReceiverPdu SampleReceiver() {
    return {{6, 7, PDU_TYPE_RECEIVER, PROTOCOL_FAMILY_RADIO, 0x55667788, 36, 0},
            kRadioId,
            2,
            0,
            8.6e-8f,
            {{0x3031, 0x3233, 0x3435}, 0x3637}};
}
inline const Bytes kReceiverWire =
    Hex("06 07 1B 04  55 66 77 88  00 24  00 00  0A 0B 0C 0D 0E 0F 10 11"
        "00 02  00 00  33 B8 AF 00  30 31 32 33 34 35 36 37");  // state, power, transmitter

// --- Entity State, as a peer sends it (received only)
inline const Bytes kEntityStateWire =
    Hex("06 07 01 01  0A 0B 0C 0D  00 90  00 00"
        "41 42 43 44 45 46"                      // entity id
        "01 00"                                  // force, articulation count
        "01 02 00 E1 03 04 05 06"                // entity type
        "01 02 01 02 07 08 09 0A"                // alternative entity type
        "3E 80 00 00  40 E0 00 00  C0 60 00 00"  // linear velocity
        "40 59 00 00 00 00 00 00  C0 B1 94 00 00 00 00 00  3F C0 00 00 00 00 00 00"
        "3F A0 00 00  41 18 00 00  C1 40 00 00"            // orientation
        "50 51 52 53"                                      // appearance
        "02 60 61 62 63 64 65 66 67 68 69 6A 6B 6C 6D 6E"  // dead reckoning
        "3F 00 00 00  BF 80 00 00  40 00 00 00"            // linear acceleration
        "40 50 00 00  BF 40 00 00  3F 80 00 00"            // angular velocity
        "01 48 41 4C 43 59 52 41 00 00 00 00"              // marking
        "70 71 72 73");                                    // capabilities

// The host-order record that kEntityStateWire converts to: the other 15
// dead-reckoning bytes are not carried.
inline EntityStatePdu SampleEntityState() {
    return {.header = {6, 7, PDU_TYPE_ENTITY_STATE, 1, 0x0A0B0C0D, 144, 0},
            .entityId = {0x4142, 0x4344, 0x4546},
            .forceId = 1,
            .articulationParameterCount = 0,
            .entityType = {1, 2, 0x00E1, 3, 4, 5, 6},
            .alternativeEntityType = {1, 2, 0x0102, 7, 8, 9, 10},
            .linearVelocity = {0.25f, 7.0f, -3.5f},
            .location = {100.0, -4500.0, 0.125},
            .orientation = {1.25f, 9.5f, -12.0f},
            .appearance = 0x50515253,
            .deadReckoningAlgorithm = 2,
            .deadReckoningOther = {},
            .linearAcceleration = {0.5f, -1.0f, 2.0f},
            .angularVelocity = {3.25f, -0.75f, 1.0f},
            .marking = {1, 'H', 'A', 'L', 'C', 'Y', 'R', 'A'},
            .capabilities = 0x70717273};
}

// --- Interphone control
inline IcsTransmitterPdu SampleIcsTransmitter() {
    return {{6, 7, PDU_TYPE_ICS_TRANSMITTER, PROTOCOL_FAMILY_ICS, 0x01020304, 40, 0},
            {0x0A0B, 0x0C0D, 0x0E0F},
            {0x1112, 0x1314, 0x1516},
            0x1718,
            0x191A,
            {0x1B1C, 0x1D1E, 0x1F20},
            0x2122,
            1,
            2,
            3,
            4};
}
inline const Bytes kIcsTransmitterWire =
    Hex("06 07 A0 28  01 02 03 04  00 28  00 00  0A 0B 0C 0D 0E 0F  11 12 13 14 15 16"
        "17 18  19 1A  1B 1C 1D 1E 1F 20  21 22  01 02 03 04");

// --- Interphone audio (sample rate unaligned at offset 30)
inline IcsSignalPdu SampleIcsSignal() {
    return {{6, 7, PDU_TYPE_ICS_SIGNAL, PROTOCOL_FAMILY_ICS, 0x01020304, 42, 0},
            {0x0A0B, 0x0C0D, 0x0E0F},
            {0x1112, 0x1314, 0x1516},
            0x1718,
            0x191A,
            1,
            0x0102A3B4,
            32,
            4};
}
inline const Bytes kIcsSignalAudio = Hex("FF 7F 00 80");
inline const Bytes kIcsSignalWire =
    Hex("06 07 A1 28  01 02 03 04  00 2A  00 00  0A 0B 0C 0D 0E 0F  11 12 13 14 15 16"
        "17 18  19 1A  00 01  01 02 A3 B4  00 20  00 04");

// Whole PDUs in host order and as they travel.
struct Samples {
    Bytes txHost = Cat(RecordBytes(SampleTransmitter()), kModulationParameters);
    Bytes txWire = Cat(kTransmitterWire, kModulationParameters);
    Bytes sigHost = Cat(RecordBytes(SampleSignal()), kSignalAudio);
    Bytes sigWire = Cat(kSignalWire, kSignalAudio);
    Bytes rxHost = Cat(RecordBytes(SampleReceiver()));
    Bytes rxWire = kReceiverWire;
    Bytes esHost = Cat(RecordBytes(SampleEntityState()));
    Bytes esWire = kEntityStateWire;
    Bytes icsTxHost = Cat(RecordBytes(SampleIcsTransmitter()));
    Bytes icsTxWire = kIcsTransmitterWire;
    Bytes icsSigHost = Cat(RecordBytes(SampleIcsSignal()), kIcsSignalAudio);
    Bytes icsSigWire = Cat(kIcsSignalWire, kIcsSignalAudio);
};

// ---------------------------------------------------------------------------
// Sockets and listeners.

inline constexpr Ipv4 kLoopback = 0x7F000001;           // 127.0.0.1
inline constexpr Ipv4 kLoopbackBroadcast = 0x7FFFFFFF;  // 127.255.255.255

// True when this network namespace has lo alone, so multicast cannot leave it.
inline bool OnlyLoopbackInterface() {
    std::ifstream dev("/proc/self/net/dev");
    std::vector<std::string> names;
    for (std::string line; std::getline(dev, line);)
        if (const auto colon = line.find(':'); colon != std::string::npos) {
            const auto start = line.find_first_not_of(' ');
            names.push_back(line.substr(start, colon - start));
        }
    return names == std::vector<std::string>{"lo"};
}

// True when no socket bound at `port` holds unread datagrams. The kernel
// drops what arrives while a socket's receive buffer is full, so a test that
// sends one datagram after a flood first waits for the reader to catch up.
inline bool ReceiveQueuesEmptyAt(std::uint16_t port) {
    std::ifstream udp("/proc/self/net/udp");
    std::string line;
    std::getline(udp, line);  // the header
    while (std::getline(udp, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues;  // queues: "tx:rx", bytes in hex
        fields >> slot >> local >> remote >> state >> queues;
        const auto colon = local.find(':');
        if (colon == std::string::npos || std::stoul(local.substr(colon + 1), nullptr, 16) != port)
            continue;
        if (std::stoul(queues.substr(queues.find(':') + 1), nullptr, 16) != 0) return false;
    }
    return true;
}

// A socket bound at `port` (shared with the library's socket there),
// standing for the rest of the exercise.
class Peer {
public:
    explicit Peer(std::uint16_t port, Ipv4 bindAddress = kAnyAddress) : port_(port) {
        EXPECT_TRUE(socket_.Create());
        socket_.SetReuseAddress(true);
        socket_.SetBroadcast(true);
        socket_.SetReceiveTimeout(50);
        EXPECT_TRUE(socket_.Bind(bindAddress, port)) << "errno " << socket_.LastError();
    }
    bool JoinGroup(Ipv4 group) { return socket_.JoinGroup(group); }
    void Send(const Bytes& bytes, Ipv4 address = kLoopbackBroadcast) {
        EXPECT_TRUE(socket_.SendTo(address, port_, bytes)) << "errno " << socket_.LastError();
    }
    // The next datagram, waiting at most `limit`.
    std::optional<Bytes> Receive(std::chrono::milliseconds limit = std::chrono::seconds(5)) {
        Bytes buffer(70000);
        for (const auto end = std::chrono::steady_clock::now() + limit;
             std::chrono::steady_clock::now() < end;) {
            const auto r = socket_.Receive(buffer);
            if (r.status == UdpSocket::RecvStatus::Datagram) {
                buffer.resize(r.bytes);
                return buffer;
            }
        }
        return std::nullopt;
    }
    // Datagrams up to and including `sentinel`.
    std::vector<Bytes> UpTo(const Bytes& sentinel) {
        std::vector<Bytes> got;
        while (auto d = Receive()) {
            got.push_back(*d);
            if (*d == sentinel) break;
        }
        return got;
    }

private:
    UdpSocket socket_;
    std::uint16_t port_;
};

// A received PDU as a dispatcher handed it over (host order).
struct Heard {
    std::uint8_t type;
    Bytes bytes;
    bool operator<(const Heard& o) const { return type < o.type; }
};

// Keeps a copy of every PDU offered.
class Recorder {
public:
    std::vector<Heard> heard() {
        std::lock_guard<std::mutex> lock(mutex_);
        return heard_;
    }
    std::vector<Heard> sorted() {
        auto h = heard();
        std::stable_sort(h.begin(), h.end());
        return h;
    }
    std::size_t count() { return heard().size(); }

protected:
    void Keep(std::uint8_t type, const void* pdu, std::uint32_t length) {
        const auto* p = static_cast<const std::byte*>(pdu);
        std::lock_guard<std::mutex> lock(mutex_);
        heard_.push_back({type, Bytes(p, p + length)});
    }

private:
    std::mutex mutex_;
    std::vector<Heard> heard_;
};

class RecordingRadio : public hcytest::StandInRadio, public Recorder {
public:
    using StandInRadio::StandInRadio;
    void OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length) override {
        Keep(PDU_TYPE_TRANSMITTER, pdu, length);
        StandInRadio::OnTransmitterPdu(pdu, length);
    }
    void OnSignalPdu(const SignalPdu* pdu, std::uint32_t length) override {
        Keep(PDU_TYPE_SIGNAL, pdu, length);
        StandInRadio::OnSignalPdu(pdu, length);
    }
    void OnEntityStatePdu(const EntityStatePdu* pdu, std::uint32_t length) override {
        Keep(PDU_TYPE_ENTITY_STATE, pdu, length);
        StandInRadio::OnEntityStatePdu(pdu, length);
    }
};

class RecordingInterphone : public hcytest::StandInInterphone, public Recorder {
public:
    using StandInInterphone::StandInInterphone;
    void OnControlPdu(const IcsTransmitterPdu* pdu, std::uint32_t length) override {
        Keep(PDU_TYPE_ICS_TRANSMITTER, pdu, length);
        StandInInterphone::OnControlPdu(pdu, length);
    }
    void OnAudioPdu(const IcsSignalPdu* pdu, std::uint32_t length) override {
        Keep(PDU_TYPE_ICS_SIGNAL, pdu, length);
        StandInInterphone::OnAudioPdu(pdu, length);
    }
};

template <class R = RecordingRadio>
std::shared_ptr<R> AddRadio(std::uint32_t mask) {
    auto radio = std::make_shared<R>(mask);
    radio->SetUserId(static_cast<std::uint32_t>(theApp.AddRadio(radio, nullptr)));
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

    // Asks for `port` on network `kind` (1 or 2) and waits until the socket
    // has been opened again (on `expected`, when the configuration overrides it).
    bool MovePort(std::uint32_t kind, std::uint32_t port,
                  std::optional<std::uint32_t> expected = {}) {
        const auto before = mgr_->GetSocketStatus(kind).opens;
        kind == 2 ? hcySetSecondaryPort(port) : hcySetNetworkPort(port);
        return hcytest::WaitFor([&] {
            const auto s = mgr_->GetSocketStatus(kind);
            return s.open && s.port == expected.value_or(port) && s.opens > before;
        });
    }

    // Waits until the manager has handled everything posted so far: a port
    // message reopens the socket, so its status moves.
    bool Settle(std::uint32_t kind = 1) { return MovePort(kind, mgr_->GetSocketStatus(kind).port); }

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
    Samples s;
};

}  // namespace nettest
