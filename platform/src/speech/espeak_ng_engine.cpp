// Synthesis by espeak-ng. The library keeps one global state, so every call
// runs under one lock; it speaks at its own rate (22050 Hz), which is
// converted to the rate asked for. Its voice source draws on the C
// library's rand(), so the same text sounds a little different each time.
// Markup is read as SSML: tags it does not know are skipped.
#include <espeak-ng/speak_lib.h>

#include <mutex>
#include <string>

#include "engine.h"

namespace plat::speech {
namespace {

// US English with the Klatt voice source: of the voices shipped, the one
// whose speech dictation recognises best after an 8 kHz round trip.
constexpr char kDefaultVoice[] = "en-us+klatt3";

struct Library {
    std::mutex mu;
    int rate = 0;                               // [Hz]; 0 until initialised, -1 failed
    std::vector<std::int16_t>* sink = nullptr;  // the samples of the call running
    bool failed = false;                        // the call running ran out of memory

    ~Library() {
        if (rate > 0) espeak_Terminate();
    }
    // Called with mu held.
    bool Ready() {
        if (rate == 0) {
            rate =
                espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 0, nullptr, espeakINITIALIZE_DONT_EXIT);
            if (rate <= 0) rate = -1;
        }
        return rate > 0;
    }
};

Library& TheLibrary() {
    static Library library;
    return library;
}

int OnSamples(short* wav, int count, espeak_EVENT* /*events*/) {
    Library& lib = TheLibrary();  // its lock is held by Synthesize
    if (!wav || count <= 0) return 0;
    try {
        lib.sink->insert(lib.sink->end(), wav, wav + count);
        return 0;
    } catch (...) {
        lib.failed = true;
        return 1;  // abort the synthesis
    }
}

bool FindVoice(std::string_view name) {
    Library& lib = TheLibrary();
    std::lock_guard lock(lib.mu);
    return lib.Ready() && espeak_SetVoiceByName(std::string(name).c_str()) == EE_OK;
}

HRESULT Synthesize(const SynthesisRequest& r, std::vector<std::int16_t>& samples) {
    std::vector<std::int16_t> spoken;
    int rate = 0;
    {
        Library& lib = TheLibrary();
        std::lock_guard lock(lib.mu);
        if (!lib.Ready()) return E_FAIL;
        const std::string voice(r.voice.empty() ? kDefaultVoice : r.voice);
        if (espeak_SetVoiceByName(voice.c_str()) != EE_OK) return E_FAIL;
        const std::string text(r.text);
        lib.sink = &spoken;
        lib.failed = false;
        espeak_SetSynthCallback(OnSamples);
        const unsigned flags = espeakCHARS_UTF8 | (r.xml ? espeakSSML : 0);
        const espeak_ERROR synth = espeak_Synth(text.c_str(), text.size() + 1, 0, POS_CHARACTER, 0,
                                                flags, nullptr, nullptr);
        const espeak_ERROR sync = espeak_Synchronize();
        lib.sink = nullptr;
        if (synth != EE_OK || sync != EE_OK || lib.failed) return E_FAIL;
        rate = lib.rate;
    }
    std::vector<std::int16_t> converted;
    if (!Resample(spoken, static_cast<DWORD>(rate), r.rate, converted)) return E_FAIL;
    samples.insert(samples.end(), converted.begin(), converted.end());
    return S_OK;
}

constexpr Engine kEspeakEngine{"espeak-ng", FindVoice, Synthesize, nullptr};
const EngineRegistration kRegistration(kEspeakEngine);

}  // namespace
}  // namespace plat::speech
