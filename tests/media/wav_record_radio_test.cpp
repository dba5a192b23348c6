// The WAV record radio on the manual clock: tracks mixed with saturation,
// blocks placed by their track or by the clock, periodic writes that drop
// and double nothing, appends and their refusals, and a sound card's
// captured blocks recorded through the library across two periodic writes.
#include <gtest/gtest.h>

#include "halcyra/halcyra.h"
#include "media_fixture.h"
#include "radio/wav_record_radio.h"
#include "support/library_fixture.h"
#include "wav/wav_format.h"

namespace {

using namespace hcytest;

constexpr std::uint32_t kBlock = 1024;  // samples: 64 ms at 16 kHz

class WavRecordRadioTest : public MediaTest {
protected:
    void SetFile(const std::string& name) {
        path = dir_.file(name);
        ASSERT_EQ(radio.SetRadioData(RD_WAV_RECORD_FILE, path.data()), 1);
    }
    int Start(std::int32_t mode = 0) { return radio.SetRadioData(RD_WAV_RECORD_START, &mode); }
    void Stop() { ASSERT_EQ(radio.SetRadioData(RD_WAV_RECORD_STOP, nullptr), 1); }
    std::uint32_t Get(int id) {
        std::uint32_t v = 0xDEAD;
        EXPECT_EQ(radio.GetRadioData(id, &v), 1);
        return v;
    }
    void Send(std::uint32_t source, const Samples& s) {
        radio.TransmitAudio(s.data(), std::uint32_t(s.size() * 2), 16000, source);
    }
    Samples Recorded() { return FromBytes(ReadFile(path).substr(44)); }
    // The index of the first sample equal to `value`, or -1.
    static long Find(const Samples& s, std::int16_t value) {
        const auto at = std::find(s.begin(), s.end(), value);
        return at == s.end() ? -1 : long(at - s.begin());
    }

    std::string path;
    CWavRecordRadioModel radio;
};

TEST_F(WavRecordRadioTest, SourcesMixWithSaturationAndSilenceLeavesZeros) {
    SetFile("mix.wav");
    ASSERT_EQ(Start(), 1);
    EXPECT_EQ(Get(RD_WAV_RECORDING), 1u);
    Advance(64);
    Send(4, Samples(kBlock, 20000));
    Send(9, Samples(kBlock, 20000));
    Advance(64);
    Send(4, Samples(kBlock, -20000));
    Send(9, Samples(kBlock, -20000));
    Advance(64);
    Send(4, Samples(kBlock, 1000));  // source 9 says nothing for 128 ms
    Advance(128);
    Send(9, Samples(kBlock, 3));  // 192 ms after its last block: by the clock
    Stop();
    EXPECT_EQ(Get(RD_WAV_RECORDING), 0u);
    const Samples s = Recorded();
    ASSERT_EQ(s.size(), 5u * kBlock);  // 320 ms
    auto want = [](std::uint32_t i) {
        if (i == 0) return 0;
        if (i <= kBlock) return 32767;
        if (i <= 2 * kBlock) return -32768;
        if (i <= 3 * kBlock) return 1000;
        return i < 4 * kBlock ? 0 : 3;
    };
    for (std::uint32_t i = 0; i < s.size(); ++i) ASSERT_EQ(s[i], want(i)) << i;
    EXPECT_EQ(Get(RD_WAV_RECORD_LENGTH), 320u);
}

TEST_F(WavRecordRadioTest, ALateBlockGoesByTheClockAndAPunctualOneContinuesItsTrack) {
    struct Case {
        plat::DWORD lateMs;
        long at;  // where the second block starts
    };
    for (const Case c :
         {Case{80, 1025}, Case{150, (128 + 150) * 16 - 1024}, Case{0, 1025}, Case{99, 1025}}) {
        SetFile("late.wav");
        ASSERT_EQ(Start(), 1);
        Advance(64);
        Send(2, Samples(kBlock, 1));
        Advance(64 + c.lateMs);
        Send(2, Samples(kBlock, 2));
        Stop();
        const Samples s = Recorded();
        EXPECT_EQ(Find(s, 1), 1) << c.lateMs;
        EXPECT_EQ(Find(s, 2), c.at) << c.lateMs;
        EXPECT_EQ(std::count(s.begin(), s.end(), 2), long(kBlock)) << c.lateMs;
    }
}

TEST_F(WavRecordRadioTest, KeyingPlacesTheSourcesNextBlockByTheClock) {
    SetFile("ptt.wav");
    ASSERT_EQ(Start(), 1);
    Advance(64);
    Send(6, Samples(kBlock, 1));
    Advance(1000);
    EXPECT_EQ(radio.SetPTT(1, 6), 1);
    EXPECT_FALSE(radio.IsKeyed());  // nothing is keyed, nothing sent
    Advance(20);
    Send(6, Samples(kBlock, 2));  // ends at the clock: 1084 ms
    Stop();
    EXPECT_EQ(Find(Recorded(), 2), 1084 * 16 - long(kBlock));
}

// A talker whose blocks arrive `offsetMs` after each 64 ms step, written
// out by the 20th heartbeat at `writeMs` and again 20 heartbeats later: the
// file holds the talker's samples once each, in order.
TEST_F(WavRecordRadioTest, PeriodicWritesDropAndDoubleNothing) {
    struct Case {
        plat::DWORD offsetMs, writeMs;
    };
    // Blocks a little ahead of the clock (written past the write's span)
    // and behind it (the write stops where the talker is).
    for (const Case c : {Case{10, 1002}, Case{10, 1030}, Case{63, 1020}}) {
        SetFile("periodic.wav");
        ASSERT_EQ(Start(), 1);
        std::int16_t next = 0;
        std::size_t sent = 0;
        plat::DWORD now = 0;
        int heartbeats = 0;
        auto heartbeat = [&] {
            radio.Heartbeat();
            ++heartbeats;
        };
        while (heartbeats % 20 != 19) heartbeat();
        for (plat::DWORD k = 0; now < 2600; ++k) {
            const plat::DWORD arrival = c.offsetMs + 64 * k;
            for (const plat::DWORD write : {c.writeMs, c.writeMs + 1200}) {
                if (now < write && write <= arrival) {
                    Advance(write - now);
                    now = write;
                    heartbeat();  // the 20th: the tracks go to the file
                    while (heartbeats % 20 != 19) heartbeat();
                }
            }
            Advance(arrival - now);
            now = arrival;
            Samples block(kBlock);
            for (auto& v : block) v = next = std::int16_t((next + 1) % 30000);
            Send(1, block);
            sent += kBlock;
        }
        ASSERT_EQ(heartbeats, 59);
        Stop();
        const Samples s = Recorded();
        ASSERT_GT(s.size(), 40u * kBlock);
        EXPECT_EQ(s[0], 0) << c.offsetMs;
        for (std::size_t i = 1; i < s.size(); ++i) ASSERT_EQ(s[i], i % 30000) << i;
        EXPECT_EQ(s.size(), sent + 1);
    }
}

TEST_F(WavRecordRadioTest, AppendGoesOnFromTheFilesLengthOrCreatesTheFile) {
    const std::string before = SampleBytes(Ramp(16000, 5));  // 1000 ms
    Write("old.wav", Wav(before));
    SetFile("old.wav");
    ASSERT_EQ(Start(2), 1);
    EXPECT_EQ(Get(RD_WAV_RECORD_LENGTH), 1000u);
    Advance(500);
    EXPECT_EQ(Get(RD_WAV_RECORD_LENGTH), 1500u);
    Send(3, Samples(kBlock, 9));  // ends at the clock: 500 ms
    Stop();
    EXPECT_EQ(Get(RD_WAV_RECORD_LENGTH), 1500u);
    const std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), 44u + 48000);
    EXPECT_EQ(bytes.substr(44, before.size()), before);
    const Samples after = FromBytes(bytes.substr(44 + before.size()));
    EXPECT_EQ(Find(after, 9), 8000 - long(kBlock));

    SetFile("new.wav");  // mode 2 on a missing file: a new one
    ASSERT_EQ(Start(2), 1);
    EXPECT_EQ(Get(RD_WAV_RECORD_LENGTH), 0u);
    Advance(250);
    Stop();
    EXPECT_EQ(Recorded().size(), 4000u);
    EXPECT_EQ(hcy::media::GetU32(reinterpret_cast<const std::uint8_t*>(ReadFile(path).data()) + 24),
              16000u);
}

TEST_F(WavRecordRadioTest, AppendRefusesFilesItWouldCorruptAndNoFileRecordsNothing) {
    const std::string data = SampleBytes(Ramp(100));
    const std::pair<const char*, std::string> files[] = {
        {"stereo", Wav(data, {.channels = 2})},
        {"8-bit", Wav(data, {.bits = 8})},
        {"mu-law", Wav(data, {.tag = 7, .byteRate = 16000})},
        {"500 Hz: under one sample per ms", Wav(data, {.rate = 500})},
        {"a LIST chunk first", Riff(FmtChunk({}) + Chunk("LIST", "abcd") + Chunk("data", data))},
        // Blocks at 16 kHz on an 8 kHz time line overwrote each other.
        {"8 kHz", Wav(data, {.rate = 8000})},
    };
    for (const auto& [name, bytes] : files) {
        Write("bad.wav", bytes);
        SetFile("bad.wav");
        theApp.ClearError();
        EXPECT_EQ(Start(2), 1) << name;
        EXPECT_EQ(Get(RD_WAV_RECORDING), 0u) << name;
        EXPECT_EQ(LastErrorText().rfind("The file is not in the expected format: " + path, 0), 0u)
            << name << ": " << LastErrorText();
        EXPECT_EQ(ReadFile(path), bytes) << name;
    }
    EXPECT_EQ(LastErrorText(), "The file is not in the expected format: " + path +
                                   " holds 8000 Hz; this radio records at 16000 Hz");
    SetFile("no/such/folder.wav");
    EXPECT_EQ(Start(), 1);
    EXPECT_EQ(Get(RD_WAV_RECORDING), 0u);
    EXPECT_EQ(LastErrorText(), "No such file or directory: " + path);
    // A name longer than the radio holds was cut, and another file written.
    const std::string longName = dir_.file(std::string(300, 'n') + ".wav");
    EXPECT_EQ(radio.SetRadioData(RD_WAV_RECORD_FILE, const_cast<char*>(longName.c_str())), 0);
    EXPECT_EQ(LastErrorText().rfind("Could not record to " + longName.substr(0, 64) + "...", 0), 0u)
        << LastErrorText();
    EXPECT_EQ(Start(), 1);
    EXPECT_EQ(Get(RD_WAV_RECORDING), 0u);
    Send(1, Samples(kBlock, 1));  // not recording: dropped
    EXPECT_EQ(radio.GetBlockCount(), 0u);

    // A full disk: the stop said 1 and the message went unseen.
    SetFile("full.wav");
    ASSERT_EQ(Start(), 1);
    Advance(500);
    {
        FileSizeLimit limit(44 + 1000);
        EXPECT_EQ(radio.SetRadioData(RD_WAV_RECORD_STOP, nullptr), 0);
    }
    EXPECT_EQ(LastErrorText(), "Could not write " + path + ": File too large.");
    EXPECT_EQ(ReadFile(path).size(), 44u);
}

// Through the library: a sound card's microphone (a ramp) keyed into the
// model made for code 1106, written out every 20 heartbeats of 250 ms.
class WavRecordThroughTheLibrary : public RunningLibraryTest {};

TEST_F(WavRecordThroughTheLibrary, CapturedBlocksReachTheFileOnceEachAcrossPeriodicWrites) {
    plat::vsnd::RemoveAllEndpoints();
    const plat::GUID speaker = plat::vsnd::CreateOutputEndpoint({}).guid;
    plat::vsnd::InputEndpointConfig in;
    in.source = std::make_shared<plat::vsnd::RampSource>();
    const plat::UINT mic = plat::vsnd::CreateInputEndpoint(in).waveInId;
    const int card = hcyOpenAudioDeviceSimple(mic, reinterpret_cast<const HCYGUID*>(&speaker));
    ASSERT_GT(card, 0) << Error();
    const int handle = hcyCreateComRadio(RADIO_TYPE_WAV_RECORD, 1, 2, 3, 1);
    auto radio = std::dynamic_pointer_cast<CWavRecordRadioModel>(theApp.FindRadio(handle));
    ASSERT_TRUE(radio);
    ASSERT_EQ(hcySetComRadioXmit(handle, card, 1), 1);
    ASSERT_EQ(hcySetHeartbeat(0.25f), 1);
    const std::string path = dir_.file("library.wav");
    ASSERT_EQ(hcySetRadioData(handle, RD_WAV_RECORD_FILE, reinterpret_cast<intptr_t>(path.c_str())),
              1);
    std::int32_t mode = 0;
    ASSERT_EQ(hcySetRadioData(handle, RD_WAV_RECORD_START, reinterpret_cast<intptr_t>(&mode)), 1);
    ASSERT_EQ(hcySetRadioPTT(card, 1, 0), 1);
    const int blocks = 190;  // 12.16 s: two periodic writes
    for (int k = 1; k <= blocks; ++k) {
        plat::AdvanceClock(64);
        ASSERT_TRUE(WaitFor([&] { return radio->GetBlockCount() >= std::uint64_t(k); })) << k;
    }
    ASSERT_EQ(hcySetRadioData(handle, RD_WAV_RECORD_STOP, 0), 1);
    std::uint32_t length = 0;
    ASSERT_EQ(hcyGetRadioData(handle, RD_WAV_RECORD_LENGTH, &length), 1);
    EXPECT_EQ(length, 190u * 64);
    const Samples s = FromBytes(ReadFile(path).substr(44));
    ASSERT_EQ(s.size(), 1 + blocks * kBlock);
    EXPECT_EQ(s[0], 0);
    for (std::size_t i = 1; i < s.size(); ++i) ASSERT_EQ(s[i], (i - 1) % 32768) << i;
}

}  // namespace
