// Dictation by pocketsphinx with its US English model, which listens at
// 16 kHz: recordings at other rates are converted first. The model is
// loaded at the first use and kept; one decoder serves one call at a time.
#include <pocketsphinx.h>

#include <mutex>
#include <string>

#include "engine.h"

namespace plat::speech {
namespace {

constexpr DWORD kModelRate = 16000;  // [Hz]
// Where the model package puts it (from pkg-config at build time).
constexpr char kModelDir[] = HCYPLAT_POCKETSPHINX_MODEL_DIR;

struct Decoder {
    std::mutex mu;
    cmd_ln_t* config = nullptr;  // guarded by mu
    ps_decoder_t* ps = nullptr;  // guarded by mu
    bool failed = false;         // the model could not be loaded; guarded by mu

    ~Decoder() {
        if (ps) ps_free(ps);
        if (config) cmd_ln_free_r(config);
    }
    // Called with mu held.
    bool Ready() {
        if (ps || failed) return ps != nullptr;
        const std::string dir(kModelDir);
        config = cmd_ln_init(nullptr, ps_args(), TRUE, "-hmm", (dir + "/en-us").c_str(), "-lm",
                             (dir + "/en-us.lm.bin").c_str(), "-dict",
                             (dir + "/cmudict-en-us.dict").c_str(), "-logfn", "/dev/null", nullptr);
        ps = config ? ps_init(config) : nullptr;
        failed = ps == nullptr;
        return !failed;
    }
};

Decoder& TheDecoder() {
    static Decoder decoder;
    return decoder;
}

HRESULT Recognize(std::span<const std::int16_t> samples, DWORD rate,
                  std::vector<std::string>& phrases) {
    std::vector<std::int16_t> converted;
    if (rate != kModelRate) {
        if (!Resample(samples, rate, kModelRate, converted)) return E_FAIL;
        samples = converted;
    }
    Decoder& d = TheDecoder();
    std::lock_guard lock(d.mu);
    if (!d.Ready()) return E_FAIL;
    if (ps_start_utt(d.ps) < 0) return E_FAIL;
    const int processed = ps_process_raw(d.ps, samples.data(), samples.size(), FALSE, TRUE);
    if (ps_end_utt(d.ps) < 0 || processed < 0) return E_FAIL;
    std::int32_t score = 0;
    const char* hypothesis = ps_get_hyp(d.ps, &score);
    if (hypothesis && hypothesis[0]) phrases.emplace_back(hypothesis);
    return S_OK;
}

constexpr Engine kPocketsphinxEngine{"pocketsphinx", nullptr, nullptr, Recognize};
const EngineRegistration kRegistration(kPocketsphinxEngine);

}  // namespace
}  // namespace plat::speech
