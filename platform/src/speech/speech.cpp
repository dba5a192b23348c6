// The speech front end: voice tokens, WAV-file streams, voices and the
// in-process recogniser with its context and grammar. It checks what the
// caller hands in and leaves the sound itself to the selected engines.
//
//   Speak:      text --engine.synthesize(rate of the stream)--> WAV file
//   Dictation:  WAV file --engine.recognize(rate of the file)--> phrases
//               --> SPEI_RECOGNITION events, then SPEI_END_SR_STREAM
#include "hcyplat/speech.h"

#include <cerrno>
#include <deque>
#include <filesystem>
#include <string_view>
#include <vector>

#include "engine.h"
#include "hcyplat/virtual_sound.h"

namespace plat {
namespace {

constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT SPERR_ALREADY_INITIALIZED = static_cast<HRESULT>(0x80045002u);

constexpr DWORD kMinRate = 1000;    // [Hz]
constexpr DWORD kMaxRate = 192000;  // [Hz]

// Runs one call's body; an escaping exception becomes E_FAIL.
template <class F>
HRESULT Guarded(F&& body) {
    try {
        return body();
    } catch (...) {
        return E_FAIL;
    }
}

// Well-formed UTF-8: no stray or missing continuation bytes, no overlong
// forms, no surrogates, nothing above U+10FFFF.
bool IsUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        const std::size_t n = b < 0x80         ? 1
                              : (b >> 5) == 6  ? 2
                              : (b >> 4) == 14 ? 3
                              : (b >> 3) == 30 ? 4
                                               : 0;
        if (n == 0 || s.size() - i < n) return false;
        std::uint32_t cp = n == 1 ? b : b & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c >> 6) != 2) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        constexpr std::uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kSmallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
        i += n;
    }
    return true;
}

bool IsMonoPcm16(const WAVEFORMATEX& f) {
    return f.wFormatTag == WAVE_FORMAT_PCM && f.nChannels == 1 && f.wBitsPerSample == 16 &&
           f.nBlockAlign == 2 && f.nSamplesPerSec >= kMinRate && f.nSamplesPerSec <= kMaxRate &&
           f.nAvgBytesPerSec == f.nSamplesPerSec * 2;
}

WAVEFORMATEX Pcm16(DWORD rate, unsigned short channels) {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 16;
    f.nBlockAlign = static_cast<unsigned short>(2 * channels);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

HRESULT FromErrno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG: return STG_E_PATHNOTFOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return STG_E_ACCESSDENIED;
    default: return E_FAIL;
    }
}

}  // namespace

// ---- tokens and formats ----

HRESULT SpFindBestToken(const char* category, const char* requiredAttributes,
                        SpObjectToken* token) {
    return Guarded([&] {
        if (!category || !requiredAttributes || !token) return E_POINTER;
        constexpr std::string_view kName = "Name=";
        const std::string_view wanted(requiredAttributes);
        if (std::string_view(category) != SPCAT_VOICES || !wanted.starts_with(kName))
            return SPERR_NOT_FOUND;
        const std::string_view name = wanted.substr(kName.size());
        // One attribute only: a ';' would start another.
        if (name.empty() || name.find(';') != std::string_view::npos) return SPERR_NOT_FOUND;
        const speech::Engine& engine = speech::SelectedEngine(SpeechRole::Synthesis);
        if (!engine.findVoice(name)) return SPERR_NOT_FOUND;
        *token = SpObjectToken{engine.name, std::string(name)};
        return S_OK;
    });
}

HRESULT SpConvertStreamFormatEnum(SPSTREAMFORMAT format, WAVEFORMATEX* waveFormat) {
    if (!waveFormat) return E_POINTER;
    if (format != SPSF_8kHz16BitMono) return E_INVALIDARG;
    *waveFormat = Pcm16(8000, 1);
    return S_OK;
}

// ---- streams ----

struct SpStream::Impl {
    WAVEFORMATEX format;
    std::shared_ptr<vsnd::WavFileSink> sink;      // bound for writing
    std::shared_ptr<vsnd::WavFileSource> source;  // bound for reading
};

SpStream::SpStream() : impl_(std::make_shared<Impl>()) {}

HRESULT SpStream::BindToFile(const char* path, SPFILEMODE mode, const WAVEFORMATEX* format) {
    return Guarded([&] {
        if (!path) return E_POINTER;
        if (impl_->sink || impl_->source) return SPERR_ALREADY_INITIALIZED;
        if (mode == SPFM_CREATE_ALWAYS) {
            if (!format) return SPERR_FORMAT_NOT_SPECIFIED;
            if (!IsMonoPcm16(*format)) return SPERR_UNSUPPORTED_FORMAT;
            errno = 0;
            auto sink = vsnd::WavFileSink::Create(path);
            if (!sink) return FromErrno(errno);
            // The header goes out now: the file is a complete, empty WAV file.
            sink->Write(nullptr, 0, vsnd::MixFormat{format->nSamplesPerSec, 1});
            impl_->format = *format;
            impl_->sink = std::move(sink);
            return S_OK;
        }
        if (mode != SPFM_OPEN_READONLY) return SPERR_INVALID_FLAGS;
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec)) return STG_E_FILENOTFOUND;
        auto source = vsnd::WavFileSource::Open(path, false);
        if (!source) return SPERR_UNSUPPORTED_FORMAT;
        const vsnd::MixFormat file = source->FileFormat();
        const WAVEFORMATEX fileFormat =
            Pcm16(file.rate, static_cast<unsigned short>(file.channels));
        if (format && (format->wFormatTag != WAVE_FORMAT_PCM || format->wBitsPerSample != 16 ||
                       format->nChannels != fileFormat.nChannels ||
                       format->nSamplesPerSec != fileFormat.nSamplesPerSec))
            return SPERR_UNSUPPORTED_FORMAT;
        impl_->format = fileFormat;
        impl_->source = std::move(source);
        return S_OK;
    });
}

HRESULT SpStream::Close() {
    impl_->sink.reset();
    impl_->source.reset();
    return S_OK;
}

// ---- voices ----

struct SpVoice::Impl {
    const speech::Engine* engine = nullptr;
    std::string voice;  // "" : the engine's default
    SpStream output;
    ULONG streams = 0;  // requests spoken so far
};

SpVoice::SpVoice() : impl_(std::make_shared<Impl>()) {
    impl_->engine = &speech::SelectedEngine(SpeechRole::Synthesis);
}

HRESULT SpVoice::SetVoice(const SpObjectToken* token) {
    return Guarded([&] {
        if (!token) {
            impl_->voice.clear();
            return S_OK;
        }
        const speech::Engine* engine = speech::FindEngine(token->engine);
        if (!engine || !engine->synthesize || !engine->findVoice(token->name))
            return SPERR_NOT_FOUND;
        impl_->engine = engine;
        impl_->voice = token->name;
        return S_OK;
    });
}

HRESULT SpVoice::SetOutput(const SpStream& stream) {
    if (!stream.impl_->sink) return SPERR_UNINITIALIZED;
    impl_->output = stream;
    return S_OK;
}

HRESULT SpVoice::Speak(const char* text, DWORD flags, ULONG* streamNumber) {
    return Guarded([&] {
        if (!text) return E_POINTER;
        const bool xml = (flags & SPF_IS_XML) != 0;
        if ((flags & ~DWORD{SPF_IS_XML | SPF_IS_NOT_XML}) != 0 || (xml && (flags & SPF_IS_NOT_XML)))
            return SPERR_INVALID_FLAGS;
        SpStream::Impl& out = *impl_->output.impl_;
        if (!out.sink) return SPERR_UNINITIALIZED;
        if (!IsUtf8(text)) return E_INVALIDARG;
        if (streamNumber) *streamNumber = impl_->streams + 1;
        ++impl_->streams;
        std::vector<std::int16_t> samples;
        const HRESULT hr = impl_->engine->synthesize(
            speech::SynthesisRequest{text, impl_->voice, xml, out.format.nSamplesPerSec}, samples);
        if (hr < 0) return hr;
        out.sink->Write(samples.data(), samples.size(),
                        vsnd::MixFormat{out.format.nSamplesPerSec, 1});
        return S_OK;
    });
}

// ---- dictation ----

struct SpInprocRecognizer::Impl {
    const speech::Engine* engine = nullptr;
    SpStream input;
    bool done = false;  // the input has been recognised
};

struct SpRecoContext::Impl {
    std::shared_ptr<SpInprocRecognizer::Impl> recognizer;
    ULONGLONG interest = 0;
    std::deque<SPEVENT> events;
};

struct SpRecoGrammar::Impl {
    std::shared_ptr<SpRecoContext::Impl> context;
    bool dictation = false;
};

HRESULT SpRecoResult::GetText(std::string* text) const {
    if (!text) return E_POINTER;
    return Guarded([&] {
        *text = text_;
        return S_OK;
    });
}

SpInprocRecognizer::SpInprocRecognizer() : impl_(std::make_shared<Impl>()) {
    impl_->engine = &speech::SelectedEngine(SpeechRole::Recognition);
}

HRESULT SpInprocRecognizer::SetInput(const SpStream& stream) {
    if (!stream.impl_->source) return SPERR_UNINITIALIZED;
    impl_->input = stream;
    impl_->done = false;
    return S_OK;
}

HRESULT SpInprocRecognizer::CreateRecoContext(SpRecoContext* context) {
    if (!context) return E_POINTER;
    return Guarded([&] {
        context->impl_ = std::make_shared<SpRecoContext::Impl>();
        context->impl_->recognizer = impl_;
        return S_OK;
    });
}

HRESULT SpRecoContext::CreateGrammar(SpRecoGrammar* grammar) {
    if (!grammar) return E_POINTER;
    if (!impl_) return SPERR_UNINITIALIZED;
    return Guarded([&] {
        grammar->impl_ = std::make_shared<SpRecoGrammar::Impl>();
        grammar->impl_->context = impl_;
        return S_OK;
    });
}

HRESULT SpRecoContext::SetInterest(ULONGLONG interest) {
    if (!impl_) return SPERR_UNINITIALIZED;
    impl_->interest = interest;
    return S_OK;
}

HRESULT SpRecoContext::WaitForNotifyEvent(DWORD /*timeoutMs*/) {
    if (!impl_) return SPERR_UNINITIALIZED;
    return impl_->events.empty() ? S_FALSE : S_OK;
}

HRESULT SpRecoContext::GetEvents(ULONG count, SPEVENT* events, ULONG* fetched) {
    if (!impl_) return SPERR_UNINITIALIZED;
    if ((count > 0 && !events) || !fetched) return E_POINTER;
    ULONG n = 0;
    for (; n < count && !impl_->events.empty(); ++n) {
        events[n] = std::move(impl_->events.front());
        impl_->events.pop_front();
    }
    *fetched = n;
    return n == count ? S_OK : S_FALSE;
}

HRESULT SpRecoGrammar::LoadDictation() {
    if (!impl_) return SPERR_UNINITIALIZED;
    impl_->dictation = true;
    return S_OK;
}

HRESULT SpRecoGrammar::UnloadDictation() {
    if (!impl_) return SPERR_UNINITIALIZED;
    impl_->dictation = false;
    return S_OK;
}

HRESULT SpRecoGrammar::SetDictationState(SPRULESTATE state) {
    if (!impl_ || !impl_->dictation) return SPERR_UNINITIALIZED;
    // Dictation runs to the end of the input at once: nothing is left to stop.
    if (state != SPRS_ACTIVE) return S_OK;
    return Guarded([&] {
        SpRecoContext::Impl& context = *impl_->context;
        SpInprocRecognizer::Impl& recognizer = *context.recognizer;
        const auto& source = recognizer.input.impl_->source;
        if (!source) return SPERR_UNINITIALIZED;
        if (recognizer.done) return S_OK;
        const vsnd::MixFormat mono{source->FileFormat().rate, 1};
        std::vector<std::int16_t> samples(source->FileFrames());
        source->Read(samples.data(), samples.size(), mono);
        std::vector<std::string> phrases;
        const HRESULT hr = recognizer.engine->recognize(samples, mono.rate, phrases);
        if (hr < 0) return hr;
        recognizer.done = true;
        auto queue = [&](SPEVENTENUM id, std::shared_ptr<const SpRecoResult> result) {
            if ((context.interest & (1ull << id)) != 0)
                context.events.push_back(SPEVENT{id, std::move(result)});
        };
        for (std::string& p : phrases)
            queue(SPEI_RECOGNITION, std::make_shared<const SpRecoResult>(std::move(p)));
        queue(SPEI_END_SR_STREAM, nullptr);
        return S_OK;
    });
}

}  // namespace plat
