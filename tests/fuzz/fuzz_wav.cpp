// Arbitrary bytes as a WAV file, through every reader of WAV files:
// - the platform's reader of input sources: it either refuses them or yields
//   a source whose frames can be read at several reader formats, looping or
//   not, without touching a byte outside what it was given;
// - the library's readers, from a file: CWavFile's header reader and data
//   read (and its append, which takes canonical files only), the WAV
//   player's header and chunks, and the playback device's header scan,
//   decimation and decoding, each played for a few timer periods on the
//   manual clock, looping and not, into a sink and a radio that read every
//   sample they are handed;
// - the two recorders that append to a file they are given: the WAV record
//   radio (radio data, a block on a track, the stop) and the record device
//   (a start that appends, 20 ms of a ramp, the stop); each either refuses
//   the file or appends to it, and the record device's file is canonical
//   after its stop.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "audio/timer_wav_player.h"
#include "core/app.h"
#include "halcyra/halcyra.h"
#include "hcyplat/clock.h"
#include "hcyplat/virtual_sound.h"
#include "media/mmi_rec_device.h"
#include "media/net_play_device.h"
#include "radio/wav_record_radio.h"
#include "tests/support/stand_ins.h"
#include "wav/wav_file.h"

namespace {

using plat::vsnd::MixFormat;
using plat::vsnd::WavFileSource;

// Reader formats: down- and up-sampling, fewer and more channels than a file
// may have.
constexpr MixFormat kReaders[] = {{16000, 2}, {8000, 1}, {44100, 3}};
constexpr std::size_t kFrames = 300;  // per read [frames]
constexpr unsigned kPeriods = 4;      // timer periods each player runs

std::uint32_t g_sum = 0;  // what the readers read, so that no read is left out

void Read(const std::int16_t* samples, std::uint32_t bytes) {
    for (std::uint32_t i = 0; i < bytes / 2; ++i) g_sum += static_cast<std::uint16_t>(samples[i]);
}

class ReadingSink final : public CWavPlayerSink {
public:
    void WriteLocalSource(const std::int16_t* samples, std::uint32_t bytes,
                          std::uint32_t) override {
        Read(samples, bytes);
    }
    void StopLocalSource() override {}
};

class ReadingRadio final : public hcytest::StandInRadio {
public:
    int SetPTT(int, std::uint32_t) override { return 1; }
    void TransmitAudio(const std::int16_t* samples, std::uint32_t bytes, std::uint32_t,
                       std::uint32_t) override {
        Read(samples, bytes);
    }
};

// The file every input is written to, in memory when the system has a
// memory file system (a disk file's rewrite costs more than the readers);
// its folder goes when the fuzzer exits.
class InputFile {
public:
    InputFile() {
        namespace fs = std::filesystem;
        std::random_device random;
        std::error_code ec;
        const fs::path base =
            fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        dir_ = base / ("hcy-fuzz-wav-" + std::to_string(random()));
        fs::create_directories(dir_);
        path_ = (dir_ / "in.wav").string();
    }
    ~InputFile() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    const std::string& Write(const std::uint8_t* data, std::size_t size) {
        std::ofstream f(path_, std::ios::binary | std::ios::trunc);
        f.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        return path_;
    }

private:
    std::filesystem::path dir_;
    std::string path_;
};

void PlatformReader(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    std::vector<std::int16_t> samples(kFrames * 3 + 1);
    for (const bool loop : {false, true}) {
        const auto source = WavFileSource::FromBytes(bytes, loop);
        if (!source) continue;
        const MixFormat file = source->FileFormat();
        if (file.channels < 1 || file.rate < 1) __builtin_trap();
        // Two 16-bit samples per frame and channel cannot come from fewer bytes.
        if (source->FileFrames() * file.channels * 2 > size) __builtin_trap();
        for (const MixFormat& reader : kReaders) {
            samples.back() = 0x5A5A;  // guard: a read must stop at its frames
            source->Read(samples.data(), kFrames, reader);
            source->Read(samples.data(), kFrames / 3, reader);
            if (samples.back() != 0x5A5A) __builtin_trap();
        }
    }
}

void WavFile(const std::string& path) {
    CWavFile file;
    if (file.OpenRead(path.c_str(), nullptr) && file.ReadHeader()) {
        std::vector<std::uint8_t> data(file.GetDataSize() + 16, 0);
        const std::uint32_t n = file.ReadData(data.data(), file.GetDataSize());
        if (n > file.GetDataSize()) __builtin_trap();
    }
    if (file.OpenAppend(path.c_str(), nullptr)) {
        const std::int16_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        file.WriteSamples(block, sizeof block);
    }
    file.Close();
}

// Runs the manual clock on for a few periods of `periodMs`; a file whose
// period is longer than kLongestPeriodMs only starts and stops.
constexpr std::uint32_t kLongestPeriodMs = 5000;
void Run(std::uint32_t periodMs) {
    if (periodMs == 0 || periodMs > kLongestPeriodMs) return;
    for (unsigned i = 0; i < kPeriods; ++i) plat::AdvanceClock(periodMs);
}

void Player(const std::string& path) {
    ReadingSink sink;
    CTimerWavPlayer player;
    player.SetSink(&sink);
    for (const bool loop : {false, true}) {
        player.SetLoop(loop);
        if (player.Play(path.c_str(), 0)) Run(player.GetPeriodMs());
        player.Stop();
    }
}

void Playback(const std::string& path) {
    ReadingRadio radio;
    CNetPlayDevice device;
    device.SetHandle(1);
    device.AddTransmitPath(&radio);
    for (const bool loop : {false, true}) {
        device.SetLoop(loop);
        device.SetPlaybackChan(loop ? 9 : 8);
        if (device.StartPlayback(path.c_str(), 0)) Run(device.GetPeriodMs());
        device.StopPlayback();
    }
    device.Close();
}

void RecordRadio(const std::string& path) {
    CWavRecordRadioModel radio;
    radio.SetRadioData(RD_WAV_RECORD_FILE, const_cast<char*>(path.c_str()));
    std::int32_t append = 2;
    radio.SetRadioData(RD_WAV_RECORD_START, &append);
    const std::vector<std::int16_t> block(256, 1000);
    plat::AdvanceClock(16);
    radio.TransmitAudio(block.data(), 512, 16000, 2);
    std::uint32_t length = 0;
    radio.GetRadioData(RD_WAV_RECORD_LENGTH, &length);
    radio.SetRadioData(RD_WAV_RECORD_STOP, nullptr);
}

// One device for the whole run: its input stays open.
CMmiRecDevice& Recorder() {
    static CMmiRecDevice* device = [] {
        plat::vsnd::InputEndpointConfig in;
        in.source = std::make_shared<plat::vsnd::RampSource>();
        auto* d = new CMmiRecDevice;
        if (!d->Open(plat::vsnd::CreateInputEndpoint(in).waveInId)) __builtin_trap();
        return d;
    }();
    return *device;
}

void RecordDevice(const std::string& path) {
    CMmiRecDevice& device = Recorder();
    if (!device.StartRecord(path.c_str(), 1)) return;
    plat::AdvanceClock(20);
    device.WaitForDeliveries();
    device.GetCurrentPosn();
    device.StopRecord();
    // The header's sizes are those of what the file holds.
    std::ifstream f(path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(f), {}};
    std::uint32_t dataSize = 0;
    if (bytes.size() >= 44) std::memcpy(&dataSize, bytes.data() + 40, 4);
    if (bytes.size() != 44 + device.GetBytesWritten() || dataSize != device.GetBytesWritten())
        __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    plat::UseManualClock();
    // Small chunks keep each period's work small; decimation still runs.
    hcy::Library().m_nCaptureSize = 256;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    PlatformReader(data, size);
    static InputFile file;
    const std::string& path = file.Write(data, size);
    Player(path);
    Playback(path);
    // Appends change the file: each reader below gets the input afresh.
    WavFile(path);
    RecordRadio(file.Write(data, size));
    RecordDevice(file.Write(data, size));
    return 0;
}
