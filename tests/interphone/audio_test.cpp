// Interphone audio both ways, hostile audio PDUs, the sweep of silent
// stations and a station's end.
#include <numeric>
#include <thread>

#include "codecs/codec.h"
#include "interphone/station_fixture.h"

namespace hcytest {
namespace {

constexpr std::uint16_t kLine = 0x0503;

// Station 3 in a call with station 5 on line 0x0503, its station 5 record
// and path made.
class CallAudioTest : public StationTest {
protected:
    void SetUp() override {
        StationTest::SetUp();
        station->SetHook(0);
        station->Dial(5);
        Feed(*station, Reply(5, 3, kLine, ICS_REPLY_ANSWERED));
        ASSERT_TRUE(station->IsConnected());
        Sent();
        path().calls.clear();
    }
    RecordingPath& path() { return *paths.front(); }

    // An audio PDU from station `from` carrying `data`, with its fields as
    // given (the lengths are the sender's claims).
    static std::vector<std::byte> AudioFrom(std::uint16_t from,
                                            const std::vector<std::uint8_t>& data,
                                            std::uint16_t samples, std::uint16_t encoding = 4,
                                            std::uint32_t rate = 16000,
                                            std::uint16_t line = kLine) {
        IcsSignalPdu p{};
        p.header = Header(hcy::net::PDU_TYPE_ICS_SIGNAL, 38 + data.size(), 1);
        p.senderId = Entity(from);
        p.stationNumber = from;
        p.line = line;
        p.encodingScheme = encoding;
        p.sampleRate = rate;
        p.dataLengthBits = static_cast<std::uint16_t>(data.size() * 8);
        p.sampleCount = samples;
        std::vector<std::byte> bytes(38 + data.size());
        std::memcpy(bytes.data(), &p, 38);
        std::memcpy(bytes.data() + 38, data.data(), data.size());
        return bytes;
    }
    void FeedAudio(const std::vector<std::byte>& bytes, std::size_t length = 0) {
        station->OnAudioPdu(reinterpret_cast<const IcsSignalPdu*>(bytes.data()),
                            static_cast<std::uint32_t>(length ? length : bytes.size()));
    }
};

TEST_F(CallAudioTest, BlocksAreSizedByTheEncoding) {
    struct Case {
        int encoding;
        std::size_t dataBytes;
    };
    const std::vector<std::int16_t> block(1024, 500);
    for (const Case c : {Case{4, 2048}, Case{1, 1024}, Case{3, 512}, Case{2, 128}}) {
        station->SetEncoding(c.encoding);
        station->SendAudio(block.data(), 2048, 16000);
        const auto sent = Sent();
        ASSERT_EQ(sent.size(), 1u) << c.encoding;
        const auto pdu = As<IcsSignalPdu>(sent[0]);
        EXPECT_EQ(sent[0].size(), 38 + c.dataBytes);
        EXPECT_EQ(pdu.header.pduType, 161);
        EXPECT_EQ(pdu.header.protocolFamily, 40);
        EXPECT_EQ(pdu.header.length, 38 + c.dataBytes);
        EXPECT_EQ(pdu.dataLengthBits, c.dataBytes * 8);
        EXPECT_EQ(pdu.sampleCount, 1024);
        EXPECT_EQ(pdu.encodingScheme, c.encoding);
        EXPECT_EQ(pdu.sampleRate, 16000u);
        EXPECT_EQ(pdu.line, kLine);
        EXPECT_EQ(pdu.stationNumber, 3);
        EXPECT_EQ(pdu.senderId, Entity(3));
    }
}

// The largest capture block: no PDU above 8192 bytes, no field wrapped,
// every sample sent once and in order.
TEST_F(CallAudioTest, LargeBlocksGoOutInPdusThatFit) {
    std::vector<std::int16_t> block(32768);
    std::iota(block.begin(), block.end(), std::int16_t{-16384});
    station->SendAudio(block.data(), 65536, 16000);
    std::vector<std::int16_t> carried;
    for (auto& bytes : Sent()) {
        const auto pdu = As<IcsSignalPdu>(bytes);
        ASSERT_LE(bytes.size(), 8192u);
        EXPECT_EQ(pdu.header.length, bytes.size());
        EXPECT_EQ(pdu.dataLengthBits, (bytes.size() - 38) * 8);
        EXPECT_EQ(pdu.sampleCount, (bytes.size() - 38) / 2);
        const auto* s = reinterpret_cast<const std::int16_t*>(bytes.data() + 38);
        carried.insert(carried.end(), s, s + pdu.sampleCount);
    }
    EXPECT_EQ(carried, block);
}

// On a data device the heard audio goes to the host's callback, named by
// the station's handle, and not through the path; a sound card still plays.
TEST_F(CallAudioTest, DataDevicesHandHeardAudioToTheHost) {
    StandInDevice data(CDevice::Kind::Data);
    station->SetHandle(42);
    station->AddRecvPath(&data, 0);
    FeedAudio(AudioFrom(5, std::vector<std::uint8_t>(8, 0x11), 4));
    EXPECT_EQ(data.receivedBlocks, 1);
    EXPECT_EQ(data.receivedBytes, 8);
    EXPECT_EQ(data.receivedFrom, 42);
    EXPECT_EQ(paths.front()->writes.size(), 1u);
    EXPECT_TRUE(paths.back()->writes.empty());
}

// Encoding 7 (CVSD in the other bit order) is decoded as plain CVSD.
TEST_F(CallAudioTest, EncodingSevenDecodesAsCvsd) {
    const std::vector<std::uint8_t> data = {0xF0, 0x0F, 0xAA, 0x55};
    std::vector<std::int16_t> want(32);
    hcy::CodecSet codecs;
    hcy::CodecStreamState fresh;
    codecs.Decode(hcy::CodecKind::Cvsd, fresh, data, want);
    FeedAudio(AudioFrom(5, data, 32, 7));
    ASSERT_EQ(path().writes.size(), 1u);
    EXPECT_EQ(path().writes[0], want);
}

// Each remote station's stream has its own decoder state: two stations'
// ADPCM blocks interleaved decode as each stream alone.
TEST_F(CallAudioTest, EachRemoteStationHasItsOwnDecoderState) {
    Feed(*station, Status(9, kLine, ICS_LINE_TALKING));  // joins the call
    ASSERT_EQ(station->GetStationCount(), 2u);
    const std::vector<std::uint8_t> a = {0x17, 0x77, 0x71, 0x07}, b = {0x9F, 0xF9, 0x88, 0x80};
    std::vector<std::int16_t> wantA(8), wantB(8), again(8);
    hcy::CodecSet codecs;
    hcy::CodecStreamState streamA, streamB;
    codecs.Decode(hcy::CodecKind::Adpcm, streamA, a, wantA);
    codecs.Decode(hcy::CodecKind::Adpcm, streamB, b, wantB);
    codecs.Decode(hcy::CodecKind::Adpcm, streamA, a, again);
    FeedAudio(AudioFrom(5, a, 8, 3));
    FeedAudio(AudioFrom(9, b, 8, 3));
    FeedAudio(AudioFrom(5, a, 8, 3));
    ASSERT_EQ(path().writes.size(), 3u);
    EXPECT_EQ(path().writes[0], wantA);
    EXPECT_EQ(path().writes[1], wantB);
    EXPECT_EQ(path().writes[2], again);
}

// Audio PDUs whose fields do not match what arrived, or that belong to
// nobody here: nothing is played that was not received and decoded.
TEST_F(CallAudioTest, HostileAudioPlaysNothingItShouldNot) {
    const std::vector<std::uint8_t> four(8, 0x11);  // 4 PCM samples
    struct Case {
        const char* name;
        std::vector<std::byte> bytes;
        std::size_t length;               // bytes handed in; 0: all
        std::vector<std::size_t> played;  // samples of each write
    };
    auto claims = [&](std::uint16_t bits, std::uint16_t samples) {
        auto bytes = AudioFrom(5, four, samples);
        IcsSignalPdu p = As<IcsSignalPdu>(bytes);
        p.dataLengthBits = bits;
        std::memcpy(bytes.data(), &p, 38);
        return bytes;
    };
    const std::vector<Case> cases = {
        {"as sent", AudioFrom(5, four, 4), 0, {4}},
        {"shorter than its header", AudioFrom(5, four, 4), 37, {}},
        {"bits claim more than arrived", claims(65535, 4), 0, {4}},
        {"samples claim more than decoded", claims(64, 4000), 0, {4}},
        {"samples claim fewer", claims(64, 2), 0, {2}},
        {"no samples", claims(64, 0), 0, {}},
        {"datagram cut short", AudioFrom(5, four, 4), 42, {2}},
        {"rate 0", AudioFrom(5, four, 4, 4, 0), 0, {}},
        {"rate too high", AudioFrom(5, four, 4, 4, 200001), 0, {}},
        {"another line", AudioFrom(5, four, 4, 4, 16000, 0x0999), 0, {}},
        {"a stranger on another line", AudioFrom(9, four, 4, 4, 16000, 0x0999), 0, {}},
    };
    for (const auto& c : cases) {
        path().writes.clear();
        FeedAudio(c.bytes, c.length);
        std::vector<std::size_t> played;
        for (auto& w : path().writes) played.push_back(w.size());
        EXPECT_EQ(played, c.played) << c.name;
    }
    auto otherExercise = AudioFrom(5, four, 4);
    otherExercise[1] = std::byte{2};
    path().writes.clear();
    FeedAudio(otherExercise);
    EXPECT_TRUE(path().writes.empty());
}

// A talker's pause: the second sweep after its last audio stops its sound,
// but its record (with its decoder state) and the call stay, whoever else
// hangs up meanwhile; the words after the pause play. Audio on the line
// from a station without a record joins it to the call.
TEST_F(CallAudioTest, SpeechAfterAPauseIsHeard) {
    const std::vector<std::uint8_t> four(8, 0x11);  // 4 PCM samples
    Feed(*station, Status(5, kLine, ICS_LINE_TALKING));
    FeedAudio(AudioFrom(5, four, 4));
    station->Sweep();
    station->Sweep();
    EXPECT_EQ(path().calls.back(), "stop 5");
    Feed(*station, Status(40, 0x1234, ICS_LINE_ON_HOOK));
    ASSERT_TRUE(station->IsConnected());
    path().calls.clear();
    path().writes.clear();
    FeedAudio(AudioFrom(5, four, 4));
    EXPECT_EQ(path().calls, std::vector<std::string>{"gain 5"});
    FeedAudio(AudioFrom(9, four, 4));
    EXPECT_EQ(path().writes.size(), 2u);
    EXPECT_EQ(station->GetStationCount(), 2u);
}

// Parties that vanish: once none has been heard (a PDU of any kind) for two
// heartbeat periods or the receive time-out, the call ends as at their
// hang-up and the heartbeats stop. With heartbeats off nobody goes.
TEST_F(CallAudioTest, ACallWhosePartiesVanishEnds) {
    auto& library = hcy::Library();
    struct Restore {
        std::int32_t period, timeout;
        ~Restore() {
            hcy::Library().m_nHeartbeatTicks = period;
            hcy::Library().m_nRecvTimeoutTicks = timeout;
        }
    } restore{library.m_nHeartbeatTicks.load(), library.m_nRecvTimeoutTicks.load()};
    library.m_nHeartbeatTicks = -1;
    for (int i = 0; i < 50; ++i) station->Sweep();
    EXPECT_TRUE(station->IsConnected());
    library.m_nHeartbeatTicks = 2;  // 0.5 s: two periods are two sweeps
    library.m_nRecvTimeoutTicks = 2;
    station->Sweep();
    station->Sweep();
    FeedAudio(AudioFrom(5, std::vector<std::uint8_t>(8), 4, 4, 16000, 0x0999));
    station->Sweep();
    station->Sweep();
    EXPECT_TRUE(station->IsConnected());
    station->Sweep();
    EXPECT_FALSE(station->IsConnected());
    EXPECT_EQ(station->GetLine(), 0);
    EXPECT_EQ(Words(*station), (std::vector<std::uint32_t>{1, 0, 0, 0}));
    station->Heartbeat();
    EXPECT_TRUE(Sent().empty());
}

// A station that goes mid-call hangs up first and then ignores everything;
// a closing device takes its paths with it.
TEST_F(CallAudioTest, RemovedStationHangsUpAndFallsSilent) {
    station->RemoveAll();
    EXPECT_EQ(SentControls(),
              std::vector<std::string>{Summary(Status(3, kLine, ICS_LINE_ON_HOOK))});
    EXPECT_EQ(station->GetRecvPathCount(), 0u);
    station->SetHook(0);
    station->Dial(5);
    station->Heartbeat();
    Feed(*station, DialRequest(21, 3));
    EXPECT_TRUE(Sent().empty());
}

// The threads that meet in a station (control and audio workers, the tick,
// a capture thread, the host) at once; ThreadSanitizer judges.
TEST_F(CallAudioTest, ThreadsMeetInOneStation) {
    constexpr int kRounds = 400;
    const auto audio = AudioFrom(5, std::vector<std::uint8_t>(64, 0x21), 32);
    const std::vector<std::int16_t> block(256, 100);
    std::vector<std::thread> threads;
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            Feed(*station, Status(5, kLine, i % 2 ? ICS_LINE_TALKING : ICS_LINE_OFF_HOOK));
            Feed(*station, DialRequest(21, 3));
        }
    });
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) FeedAudio(audio);
    });
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            Feed(*station, Status(5, kLine, ICS_LINE_TALKING));  // never gone for silence
            station->Sweep();
            station->Heartbeat();
        }
    });
    threads.emplace_back([&] {
        for (int i = 0; i < kRounds; ++i) {
            station->SetTalk(i % 2, 6);
            station->SendAudio(block.data(), 512, 16000);
        }
    });
    for (int i = 0; i < kRounds; ++i) {
        station->SetMasterVolume(i % 2 ? 1.0f : 0.5f);
        EXPECT_EQ(Words(*station), std::vector<std::uint32_t>(4, 0));
    }
    for (auto& t : threads) t.join();
    EXPECT_TRUE(station->IsConnected());
}

TEST_F(StationTest, PathsAreReusedAndGoWithTheirDevice) {
    hcytest::StandInDevice other;
    station->AddRecvPath(&device, 0);  // already there
    station->RemoveRecvPath(&device, 0);
    EXPECT_EQ(paths.front()->stopAlls, 1);
    station->AddRecvPath(&other, 9);  // the stopped path serves again
    EXPECT_EQ(station->GetRecvPathCount(), 1u);
    EXPECT_EQ(paths.front()->GetChannel(), 9);
    station->AddRecvPath(&device, 8);
    EXPECT_EQ(station->GetRecvPathCount(), 2u);
    station->DetachDevice(&other);
    EXPECT_EQ(station->GetRecvPathCount(), 1u);
    EXPECT_EQ(paths.back()->GetDevice(), &device);
}

}  // namespace
}  // namespace hcytest
