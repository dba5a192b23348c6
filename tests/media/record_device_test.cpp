// The record device on the manual clock: every captured sample in the file,
// coded files in their formats decoding back to the source, appends, the
// record mode, open failures, and the exports.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numbers>

#include "audio/sound_card.h"
#include "codecs/codec.h"
#include "halcyra/halcyra.h"
#include "hcyplat/dsound.h"
#include "media/mmi_rec_device.h"
#include "media_fixture.h"
#include "support/library_fixture.h"
#include "wav/wav_format.h"

namespace {

using namespace hcytest;
using hcy::CodecKind;
using hcy::media::WavFormat;

constexpr int kBlockMs = 1024;  // one 32768-byte block of 16 kHz mono

// The header fields of a file and its data, read byte by byte.
struct WavBytes {
    std::string all;
    std::uint32_t Field(std::size_t at) const { return hcy::media::GetU32(Bytes() + at); }
    WavFormat Format() const { return hcy::media::ParseFormatBlock(Bytes() + 20); }
    std::string Data() const { return all.substr(44); }
    const std::uint8_t* Bytes() const { return reinterpret_cast<const std::uint8_t*>(all.data()); }
};

class RecordDeviceTest : public MediaTest {
protected:
    void Input(std::shared_ptr<plat::vsnd::Source> source) {
        plat::vsnd::InputEndpointConfig in;
        in.source = std::move(source);
        micId = plat::vsnd::CreateInputEndpoint(in).waveInId;
    }
    void SetUp() override {
        MediaTest::SetUp();
        device.SetHandle(5);
    }
    void TearDown() override {
        device.Close();
        MediaTest::TearDown();
    }
    // Captures for `ms`, letting the capture thread catch up after each step
    // so that no block waits to be queued again.
    void Record(plat::DWORD ms) {
        for (plat::DWORD done = 0; done < ms;) {
            const plat::DWORD step = std::min<plat::DWORD>(64, ms - done);
            Advance(step);
            device.WaitForDeliveries();
            done += step;
        }
    }
    WavBytes Recorded(const char* name = "rec.wav") { return {ReadFile(dir_.file(name))}; }
    int Start(const char* name = "rec.wav", int append = 0) {
        return device.StartRecord(dir_.file(name).c_str(), append);
    }

    CMmiRecDevice device;
    plat::UINT micId = 0;
};

TEST_F(RecordDeviceTest, PcmRecordingHoldsEveryCapturedSampleToTheSample) {
    struct Case {
        plat::DWORD ms;
        std::uint32_t dataBytes;
    };
    // Three whole blocks; then a stop inside a block, whose part is kept too.
    for (const Case c : {Case{3 * kBlockMs, 98304}, Case{2500, 80000}}) {
        Input(std::make_shared<plat::vsnd::RampSource>());
        ASSERT_EQ(device.Open(micId), 1) << LastErrorText();
        ASSERT_EQ(Start(), 1) << LastErrorText();
        Record(c.ms);
        EXPECT_EQ(device.StopRecord(), 1);
        const WavBytes file = Recorded();
        ASSERT_EQ(file.all.size(), 44u + c.dataBytes) << c.ms;
        EXPECT_EQ(file.Field(40), c.dataBytes);
        EXPECT_EQ(file.Field(4), c.dataBytes + 36);
        EXPECT_EQ(file.Format(), (WavFormat{1, 1, 16000, 32000, 2, 16}));
        const Samples s = FromBytes(file.Data());
        for (std::size_t i = 0; i < s.size(); ++i) ASSERT_EQ(s[i], std::int16_t(i % 32768)) << i;
        device.Close();
    }
}

TEST_F(RecordDeviceTest, AFailedWriteEndsTheFileWholeAndTheStopSaysSo) {
    // On a full disk the stop returned 1, the header's sizes missed the
    // bytes after them and the count went on.
    Input(std::make_shared<plat::vsnd::RampSource>());
    ASSERT_EQ(device.Open(micId), 1);
    ASSERT_EQ(Start(), 1);
    {
        FileSizeLimit limit(44 + 32768 + 10000);
        Record(3 * kBlockMs);
        EXPECT_EQ(device.StopRecord(), 0);
    }
    EXPECT_EQ(device.GetBytesWritten(), 32768u);
    EXPECT_EQ(LastErrorText(), "Could not write " + dir_.file("rec.wav") + ": File too large.");
    const WavBytes file = Recorded();
    ASSERT_EQ(file.all.size(), 44u + 32768);
    EXPECT_EQ(file.Field(40), 32768u);
    EXPECT_EQ(file.Field(4), 32768u + 36);
    const Samples s = FromBytes(file.Data());
    for (std::size_t i = 0; i < s.size(); ++i) ASSERT_EQ(s[i], std::int16_t(i)) << i;
}

// A 1 kHz tone on the left, 440 Hz on the right (so that a coder shared by
// both channels would show).
Samples StereoTones(std::size_t frames) {
    Samples s(2 * frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / 16000.0;
        s[2 * i] = std::int16_t(std::lround(12000 * std::sin(2 * std::numbers::pi * 1000 * t)));
        s[2 * i + 1] = std::int16_t(std::lround(6000 * std::sin(2 * std::numbers::pi * 440 * t)));
    }
    return s;
}

double BestSnrDb(const Samples& source, const Samples& decoded) {
    double best = -100;
    for (std::size_t lag = 0; lag < 8; ++lag) {
        double signal = 0, noise = 0;
        for (std::size_t i = 256; i + lag < decoded.size() && i < source.size(); ++i) {
            const double e = decoded[i + lag] - source[i];
            signal += double(source[i]) * source[i];
            noise += e * e;
        }
        best = std::max(best, noise == 0 ? 1e9 : 10 * std::log10(signal / noise));
    }
    return best;
}

TEST_F(RecordDeviceTest, CodedRecordingsKeepTheirFormatAndDecodeBackWithinEachFloor) {
    struct Case {
        int codec;
        std::uint16_t tag;
        CodecKind kind;
        std::uint32_t monoByteRate;
        double floorDb;
    };
    const Case cases[] = {
        {1, 7, CodecKind::MuLaw, 16000, 32},
        {2, 5, CodecKind::Cvsd, 2000, 7},
        {3, 2, CodecKind::Adpcm, 8000, 25},
        {4, 1, CodecKind::Pcm, 32000, 1e8},
    };
    const std::size_t frames = 2 * 8192;  // two stereo blocks, one mono block
    const Samples tones = StereoTones(frames);
    for (const Case& c : cases) {
        for (const bool stereo : {false, true}) {
            const std::string what = std::to_string(c.codec) + (stereo ? " stereo" : " mono");
            auto queue = std::make_shared<plat::vsnd::QueueSource>();
            Input(queue);
            if (stereo) {
                queue->Push(tones.data(), tones.size());
                ASSERT_EQ(device.SetRecordMode(0), 1);
            } else {
                Samples left(frames);
                for (std::size_t i = 0; i < frames; ++i) left[i] = tones[2 * i];
                queue->Push(left.data(), left.size());
                ASSERT_EQ(device.SetRecordMode(CMmiRecDevice::kMonoMode), 1);
            }
            ASSERT_EQ(device.OpenWithCodec(micId, c.codec, nullptr), 1) << LastErrorText();
            ASSERT_EQ(Start(), 1) << LastErrorText();
            Record(kBlockMs);
            ASSERT_EQ(device.StopRecord(), 1);

            const WavBytes file = Recorded();
            const std::uint16_t channels = stereo ? 2 : 1;
            EXPECT_EQ(file.Format(), (WavFormat{c.tag, channels, 16000, c.monoByteRate * channels,
                                                std::uint16_t(2 * channels), 16}))
                << what;
            const std::string data = file.Data();
            ASSERT_EQ(data.size(), 32768u * channels / hcy::GetCompressionRatio(c.kind)) << what;
            // The coded channels come in turns of 2 bytes.
            std::vector<std::uint8_t> coded[2];
            for (std::size_t i = 0; i < data.size(); ++i)
                coded[stereo ? (i / 2) % 2 : 0].push_back(std::uint8_t(data[i]));
            for (unsigned ch = 0; ch < channels; ++ch) {
                hcy::CodecSet codecs;
                hcy::CodecStreamState stream;
                Samples decoded(coded[ch].size() * 8);
                decoded.resize(codecs.Decode(c.kind, stream, coded[ch], decoded));
                Samples source(decoded.size());
                for (std::size_t i = 0; i < source.size(); ++i) source[i] = tones[2 * i + ch];
                EXPECT_GT(BestSnrDb(source, decoded), c.floorDb) << what << " channel " << ch;
            }
            device.Close();
        }
    }
}

TEST_F(RecordDeviceTest, AppendAddsExactlyWhatWasRecorded) {
    struct Case {
        const char* name;
        bool exists;
        std::string before;  // data bytes of the existing file
    };
    const std::string thousand = SampleBytes(Ramp(500, -7000));
    for (const Case& c : {Case{"1000 bytes", true, thousand}, Case{"no file", false, ""},
                          Case{"an empty file", true, ""}}) {
        const std::string path = dir_.file("rec.wav");
        std::remove(path.c_str());
        if (c.exists) WriteFile(path, c.before.empty() ? "" : Wav(c.before));
        Input(std::make_shared<plat::vsnd::RampSource>());
        ASSERT_EQ(device.Open(micId), 1);
        ASSERT_EQ(Start("rec.wav", 1), 1) << c.name << ": " << LastErrorText();
        Record(kBlockMs);
        device.StopRecord();
        const WavBytes file = Recorded();
        const std::uint32_t size = std::uint32_t(c.before.size()) + 32768;
        EXPECT_EQ(file.Field(40), size) << c.name;
        EXPECT_EQ(file.Field(4), size + 36) << c.name;
        ASSERT_EQ(file.all.size(), 44 + size) << c.name;
        EXPECT_EQ(file.Data().substr(0, c.before.size()), c.before) << c.name;
        EXPECT_EQ(file.Data().substr(c.before.size()), SampleBytes(Ramp(16384))) << c.name;
        device.Close();
    }
}

TEST_F(RecordDeviceTest, AppendRefusesFilesOfAnotherFormatOrLayout) {
    const std::string data = SampleBytes(Ramp(100));
    const std::pair<const char*, std::string> files[] = {
        {"stereo", Wav(data, {.channels = 2})},
        {"mu-law", Wav(data, {.tag = 7, .byteRate = 16000})},
        {"8 kHz", Wav(data, {.rate = 8000})},
        {"a LIST chunk first", Riff(FmtChunk({}) + Chunk("LIST", "abcd") + Chunk("data", data))},
        {"fmt of 18 bytes", Riff(FmtChunk({.extra = std::string(2, '\0')}) + Chunk("data", data))},
        {"a chunk after the data", Wav(data) + Chunk("JUNK", "xy")},
        {"a short header", std::string("RIFF\x24\0\0\0WAVEfmt ", 16)},
        {"not a WAV file", std::string(60, 'x')},
    };
    Input(std::make_shared<plat::vsnd::RampSource>());
    ASSERT_EQ(device.Open(micId), 1);
    for (const auto& [name, bytes] : files) {
        const std::string path = Write("rec.wav", bytes);
        theApp.ClearError();
        EXPECT_EQ(Start("rec.wav", 1), 0) << name;
        // The message carries the prefix twice, as hosts have always read it,
        // then names the file and why.
        EXPECT_EQ(LastErrorText(), "HCY ERROR: Could not open file for recording. " + path +
                                       ": its format is not the one this device records.")
            << name;
        EXPECT_FALSE(device.IsRecording()) << name;
        EXPECT_EQ(ReadFile(path), bytes) << name;
    }
}

TEST_F(RecordDeviceTest, StopStartAndPositionFollowTheRecording) {
    Input(std::make_shared<plat::vsnd::RampSource>());
    ASSERT_EQ(device.Open(micId), 1);
    EXPECT_EQ(device.StopRecord(), 1);  // not recording: nothing to write
    EXPECT_EQ(device.GetCurrentPosn(), 0);
    EXPECT_FALSE(std::ifstream(dir_.file("rec.wav")).good());

    ASSERT_EQ(Start("first.wav"), 1);
    Record(2 * kBlockMs);
    EXPECT_EQ(device.GetCurrentPosn(), 2);  // (44 + 65536) / 32000 [s]
    Record(kBlockMs / 2);
    // A start while recording finishes the first file, the partial block in it.
    ASSERT_EQ(Start("second.wav"), 1);
    EXPECT_EQ(Recorded("first.wav").Field(40), 81920u);
    Record(kBlockMs);
    EXPECT_EQ(device.GetCurrentPosn(), 1);
    ASSERT_EQ(device.StopRecord(), 1);
    EXPECT_EQ(device.GetCurrentPosn(), 0);
    // The second file goes on where the microphone was.
    const Samples second = FromBytes(Recorded("second.wav").Data());
    ASSERT_EQ(second.size(), 16384u);
    EXPECT_EQ(second.front(), 40960 % 32768);
}

TEST_F(RecordDeviceTest, RecordModeReopensTheInputWithItsChannels) {
    Input(std::make_shared<plat::vsnd::RampSource>());
    ASSERT_EQ(device.OpenWithCodec(micId, 3, nullptr), 1);
    ASSERT_EQ(Start("mono.wav"), 1);
    Record(kBlockMs / 2);
    ASSERT_EQ(device.SetRecordMode(CMmiRecDevice::kMonoMode), 1);  // unchanged: nothing
    EXPECT_TRUE(device.IsRecording());
    // Switching back and forth joins each capture thread before the next.
    for (int round = 0; round < 4; ++round) {
        ASSERT_EQ(device.SetRecordMode(round % 2 == 0 ? 0 : CMmiRecDevice::kMonoMode), 1);
        EXPECT_FALSE(device.IsRecording()) << round;
        EXPECT_TRUE(WaitFor([&] { return device.IsCaptureThreadRunning(); })) << round;
        ASSERT_EQ(Start("again.wav"), 1) << round;
        Record(100);
    }
    ASSERT_EQ(device.SetRecordMode(0), 1);
    EXPECT_EQ(device.GetFileFormat(), (WavFormat{2, 2, 16000, 16000, 4, 16}));
    EXPECT_EQ(Recorded("mono.wav").Field(40), 4096u);  // half a block of ADPCM
    ASSERT_EQ(Start("stereo.wav"), 1);
    Record(kBlockMs / 2);  // one stereo block
    device.StopRecord();
    EXPECT_EQ(Recorded("stereo.wav").Field(40), 8192u);
    EXPECT_EQ(Recorded("stereo.wav").Format().channels, 2);
}

TEST_F(RecordDeviceTest, AFormatSourceGivesTheRateAndAModeChangeKeepsIt) {
    Input(std::make_shared<plat::vsnd::RampSource>());
    const plat::GUID speaker = plat::vsnd::CreateOutputEndpoint({}).guid;
    plat::LPDIRECTSOUND ds;
    ASSERT_EQ(plat::DirectSoundCreate(&speaker, &ds, nullptr), plat::DS_OK);
    plat::DSBUFFERDESC desc{};
    desc.dwFlags = plat::DSBCAPS_PRIMARYBUFFER;
    plat::LPDIRECTSOUNDBUFFER primary;
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &primary, nullptr), plat::DS_OK);
    plat::WAVEFORMATEX format = CSoundCard::PcmFormat(2, 8000, 16);
    ASSERT_EQ(primary->SetFormat(&format), plat::DS_OK);

    ASSERT_EQ(device.OpenWithCodec(micId, 3, primary), 1) << LastErrorText();
    primary.reset();  // read at the open: the host may let it go
    EXPECT_EQ(device.GetFileFormat(), (WavFormat{2, 1, 8000, 4000, 2, 16}));
    ASSERT_EQ(device.SetRecordMode(0), 1);
    EXPECT_EQ(device.GetFileFormat(), (WavFormat{2, 2, 8000, 8000, 4, 16}));
    EXPECT_TRUE(device.IsMixerOpen());
    ASSERT_EQ(Start(), 1) << LastErrorText();
    Record(2 * kBlockMs);  // two blocks of 8 kHz stereo: 65536 bytes
    ASSERT_EQ(device.StopRecord(), 1);
    const WavBytes file = Recorded();
    EXPECT_EQ(file.Format(), (WavFormat{2, 2, 8000, 8000, 4, 16}));
    EXPECT_EQ(file.Field(40), 16384u);
}

TEST_F(RecordDeviceTest, OpenFailuresNameTheirCauseAndLeaveNoThread) {
    struct Case {
        std::int32_t code;
        const char* open;
    };
    const plat::vsnd::EndpointId endpoint = plat::vsnd::CreateInputEndpoint({});
    const plat::GUID mic = endpoint.guid;
    const plat::UINT id = endpoint.waveInId;
    for (const Case& c : {Case{4, "Could not open input device.  Device already allocated."},
                          Case{2, "Could not open input device.  Device ID out of range."},
                          Case{6, "Could not open input device.  No valid input driver present."},
                          Case{32, "Could not open input device.  WAV format not supported."},
                          Case{1, "Input device open failed with code 1."}}) {
        plat::vsnd::InjectFault(mic, plat::vsnd::Fault::WaveInOpen, c.code, 2);
        {
            CMmiRecDevice d;
            EXPECT_EQ(d.Open(id), 0);
            EXPECT_EQ(LastErrorText(), c.open);
            EXPECT_EQ(d.OpenWithCodec(id, 1, nullptr), 0);
            EXPECT_EQ(LastErrorText(), "MMI Record Device " + std::to_string(id) +
                                           ", waveInOpen failed with code " +
                                           std::to_string(c.code) + ".");
            EXPECT_FALSE(d.IsCaptureThreadRunning());
        }  // gone at once: no thread to wait for
    }
    plat::vsnd::InjectFault(mic, plat::vsnd::Fault::MixerOpen, 7);
    CMmiRecDevice d;
    EXPECT_EQ(d.OpenWithCodec(id, 1, nullptr), 0);
    EXPECT_EQ(LastErrorText(),
              "MMI Record Device " + std::to_string(id) + ", OpenMixer failed with code 7.");
    EXPECT_FALSE(d.IsMixerOpen());
}

class RecordExports : public RunningLibraryTest {};

TEST_F(RecordExports, RecordDevicesOpenRecordAndClose) {
    plat::vsnd::RemoveAllEndpoints();
    plat::vsnd::InputEndpointConfig in;
    in.source = std::make_shared<plat::vsnd::RampSource>();
    const plat::UINT mic = plat::vsnd::CreateInputEndpoint(in).waveInId;

    const int failed = hcyOpenRecordDevice(mic + 1);
    EXPECT_EQ(failed, -1);
    EXPECT_EQ(Error(), "HCY ERROR: OpenRecordDevice could not open input device ID " +
                           std::to_string(mic + 1) + ".");
    const int device = hcyOpenRecordDeviceEx(mic, 1, nullptr);
    ASSERT_GT(device, 0) << Error();
    const std::string path = dir_.file("exports.wav");
    ASSERT_EQ(hcyStartRecord(device, reinterpret_cast<intptr_t>(path.c_str()), 0), 1) << Error();
    auto recorder = std::dynamic_pointer_cast<CMmiRecDevice>(theApp.FindDevice(device));
    ASSERT_TRUE(recorder);
    for (int i = 0; i < 20; ++i) {
        plat::AdvanceClock(64);
        recorder->WaitForDeliveries();
    }
    EXPECT_EQ(hcyGetCurrentRecPosn(device), 1);  // (44 + 16384) / 16000 [s]: one block
    EXPECT_EQ(hcySetRecordMode(device, 12), 1);
    EXPECT_EQ(hcyStartRecord(device, 0, 0), 0);  // no file name: the previous file is finished
    EXPECT_EQ(hcyStopRecord(device), 1);
    EXPECT_EQ(ReadFile(path).size(), 44u + 20 * 64 * 16);  // 1280 ms of mu-law
    EXPECT_EQ(hcyCloseRecordDevice(device), 1);
    EXPECT_EQ(hcyStopRecord(device), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Invalid record device.");
}

}  // namespace
