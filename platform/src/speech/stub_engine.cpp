// The stub speech engine: text in, tones out; tones in, text out. Exact and
// the same on every machine, so that tests can check files and results.
//
// Each byte of the text is two tones of kToneMs, its high nibble and then
// its low one, nibble n at kLowestHz + n x kStepHz. Dictation finds the
// first loud sample, then measures the middle two thirds of each tone slot
// (20 ms: every tone is a whole number of cycles there, so the other
// fifteen measure zero) and stops at the first slot that holds no clear
// tone.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "engine.h"

namespace plat::speech {
namespace {

constexpr char kVoice[] = "stub";
constexpr std::size_t kToneMs = 30;  // [ms] per nibble
constexpr double kLowestHz = 500.0;  // [Hz] nibble 0
constexpr double kStepHz = 150.0;    // [Hz] between nibbles
constexpr double kAmplitude = 8000.0;
constexpr double kTwoPi = 6.283185307179586;
// A slot holds a tone when that tone carries at least this share of the
// slot's energy (a clean tone: about 1).
constexpr double kToneShare = 0.5;

// First sample of tone k at `rate` [Hz].
std::size_t ToneStart(std::size_t k, DWORD rate) { return k * rate * kToneMs / 1000; }

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

bool FindVoice(std::string_view name) { return SameLetters(name, kVoice); }

std::string WithoutMarkup(std::string_view text) {
    std::string out;
    bool inTag = false;
    for (char c : text) {
        if (c == '<')
            inTag = true;
        else if (c == '>' && inTag)
            inTag = false;
        else if (!inTag)
            out += c;
    }
    return out;
}

HRESULT Synthesize(const SynthesisRequest& r, std::vector<std::int16_t>& samples) {
    const std::string text = r.xml ? WithoutMarkup(r.text) : std::string(r.text);
    const std::size_t base = samples.size();
    samples.resize(base + ToneStart(2 * text.size(), r.rate));
    for (std::size_t k = 0; k < 2 * text.size(); ++k) {
        const auto byte = static_cast<unsigned char>(text[k / 2]);
        const unsigned nibble = k % 2 == 0 ? byte >> 4 : byte & 0x0F;
        const double hz = kLowestHz + kStepHz * nibble;
        const std::size_t first = ToneStart(k, r.rate), end = ToneStart(k + 1, r.rate);
        for (std::size_t i = first; i < end; ++i)
            samples[base + i] = static_cast<std::int16_t>(std::lround(
                kAmplitude * std::sin(kTwoPi * hz * static_cast<double>(i - first) / r.rate)));
    }
    return S_OK;
}

// Power of one frequency in a window (Goertzel), scaled so that a clean tone
// of that frequency gives the window's energy.
double TonePower(std::span<const std::int16_t> w, double hz, DWORD rate) {
    const double coeff = 2.0 * std::cos(kTwoPi * hz / rate);
    double s1 = 0.0, s2 = 0.0;
    for (std::int16_t x : w) {
        const double s0 = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return 2.0 * (s1 * s1 + s2 * s2 - coeff * s1 * s2) / static_cast<double>(w.size());
}

// The nibble a slot holds, or -1 when it holds no clear tone.
int SlotNibble(std::span<const std::int16_t> w, DWORD rate) {
    double energy = 0.0;
    for (std::int16_t x : w) energy += static_cast<double>(x) * x;
    int best = -1;
    double bestPower = kToneShare * energy;
    for (int n = 0; n < 16; ++n) {
        const double p = TonePower(w, kLowestHz + kStepHz * n, rate);
        if (p > bestPower) {
            best = n;
            bestPower = p;
        }
    }
    return energy > 0.0 ? best : -1;
}

HRESULT Recognize(std::span<const std::int16_t> samples, DWORD rate,
                  std::vector<std::string>& phrases) {
    int peak = 0;
    for (std::int16_t x : samples) peak = std::max(peak, std::abs(int{x}));
    if (peak == 0) return S_OK;
    // The tones start at phase 0, so the first loud sample lies a few samples
    // (under 0.1 ms) into the first slot: well inside the margin measured.
    const auto loud = std::find_if(samples.begin(), samples.end(),
                                   [&](std::int16_t x) { return std::abs(int{x}) * 4 > peak; });
    const auto start =
        static_cast<std::size_t>(std::max<std::ptrdiff_t>(loud - samples.begin() - 1, 0));
    std::string text;
    int high = -1;
    for (std::size_t k = 0;; ++k) {
        const std::size_t a = start + ToneStart(k, rate), b = start + ToneStart(k + 1, rate);
        const std::size_t margin = (b - a) / 6;
        if (b > samples.size()) break;
        const int nibble = SlotNibble(samples.subspan(a + margin, b - a - 2 * margin), rate);
        if (nibble < 0) break;
        if (high < 0) {
            high = nibble;
        } else {
            text += static_cast<char>(high << 4 | nibble);
            high = -1;
        }
    }
    if (!text.empty()) phrases.push_back(std::move(text));
    return S_OK;
}

constexpr Engine kStubEngine{"stub", FindVoice, Synthesize, Recognize};
const EngineRegistration kRegistration(kStubEngine);

}  // namespace
}  // namespace plat::speech
