// What the secure models play, on the manual clock: the crypto preamble
// before the voice, the no-fill prompt of a radio without a key, the
// no-code prompt in place of undecodable audio, and the ARC radios' tones.
// The WAV players and playback devices are the library's own.
#include "base/library.h"
#include "hcyplat/clock.h"
#include "secure_fixture.h"

namespace {

using namespace hcytest;
using namespace hcytest::secure;
using Samples = std::vector<std::int16_t>;

// One period of the players at 16 kHz with 2048-byte blocks [ms]: the
// playback device's and the prompt player's.
constexpr plat::DWORD kDevicePeriod = 64, kPromptPeriod = 64;

class SecurePrompts : public SecureModels {
protected:
    // The private devices draw handles from the shared counter: keep their
    // sources (2 x handle) clear of the operator's stand-in source 2.
    void SetUp() override {
        SecureModels::SetUp();
        hcy::Library().m_nNextHandle = 100;
    }
    // The samples of every Signal PDU sent since the last Clear, as one.
    Samples Sent() {
        Samples out;
        for (const auto& pdu : Pdus(hcy::net::PDU_TYPE_SIGNAL)) {
            const std::size_t n = (pdu.size() - hcy::net::SIGNAL_PDU_HEADER_SIZE) / 2;
            const std::size_t at = out.size();
            out.resize(at + n);
            std::memcpy(out.data() + at, pdu.data() + hcy::net::SIGNAL_PDU_HEADER_SIZE, n * 2);
        }
        return out;
    }
    // The operator speaks one block of `value` (from source 2 unless said).
    void Speak(CRadioModel& radio, std::int16_t value, std::uint32_t source = 2) {
        const Samples block(1024, value);
        radio.TransmitAudio(block.data(), 2048, 16000, source);
    }
    // The prompt samples the path's local source got since the last call.
    Samples Local(std::size_t p) {
        Samples out;
        for (const auto& w : Path(p).writes)
            if (!w.record) out.insert(out.end(), w.samples.begin(), w.samples.end());
        Path(p).writes.clear();
        return out;
    }
    static bool AllAre(const Samples& s, std::int16_t value) {
        return !s.empty() && std::all_of(s.begin(), s.end(), [&](auto v) { return v == value; });
    }
    std::vector<std::uint8_t> States() {
        std::vector<std::uint8_t> out;
        for (const auto& pdu : Pdus(hcy::net::PDU_TYPE_TRANSMITTER))
            out.push_back(As<TransmitterPdu>(pdu).transmitState);
        return out;
    }
    std::string Wav(const std::string& name, std::size_t count, std::int16_t value) {
        return WriteWav(dir_.file(name), count, value);
    }
    template <class Model>
    std::shared_ptr<Open<Model>> Keyed(std::size_t& p, double hertz = 30e6) {
        auto radio = Make(std::make_shared<Open<Model>>(), &p);
        radio->SetFrequency(hertz, hertz);
        radio->SetCryptoSystem(3);
        radio->SetCryptoKey(5);
        Clear();
        return radio;
    }
};

TEST_F(SecurePrompts, ThePreambleGoesOutFirstAndTheHeldKeyThenSendsTheVoice) {
    WriteConfig("[Secure]\nPreamble3Wav=" + Wav("preamble.wav", 2048, 1000) + "\n");
    std::size_t p = 0;
    auto radio = Keyed<CSecureRadioModel>(p);
    // A private device: the next handle of the shared counter, plainly.
    const auto preamble = static_cast<std::uint32_t>(hcy::Library().m_nNextHandle.load()) * 2;
    ASSERT_EQ(radio->SetPTT(1, 2), 1);
    EXPECT_EQ(radio->GetPttSource(), preamble);
    EXPECT_EQ(LastTransmitterPdu().inputSource, preamble & 0xFF);
    EXPECT_EQ(radio->Params().receptionMode, RECEPTION_MODE_SILENT);
    Speak(*radio, 7);  // held back
    EXPECT_TRUE(Sent().empty());
    plat::AdvanceClock(2 * kDevicePeriod);
    EXPECT_TRUE(AllAre(Sent(), 1000));
    EXPECT_EQ(Sent().size(), 2048u);
    Clear();
    plat::AdvanceClock(kDevicePeriod);  // played out: unkeyed, and keyed for the voice
    EXPECT_EQ(States(), (std::vector<std::uint8_t>{1, 2}));
    EXPECT_EQ(radio->GetPttSource(), 2u);
    EXPECT_EQ(LastTransmitterPdu().inputSource, 2);
    EXPECT_EQ(radio->Params().receptionMode, RECEPTION_MODE_TAIL);
    Speak(*radio, 7);
    EXPECT_TRUE(AllAre(Sent(), 7));
}

// Released during the preamble: unkeyed at once, and hearing as before.
TEST_F(SecurePrompts, AReleaseDuringThePreambleEndsItAndGivesReceptionBack) {
    WriteConfig("[Secure]\nPreamble3Wav=" + Wav("preamble.wav", 4096, 1000) + "\n");
    std::size_t p = 0;
    auto radio = Keyed<CSecureRadioModel>(p);
    const Heard heard = Hear(*radio, p, {}, {.system = 3, .key = 5});
    ASSERT_NE(heard.record, nullptr);
    ASSERT_EQ(radio->SetPTT(1, 2), 1);
    EXPECT_TRUE(heard.record->GetPttBlock());
    plat::AdvanceClock(kDevicePeriod);
    Clear();
    EXPECT_EQ(radio->SetPTT(0, 2), 1);
    EXPECT_EQ(radio->GetPttSource(), 0u);
    EXPECT_EQ(States(), std::vector<std::uint8_t>{1});
    EXPECT_FALSE(heard.record->GetPttBlock());
    EXPECT_FALSE(Path(p).noiseMuted);
    EXPECT_EQ(radio->Params().receptionMode, RECEPTION_MODE_TAIL);
    plat::AdvanceClock(4 * kDevicePeriod);
    EXPECT_TRUE(Sent().empty());
    EXPECT_EQ(States(), std::vector<std::uint8_t>{1});  // not keyed again
}

// A second device keyed during the preamble sends nothing over it, and
// keeps the radio when the first lets go.
TEST_F(SecurePrompts, EveryFurtherSourceWaitsForThePreambleToEnd) {
    WriteConfig("[Secure]\nPreamble3Wav=" + Wav("preamble.wav", 2048, 1000) + "\n");
    std::size_t p = 0;
    auto radio = Keyed<CSecureRadioModel>(p);
    ASSERT_EQ(radio->SetPTT(1, 2), 1);
    EXPECT_EQ(radio->SetPTT(1, 4), 1);
    EXPECT_EQ(radio->SetPTT(0, 2), 1);  // the preamble plays on for source 4
    Speak(*radio, 7, 4);
    plat::AdvanceClock(2 * kDevicePeriod);
    Speak(*radio, 7, 4);
    EXPECT_TRUE(AllAre(Sent(), 1000));
    EXPECT_EQ(Sent().size(), 2048u);
    plat::AdvanceClock(kDevicePeriod);
    EXPECT_EQ(radio->GetPttSource(), 4u);
    Clear();
    Speak(*radio, 7, 4);
    EXPECT_TRUE(AllAre(Sent(), 7));
}

TEST_F(SecurePrompts, WithoutAKeyTheNoFillPromptLoopsLocallyUntilTheRelease) {
    WriteConfig("[Secure]\nNoFill3Wav=" + Wav("nofill.wav", 300, 500) + "\n");
    std::size_t p = 0;
    auto radio = Keyed<CSecureRadioModel>(p);
    radio->SetCryptoKey(0);
    Local(p);
    ASSERT_EQ(radio->SetPTT(1, 2), 1);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Radio 8: No crypto key loaded.");
    EXPECT_EQ(radio->GetPttSource(), 0u);
    plat::AdvanceClock(3 * kPromptPeriod);
    const Samples heard = Local(p);
    EXPECT_TRUE(AllAre(heard, 500));
    EXPECT_GT(heard.size(), 3 * 300u);  // over and over
    EXPECT_TRUE(Pdus(hcy::net::PDU_TYPE_TRANSMITTER).empty());
    EXPECT_EQ(radio->SetPTT(0, 2), 1);
    plat::AdvanceClock(3 * kPromptPeriod);
    EXPECT_TRUE(Local(p).empty());
    Data(*radio, RD_ALLOW_PLAIN_XMIT, std::uint32_t{1});  // in clear: no prompt
    ASSERT_EQ(radio->SetPTT(1, 2), 1);
    EXPECT_EQ(radio->GetPttSource(), 2u);
    plat::AdvanceClock(kPromptPeriod);
    EXPECT_TRUE(Local(p).empty());
}

TEST_F(SecurePrompts, UndecodableAudioGivesTheNoCodePromptUntilTheTransmissionEnds) {
    WriteConfig("[Secure]\nNoCode3Wav=" + Wav("nocode.wav", 1024, 300) + "\n");
    std::size_t p = 0;
    auto radio = Keyed<CSecureRadioModel>(p);
    TransmitterSpec s;
    const Heard other = Hear(*radio, p, s, {.system = 3, .key = 6});
    ASSERT_NE(other.record, nullptr);
    EXPECT_EQ(other.blocks, 0u);
    EXPECT_EQ(other.record->audioLevel, 0.7);
    plat::AdvanceClock(2 * kPromptPeriod);
    EXPECT_TRUE(AllAre(Local(p), 300));
    s.state = 1;
    Deliver(*radio, Pdu(s, {.system = 3, .key = 6}));
    plat::AdvanceClock(2 * kPromptPeriod);
    EXPECT_TRUE(Local(p).empty());
    s = {.id = {{10, 20, 31}, 1}};
    const Heard same = Hear(*radio, p, s, {.system = 3, .key = 5});
    EXPECT_EQ(same.blocks, 1u);
    plat::AdvanceClock(kPromptPeriod);
    EXPECT_TRUE(Local(p).empty());

    // The file is looked up once a transmission, not at every PDU.
    WriteConfig("");
    s = {.id = {{10, 20, 32}, 1}};
    Hear(*radio, p, s, {.system = 3, .key = 6});
    WriteConfig("[Secure]\nNoCode3Wav=" + dir_.file("nocode.wav") + "\n");
    Hear(*radio, p, s, {.system = 3, .key = 6});
    plat::AdvanceClock(kPromptPeriod);
    EXPECT_TRUE(Local(p).empty());
    s.state = 1;
    Deliver(*radio, Pdu(s, {.system = 3, .key = 6}));
    s.state = 2;
    Hear(*radio, p, s, {.system = 3, .key = 6});
    plat::AdvanceClock(kPromptPeriod);
    EXPECT_TRUE(AllAre(Local(p), 300));
}

TEST_F(SecurePrompts, Arc164TonesKeyTheRadioAndTheTimeOfDayToneMarksItsNetWord) {
    WriteConfig("[ARC164]\nTestToneWav=" + Wav("test.wav", 700, 1200) +
                "\nTODToneWav=" + Wav("tod.wav", 2048, 900) + "\n");
    const auto tod = static_cast<std::uint32_t>(hcy::Library().m_nNextHandle.load()) * 2;
    std::size_t p = 0;
    auto radio = Keyed<CArc164RadioModel>(p, 300e6);
    radio->SetCryptoSystem(0);
    radio->SetXmitAttached(1);  // as a device does when the radio joins its list
    Data(*radio, RD_TONE, std::int32_t{1});
    EXPECT_EQ(radio->GetPttSource(), tod + 2);  // the test tone's device
    plat::AdvanceClock(3 * kDevicePeriod);
    EXPECT_TRUE(AllAre(Sent(), 1200));
    EXPECT_EQ(Sent().size(), 3 * 1024u);  // looping
    Data(*radio, RD_TONE, std::int32_t{0});
    EXPECT_EQ(radio->GetPttSource(), 0u);

    Data(*radio, RD_FH_NET_ID, std::uint16_t{0x0102});
    Data(*radio, RD_FH_SYNC_OFFSET, std::uint16_t{3});  // HQ mode: the time-of-day tone
    Clear();
    Data(*radio, RD_TONE, std::int32_t{1});
    EXPECT_EQ(radio->GetPttSource(), tod);
    EXPECT_EQ(Parameters()[0], 0xFF);
    EXPECT_EQ(Parameters()[1], 0xFF);
    Data(*radio, RD_TONE, std::int32_t{0});  // only its end stops it
    plat::AdvanceClock(2 * kDevicePeriod);
    EXPECT_EQ(radio->GetPttSource(), tod);
    EXPECT_TRUE(AllAre(Sent(), 900));
    plat::AdvanceClock(kDevicePeriod);
    EXPECT_EQ(radio->GetPttSource(), 0u);
    radio->Heartbeat();
    EXPECT_EQ(Parameters()[0], 0x02);  // the host's net word again
    EXPECT_EQ(Parameters()[1], 0x01);
}

// The radio's own tones go out without preamble; without a crypto key the
// time-of-day tone is refused and the net word stays the host's.
TEST_F(SecurePrompts, Arc164TonesSkipThePreambleAndARefusedTimeOfDayToneKeepsTheNetWord) {
    WriteConfig("[Secure]\nPreamble3Wav=" + Wav("preamble.wav", 2048, 1000) +
                "\n[ARC164]\nTestToneWav=" + Wav("test.wav", 1024, 1200) +
                "\nTODToneWav=" + Wav("tod.wav", 2048, 900) + "\n");
    const auto tod = static_cast<std::uint32_t>(hcy::Library().m_nNextHandle.load()) * 2;
    std::size_t p = 0;
    auto radio = Keyed<CArc164RadioModel>(p, 300e6);
    radio->SetXmitAttached(1);
    Data(*radio, RD_TONE, std::int32_t{1});
    EXPECT_EQ(radio->GetPttSource(), tod + 2);
    plat::AdvanceClock(kDevicePeriod);
    EXPECT_TRUE(AllAre(Sent(), 1200));
    Data(*radio, RD_TONE, std::int32_t{0});

    radio->SetCryptoKey(0);
    Data(*radio, RD_FH_NET_ID, std::uint16_t{0x0102});
    Data(*radio, RD_FH_SYNC_OFFSET, std::uint16_t{3});
    Clear();
    Data(*radio, RD_TONE, std::int32_t{1});
    EXPECT_EQ(radio->GetPttSource(), 0u);
    EXPECT_EQ(theApp.LastError(), "HCY ERROR: Radio 8: No crypto key loaded.");
    radio->Heartbeat();
    EXPECT_EQ(Parameters()[0], 0x02);
    EXPECT_EQ(Parameters()[1], 0x01);
    plat::AdvanceClock(3 * kDevicePeriod);
    EXPECT_TRUE(Sent().empty());
}

// A new test-tone file stops the tone playing and plays at the next RD_TONE.
TEST_F(SecurePrompts, Arc186ReplacingThePlayingTestToneStopsItAndThenPlaysTheNewFile) {
    WriteConfig("[ARC186]\nTestToneWav=" + Wav("a.wav", 1024, 111) + "\n");
    const std::string b = Wav("b.wav", 1024, 222);
    std::size_t p = 0;
    auto radio = Keyed<CArc186RadioModel>(p);
    radio->SetCryptoSystem(0);
    radio->SetXmitAttached(1);
    Data(*radio, RD_TONE, std::int32_t{1});
    plat::AdvanceClock(kDevicePeriod);
    EXPECT_TRUE(AllAre(Sent(), 111));
    EXPECT_NE(radio->GetPttSource(), 0u);
    radio->SetRadioData(RD_TEST_TONE_WAV, const_cast<char*>(b.c_str()));
    EXPECT_EQ(radio->GetPttSource(), 0u);
    Clear();
    plat::AdvanceClock(2 * kDevicePeriod);
    EXPECT_TRUE(Sent().empty());
    Data(*radio, RD_TONE, std::int32_t{1});
    plat::AdvanceClock(kDevicePeriod);
    EXPECT_TRUE(AllAre(Sent(), 222));
}

// On the real clock the players and devices deliver on timer threads of
// their own while the host keys, releases, hears and switches off: the
// ARC-164's test tone sends all along, the no-code prompt plays, preamble
// and no-fill prompt start and stop; the radios end unkeyed.
TEST_F(SecurePrompts, KeyingAndHearingRaceThePlayersTimerThreads) {
    WriteConfig("[Secure]\nPreamble3Wav=" + Wav("preamble.wav", 2048, 1000) + "\nNoFill3Wav=" +
                Wav("nofill.wav", 1024, 500) + "\nNoCode3Wav=" + Wav("nocode.wav", 1024, 300) +
                "\n[ARC164]\nTestToneWav=" + Wav("test.wav", 1024, 1200) + "\n");
    plat::UseRealClock();
    std::size_t p = 0;
    auto radio = Keyed<CSecureRadioModel>(p);
    auto arc = Keyed<CArc164RadioModel>(p, 300e6);
    arc->SetCryptoSystem(0);
    arc->SetXmitAttached(1);
    ASSERT_EQ(radio->SetPTT(1, 2), 1);
    EXPECT_TRUE(hcytest::WaitFor([&] { return radio->GetPttSource() == 2u; }));  // voice
    Data(*arc, RD_TONE, std::int32_t{1});
    TransmitterSpec s;
    Deliver(*radio, Pdu(s, {.system = 3, .key = 6}));
    for (int i = 0; i < 10; ++i) {
        radio->SetCryptoKey(i % 3 == 0 ? 0 : 5);  // no-fill prompt, else preamble
        radio->SetPTT(i % 2, 2);
        Deliver(*radio, MakeSignalPdu(s.id, 4, std::vector<std::uint8_t>(64), 32));
        const std::size_t sent = Pdus(hcy::net::PDU_TYPE_SIGNAL).size();
        EXPECT_TRUE(
            hcytest::WaitFor([&] { return Pdus(hcy::net::PDU_TYPE_SIGNAL).size() > sent; }));
    }
    radio->SetPTT(0, 2);
    Data(*arc, RD_TONE, std::int32_t{0});
    s.state = 1;
    Deliver(*radio, Pdu(s, {.system = 3, .key = 6}));
    radio->SetOnOff(0);
    EXPECT_EQ(radio->GetPttSource(), 0u);
    EXPECT_EQ(arc->GetPttSource(), 0u);
    arc->SetXmitAttached(0);
    models_.clear();  // stops every player before the paths go
}

}  // namespace
