// The host's decoded streams under real radios: one decode per Signal PDU
// for every radio that hears a transmitter, bit for bit what a radio
// decoding alone would hear; streams that go with their last record; fresh
// starts at a new stream and at a new transmission; ADPCM listeners out of
// step that end without a lasting offset.
#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <numbers>
#include <thread>

#include "codecs/codec.h"
#include "media/net_play_device.h"
#include "net/heard_streams.h"
#include "radio/radio_factory.h"
#include "radio_fixture.h"

// Allocations made by this thread, counted for the whole test program; all
// out of line, so that the compiler never sees malloc and free behind a new
// expression.
thread_local std::size_t t_allocations = 0;

[[gnu::noinline]] void* operator new(std::size_t bytes) {
    ++t_allocations;
    if (void* p = std::malloc(bytes ? bytes : 1)) return p;
    throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept { std::free(p); }
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using hcytest::Deliver;
using hcytest::MakeSignalPdu;
using hcytest::MakeTransmitterPdu;
using hcytest::TransmitterSpec;

constexpr std::size_t kBlock = 512;  // [samples]

// Block `n` of a tone of `amplitude` at `hz`, continuous across blocks.
std::vector<std::int16_t> Tone(std::size_t n, double hz = 440.0, double amplitude = 8000.0) {
    std::vector<std::int16_t> s(kBlock);
    for (std::size_t i = 0; i < kBlock; ++i)
        s[i] = static_cast<std::int16_t>(std::lround(
            amplitude * std::sin(2.0 * std::numbers::pi * hz * double(n * kBlock + i) / 16000.0)));
    return s;
}

// Mean and root mean square of `got - want` [linear units].
std::pair<double, double> Error(std::span<const std::int16_t> got,
                                std::span<const std::int16_t> want) {
    double sum = 0.0, squares = 0.0;
    for (std::size_t i = 0; i < got.size(); ++i) {
        const double e = double(got[i]) - want[i];
        sum += e;
        squares += e * e;
    }
    return {sum / double(got.size()), std::sqrt(squares / double(got.size()))};
}

class HeardStream : public hcytest::RadioTest {
protected:
    void SetUp() override {
        RadioTest::SetUp();
        other = std::make_shared<hcytest::TestRadio>();
        other->SetRadioId(1, 2, 3, 5);
        other->SetXYZPosition(6378137.0, 0.0, 0.0);
        other->SetFrequency(30e6, 30e6);
        other->AttachRecvPath(device.get(), 0);             // Path(1)
        for (auto* r : Radios()) r->SetDoPropLossModel(0);  // no capture rule
    }
    void TearDown() override {
        other.reset();
        RadioTest::TearDown();
    }

    std::array<CRadioModel*, 2> Radios() { return {radio.get(), other.get()}; }
    // As the dispatcher offers a PDU: one round, every radio.
    void Dispatch(const std::vector<std::byte>& pdu) {
        const hcy::net::SignalRound round(NET_PRIMARY);
        for (auto* r : Radios()) Deliver(*r, pdu);
    }
    void HearAll(const TransmitterSpec& s) {
        for (auto* r : Radios()) Deliver(*r, MakeTransmitterPdu(s));
    }
    static hcy::net::HeardStreams::Probe Probe() {
        return hcy::net::HeardStreams::Host().GetProbe();
    }
    // Everything path `i` was given, in order.
    std::vector<std::int16_t> Heard(std::size_t i) {
        std::vector<std::int16_t> all;
        for (auto& w : Path(i).writes) all.insert(all.end(), w.samples.begin(), w.samples.end());
        return all;
    }

    // A radio of this system transmitting a tone in two transmissions of 16
    // blocks: the PDUs it sent (Transmitter: keyed, unkeyed, keyed), the
    // samples of the second and what a fresh decoder makes of it.
    struct KeyedTwice {
        std::vector<std::vector<std::byte>> transmitters, signals;
        std::vector<std::int16_t> secondSamples, secondFresh;
    };
    KeyedTwice SendKeyedTwice() {
        auto sender = std::make_shared<hcytest::TestRadio>();
        sender->SetRadioId(60, 61, 62, 1);
        sender->SetFrequency(30e6, 30e6);
        sender->SetEncoding(ENCODING_ADPCM);
        KeyedTwice sent;
        for (std::size_t n = 0; n < 32; ++n) {
            if (n % 16 == 0) {
                sender->SetPTT(0, 10);
                sender->SetPTT(1, 10);
            }
            const auto tone = Tone(n);
            sender->TransmitAudio(tone.data(), kBlock * 2, 16000, 10);
            if (n >= 16)
                sent.secondSamples.insert(sent.secondSamples.end(), tone.begin(), tone.end());
        }
        sent.transmitters = Pdus(hcy::net::PDU_TYPE_TRANSMITTER);
        sent.signals = Pdus(hcy::net::PDU_TYPE_SIGNAL);
        EXPECT_EQ(sent.transmitters.size(), 3u);
        EXPECT_EQ(sent.signals.size(), 32u);
        std::vector<std::uint8_t> coded;
        for (std::size_t n = 16; n < sent.signals.size(); ++n)
            for (auto it = sent.signals[n].begin() + 32; it != sent.signals[n].end(); ++it)
                coded.push_back(static_cast<std::uint8_t>(*it));
        hcy::CodecSet reference;
        hcy::CodecStreamState fresh;
        sent.secondFresh.resize(coded.size() * 2);
        reference.Decode(hcy::CodecKind::Adpcm, fresh, coded, sent.secondFresh);
        return sent;
    }

    std::shared_ptr<hcytest::TestRadio> other;
};

TEST_F(HeardStream, TwoRadiosShareOneDecodeAndHearWhatEachWouldAlone) {
    struct Case {
        std::uint16_t encoding;
        hcy::CodecKind kind;
    };
    for (const Case& c : {Case{3, hcy::CodecKind::Adpcm}, Case{2, hcy::CodecKind::Cvsd},
                          Case{1, hcy::CodecKind::MuLaw}, Case{4, hcy::CodecKind::Pcm}}) {
        SCOPED_TRACE(c.encoding);
        const TransmitterSpec talker{.id = {40, 41, 42, c.encoding}};
        HearAll(talker);
        hcy::CodecSet sender, alone;
        hcy::CodecStreamState aloneState;
        std::vector<std::int16_t> wantFirst, wantOther;
        const std::size_t writesBefore[] = {Path(0).writes.size(), Path(1).writes.size()};
        const auto decodesBefore = Probe().decodes;
        for (std::size_t n = 0; n < 6; ++n) {
            // The second radio's squelch shuts for blocks 2 and 3, the
            // first's for block 3, when no one hears: the stream goes on, so
            // both are in step when the squelch opens again.
            if (n == 2) other->SetSquelchLevel(2.0f);
            if (n == 3) radio->SetSquelchLevel(2.0f);
            if (n == 4)
                for (auto* r : Radios()) r->SetSquelchLevel(0.2f);
            const auto tone = Tone(n);
            std::vector<std::uint8_t> coded(kBlock * 2 / hcy::GetCompressionRatio(c.kind));
            sender.Encode(c.kind, tone, coded);
            Dispatch(MakeSignalPdu(talker.id, c.encoding, coded, kBlock));
            std::vector<std::int16_t> decoded(kBlock);
            alone.Decode(c.kind, aloneState, coded, decoded);
            if (n != 3) wantFirst.insert(wantFirst.end(), decoded.begin(), decoded.end());
            if (n < 2 || n >= 4) wantOther.insert(wantOther.end(), decoded.begin(), decoded.end());
        }
        EXPECT_EQ(Probe().decodes - decodesBefore, 6u);
        auto since = [&](std::size_t i) {
            auto all = Heard(i);
            return std::vector<std::int16_t>(all.begin() + long(writesBefore[i] * kBlock),
                                             all.end());
        };
        EXPECT_EQ(since(0), wantFirst);
        EXPECT_EQ(since(1), wantOther);
    }
}

TEST_F(HeardStream, ARunningStreamDecodesWithoutAllocating) {
    for (auto* r : Radios()) r->DetachDevice(device.get());  // nothing to play into
    const TransmitterSpec talker{.id = {45, 46, 47, 1}};
    HearAll(talker);
    for (const std::uint16_t encoding : {3, 2, 1, 4}) {
        const auto pdu =
            MakeSignalPdu(talker.id, encoding, std::vector<std::uint8_t>(256, 0x3C), 512);
        Dispatch(pdu);  // the stream starts
        const auto decodes = Probe().decodes;
        const std::size_t before = t_allocations;
        for (int n = 0; n < 4; ++n) Dispatch(pdu);
        EXPECT_EQ(t_allocations, before) << encoding;
        EXPECT_EQ(Probe().decodes - decodes, 4u);
    }
}

TEST_F(HeardStream, AStreamGoesWithItsLastRecordAndANewOneStartsFresh) {
    const auto base = Probe();
    const TransmitterSpec talker{.id = {50, 51, 52, 1}};
    HearAll(talker);
    hcy::CodecSet sender;
    auto block = [&](std::size_t n) {
        std::vector<std::uint8_t> coded(kBlock / 2);
        sender.Encode(hcy::CodecKind::Adpcm, Tone(n), coded);
        return coded;
    };
    Dispatch(MakeSignalPdu(talker.id, 3, block(0), kBlock));
    EXPECT_EQ(Probe().transmitters, base.transmitters + 1);
    EXPECT_EQ(Probe().streams, base.streams + 1);

    // A radio whose CVSD tuning differs hears a CVSD stream of its own.
    double lowpass = 0.5;
    other->SetRadioData(RD_CVSD_DECODER_LOWPASS, &lowpass);
    const auto decodes = Probe().decodes;
    Dispatch(MakeSignalPdu(talker.id, 2, std::vector<std::uint8_t>(kBlock / 8, 0x5A), kBlock));
    EXPECT_EQ(Probe().decodes - decodes, 2u);
    EXPECT_NE(Path(0).writes.back().samples, Path(1).writes.back().samples);

    // Swept from one radio the transmitter is still heard by the other; from
    // both, it is gone with its streams.
    radio->SweepReceiveTimeouts();
    radio->SweepReceiveTimeouts();
    EXPECT_EQ(Probe().transmitters, base.transmitters + 1);
    other->SweepReceiveTimeouts();
    other->SweepReceiveTimeouts();
    EXPECT_EQ(Probe().transmitters, base.transmitters);
    EXPECT_EQ(Probe().streams, base.streams);

    // Heard again, it is decoded from the zero state.
    HearAll(talker);
    const auto next = block(1);
    Dispatch(MakeSignalPdu(talker.id, 3, next, kBlock));
    hcy::CodecSet fresh;
    hcy::CodecStreamState state;
    std::vector<std::int16_t> want(kBlock);
    fresh.Decode(hcy::CodecKind::Adpcm, state, next, want);
    EXPECT_EQ(Path(0).writes.back().samples, want);
}

// The PDU workers at once: Transmitter PDUs (records made, refreshed,
// keyed and unkeyed, swept) on one thread, Signal PDUs offered to both
// radios on another. Everything held is let go at the end.
TEST_F(HeardStream, RecordsComeAndGoWhileTheirStreamsDecode) {
    const auto base = Probe();
    std::atomic<bool> done{false};
    std::thread transmitters([&] {
        for (int n = 0; n < 400; ++n) {
            for (std::uint16_t t = 1; t <= 4; ++t)
                HearAll({.id = {80, 81, 82, t}, .state = std::uint8_t(n % 7 == 0 ? 1 : 2)});
            if (n % 50 == 49)
                for (auto* r : Radios()) r->SweepReceiveTimeouts();
        }
        done = true;
    });
    const std::vector<std::uint8_t> coded(kBlock / 2, 0x5A);
    std::size_t offered = 0;
    while (!done.load() || offered < 400) {
        for (std::uint16_t t = 1; t <= 4; ++t)
            Dispatch(MakeSignalPdu({{80, 81, 82}, t}, 3, coded, kBlock));
        ++offered;
    }
    transmitters.join();
    for (int sweep = 0; sweep < 2; ++sweep)
        for (auto* r : Radios()) r->SweepReceiveTimeouts();
    EXPECT_EQ(Probe().transmitters, base.transmitters);
    EXPECT_EQ(Probe().streams, base.streams);
}

// ADPCM has no leak: a listener out of step with the encoder kept the
// difference of the two predictors for good. Senders of this system start
// their encoders afresh at each keying and listeners their streams at its
// first block; the decoder takes the predictor's running mean off its
// output, so even a peer that never starts afresh leaves no lasting offset.
TEST_F(HeardStream, AdpcmListenersOutOfStepEndWithoutALastingOffset) {
    // A radio of this system, keyed twice; the listener comes in during the
    // first transmission (a host started late).
    const KeyedTwice sent = SendKeyedTwice();
    Deliver(*radio, sent.transmitters[0]);  // keyed: the record is made mid-stream
    for (std::size_t n = 8; n < 16; ++n) Deliver(*radio, sent.signals[n]);
    Deliver(*radio, sent.transmitters[1]);
    Deliver(*radio, sent.transmitters[2]);
    for (std::size_t n = 16; n < 32; ++n) Deliver(*radio, sent.signals[n]);
    const auto heard = Heard(0);
    ASSERT_EQ(heard.size(), 24 * kBlock);

    // The second transmission is decoded from its first block as a fresh
    // decoder does.
    const auto secondHeard = std::span(heard).subspan(8 * kBlock);
    EXPECT_TRUE(std::ranges::equal(secondHeard, sent.secondFresh));
    const auto [mean, rms] =
        Error(secondHeard.subspan(4 * kBlock), std::span(sent.secondSamples).subspan(4 * kBlock));
    EXPECT_LT(std::fabs(mean), 5.0);
    EXPECT_LT(rms, 200.0);

    // A peer that never starts afresh: tone, a pause of silence, tone, all
    // one transmission; the listener comes in during the first tone. Once
    // the pause has brought both step indexes to the bottom it hears what a
    // listener from the start hears, offset and all gone.
    hcy::CodecSet peer, fromStart;
    hcy::CodecStreamState fromStartState;
    const TransmitterSpec talker{.id = {70, 71, 72, 1}};
    Hear(talker);
    const std::size_t before = heard.size();
    std::vector<std::int16_t> wantFromStart;
    for (std::size_t n = 0; n < 40; ++n) {
        const auto samples = n >= 12 && n < 20 ? std::vector<std::int16_t>(kBlock) : Tone(n, 300.0);
        std::vector<std::uint8_t> bytes(kBlock / 2);
        peer.Encode(hcy::CodecKind::Adpcm, samples, bytes);
        std::vector<std::int16_t> decoded(kBlock);
        fromStart.Decode(hcy::CodecKind::Adpcm, fromStartState, bytes, decoded);
        if (n < 7) continue;
        Deliver(*radio, MakeSignalPdu(talker.id, 3, bytes, kBlock));
        wantFromStart.insert(wantFromStart.end(), decoded.begin(), decoded.end());
    }
    const auto all = Heard(0);
    const auto peerHeard = std::span(all).subspan(before);
    ASSERT_EQ(peerHeard.size(), wantFromStart.size());
    // The last 8 blocks, 0.6 s after the pause.
    const auto [lastMean, lastRms] =
        Error(peerHeard.last(8 * kBlock), std::span(wantFromStart).last(8 * kBlock));
    EXPECT_LT(std::fabs(lastMean), 1.0);
    EXPECT_LT(lastRms, 2.0);
}

// A scanner reads no Transmitter PDU: the dispatcher tells the host's
// streams of a new transmission before the radios. Switched off for a
// while, it hears nothing but its stream stays in step.
TEST_F(HeardStream, AScannerStartsAfreshAtANewTransmissionToo) {
    const KeyedTwice sent = SendKeyedTwice();
    auto scanner = CreateRadioModel(RADIO_TYPE_SCANNER, std::make_shared<CNetPlayDevices>());
    scanner->AttachRecvPath(device.get(), 0);  // Path(2)
    auto dispatch = [](const std::vector<std::byte>& pdu) {
        theApp.DispatchTransmitterPdu(reinterpret_cast<const hcy::net::TransmitterPdu*>(pdu.data()),
                                      static_cast<std::uint32_t>(pdu.size()), NET_PRIMARY);
    };
    dispatch(sent.transmitters[0]);
    for (std::size_t n = 8; n < 16; ++n) Deliver(*scanner, sent.signals[n]);
    dispatch(sent.transmitters[1]);
    dispatch(sent.transmitters[2]);
    for (std::size_t n = 16; n < 32; ++n) {
        if (n == 20 || n == 24) scanner->SetOnOff(n == 24);
        Deliver(*scanner, sent.signals[n]);
    }
    const auto heard = Heard(2);
    ASSERT_EQ(heard.size(), 20 * kBlock);
    auto want = sent.secondFresh;
    want.erase(want.begin() + 4 * kBlock, want.begin() + 8 * kBlock);
    EXPECT_TRUE(std::ranges::equal(std::span(heard).subspan(8 * kBlock), want));
}

}  // namespace
