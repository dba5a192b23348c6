#pragma once
// Shared by the media tests: WAV files written byte by byte (so that the
// readers meet files they did not write), a sink that records what a prompt
// player delivers, a radio that records its playback notices, and a
// manual-clock fixture with a folder of its own.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "audio/audio_fixture.h"
#include "audio/wav_player.h"
#include "hcyplat/clock.h"

namespace hcytest {

inline std::string U16(std::uint16_t v) { return {char(v & 0xFF), char(v >> 8)}; }
inline std::string U32(std::uint32_t v) {
    return U16(std::uint16_t(v)) + U16(std::uint16_t(v >> 16));
}

// A chunk: tag, size (the body's unless given) and body, padded to an even
// size.
inline std::string Chunk(const std::string& tag, const std::string& body, std::int64_t size = -1) {
    std::string c = tag + U32(size < 0 ? std::uint32_t(body.size()) : std::uint32_t(size)) + body;
    if (body.size() % 2) c += '\0';
    return c;
}

struct Fmt {
    std::uint16_t tag = 1, channels = 1;
    std::uint32_t rate = 16000;
    std::int64_t byteRate = -1;  // -1: rate x channels x 2
    std::uint16_t bits = 16;
    std::string extra = {};  // bytes after the 16
};
inline std::string FmtChunk(const Fmt& f) {
    const std::uint32_t byteRate =
        f.byteRate < 0 ? f.rate * f.channels * 2u : std::uint32_t(f.byteRate);
    return Chunk("fmt ", U16(f.tag) + U16(f.channels) + U32(f.rate) + U32(byteRate) +
                             U16(std::uint16_t(f.channels * 2)) + U16(f.bits) + f.extra);
}
// The 24 bytes after the 16 of an extensible format block: valid bits,
// channel mask, and the subformat GUID of `tag`.
inline std::string Extensible(std::uint16_t validBits, std::uint16_t tag) {
    return U16(22) + U16(validBits) + U32(0) + U16(tag) +
           std::string("\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 14);
}
inline std::string Riff(const std::string& chunks) {
    return "RIFF" + U32(std::uint32_t(4 + chunks.size())) + "WAVE" + chunks;
}
inline std::string SampleBytes(const Samples& s) {
    return std::string(reinterpret_cast<const char*>(s.data()), s.size() * 2);
}
// The canonical 44-byte layout around `data`.
inline std::string Wav(const std::string& data, const Fmt& f = {}) {
    return Riff(FmtChunk(f) + Chunk("data", data));
}
// n samples counting up from `first` (wrapping at 16 bits).
inline Samples Ramp(std::size_t n, int first = 0) {
    Samples s(n);
    for (std::size_t i = 0; i < n; ++i) s[i] = std::int16_t(first + int(i));
    return s;
}
inline Samples FromBytes(const std::string& bytes) {
    Samples s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

// What a prompt player delivers, with the clock time of each block [ms].
class RecordingSink final : public CWavPlayerSink {
public:
    void WriteLocalSource(const std::int16_t* samples, std::uint32_t bytes,
                          std::uint32_t rate) override {
        std::lock_guard<std::mutex> lock(mu);
        blocks.emplace_back(samples, samples + bytes / 2);
        rates.push_back(rate);
        times.push_back(plat::timeGetTime());
    }
    void StopLocalSource() override {
        std::lock_guard<std::mutex> lock(mu);
        ++stops;
    }
    std::vector<std::size_t> Sizes() const {
        std::lock_guard<std::mutex> lock(mu);
        std::vector<std::size_t> out;
        for (const auto& b : blocks) out.push_back(b.size() * 2);
        return out;
    }
    Samples All() const {
        std::lock_guard<std::mutex> lock(mu);
        Samples out;
        for (const auto& b : blocks) out.insert(out.end(), b.begin(), b.end());
        return out;
    }

    mutable std::mutex mu;
    std::vector<Samples> blocks;
    std::vector<std::uint32_t> rates;
    std::vector<plat::DWORD> times;
    int stops = 0;
};

// A radio that also records the playback notices it gets, after which PTT
// call they came.
class NoticedRadio : public RecordingRadio {
public:
    int OnPlaybackDone(std::uint32_t source) override {
        notices.push_back({source, Ptt().size()});
        return 1;
    }
    struct Notice {
        std::uint32_t source;
        std::size_t afterPtt;  // PTT calls made before it
    };
    std::vector<Notice> notices;  // the notifying thread's; read once it is done
};

// The process may write files up to `bytes` long while it lives (a full
// disk, the same for every run); a write past it fails with EFBIG.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = saved_;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

// The manual clock and a working folder of the test's own.
class MediaTest : public SoundTest {
protected:
    std::string Write(const std::string& name, const std::string& bytes) {
        const std::string path = dir_.file(name);
        WriteFile(path, bytes);
        return path;
    }
};

}  // namespace hcytest
