// The speech device with the stub engine on the manual clock: the speech
// file and its playout into the radios chunk by chunk, the voice settings
// and failures, a new text during a playout, and heard transmissions
// recorded one file each and transcribed on the device's worker.
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>

#include "audio/recv_path_mono.h"
#include "hcyplat/speech.h"
#include "radio/radio_fixture.h"
#include "support/library_fixture.h"

namespace {

using hcytest::WaitFor;
using Samples = std::vector<std::int16_t>;

constexpr std::uint8_t kExercise = 82;

struct Wav {
    std::uint32_t rate = 0;
    std::uint16_t channels = 0, bits = 0;
    Samples samples;
};

// A canonical 44-byte-header file, as the device and the engines write them.
Wav ReadWav(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    const std::string b((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    Wav w;
    if (b.size() < 44 || b.compare(0, 4, "RIFF") != 0 || b.compare(36, 4, "data") != 0) return w;
    std::memcpy(&w.channels, &b[22], 2);
    std::memcpy(&w.rate, &b[24], 4);
    std::memcpy(&w.bits, &b[34], 2);
    std::uint32_t size;
    std::memcpy(&size, &b[40], 4);
    w.samples.resize(std::min<std::size_t>(size, b.size() - 44) / 2);
    std::memcpy(w.samples.data(), &b[44], w.samples.size() * 2);
    return w;
}

class SpeechDevice : public RunningLibraryTest {
protected:
    void SetUp() override {
        RunningLibraryTest::SetUp();
        ASSERT_TRUE(dynamic_cast<CRecvPathMono*>(CreateRecvPath(CRecvPath::Kind::Mono).get()));
        synthesis_ = plat::SelectedSpeechEngine(plat::SpeechRole::Synthesis);
        recognition_ = plat::SelectedSpeechEngine(plat::SpeechRole::Recognition);
        ASSERT_TRUE(plat::SelectSpeechEngine(plat::SpeechRole::Synthesis, "stub"));
        ASSERT_TRUE(plat::SelectSpeechEngine(plat::SpeechRole::Recognition, "stub"));
        hcy::radio::SetNetMgrHookForTest([this](hcy::radio::NetMgrMessage&& m) {
            if (m.message != hcy::WM_NETMGR_SEND_PDU || !m.pdu) return;
            if (static_cast<std::uint8_t>(m.pdu->pdu.at(2)) != hcy::net::PDU_TYPE_SIGNAL) return;
            std::lock_guard lock(mutex_);
            signals_.push_back(m.pdu->pdu);
        });
        device = hcyOpenDataDevice(DATADEV_TYPE_SPEECH, nullptr, nullptr);
        ASSERT_GT(device, 0) << Error();
        radio = Radio();
    }
    void TearDown() override {
        RunningLibraryTest::TearDown();
        hcy::radio::SetNetMgrHookForTest({});
        plat::SelectSpeechEngine(plat::SpeechRole::Synthesis, synthesis_.c_str());
        plat::SelectSpeechEngine(plat::SpeechRole::Recognition, recognition_.c_str());
    }

    int Radio() {
        const int handle = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 0);
        EXPECT_EQ(hcySetExerciseID(handle, kExercise), 1);
        EXPECT_EQ(hcySetRadioFrequency(handle, 30e6, 30e6), 1);
        return handle;
    }
    int Speak(const std::string& text) {
        return hcyPostDataDevice(device, reinterpret_cast<intptr_t>(text.c_str()),
                                 static_cast<int>(text.size() + 1));
    }
    int Get(int code) {
        std::int32_t value = -1;
        EXPECT_EQ(hcyGetDeviceData(device, code, reinterpret_cast<intptr_t>(&value)), 1);
        return value;
    }
    std::string Result() {
        char text[1024];
        std::memset(text, 'x', sizeof text);
        EXPECT_EQ(
            hcyGetDeviceData(device, DEVDATA_SPEECH_RESULT_TEXT, reinterpret_cast<intptr_t>(text)),
            1);
        return text;
    }
    void Voice(const std::string& name, std::uint32_t count) {
        std::vector<char> value(4 + name.size() + 1);
        std::memcpy(value.data(), &count, 4);
        std::memcpy(value.data() + 4, name.c_str(), name.size() + 1);
        EXPECT_EQ(
            hcySetDeviceData(device, DEVDATA_VOICE_NAME, reinterpret_cast<intptr_t>(value.data())),
            1);
    }
    // The one file in `folder` named <stem>-<anything>.wav.
    static std::string OwnFile(const std::string& folder, const std::string& stem) {
        std::string found;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(stem + "-", 0) == 0 && name.ends_with(".wav")) {
                EXPECT_EQ(found, "") << "two files for " << stem;
                found = entry.path().string();
            }
        }
        return found;
    }
    std::string SpeechFile() const {
        return OwnFile(".", "HcyTTS" + std::to_string(device) + "_1");
    }

    // Sample counts of the Signal PDUs sent so far, and their samples in a row.
    std::vector<int> Chunks() {
        std::lock_guard lock(mutex_);
        std::vector<int> counts;
        for (auto& pdu : signals_) counts.push_back(static_cast<int>((pdu.size() - 32) / 2));
        return counts;
    }
    Samples Sent(std::size_t from = 0) {
        std::lock_guard lock(mutex_);
        Samples all;
        for (std::size_t i = from; i < signals_.size(); ++i) {
            hcy::net::SignalPdu fields;
            std::memcpy(&fields, signals_[i].data(), sizeof fields);
            EXPECT_EQ(fields.sampleRate, 8000u);
            const auto* s = reinterpret_cast<const std::int16_t*>(signals_[i].data() + 32);
            all.insert(all.end(), s, s + (signals_[i].size() - 32) / 2);
        }
        return all;
    }

    // A transmitter in range that keys, sends `samples` at 8 kHz in blocks
    // of 1024 and unkeys.
    void Transmit(const Samples& samples) {
        auto key = [&](std::uint8_t state) {
            const auto pdu = hcytest::MakeTransmitterPdu(
                hcytest::TransmitterSpec{.id = sender, .state = state, .exercise = kExercise});
            theApp.DispatchTransmitterPdu(
                reinterpret_cast<const hcy::net::TransmitterPdu*>(pdu.data()),
                static_cast<std::uint32_t>(pdu.size()), NET_PRIMARY);
        };
        key(2);
        for (std::size_t at = 0; at < samples.size(); at += 1024) {
            const std::size_t n = std::min<std::size_t>(1024, samples.size() - at);
            std::vector<std::uint8_t> bytes(n * 2);
            std::memcpy(bytes.data(), samples.data() + at, bytes.size());
            const auto pdu = hcytest::MakeSignalPdu(sender, 4, bytes, static_cast<std::uint16_t>(n),
                                                    8000, kExercise);
            theApp.DispatchSignalPdu(reinterpret_cast<const hcy::net::SignalPdu*>(pdu.data()),
                                     static_cast<std::uint32_t>(pdu.size()), NET_PRIMARY);
        }
        key(1);
    }
    // What the stub engine says for `text` at 8 kHz.
    Samples Tones(const std::string& text) {
        const std::string path = dir_.file("tones.wav");
        plat::WAVEFORMATEX format;
        plat::SpConvertStreamFormatEnum(plat::SPSF_8kHz16BitMono, &format);
        plat::SpStream stream;
        plat::SpVoice voice;
        EXPECT_EQ(stream.BindToFile(path.c_str(), plat::SPFM_CREATE_ALWAYS, &format), plat::S_OK);
        EXPECT_EQ(voice.SetOutput(stream), plat::S_OK);
        EXPECT_EQ(voice.Speak(text.c_str(), plat::SPF_IS_NOT_XML, nullptr), plat::S_OK);
        stream.Close();
        return ReadWav(path).samples;
    }

    const hcy::net::RadioId sender{{10, 20, 30}, 1};
    int device = 0, radio = 0;
    std::string synthesis_, recognition_;
    std::mutex mutex_;
    std::vector<std::vector<std::byte>> signals_;
};

TEST_F(SpeechDevice, SpeaksTheTextIntoItsFileThenPlaysItOutOneCaptureBlockAtATime) {
    ASSERT_EQ(hcySetComRadioXmit(radio, device, 1), 1);
    // Another host's device of the same handle in this folder: its file
    // was overwritten.
    const std::string theirs = "HcyTTS" + std::to_string(device) + "_1.wav";
    hcytest::WriteFile(theirs, "another host's speech");
    ASSERT_EQ(Speak("Radio"), 1);
    EXPECT_EQ(hcytest::ReadFile(theirs), "another host's speech");
    EXPECT_EQ(Get(DEVDATA_SPEAK_FAILED), 0);
    const Wav file = ReadWav(SpeechFile());
    EXPECT_EQ(file.rate, 8000u);
    EXPECT_EQ(file.channels, 1);
    EXPECT_EQ(file.bits, 16);
    EXPECT_EQ(file.samples, Tones("Radio"));  // 10 tones of 30 ms: 4800 bytes
    ASSERT_EQ(file.samples.size(), 2400u);

    // Keyed at once; the first chunk after 5 ms, then one per 2048 bytes at
    // 16000 bytes per second: every 128 ms.
    EXPECT_EQ(Get(DEVDATA_KEYED), 1);
    plat::AdvanceClock(4);
    EXPECT_TRUE(Chunks().empty());
    plat::AdvanceClock(1);
    EXPECT_EQ(Chunks(), (std::vector<int>{1024}));
    plat::AdvanceClock(127);
    EXPECT_EQ(Chunks().size(), 1u);
    plat::AdvanceClock(1);
    EXPECT_EQ(Chunks(), (std::vector<int>{1024, 1024}));
    EXPECT_EQ(Get(DEVDATA_KEYED), 1);
    plat::AdvanceClock(128);
    EXPECT_EQ(Chunks(), (std::vector<int>{1024, 1024, 352}));
    EXPECT_EQ(Get(DEVDATA_KEYED), 0);  // unkeyed after the last chunk
    EXPECT_EQ(Sent(), file.samples);
    plat::AdvanceClock(1000);
    EXPECT_EQ(Chunks().size(), 3u);

    // A megabyte of text blocked the caller for minutes: refused.
    ASSERT_EQ(Speak(std::string(64 * 1024 + 1, 'a')), 1);
    EXPECT_EQ(Get(DEVDATA_SPEAK_FAILED), 1);
    EXPECT_EQ(Get(DEVDATA_KEYED), 0);
    EXPECT_EQ(Error(),
              "HCY ERROR: Could not speak a text of 65537 bytes: at most 65536 are spoken.");
}

TEST_F(SpeechDevice, VoiceMarkupAndFailuresAreReadBackAsFlags) {
    ASSERT_EQ(hcySetComRadioXmit(radio, device, 1), 1);
    auto playOut = [] { plat::AdvanceClock(2000); };
    // A count below 2 leaves the voice (the default) as it is.
    Voice("nobody", 1);
    Speak("a");
    EXPECT_EQ(Get(DEVDATA_VOICE_NOT_FOUND), 0);
    playOut();
    Voice("nobody", 7);
    Speak("a");
    EXPECT_EQ(Get(DEVDATA_VOICE_NOT_FOUND), 1);  // the default voice spoke
    EXPECT_EQ(Get(DEVDATA_SPEAK_FAILED), 0);
    playOut();
    // An empty name: the default voice, the flag as it was. The name is
    // read no further than its count.
    Voice("", 2);
    Speak("a");
    EXPECT_EQ(Get(DEVDATA_VOICE_NOT_FOUND), 1);
    playOut();
    Voice("STUBBORN", 5);
    Speak("a");
    EXPECT_EQ(Get(DEVDATA_VOICE_NOT_FOUND), 0);
    playOut();

    // Markup: the tags are not spoken.
    const std::int32_t xml = 1;
    ASSERT_EQ(hcySetDeviceData(device, DEVDATA_TEXT_IS_XML, reinterpret_cast<intptr_t>(&xml)), 1);
    Speak("<b>Hi</b>");
    EXPECT_EQ(ReadWav(SpeechFile()).samples, Tones("Hi"));
    playOut();

    // Text that is not UTF-8 fails; what the file holds (nothing) is still
    // played: keyed, then unkeyed at the first chunk.
    Speak("\xff\xfe");
    EXPECT_EQ(Get(DEVDATA_SPEAK_FAILED), 1);
    EXPECT_EQ(Get(DEVDATA_KEYED), 1);
    playOut();
    EXPECT_EQ(Get(DEVDATA_KEYED), 0);
    // A speech file that cannot be written or read: failed, nothing keyed.
    const std::string own = SpeechFile();
    std::filesystem::create_directory(own + ".tmp");
    std::filesystem::remove(own);
    std::filesystem::rename(own + ".tmp", own);
    const auto before = Chunks().size();
    Speak("a");
    EXPECT_EQ(Get(DEVDATA_SPEAK_FAILED), 1);
    EXPECT_EQ(Get(DEVDATA_KEYED), 0);
    playOut();
    EXPECT_EQ(Chunks().size(), before);
}

TEST_F(SpeechDevice, ANewTextStopsThePlayoutBeforeItAndACloseStopsItsOwn) {
    ASSERT_EQ(hcySetComRadioXmit(radio, device, 1), 1);
    Speak("a long sentence of many tones");
    plat::AdvanceClock(5 + 128);
    ASSERT_EQ(Chunks().size(), 2u);
    Speak("next");
    const Samples next = ReadWav(SpeechFile()).samples;
    ASSERT_EQ(next, Tones("next"));
    plat::AdvanceClock(2000);
    // Only the new text followed, from its start, and the radio is let go.
    EXPECT_EQ(Sent(2), next);
    EXPECT_EQ(Get(DEVDATA_KEYED), 0);

    Speak("a long sentence of many tones");
    plat::AdvanceClock(5);
    const auto sent = Chunks().size();
    ASSERT_EQ(hcyCloseDataDevice(device), 1);
    plat::AdvanceClock(2000);
    EXPECT_EQ(Chunks().size(), sent);
    std::uint32_t transmitting = 7;
    EXPECT_EQ(hcyGetRadioData(radio, RD_IS_TRANSMITTING, &transmitting), 1);
    EXPECT_EQ(transmitting, 0u);
}

TEST_F(SpeechDevice, EachHeardTransmissionIsRecordedFromItsStartAndTranscribedOnce) {
    // The recordings go to a folder of the test's choosing.
    std::filesystem::create_directory(dir_.file("heard"));
    hcytest::ScopedEnv folder("HCY_SPEECH_RECOGNITION_FOLDER", dir_.file("heard"));
    ASSERT_EQ(hcySetComRadioRecv(radio, device, 0, 1), 1);
    const std::string stem = "HcySTT" + std::to_string(device) + "_" + std::to_string(radio);
    // Another host's recording of the same handles, which it overwrote.
    hcytest::WriteFile(dir_.file("heard/" + stem + ".wav"), "another host's recording");
    std::string recording;
    for (const char* text : {"radio check one two three", "roger"}) {
        SCOPED_TRACE(text);
        const Samples spoken = Tones(text);
        Transmit(spoken);
        ASSERT_TRUE(WaitFor([&] { return Get(DEVDATA_SPEECH_RESULT_READY) == 1; }));
        if (recording.empty()) recording = OwnFile(dir_.file("heard"), stem);
        EXPECT_EQ(Result(), text);
        EXPECT_EQ(Get(DEVDATA_SPEECH_RESULT_READY), 0);
        EXPECT_EQ(Result(), text);  // read again: the same text
        const Wav heard = ReadWav(recording);
        EXPECT_EQ(heard.rate, 8000u);
        EXPECT_EQ(heard.samples, spoken);
    }
    // A transmission of no speech leaves the last result as it was.
    Transmit(Samples(4000, 0));
    ASSERT_TRUE(WaitFor([&] { return ReadWav(recording).samples.size() == 4000; }));
    plat::AdvanceClock(10);
    EXPECT_EQ(Get(DEVDATA_SPEECH_RESULT_READY), 0);
    EXPECT_EQ(Result(), "roger");
    EXPECT_EQ(hcytest::ReadFile(dir_.file("heard/" + stem + ".wav")), "another host's recording");

    // A recognition folder that is not there: nothing recorded, and the
    // host is told why.
    hcytest::ScopedEnv missing("HCY_SPEECH_RECOGNITION_FOLDER", dir_.file("missing"));
    const int other = Radio();
    ASSERT_EQ(hcySetComRadioRecv(other, device, 0, 1), 1);
    Transmit(Tones("roger"));
    const std::string want = "HCY ERROR: Could not make a recording HcySTT" +
                             std::to_string(device) + "_" + std::to_string(other) + "-*.wav in " +
                             dir_.file("missing") + "/: No such file or directory.";
    EXPECT_TRUE(WaitFor([&] { return Error() == want; })) << Error();
}

TEST_F(SpeechDevice, HostRequestsRaceThePlayoutTimerOnTheRealClock) {
    plat::UseRealClock();
    ASSERT_EQ(hcySetCaptureSize(device, 64), 1);  // 4 ms chunks at 8 kHz
    ASSERT_EQ(hcySetComRadioXmit(radio, device, 1), 1);
    for (int round = 0; round < 4; ++round) {
        const std::size_t before = Chunks().size();
        Speak("a sentence long enough to be cut short");
        ASSERT_TRUE(WaitFor([&] { return Chunks().size() >= before + 3; }));
    }
    // The close waits for a chunk in delivery and lets the radio go.
    ASSERT_EQ(hcyCloseDataDevice(device), 1);
    std::uint32_t transmitting = 7;
    EXPECT_EQ(hcyGetRadioData(radio, RD_IS_TRANSMITTING, &transmitting), 1);
    EXPECT_EQ(transmitting, 0u);
}

}  // namespace
