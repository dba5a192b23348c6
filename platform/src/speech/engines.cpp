// The list of speech engines and which one serves each role.
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "engine.h"

namespace plat {
namespace speech {
namespace {

constexpr char kStub[] = "stub";

struct Selection {
    std::mutex mu;
    bool chosen = false;                  // defaults taken; guarded by mu
    const Engine* synthesis = nullptr;    // guarded by mu
    const Engine* recognition = nullptr;  // guarded by mu
};

Selection& TheSelection() {
    static Selection s;
    return s;
}

// Filled while the library loads (static registrations), read after.
std::vector<const Engine*>& Registered() {
    static std::vector<const Engine*> engines;
    return engines;
}

bool Serves(const Engine& e, SpeechRole role) {
    return role == SpeechRole::Synthesis ? e.synthesize && e.findVoice : e.recognize != nullptr;
}

// The real engine of a role when there is one, else the stub.
const Engine* DefaultFor(SpeechRole role, bool stubOnly) {
    const Engine* stub = FindEngine(kStub);
    if (stubOnly) return stub;
    for (const Engine* e : Registered())
        if (e != stub && Serves(*e, role)) return e;
    return stub;
}

// Called with s.mu held.
void ChooseDefaults(Selection& s) {
    if (s.chosen) return;
    const char* env = std::getenv("HCY_SPEECH_ENGINE");
    const bool stubOnly = env && std::string(env) == kStub;
    s.synthesis = DefaultFor(SpeechRole::Synthesis, stubOnly);
    s.recognition = DefaultFor(SpeechRole::Recognition, stubOnly);
    s.chosen = true;
}

const Engine*& Slot(Selection& s, SpeechRole role) {
    return role == SpeechRole::Synthesis ? s.synthesis : s.recognition;
}

}  // namespace

EngineRegistration::EngineRegistration(const Engine& engine) { Registered().push_back(&engine); }

const Engine* FindEngine(std::string_view name) {
    for (const Engine* e : Registered())
        if (name == e->name) return e;
    return nullptr;
}

const Engine& SelectedEngine(SpeechRole role) {
    Selection& s = TheSelection();
    std::lock_guard lock(s.mu);
    ChooseDefaults(s);
    return *Slot(s, role);
}

}  // namespace speech

bool SelectSpeechEngine(SpeechRole role, const char* name) {
    const speech::Engine* e = name ? speech::FindEngine(name) : nullptr;
    if (!e || !speech::Serves(*e, role)) return false;
    speech::Selection& s = speech::TheSelection();
    std::lock_guard lock(s.mu);
    speech::ChooseDefaults(s);
    speech::Slot(s, role) = e;
    return true;
}

std::string SelectedSpeechEngine(SpeechRole role) { return speech::SelectedEngine(role).name; }

std::string SpeechRecognitionFolder() {
    const char* folder = std::getenv("HCY_SPEECH_RECOGNITION_FOLDER");
    if (!folder || !folder[0]) return {};
    std::string out = folder;
    if (out.back() != '/') out += '/';
    return out;
}

}  // namespace plat
