// Speech: the stub engine's exact files and results, what the front end
// refuses, and a sentence through the real engines when they are built in.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "hcyplat/speech.h"
#include "hcyplat/virtual_sound.h"
#include "support/test_support.h"

namespace {

using namespace plat;

constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

WAVEFORMATEX Mono16(DWORD rate) {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.nAvgBytesPerSec = rate * 2;
    f.nBlockAlign = 2;
    f.wBitsPerSample = 16;
    return f;
}

std::uint32_t Le32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(b[at + i]);
    return v;
}

std::vector<std::int16_t> Samples(const std::string& path) {
    auto source = vsnd::WavFileSource::Open(path, false);
    if (!source) return {};
    std::vector<std::int16_t> s(source->FileFrames());
    source->Read(s.data(), s.size(), vsnd::MixFormat{source->FileFormat().rate, 1});
    return s;
}

class Speech : public ::testing::Test {
protected:
    void SetUp() override { UseEngines("stub", "stub"); }
    void TearDown() override { UseEngines(synthesis_.c_str(), recognition_.c_str()); }

    static bool UseEngines(const char* synthesis, const char* recognition) {
        return SelectSpeechEngine(SpeechRole::Synthesis, synthesis) &&
               SelectSpeechEngine(SpeechRole::Recognition, recognition);
    }

    HRESULT Speak(const std::string& path, const char* text, DWORD flags = SPF_IS_NOT_XML,
                  DWORD rate = 8000) {
        const WAVEFORMATEX format = Mono16(rate);
        SpStream stream;
        SpVoice voice;
        HRESULT hr = stream.BindToFile(path.c_str(), SPFM_CREATE_ALWAYS, &format);
        if (hr == S_OK) hr = voice.SetOutput(stream);
        if (hr == S_OK) hr = voice.Speak(text, flags, nullptr);
        stream.Close();
        return hr;
    }

    // Dictation as the speech device runs it: the texts recognised, or the
    // first failing call's code.
    std::vector<std::string> Dictate(const std::string& path, HRESULT* result = nullptr,
                                     ULONGLONG interest = SPFEI(SPEI_RECOGNITION) |
                                                          SPFEI(SPEI_END_SR_STREAM)) {
        std::vector<std::string> texts;
        SpStream stream;
        SpInprocRecognizer recognizer;
        SpRecoContext context;
        SpRecoGrammar grammar;
        HRESULT hr = stream.BindToFile(path.c_str(), SPFM_OPEN_READONLY, nullptr);
        if (hr == S_OK) hr = recognizer.SetInput(stream);
        if (hr == S_OK) hr = recognizer.CreateRecoContext(&context);
        if (hr == S_OK) hr = context.CreateGrammar(&grammar);
        if (hr == S_OK) hr = grammar.LoadDictation();
        if (hr == S_OK) hr = context.SetInterest(interest);
        if (hr == S_OK) hr = grammar.SetDictationState(SPRS_ACTIVE);
        bool ended = false;
        while (hr == S_OK && !ended && context.WaitForNotifyEvent(1000) == S_OK) {
            SPEVENT e;
            ULONG n = 0;
            while (context.GetEvents(1, &e, &n) == S_OK && n == 1) {
                if (e.eEventId == SPEI_END_SR_STREAM) {
                    texts.push_back("<end>");
                    ended = true;
                } else if (e.eEventId == SPEI_RECOGNITION) {
                    std::string t;
                    EXPECT_EQ(e.result->GetText(&t), S_OK);
                    texts.push_back(t);
                }
            }
        }
        grammar.SetDictationState(SPRS_INACTIVE);
        grammar.UnloadDictation();
        stream.Close();
        if (result) *result = hr;
        return texts;
    }

    hcytest::TempDir dir;
    std::string file = dir.file("HcyTTS1_1.wav");
    std::string synthesis_ = SelectedSpeechEngine(SpeechRole::Synthesis);
    std::string recognition_ = SelectedSpeechEngine(SpeechRole::Recognition);
};

TEST_F(Speech, StubWritesTwoToneNibblesPerByteIntoACanonicalWavFile) {
    ASSERT_EQ(Speak(file, "Hi"), S_OK);
    const std::string bytes = hcytest::ReadFile(file);
    ASSERT_EQ(bytes.size(), 44u + 4 * 240 * 2) << "four 30 ms tones at 8 kHz";
    EXPECT_EQ(bytes.substr(0, 4), "RIFF");
    EXPECT_EQ(Le32(bytes, 4), bytes.size() - 8);
    EXPECT_EQ(bytes.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(Le32(bytes, 16), 16u) << "fmt size";
    EXPECT_EQ(Le32(bytes, 20), 0x00010001u) << "PCM, mono";
    EXPECT_EQ(Le32(bytes, 24), 8000u);
    EXPECT_EQ(Le32(bytes, 28), 16000u) << "bytes per second";
    EXPECT_EQ(Le32(bytes, 32), 0x00100002u) << "2-byte frames of 16 bits";
    EXPECT_EQ(bytes.substr(36, 4), "data");
    EXPECT_EQ(Le32(bytes, 40), 1920u);

    // 'H' 0x48, 'i' 0x69: nibbles 4, 8, 6, 9.
    const std::vector<std::int16_t> s = Samples(file);
    const int nibbles[] = {4, 8, 6, 9};
    for (std::size_t k = 0; k < 4; ++k)
        for (std::size_t i = 0; i < 240; ++i)
            ASSERT_EQ(s[k * 240 + i], std::lround(8000.0 * std::sin(6.283185307179586 *
                                                                    (500.0 + 150.0 * nibbles[k]) *
                                                                    static_cast<double>(i) / 8000)))
                << "tone " << k << " sample " << i;
}

TEST_F(Speech, StubDictationReadsBackWhatItSpokeAtAnyRateGainAndDelay) {
    struct Case {
        const char* text;
        DWORD flags;
        DWORD rate;
        double gain;
        std::size_t silence;  // [samples] before the speech
        const char* heard;
    } cases[] = {
        {"radio check one two three", SPF_IS_NOT_XML, 8000, 1.0, 0, "radio check one two three"},
        {"Funkpr\xC3\xBC"
         "fung \xE2\x9C\x93",
         SPF_DEFAULT, 16000, 1.0, 0,
         "Funkpr\xC3\xBC"
         "fung \xE2\x9C\x93"},
        {"<volume level=\"50\">roger</volume> out", SPF_IS_XML, 11025, 1.0, 0, "roger out"},
        {"say again", SPF_IS_NOT_XML, 8000, 0.05, 1234, "say again"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        ASSERT_EQ(Speak(file, c.text, c.flags, c.rate), S_OK);
        if (c.gain != 1.0 || c.silence) {
            std::vector<std::int16_t> s(c.silence, 0);
            for (std::int16_t x : Samples(file)) s.push_back(static_cast<std::int16_t>(x * c.gain));
            auto sink = vsnd::WavFileSink::Create(file);
            sink->Write(s.data(), s.size(), vsnd::MixFormat{c.rate, 1});
        }
        EXPECT_EQ(Dictate(file), (std::vector<std::string>{c.heard, "<end>"}));
    }
}

TEST_F(Speech, DictationQueuesOnlyWhatTheContextIsInterestedInAndRunsOncePerInput) {
    ASSERT_EQ(Speak(file, "over"), S_OK);
    EXPECT_EQ(Dictate(file, nullptr, SPFEI(SPEI_END_SR_STREAM)), std::vector<std::string>{"<end>"});

    const std::string quiet = dir.file("HcySTT3_7.wav");
    std::vector<std::int16_t> silence(8000, 0);
    vsnd::WavFileSink::Create(quiet)->Write(silence.data(), silence.size(), {8000, 1});
    EXPECT_EQ(Dictate(quiet), std::vector<std::string>{"<end>"}) << "nothing recognised";

    SpStream stream;
    SpInprocRecognizer recognizer;
    SpRecoContext context;
    SpRecoGrammar grammar;
    EXPECT_EQ(recognizer.SetInput(stream), SPERR_UNINITIALIZED) << "stream not bound";
    ASSERT_EQ(stream.BindToFile(file.c_str(), SPFM_OPEN_READONLY, nullptr), S_OK);
    ASSERT_EQ(recognizer.SetInput(stream), S_OK);
    ASSERT_EQ(recognizer.CreateRecoContext(&context), S_OK);
    ASSERT_EQ(context.CreateGrammar(&grammar), S_OK);
    EXPECT_EQ(grammar.SetDictationState(SPRS_ACTIVE), SPERR_UNINITIALIZED) << "no dictation";
    ASSERT_EQ(grammar.LoadDictation(), S_OK);
    ASSERT_EQ(context.SetInterest(SPFEI(SPEI_RECOGNITION) | SPFEI(SPEI_END_SR_STREAM)), S_OK);
    EXPECT_EQ(context.WaitForNotifyEvent(1000), S_FALSE) << "nothing before activation";
    ASSERT_EQ(grammar.SetDictationState(SPRS_ACTIVE), S_OK);
    ASSERT_EQ(grammar.SetDictationState(SPRS_ACTIVE), S_OK);
    SPEVENT events[3];
    ULONG n = 0;
    EXPECT_EQ(context.WaitForNotifyEvent(1000), S_OK);
    EXPECT_EQ(context.GetEvents(3, events, &n), S_FALSE);
    ASSERT_EQ(n, 2u) << "the second activation adds nothing";
    EXPECT_EQ(events[0].eEventId, SPEI_RECOGNITION);
    EXPECT_EQ(events[1].eEventId, SPEI_END_SR_STREAM);
    EXPECT_EQ(context.WaitForNotifyEvent(1000), S_FALSE);
}

TEST_F(Speech, VoiceTokensAreFoundByNameAndEachRequestGetsTheNextStreamNumber) {
    SpObjectToken token;
    EXPECT_EQ(SpFindBestToken(SPCAT_VOICES, "Name=STUB", &token), S_OK);
    EXPECT_EQ(token.engine, "stub");
    for (const char* wanted : {"Name=nobody", "Name=", "Gender=Male", "Name=stub;Age=Adult"})
        EXPECT_EQ(SpFindBestToken(SPCAT_VOICES, wanted, &token), SPERR_NOT_FOUND) << wanted;
    EXPECT_EQ(SpFindBestToken("HKEY_LOCAL_MACHINE\\Other", "Name=stub", &token), SPERR_NOT_FOUND);

    WAVEFORMATEX format;
    ASSERT_EQ(SpConvertStreamFormatEnum(SPSF_8kHz16BitMono, &format), S_OK);
    const WAVEFORMATEX expected = Mono16(8000);
    EXPECT_EQ(std::memcmp(&format, &expected, sizeof format), 0);
    SpStream stream;
    SpVoice voice;
    ASSERT_EQ(stream.BindToFile(file.c_str(), SPFM_CREATE_ALWAYS, &format), S_OK);
    ASSERT_EQ(voice.SetOutput(stream), S_OK);
    ASSERT_EQ(voice.SetVoice(&token), S_OK);
    ULONG numbers[3] = {};
    for (ULONG& number : numbers) ASSERT_EQ(voice.Speak("a", SPF_IS_NOT_XML, &number), S_OK);
    EXPECT_EQ(numbers[0], 1u);
    EXPECT_EQ(numbers[2], 3u);
    stream.Close();
    EXPECT_EQ(Samples(file).size(), 3u * 2 * 240) << "each request adds to the file";
    EXPECT_EQ(voice.Speak("a", SPF_IS_NOT_XML, nullptr), SPERR_UNINITIALIZED) << "closed";
}

TEST_F(Speech, BadTextFlagsFormatsAndFilesAreRefusedWithTheirCodes) {
    const WAVEFORMATEX mono = Mono16(8000);
    WAVEFORMATEX stereo = Mono16(8000);
    stereo.nChannels = 2;
    SpStream stream, again;
    SpVoice voice;
    EXPECT_EQ(voice.Speak("x", SPF_DEFAULT, nullptr), SPERR_UNINITIALIZED) << "no output";
    EXPECT_EQ(stream.BindToFile(file.c_str(), SPFM_CREATE_ALWAYS, nullptr),
              SPERR_FORMAT_NOT_SPECIFIED);
    EXPECT_EQ(stream.BindToFile(file.c_str(), SPFM_CREATE_ALWAYS, &stereo),
              SPERR_UNSUPPORTED_FORMAT);
    EXPECT_EQ(stream.BindToFile(dir.file("no/such.wav").c_str(), SPFM_CREATE_ALWAYS, &mono),
              STG_E_PATHNOTFOUND);
    ASSERT_EQ(stream.BindToFile(file.c_str(), SPFM_CREATE_ALWAYS, &mono), S_OK);
    EXPECT_NE(stream.BindToFile(file.c_str(), SPFM_CREATE_ALWAYS, &mono), S_OK) << "bound";
    ASSERT_EQ(voice.SetOutput(stream), S_OK);
    for (const char* text :
         {"\xC3\x28", "\xED\xA0\x80", "\xC0\xAF", "ok\xF4\x90\x80\x80", "\xE2\x9C"})
        EXPECT_EQ(voice.Speak(text, SPF_DEFAULT, nullptr), E_INVALIDARG);
    EXPECT_EQ(voice.Speak(nullptr, SPF_DEFAULT, nullptr), E_POINTER);
    EXPECT_EQ(voice.Speak("x", SPF_IS_XML | SPF_IS_NOT_XML, nullptr), SPERR_INVALID_FLAGS);
    EXPECT_EQ(voice.Speak("x", 1 /* asynchronous */, nullptr), SPERR_INVALID_FLAGS);
    stream.Close();
    EXPECT_EQ(hcytest::ReadFile(file).size(), 44u) << "a complete, empty file";

    EXPECT_EQ(again.BindToFile(dir.file("none.wav").c_str(), SPFM_OPEN_READONLY, nullptr),
              STG_E_FILENOTFOUND);
    hcytest::WriteFile(dir.file("text.wav"), "RIFF....WAVEnot a wav file");
    EXPECT_EQ(again.BindToFile(dir.file("text.wav").c_str(), SPFM_OPEN_READONLY, nullptr),
              SPERR_UNSUPPORTED_FORMAT);
    const WAVEFORMATEX other = Mono16(16000);
    EXPECT_EQ(again.BindToFile(file.c_str(), SPFM_OPEN_READONLY, &other), SPERR_UNSUPPORTED_FORMAT);
    ASSERT_EQ(again.BindToFile(file.c_str(), SPFM_OPEN_READONLY, &mono), S_OK);
    EXPECT_EQ(voice.SetOutput(again), SPERR_UNINITIALIZED) << "a stream read from";
}

TEST_F(Speech, EnginesAreSelectedByRoleAndTheRecognitionFolderComesFromTheEnvironment) {
    EXPECT_FALSE(SelectSpeechEngine(SpeechRole::Synthesis, "pocketsphinx"));
    EXPECT_FALSE(SelectSpeechEngine(SpeechRole::Recognition, "espeak-ng"));
    EXPECT_FALSE(SelectSpeechEngine(SpeechRole::Recognition, "nonsense"));
    EXPECT_FALSE(SelectSpeechEngine(SpeechRole::Recognition, nullptr));
    EXPECT_EQ(SelectedSpeechEngine(SpeechRole::Recognition), "stub");

    const std::pair<const char*, const char*> folders[] = {
        {"", ""}, {"/srv/stt", "/srv/stt/"}, {"rec/", "rec/"}};
    for (auto [value, folder] : folders) {
        hcytest::ScopedEnv env("HCY_SPEECH_RECOGNITION_FOLDER", value);
        EXPECT_EQ(SpeechRecognitionFolder(), folder);
    }
}

// The real engines: espeak-ng speaks at 22050 Hz, converted to the 8 kHz
// file; pocketsphinx hears the file converted to 16 kHz.
TEST_F(Speech, RealEnginesHearOneTwoThreeInARadioCheckSpokenAt8kHzOnTwoThreadsAtOnce) {
    if (!UseEngines("espeak-ng", "pocketsphinx")) GTEST_SKIP() << "real engines not built in";
    SpObjectToken token;
    EXPECT_EQ(SpFindBestToken(SPCAT_VOICES, "Name=en-us", &token), S_OK);
    EXPECT_EQ(SpFindBestToken(SPCAT_VOICES, "Name=no-such-voice", &token), SPERR_NOT_FOUND);

    std::string heard[2];
    auto radioCheck = [&](int n) {
        const std::string path = dir.file("HcyTTS" + std::to_string(n) + "_1.wav");
        ASSERT_EQ(Speak(path, "radio check one two three"), S_OK);
        const std::size_t samples = Samples(path).size();
        EXPECT_GT(samples, 8000u) << "more than a second";
        EXPECT_LT(samples, 4 * 8000u);
        HRESULT hr = E_FAIL;
        const std::vector<std::string> texts = Dictate(path, &hr);
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(texts.size(), 2u);
        heard[n] = texts[0];
    };
    std::thread other(radioCheck, 1);
    radioCheck(0);
    other.join();
    for (const std::string& text : heard) {
        std::istringstream words(text);
        std::vector<std::string> said;
        for (std::string w; words >> w;) said.push_back(w);
        for (const char* word : {"one", "two", "three"})
            EXPECT_NE(std::find(said.begin(), said.end(), word), said.end())
                << word << " in \"" << text << "\"";
    }
}

}  // namespace
