#pragma once
// The seam between the speech front end (tokens, streams, voices,
// recognisers) and the engines behind it. Each engine is a table of
// operations in a file of its own that registers itself when the platform
// library loads; the stub is one of them.
//
// Contract: the front end hands an engine UTF-8 text that it has checked,
// a voice name the engine's findVoice accepted (or "" for its default), a
// rate of 1000..192000 [Hz] and whole mono 16-bit samples. An engine
// serialises its own library's calls and keeps exceptions out of them (the
// front end turns one that reaches it into E_FAIL); an operation it does not
// offer is null.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "hcyplat/speech.h"

namespace plat::speech {

struct SynthesisRequest {
    std::string_view text;
    std::string_view voice;  // "" : the engine's default voice
    bool xml = false;        // the text carries markup
    DWORD rate = 8000;       // of the samples wanted [Hz]
};

// True when the engine has a voice of that name (its own matching).
using FindVoiceOp = bool(std::string_view name);
// Appends the spoken text to `samples`, at request.rate.
using SynthesizeOp = HRESULT(const SynthesisRequest& request, std::vector<std::int16_t>& samples);
// Appends each phrase recognised in `samples` (at `rate` [Hz]), in order.
using RecognizeOp = HRESULT(std::span<const std::int16_t> samples, DWORD rate,
                            std::vector<std::string>& phrases);

struct Engine {
    const char* name;
    FindVoiceOp* findVoice;
    SynthesizeOp* synthesize;
    RecognizeOp* recognize;
};

// Lists an engine; one static object per engine file.
struct EngineRegistration {
    explicit EngineRegistration(const Engine& engine);
};

// The engine selected for a role (never null: the stub is always there).
const Engine& SelectedEngine(SpeechRole role);
// A registered engine by name, or null.
const Engine* FindEngine(std::string_view name);

// 16-bit mono samples converted from one rate to another [Hz] by the
// resampling library; false when it refuses. Built with the real engines.
bool Resample(std::span<const std::int16_t> in, DWORD inRate, DWORD outRate,
              std::vector<std::int16_t>& out);

}  // namespace plat::speech
