// Audio for the demo: makes a speech-like test signal, and compares what a
// host sent with what another host heard.
//
//   hcy_demo_audio make OUT.wav SECONDS [VOICE[,VOICE]]
//   hcy_demo_audio compare SENT.wav HEARD.wav [--start SENT_S HEARD_S]
//                  [--min-exact PERCENT] [--correlation MIN] [--channel N]
//                  [--from SECONDS]
//
// make with two voices writes a stereo file: the first voice left, the
// second right. compare --channel takes only channel N (from 0) of HEARD,
// else the mean of its channels; --from judges only the speech sent from
// SECONDS into SENT on.
//
// compare prints what a listener would judge:
//   "demo: speech (voiced 20 ms windows) heard <s> s of <s> s sent, <p> %
//    sample for sample, <n> gaps (largest <ms> ms), mouth-to-ear <ms> ms[,
//    <n> pauses changed (largest <ms> ms)]"
// - seconds: of speech, the 20 ms windows that stand clearly above each
//   file's own floor (so heard can exceed sent by a few windows; the host's
//   "sent <s> s of audio" counts the whole keyed file, pauses included);
// - sample for sample: the share of the sent speech found unchanged in
//   what was heard, in runs that follow each other in order;
// - gaps: where the lag between sent and heard jumps (audio missing or
//   inserted), and the largest jump; a jump where the sent speech resumes
//   after 10 ms of silence (below -54 dBFS) only made a pause shorter or
//   longer, and is counted apart as a changed pause;
// - mouth-to-ear: the lag that carries most of the speech, plus the times
//   at which the two files' first samples were captured and played
//   (--start, seconds on one clock); without them it is not printed.
// It exits 0 only when at least PERCENT (default 99) arrived sample for
// sample. Lossy codecs change every sample: with --correlation it instead
// correlates each voiced quarter second at its own best lag, prints the
// median and judges by it (and by half the speech heard).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kRate = 16000;  // [Hz]

struct Wav {
    std::uint32_t rate = kRate;
    std::uint16_t channels = 1;
    std::vector<std::int16_t> samples;  // interleaved frames
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
    put16(f, wav.channels);
    put32(f, wav.rate);
    put32(f, wav.rate * 2u * wav.channels);
    put16(f, static_cast<std::uint16_t>(2 * wav.channels));
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

// Reads 16-bit PCM as mono: channel `channel` of the file, or for -1 the
// mean of its channels; walks the chunks and trusts no size beyond the
// bytes in the file.
bool ReadWav(const std::string& path, Wav& out, int channel = -1) {
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
            if (bits != 16 || channels == 0 || channel >= static_cast<int>(channels)) return false;
            const std::size_t frames = avail / (2u * channels);
            out.samples.resize(frames);
            for (std::size_t i = 0; i < frames; ++i) {
                auto at = [&](std::size_t c) {
                    return static_cast<std::int16_t>(get16(d, body + (i * channels + c) * 2));
                };
                long sum = 0;
                for (std::uint16_t c = 0; c < channels; ++c) sum += at(c);
                out.samples[i] = channel >= 0 ? at(static_cast<std::size_t>(channel))
                                              : static_cast<std::int16_t>(sum / channels);
            }
            return true;
        }
        at = body + size + (size & 1);
    }
    return false;
}

// Voiced syllables: a gliding fundamental with decaying harmonics, shaped by
// a syllable envelope, with short pauses between words. Voices other than 0
// speak higher, over other noise: no sample of theirs matches voice 0's.
Wav MakeSpeech(double seconds, int voice) {
    Wav wav;
    const auto n = static_cast<std::size_t>(seconds * kRate);
    wav.samples.resize(n);
    double phase = 0.0;
    std::uint32_t noise = 12345u + 7919u * static_cast<std::uint32_t>(voice);
    for (std::size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double syllable = std::fmod(t, 0.25) / 0.25;  // 4 per second
        const bool pause = std::fmod(t, 1.5) > 1.25;        // word gaps
        const double envelope = pause ? 0.0 : std::sin(M_PI * syllable);
        const double pitch = 120.0 + 30.0 * voice + 40.0 * std::sin(2 * M_PI * 0.7 * t);  // [Hz]
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

// The median correlation of each voiced quarter second of a against b at
// its own best lag.
double SegmentCorrelation(const std::vector<std::int16_t>& a, const std::vector<std::int16_t>& b,
                          std::uint32_t rate) {
    const std::size_t len = rate / 4;
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
        for (long lag = best - 4; lag <= best + 4; ++lag)
            fine = std::max(fine, Correlation(seg, b, lag, 1));
        rs.push_back(fine);
    }
    if (rs.empty()) return 0.0;
    std::sort(rs.begin(), rs.end());
    return rs[rs.size() / 2];
}

// Samples of the sent file that are speech: those of 20 ms windows whose
// RMS stands above a fixed floor (the pauses between words are silent).
std::vector<bool> SpeechMask(const std::vector<std::int16_t>& s, std::uint32_t rate) {
    const std::size_t win = rate / 50;
    std::vector<bool> speech(s.size(), false);
    for (std::size_t at = 0; at < s.size(); at += win) {
        const std::size_t end = std::min(s.size(), at + win);
        double sum = 0;
        for (std::size_t i = at; i < end; ++i) sum += double(s[i]) * s[i];
        if (std::sqrt(sum / static_cast<double>(end - at)) > 200.0)
            std::fill(speech.begin() + static_cast<long>(at),
                      speech.begin() + static_cast<long>(end), true);
    }
    return speech;
}

struct Alignment {
    std::size_t speech = 0;       // speech samples sent
    std::size_t exact = 0;        // of them, heard unchanged
    int gaps = 0;                 // jumps of the lag within speech
    long largestGap = 0;          // [samples]
    int pauses = 0;               // jumps where speech resumes: pauses made shorter or longer
    long largestPause = 0;        // [samples]
    std::optional<long> mainLag;  // heard index - sent index carrying most speech
};

// Walks the sent samples in order, following each run that the heard file
// repeats unchanged at one lag. Where a run breaks, the next 32 samples of
// speech are looked up in the heard file (the lag nearest the old one
// wins), and the jump is a gap. Silence and near-silence cannot anchor a
// run.
Alignment Align(const std::vector<std::int16_t>& sent, const std::vector<std::int16_t>& heard,
                std::uint32_t rate, std::size_t from) {
    constexpr std::size_t kAnchor = 32;  // [samples]: unique in speech with noise
    constexpr std::size_t kPause = 160;  // [samples] of silence before the speech resumes
    const auto key = [](const std::int16_t* p) {
        std::uint64_t h = 1469598103934665603ull;  // FNV-1a
        for (std::size_t i = 0; i < kAnchor; ++i)
            h = (h ^ static_cast<std::uint16_t>(p[i])) * 1099511628211ull;
        return h;
    };
    // Near-silence (below -54 dBFS) repeats too often to anchor a run.
    const auto silent = [](const std::int16_t* p) {
        return std::all_of(p, p + kAnchor, [](std::int16_t v) { return v > -64 && v < 64; });
    };
    std::vector<std::pair<std::uint64_t, std::size_t>> index;
    for (std::size_t j = 0; j + kAnchor <= heard.size(); ++j)
        if (!silent(&heard[j])) index.emplace_back(key(&heard[j]), j);
    std::sort(index.begin(), index.end());

    Alignment out;
    std::vector<bool> speech = SpeechMask(sent, rate);
    std::fill(speech.begin(), speech.begin() + static_cast<long>(std::min(from, speech.size())),
              false);
    std::vector<std::pair<long, std::size_t>> carried;  // lag, speech samples at it
    std::optional<long> lag;
    for (std::size_t i = 0; i < sent.size();) {
        if (lag) {
            const long j = static_cast<long>(i) + *lag;
            if (j >= 0 && j < static_cast<long>(heard.size()) &&
                sent[i] == heard[static_cast<std::size_t>(j)]) {
                if (speech[i]) {
                    ++out.exact;
                    ++carried.back().second;
                }
                ++i;
                continue;
            }
        }
        std::optional<long> found;
        if (i + kAnchor <= sent.size() && !silent(&sent[i])) {
            const std::uint64_t k = key(&sent[i]);
            for (auto it = std::lower_bound(index.begin(), index.end(), std::make_pair(k, 0ul));
                 it != index.end() && it->first == k; ++it) {
                if (!std::equal(&sent[i], &sent[i] + kAnchor, &heard[it->second])) continue;
                const long l = static_cast<long>(it->second) - static_cast<long>(i);
                if (!found || (lag && std::labs(l - *lag) < std::labs(*found - *lag))) found = l;
            }
        }
        if (!found) {
            ++i;
            continue;
        }
        if (lag) {
            // Where the sent speech resumes after a pause, the jump only made
            // the pause shorter or longer: nothing was missing.
            const bool pause =
                i >= kPause && std::all_of(&sent[i - kPause], &sent[i],
                                           [](std::int16_t v) { return v > -64 && v < 64; });
            int& count = pause ? out.pauses : out.gaps;
            long& largest = pause ? out.largestPause : out.largestGap;
            ++count;
            largest = std::max(largest, std::labs(*found - *lag));
        }
        lag = found;
        carried.emplace_back(*lag, 0);
    }
    out.speech = static_cast<std::size_t>(std::count(speech.begin(), speech.end(), true));
    std::map<long, std::size_t> byLag;
    for (const auto& [l, n] : carried) byLag[l] += n;
    std::size_t most = 0;
    for (const auto& [l, n] : byLag)
        if (n > most) most = n, out.mainLag = l;
    return out;
}

int Usage() {
    std::fprintf(stderr,
                 "usage: hcy_demo_audio make OUT.wav SECONDS [VOICE[,VOICE]]\n"
                 "       hcy_demo_audio compare SENT.wav HEARD.wav [--start SENT_S HEARD_S]\n"
                 "                      [--min-exact PERCENT] [--correlation MIN] [--channel N]\n"
                 "                      [--from SECONDS]\n");
    return 2;
}

bool Number(const char* text, double* out) {
    char* end = nullptr;
    *out = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(*out);
}

int Compare(int argc, char** argv) {
    std::optional<std::pair<double, double>> start;  // sent, heard first sample [s]
    double minExact = 99.0;
    std::optional<double> minCorrelation;
    int channel = -1;
    double from = 0;  // [s] into SENT
    for (int i = 4; i < argc; ++i) {
        const std::string a = argv[i];
        double v = 0, w = 0;
        if (a == "--start" && i + 2 < argc && Number(argv[i + 1], &v) && Number(argv[i + 2], &w)) {
            start = {v, w};
            i += 2;
        } else if (a == "--min-exact" && i + 1 < argc && Number(argv[i + 1], &v)) {
            minExact = v;
            ++i;
        } else if (a == "--correlation" && i + 1 < argc && Number(argv[i + 1], &v)) {
            minCorrelation = v;
            ++i;
        } else if (a == "--channel" && i + 1 < argc && Number(argv[i + 1], &v) && v >= 0 &&
                   v < 32 && v == std::floor(v)) {
            channel = static_cast<int>(v);
            ++i;
        } else if (a == "--from" && i + 1 < argc && Number(argv[i + 1], &v) && v >= 0) {
            from = v;
            ++i;
        } else {
            return Usage();
        }
    }
    Wav sent, heard;
    if (!ReadWav(argv[2], sent) || !ReadWav(argv[3], heard, channel)) {
        std::fprintf(stderr, "hcy_demo_audio: cannot read %s or %s as 16-bit PCM WAV\n", argv[2],
                     argv[3]);
        return 1;
    }
    const double sentSeconds = SecondsHeard(sent.samples, sent.rate);
    const double heardSeconds = SecondsHeard(heard.samples, heard.rate);
    Alignment a;
    if (sent.rate == heard.rate)
        a = Align(sent.samples, heard.samples, sent.rate,
                  static_cast<std::size_t>(from * sent.rate));
    const double exact = a.speech ? 100.0 * static_cast<double>(a.exact) / a.speech : 0.0;
    const double msPerSample = 1000.0 / sent.rate;
    std::printf(
        "demo: speech (voiced 20 ms windows) heard %.2f s of %.2f s sent, %.1f %% sample for "
        "sample, %d gap%s (largest "
        "%.1f ms)",
        heardSeconds, sentSeconds, exact, a.gaps, a.gaps == 1 ? "" : "s",
        static_cast<double>(a.largestGap) * msPerSample);
    if (start && a.mainLag)
        std::printf(", mouth-to-ear %.0f ms", (start->second - start->first) * 1000.0 +
                                                  static_cast<double>(*a.mainLag) * msPerSample);
    if (a.pauses)
        std::printf(", %d pause%s changed (largest %.1f ms)", a.pauses, a.pauses == 1 ? "" : "s",
                    static_cast<double>(a.largestPause) * msPerSample);
    std::printf("\n");
    if (!minCorrelation) return exact >= minExact ? 0 : 1;
    const double r =
        sent.rate == heard.rate ? SegmentCorrelation(sent.samples, heard.samples, sent.rate) : 0.0;
    std::printf("correlation: median %.3f over the voiced quarter seconds\n", r);
    return heardSeconds >= 0.5 * sentSeconds && r >= *minCorrelation ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "make") == 0) {
        const double seconds = std::atof(argv[3]);
        const char* voices = argc >= 5 ? argv[4] : "0";
        int left = 0, right = -1;
        const int n = std::sscanf(voices, "%d,%d", &left, &right);
        if (!(seconds > 0 && seconds <= 600) || n < 1 || left < 0 || left > 9 ||
            (n == 2 && (right < 0 || right > 9)))
            return Usage();
        Wav wav = MakeSpeech(seconds, left);
        if (n == 2) {
            // Two voices: one each side.
            const Wav other = MakeSpeech(seconds, right);
            std::vector<std::int16_t> frames(2 * wav.samples.size());
            for (std::size_t i = 0; i < wav.samples.size(); ++i)
                frames[2 * i] = wav.samples[i], frames[2 * i + 1] = other.samples[i];
            wav.samples = std::move(frames);
            wav.channels = 2;
        }
        if (!WriteWav(argv[2], wav)) {
            std::fprintf(stderr, "hcy_demo_audio: cannot write %s\n", argv[2]);
            return 1;
        }
        return 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "compare") == 0) return Compare(argc, argv);
    return Usage();
}
