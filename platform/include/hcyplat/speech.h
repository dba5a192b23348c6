#pragma once
// Text to speech and dictation, in the shape of the speech-interface calls
// the speech device makes: voice tokens looked up by name, a voice that
// speaks text into a stream bound to a WAV file, and an in-process
// recogniser that runs dictation over a stream read from a WAV file and
// queues its events for the caller to read back.
//
// Contract:
// - Every call returns a result code with the speech interface's numbers
//   (S_OK, S_FALSE, E_FAIL, E_POINTER, E_INVALIDARG 0x80070057, SPERR_*,
//   STG_E_*) and never throws.
// - Text is UTF-8; Speak refuses text that is not (E_INVALIDARG).
// - Streams are WAV files of 16-bit PCM. A stream created for a voice is a
//   complete file after every Speak; the voice renders at the stream's rate.
// - Work runs on the calling thread: Speak returns when the text is in the
//   file; dictation runs when it is made active, so its events are queued
//   by then and WaitForNotifyEvent never has to wait for more.
// - One object is used by one thread at a time; different objects may be
//   used from different threads at once (the engines serialise themselves).
// - The stream, voice, recogniser, context and grammar classes are handles:
//   copies share one object, as interface pointers do.
//
// Engines (see SelectSpeechEngine): "stub" is always built in and is
// deterministic; "espeak-ng" synthesises and "pocketsphinx" recognises US
// English when the build found their libraries.
//
// The stub's waveform: each byte of the text (with <...> markup removed when
// spoken as XML) becomes two tones of 30 ms, its high and then its low
// nibble n, at f = 500 + 150 x n [Hz]: tone k starts at sample
// s_k = floor(k x rate x 3 / 100) and its sample s_k + i is
// lround(8000 x sin(2 pi x f x i / rate)).
// Its one voice is named "stub". Its dictation decodes such tones back into
// the text (one recognition), at any rate, gain or leading silence, and
// recognises nothing in other sound.
#include <cstdint>
#include <memory>
#include <string>

#include "hcyplat/mmsystem.h"
#include "hcyplat/types.h"

namespace plat {

using ULONG = std::uint32_t;
using ULONGLONG = std::uint64_t;

constexpr HRESULT SPERR_UNINITIALIZED = static_cast<HRESULT>(0x80045001u);
constexpr HRESULT SPERR_UNSUPPORTED_FORMAT = static_cast<HRESULT>(0x80045003u);
constexpr HRESULT SPERR_INVALID_FLAGS = static_cast<HRESULT>(0x80045004u);
constexpr HRESULT SPERR_FORMAT_NOT_SPECIFIED = static_cast<HRESULT>(0x8004500Eu);
constexpr HRESULT SPERR_NOT_FOUND = static_cast<HRESULT>(0x8004503Au);
constexpr HRESULT STG_E_FILENOTFOUND = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT STG_E_PATHNOTFOUND = static_cast<HRESULT>(0x80030003u);
constexpr HRESULT STG_E_ACCESSDENIED = static_cast<HRESULT>(0x80030005u);

// Which engine serves each role. The default of a role is its real engine
// when built in, else the stub; HCY_SPEECH_ENGINE=stub in the environment
// (read at the first speech call) makes the stub the default of both.
enum class SpeechRole { Synthesis, Recognition };
// False, and nothing changes, for a name that is not built in or does not
// serve the role.
bool SelectSpeechEngine(SpeechRole role, const char* name);
std::string SelectedSpeechEngine(SpeechRole role);

// The folder dictation recordings go to: HCY_SPEECH_RECOGNITION_FOLDER from
// the environment with a '/' appended, or "" (the working directory).
std::string SpeechRecognitionFolder();

// The category that voice tokens are found in.
inline constexpr char SPCAT_VOICES[] = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Speech\\Voices";

// A voice of the synthesis engine selected when it was found.
struct SpObjectToken {
    std::string engine;
    std::string name;
};

// Finds a voice by "Name=<name>" (the name as the engine knows it, any
// case): S_OK with *token set, or SPERR_NOT_FOUND (also for another
// category or attribute).
HRESULT SpFindBestToken(const char* category, const char* requiredAttributes, SpObjectToken* token);

enum SPSTREAMFORMAT { SPSF_8kHz16BitMono = 6 };
// The wave format of a standard stream format.
HRESULT SpConvertStreamFormatEnum(SPSTREAMFORMAT format, WAVEFORMATEX* waveFormat);

enum SPFILEMODE { SPFM_OPEN_READONLY = 0, SPFM_CREATE_ALWAYS = 3 };

class SpStream {
public:
    SpStream();
    // SPFM_CREATE_ALWAYS: creates (or truncates) the file as a WAV file of
    // `format`, which must be 16-bit PCM mono at 1000..192000 [Hz].
    // SPFM_OPEN_READONLY: opens a WAV file of 16-bit PCM (the first channel is
    // read); `format` is null or must equal the file's.
    HRESULT BindToFile(const char* path, SPFILEMODE mode, const WAVEFORMATEX* format);
    // Ends the binding; the file stays complete. Also done by the last copy.
    HRESULT Close();

private:
    friend class SpVoice;
    friend class SpInprocRecognizer;
    friend class SpRecoGrammar;
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

enum SPEAKFLAGS { SPF_DEFAULT = 0, SPF_IS_XML = 8, SPF_IS_NOT_XML = 16 };

class SpVoice {
public:
    SpVoice();
    // Null: the engine's default voice.
    HRESULT SetVoice(const SpObjectToken* token);
    // A stream bound with SPFM_CREATE_ALWAYS.
    HRESULT SetOutput(const SpStream& stream);
    // Speaks the text into the output; flags SPF_IS_XML (markup) or
    // SPF_IS_NOT_XML / SPF_DEFAULT (plain text). *streamNumber, when given,
    // gets this request's number: 1 for the voice's first, then counting.
    HRESULT Speak(const char* text, DWORD flags, ULONG* streamNumber);

private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

enum SPEVENTENUM { SPEI_END_SR_STREAM = 34, SPEI_RECOGNITION = 38 };
constexpr ULONGLONG SPFEI_FLAGCHECK = (1ull << 30) | (1ull << 33);
constexpr ULONGLONG SPFEI(SPEVENTENUM event) { return (1ull << event) | SPFEI_FLAGCHECK; }

class SpRecoResult {
public:
    explicit SpRecoResult(std::string text) : text_(std::move(text)) {}
    // The whole phrase.
    HRESULT GetText(std::string* text) const;

private:
    std::string text_;
};

struct SPEVENT {
    SPEVENTENUM eEventId = SPEI_END_SR_STREAM;
    std::shared_ptr<const SpRecoResult> result;  // SPEI_RECOGNITION only
};

enum SPRULESTATE { SPRS_INACTIVE = 0, SPRS_ACTIVE = 1 };

class SpRecoGrammar {
public:
    HRESULT LoadDictation();
    // Active: dictation runs over the whole input stream now, once per
    // input, and queues one SPEI_RECOGNITION per phrase, then
    // SPEI_END_SR_STREAM (each when the context is interested). Returns the
    // engine's failure, if any, with nothing queued.
    HRESULT SetDictationState(SPRULESTATE state);
    HRESULT UnloadDictation();

private:
    friend class SpRecoContext;
    struct Impl;
    std::shared_ptr<Impl> impl_;  // null until the context creates it
};

class SpRecoContext {
public:
    HRESULT CreateGrammar(SpRecoGrammar* grammar);
    // Events to queue: SPFEI(...) bits; none until set.
    HRESULT SetInterest(ULONGLONG interest);
    // S_OK when an event is queued, S_FALSE when none is (nothing more can
    // come: the time-out [ms] is not waited out).
    HRESULT WaitForNotifyEvent(DWORD timeoutMs);
    // Takes at most `count` queued events, oldest first: S_OK when count
    // were taken, S_FALSE when fewer.
    HRESULT GetEvents(ULONG count, SPEVENT* events, ULONG* fetched);

private:
    friend class SpInprocRecognizer;
    friend class SpRecoGrammar;
    struct Impl;
    std::shared_ptr<Impl> impl_;  // null until the recogniser creates it
};

class SpInprocRecognizer {
public:
    SpInprocRecognizer();
    // A stream bound with SPFM_OPEN_READONLY.
    HRESULT SetInput(const SpStream& stream);
    HRESULT CreateRecoContext(SpRecoContext* context);

private:
    friend class SpRecoContext;
    friend class SpRecoGrammar;
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

}  // namespace plat
