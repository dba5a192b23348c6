// Sinks and sources of the virtual sound system: memory, WAV files, null,
// silence, tone, ramp and queue.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "hcyplat/virtual_sound.h"

namespace plat::vsnd {
namespace {

constexpr std::size_t kWavHeaderBytes = 44;
// Largest WAV file a source loads [bytes]: ten minutes of 8 channels at 48 kHz.
constexpr std::size_t kMaxWavFileBytes = 600u * 48000u * 16u;

void Put16(std::uint8_t* p, std::uint32_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }
std::uint32_t Get32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The 44-byte header of a 16-bit PCM file with `dataBytes` of samples.
void MakeHeader(std::uint8_t* h, const MixFormat& f, std::uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, dataBytes + 36);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);
    Put16(h + 22, f.channels);
    Put32(h + 24, f.rate);
    Put32(h + 28, f.rate * f.channels * 2);
    Put16(h + 32, f.channels * 2);
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, dataBytes);
}

}  // namespace

MemorySink::MemorySink(std::size_t maxFrames) : maxFrames_(std::max<std::size_t>(maxFrames, 1)) {}

void MemorySink::Write(const std::int16_t* samples, std::size_t frames, const MixFormat& format) {
    std::lock_guard lock(mu_);
    format_ = format;
    samples_.insert(samples_.end(), samples, samples + frames * format.channels);
    const std::size_t limit = maxFrames_ * format.channels;
    if (samples_.size() > limit) samples_.erase(samples_.begin(), samples_.end() - limit);
}

std::vector<std::int16_t> MemorySink::Samples() const {
    std::lock_guard lock(mu_);
    return {samples_.begin(), samples_.end()};
}

std::size_t MemorySink::Frames() const {
    std::lock_guard lock(mu_);
    return samples_.size() / format_.channels;
}

std::vector<std::int16_t> MemorySink::Take(std::size_t maxFrames) {
    std::lock_guard lock(mu_);
    const std::size_t n =
        std::min(maxFrames, samples_.size() / format_.channels) * format_.channels;
    std::vector<std::int16_t> out(samples_.begin(), samples_.begin() + n);
    samples_.erase(samples_.begin(), samples_.begin() + n);
    return out;
}

void MemorySink::Clear() {
    std::lock_guard lock(mu_);
    samples_.clear();
}

MixFormat MemorySink::Format() const {
    std::lock_guard lock(mu_);
    return format_;
}

std::shared_ptr<WavFileSink> WavFileSink::Create(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return nullptr;
    std::shared_ptr<WavFileSink> sink(new WavFileSink);
    sink->file_ = f;
    return sink;
}

WavFileSink::~WavFileSink() {
    if (file_) std::fclose(file_);
}

void WavFileSink::Write(const std::int16_t* samples, std::size_t frames, const MixFormat& format) {
    std::lock_guard lock(mu_);
    if (!file_) return;
    if (!started_) {
        format_ = format;
        started_ = true;
        std::uint8_t h[kWavHeaderBytes];
        MakeHeader(h, format_, 0);
        std::fwrite(h, 1, sizeof h, file_);
    }
    if (format.rate != format_.rate || format.channels != format_.channels) return;
    // The data chunk's size field is 32 bits: the file ends at 4 GiB.
    const std::uint64_t bytes = static_cast<std::uint64_t>(frames) * format.channels * 2;
    if (dataBytes_ + bytes > 0xFFFFFFFFull - 36) return;
    // Little-endian samples, as the file wants them.
    std::uint8_t le[2];
    for (std::size_t i = 0; i < frames * format.channels; ++i) {
        Put16(le, static_cast<std::uint16_t>(samples[i]));
        std::fwrite(le, 1, 2, file_);
    }
    dataBytes_ += bytes;
    std::uint8_t size[4];
    Put32(size, static_cast<std::uint32_t>(dataBytes_ + 36));
    std::fseek(file_, 4, SEEK_SET);
    std::fwrite(size, 1, 4, file_);
    Put32(size, static_cast<std::uint32_t>(dataBytes_));
    std::fseek(file_, 40, SEEK_SET);
    std::fwrite(size, 1, 4, file_);
    std::fseek(file_, 0, SEEK_END);
    std::fflush(file_);
}

std::uint64_t WavFileSink::DataBytes() const {
    std::lock_guard lock(mu_);
    return dataBytes_;
}

void SilenceSource::Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) {
    std::fill_n(samples, frames * format.channels, std::int16_t{0});
}

void ToneSource::Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) {
    constexpr double kTwoPi = 6.283185307179586;
    for (std::size_t i = 0; i < frames; ++i, ++frame_) {
        const double v = amplitude_ * std::sin(kTwoPi * hz_ * static_cast<double>(frame_) /
                                               static_cast<double>(format.rate));
        const auto s = static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
        for (unsigned c = 0; c < format.channels; ++c) samples[i * format.channels + c] = s;
    }
}

void RampSource::Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) {
    for (std::size_t i = 0; i < frames; ++i, ++frame_)
        for (unsigned c = 0; c < format.channels; ++c)
            samples[i * format.channels + c] =
                static_cast<std::int16_t>((frame_ + static_cast<std::uint64_t>(c) * step_) % 32768);
}

void QueueSource::Push(const std::int16_t* samples, std::size_t count) {
    std::lock_guard lock(mu_);
    queue_.insert(queue_.end(), samples, samples + count);
}

std::size_t QueueSource::Pending() const {
    std::lock_guard lock(mu_);
    return queue_.size();
}

void QueueSource::Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) {
    std::lock_guard lock(mu_);
    const std::size_t want = frames * format.channels;
    const std::size_t n = std::min(want, queue_.size());
    std::copy_n(queue_.begin(), n, samples);
    queue_.erase(queue_.begin(), queue_.begin() + n);
    std::fill(samples + n, samples + want, std::int16_t{0});
}

std::shared_ptr<WavFileSource> WavFileSource::Open(const std::string& path, bool loop) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return nullptr;
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size <= 0 || static_cast<std::uint64_t>(size) > kMaxWavFileBytes) return nullptr;
    in.seekg(0);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(size));
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) return nullptr;
    return FromBytes(bytes, loop);
}

std::shared_ptr<WavFileSource> WavFileSource::FromBytes(const std::vector<std::uint8_t>& b,
                                                        bool loop) {
    // Every chunk length is checked against the bytes that are there.
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return nullptr;
    bool haveFormat = false;
    MixFormat format;
    const std::uint8_t* data = nullptr;
    std::size_t dataBytes = 0;
    std::size_t at = 12;
    while (b.size() - at >= 8) {
        const std::uint8_t* chunk = b.data() + at;
        const std::size_t declared = Get32(chunk + 4);
        const std::size_t avail = b.size() - at - 8;
        const std::size_t len = std::min(declared, avail);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (len < 16) return nullptr;
            const std::uint32_t tag = Get16(chunk + 8), channels = Get16(chunk + 10);
            const std::uint32_t rate = Get32(chunk + 12), bits = Get16(chunk + 22);
            bool pcm = tag == 1;
            if (tag == 0xFFFE && len >= 40) pcm = Get16(chunk + 32) == 1;  // sub-format PCM
            if (!pcm || bits != 16 || channels < 1 || channels > 32 || rate < 1 || rate > 1000000)
                return nullptr;
            format = MixFormat{rate, channels};
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            data = chunk + 8;
            dataBytes = len;
        }
        if (declared > avail) break;
        at += 8 + declared + (declared & 1);  // chunks are padded to even lengths
        if (at > b.size()) break;
    }
    if (!haveFormat || !data) return nullptr;
    std::shared_ptr<WavFileSource> s(new WavFileSource);
    s->format_ = format;
    s->loop_ = loop;
    const std::size_t frames = dataBytes / (2 * format.channels);
    s->data_.resize(frames * format.channels);
    for (std::size_t i = 0; i < s->data_.size(); ++i)
        s->data_[i] = static_cast<std::int16_t>(Get16(data + 2 * i));
    return s;
}

void WavFileSource::Read(std::int16_t* samples, std::size_t frames, const MixFormat& format) {
    const std::size_t fileFrames = FileFrames();
    const double step = static_cast<double>(format_.rate) / static_cast<double>(format.rate);
    auto sample = [&](std::size_t frame, unsigned ch) -> double {
        if (frame >= fileFrames) {
            if (!loop_ || fileFrames == 0) return 0.0;
            frame %= fileFrames;
        }
        return data_[frame * format_.channels + ch];
    };
    for (std::size_t i = 0; i < frames; ++i) {
        const bool ended = !loop_ && position_ >= static_cast<double>(fileFrames);
        const auto f0 = static_cast<std::size_t>(position_);
        const double frac = position_ - static_cast<double>(f0);
        for (unsigned c = 0; c < format.channels; ++c) {
            const unsigned src = format_.channels == 1 ? 0 : (c < format_.channels ? c : 0);
            double v = 0.0;
            if (!ended) v = sample(f0, src) + (sample(f0 + 1, src) - sample(f0, src)) * frac;
            samples[i * format.channels + c] =
                static_cast<std::int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
        }
        position_ += step;
        if (loop_ && fileFrames > 0 && position_ >= static_cast<double>(fileFrames))
            position_ -= static_cast<double>(fileFrames);
    }
}

}  // namespace plat::vsnd
