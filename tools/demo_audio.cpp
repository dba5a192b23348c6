// Audio for the demo: makes a speech-like test signal, and compares what a
// host sent with what another host heard.
//
//   hcy_demo_audio make OUT.wav SECONDS
//   hcy_demo_audio compare SENT.wav HEARD.wav [MIN_CORRELATION] [--segments]
//
// compare prints "demo: heard <s> s of <s> s sent, correlation <r>" (r is the
// normalised cross-correlation at the best lag) and exits 0 only when audio
// arrived: at least half of what was sent was heard and r reaches the floor.
// With --segments it also correlates each quarter second of speech at its
// own best lag, which a late block or a re-synchronised stream does not
// spoil, and judges by the median of those; it counts the segments that
// arrived sample for sample.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kRate = 16000;  // [Hz]

struct Wav {
    std::uint32_t rate = kRate;
    std::vector<std::int16_t> samples;  // mono
};

void put32(std::ofstream& f, std::uint32_t v) {
    const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                                static_cast<unsigned char>(v >> 16),
                                static_cast<unsigned char>(v >> 24)};
    f.write(reinterpret_cast<const char*>(b), 4);
}
void put16(std::ofstream& f, std::uint16_t v) {
    const unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    f.write(reinterpret_cast<const char*>(b), 2);
}

bool WriteWav(const std::string& path, const Wav& wav) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    if (!f) return false;
    const std::uint32_t bytes = static_cast<std::uint32_t>(wav.samples.size() * 2);
    f.write("RIFF", 4);
    put32(f, 36 + bytes);
    f.write("WAVEfmt ", 8);
    put32(f, 16);
    put16(f, 1);
    put16(f, 1);
    put32(f, wav.rate);
    put32(f, wav.rate * 2);
    put16(f, 2);
    put16(f, 16);
    f.write("data", 4);
    put32(f, bytes);
    for (std::int16_t s : wav.samples) put16(f, static_cast<std::uint16_t>(s));
    return static_cast<bool>(f);
}

std::uint32_t get32(const std::vector<unsigned char>& d, std::size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) |
           (static_cast<std::uint32_t>(d[at + 3]) << 24);
}
std::uint16_t get16(const std::vector<unsigned char>& d, std::size_t at) {
    return static_cast<std::uint16_t>(d[at] | (d[at + 1] << 8));
}

// Reads 16-bit PCM (mono, or the mean of the channels), walking the chunks
// and trusting no size beyond the bytes in the file.
bool ReadWav(const std::string& path, Wav& out) {
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    std::vector<unsigned char> d((std::istreambuf_iterator<char>(f)),
                                 std::istreambuf_iterator<char>());
    if (d.size() < 12 || std::memcmp(d.data(), "RIFF", 4) != 0 ||
        std::memcmp(&d[8], "WAVE", 4) != 0)
        return false;
    std::uint16_t channels = 0, bits = 0;
    for (std::size_t at = 12; at + 8 <= d.size();) {
        const std::uint32_t size = get32(d, at + 4);
        const std::size_t body = at + 8;
        const std::size_t avail = std::min<std::size_t>(size, d.size() - body);
        if (std::memcmp(&d[at], "fmt ", 4) == 0 && avail >= 16) {
            channels = get16(d, body + 2);
            out.rate = get32(d, body + 4);
            bits = get16(d, body + 14);
        } else if (std::memcmp(&d[at], "data", 4) == 0) {
            if (bits != 16 || channels == 0) return false;
            const std::size_t frames = avail / (2u * channels);
            out.samples.resize(frames);
            for (std::size_t i = 0; i < frames; ++i) {
                long sum = 0;
                for (std::uint16_t c = 0; c < channels; ++c)
                    sum += static_cast<std::int16_t>(get16(d, body + (i * channels + c) * 2));
                out.samples[i] = static_cast<std::int16_t>(sum / channels);
            }
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

// Voiced syllables: a gliding fundamental with decaying harmonics, shaped by
// a syllable envelope, with short pauses between words.
Wav MakeSpeech(double seconds) {
    Wav wav;
    const auto n = static_cast<std::size_t>(seconds * kRate);
    wav.samples.resize(n);
    double phase = 0.0;
    std::uint32_t noise = 12345;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double syllable = std::fmod(t, 0.25) / 0.25;  // 4 per second
        const bool pause = std::fmod(t, 1.5) > 1.25;        // word gaps
        const double envelope = pause ? 0.0 : std::sin(M_PI * syllable);
        const double pitch = 120.0 + 40.0 * std::sin(2 * M_PI * 0.7 * t);  // [Hz]
        phase += 2 * M_PI * pitch / kRate;
        double v = 0.0;
        for (int h = 1; h <= 12; ++h) {
            const double formant = 1.0 + 2.0 * std::exp(-std::pow((h * pitch - 700.0) / 300.0, 2));
            v += formant * std::sin(h * phase) / h;
        }
        noise = noise * 1103515245u + 12345u;
        v += 0.05 * ((static_cast<int>(noise >> 16) & 0x7FFF) / 16384.0 - 1.0);
        wav.samples[i] =
            static_cast<std::int16_t>(std::clamp(6000.0 * envelope * v, -32767.0, 32767.0));
    }
    return wav;
}

// Seconds of signal: 20 ms windows whose RMS stands clearly above the
// quietest windows of the recording.
double SecondsHeard(const std::vector<std::int16_t>& s, std::uint32_t rate) {
    const std::size_t win = rate / 50;
    if (s.size() < win) return 0.0;
    std::vector<double> rms;
    for (std::size_t at = 0; at + win <= s.size(); at += win) {
        double sum = 0;
        for (std::size_t i = 0; i < win; ++i) sum += double(s[at + i]) * s[at + i];
        rms.push_back(std::sqrt(sum / win));
    }
    std::vector<double> sorted = rms;
    std::sort(sorted.begin(), sorted.end());
    const double floor = sorted[sorted.size() / 10];
    const double threshold = std::max(200.0, floor * 4.0);
    const auto loud =
        std::count_if(rms.begin(), rms.end(), [&](double r) { return r > threshold; });
    return static_cast<double>(loud) * win / rate;
}

double Correlation(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b, long lag,
                   std::size_t step) {
    // b[i + lag] against a[i]
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = 0; i < a.size(); i += step) {
        const long j = static_cast<long>(i) + lag;
        if (j < 0 || j >= static_cast<long>(b.size())) continue;
        ab += double(a[i]) * b[static_cast<std::size_t>(j)];
        aa += double(a[i]) * a[i];
        bb += double(b[static_cast<std::size_t>(j)]) * b[static_cast<std::size_t>(j)];
    }
    return aa > 0 && bb > 0 ? ab / std::sqrt(aa * bb) : 0.0;
}

// The best lag of b behind a: a coarse search on every 4th sample, then a
// fine one around it.
double BestCorrelation(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b) {
    if (a.empty() || b.empty()) return 0.0;
    const long maxLag = static_cast<long>(b.size());
    long best = 0;
    double bestR = -2.0;
    for (long lag = -static_cast<long>(a.size()) / 4; lag < maxLag; lag += 4) {
        const double r = Correlation(a, b, lag, 4);
        if (r > bestR) bestR = r, best = lag;
    }
    double fine = -2.0;
    for (long lag = best - 8; lag <= best + 8; ++lag)
        fine = std::max(fine, Correlation(a, b, lag, 1));
    return fine;
}

struct Segments {
    double median = 0.0;
    int exact = 0;
    int voiced = 0;
};

// Each voiced quarter second of a against b at its own best lag.
Segments SegmentCorrelations(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b,
                             std::uint32_t rate) {
    const std::size_t len = rate / 4;
    Segments out;
    std::vector<double> rs;
    for (std::size_t start = 0; start + len <= a.size(); start += len) {
        const std::vector<std::int16_t> seg(a.begin() + static_cast<long>(start),
                                            a.begin() + static_cast<long>(start + len));
        double energy = 0;
        for (std::int16_t v : seg) energy += double(v) * v;
        if (std::sqrt(energy / len) < 500) continue;  // a pause
        long best = 0;
        double bestR = -2.0;
        for (long lag = 0; lag + static_cast<long>(len) <= static_cast<long>(b.size()); lag += 4) {
            const double r = Correlation(seg, b, lag, 4);
            if (r > bestR) bestR = r, best = lag;
        }
        double fine = -2.0;
        long fineLag = best;
        for (long lag = best - 4; lag <= best + 4; ++lag) {
            const double r = Correlation(seg, b, lag, 1);
            if (r > fine) fine = r, fineLag = lag;
        }
        bool same = fineLag >= 0 && fineLag + static_cast<long>(len) <= static_cast<long>(b.size());
        for (std::size_t i = 0; same && i < len; ++i)
            same = seg[i] == b[static_cast<std::size_t>(fineLag) + i];
        out.exact += same;
        rs.push_back(fine);
    }
    out.voiced = static_cast<int>(rs.size());
    if (!rs.empty()) {
        std::sort(rs.begin(), rs.end());
        out.median = rs[rs.size() / 2];
    }
    return out;
}

int Usage() {
    std::fprintf(
        stderr,
        "usage: hcy_demo_audio make OUT.wav SECONDS\n"
        "       hcy_demo_audio compare SENT.wav HEARD.wav [MIN_CORRELATION] [--segments]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "make") == 0) {
        const double seconds = std::atof(argv[3]);
        if (!(seconds > 0 && seconds <= 600)) return Usage();
        if (!WriteWav(argv[2], MakeSpeech(seconds))) {
            std::fprintf(stderr, "hcy_demo_audio: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "compare") == 0) {
        Wav sent, heard;
        if (!ReadWav(argv[2], sent) || !ReadWav(argv[3], heard)) {
            std::fprintf(stderr, "hcy_demo_audio: cannot read %s or %s as 16-bit PCM WAV\n",
                         argv[2], argv[3]);
            return 1;
        }
        bool segmented = false;
        double floor = 0.5;
        for (int i = 4; i < argc; ++i) {
            if (std::strcmp(argv[i], "--segments") == 0)
                segmented = true;
            else
                floor = std::atof(argv[i]);
        }
        const double sentSeconds = SecondsHeard(sent.samples, sent.rate);
        const double heardSeconds = SecondsHeard(heard.samples, heard.rate);
        const double r =
            sent.rate == heard.rate ? BestCorrelation(sent.samples, heard.samples) : 0.0;
        std::printf("demo: heard %.2f s of %.2f s sent, correlation %.3f\n", heardSeconds,
                    sentSeconds, r);
        const bool arrived = heardSeconds >= 0.5 * sentSeconds;
        if (!segmented) return arrived && r >= floor ? 0 : 1;
        const Segments seg = SegmentCorrelations(sent.samples, heard.samples, sent.rate);
        std::printf("segments: median correlation %.3f, %d of %d sample for sample\n", seg.median,
                    seg.exact, seg.voiced);
        return arrived && seg.median >= floor ? 0 : 1;
    }
    return Usage();
}
