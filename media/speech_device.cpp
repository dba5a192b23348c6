#include "media/speech_device.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

#include "base/library.h"
#include "base/messages.h"
#include "base/thread_kinds.h"
#include "halcyra/halcyra.h"
#include "hcyplat/speech.h"
#include "hcyplat/thread_boundary.h"
#include "hcyplat/timer.h"

namespace {

constexpr plat::UINT kFirstChunkMs = 5;  // after the speech file is read
constexpr plat::UINT kFirstChunkResolutionMs = 5;
constexpr plat::UINT kChunkResolutionMs = 1;
constexpr plat::DWORD kDictationWaitMs = 1000;  // for each batch of events
constexpr std::size_t kResultBytes = 1024;      // the host's buffer for the text

bool Failed(plat::HRESULT hr) { return hr < 0; }

// Creates a file of its own for `stem` in `folder`: <folder><stem>-<8 hex
// digits>.wav, made new (never one that exists), so that devices of other
// processes in the same folder never write each other's files. The path,
// or "" with the system's reason.
std::string MakeOwnFile(const std::string& folder, const char* pattern, int a, int b,
                        std::string* reason) {
    char stem[64];
    std::snprintf(stem, sizeof stem, pattern, a, b);
    static std::mutex mutex;
    static std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char tail[16];
        {
            std::lock_guard lock(mutex);
            std::snprintf(tail, sizeof tail, "-%08x.wav", static_cast<unsigned>(random()));
        }
        const std::string path = folder + stem + tail;
        plat::File file;
        plat::FileException error;
        const unsigned mode =
            plat::File::modeReadWrite | plat::File::modeCreate | plat::File::modeCreateNew;
        if (file.Open(path, mode, &error)) return path;
        if (error.m_lOsError != EEXIST) {
            *reason = error.GetErrorMessage();
            return {};
        }
    }
    *reason = "every name tried was taken";
    return {};
}

}  // namespace

CSapiDevice::CSapiDevice(int type, HostAudioProc audio, HostNotifyProc notify)
    : CDataDevice(type, audio, notify) {}

CSapiDevice::~CSapiDevice() {
    // No chunk may come for a device that is going; its lists are empty or
    // hold radios that may be gone, so nothing is unkeyed here.
    StopPlayout(false);
}

int CSapiDevice::Start() {
    {
        std::lock_guard lock(m_stateMutex);
        m_nStreamNumber = 1;
    }
    return CDataDevice::Start();
}

std::string CSapiDevice::SpeechFilePath() {
    std::uint32_t stream;
    {
        std::lock_guard lock(m_stateMutex);
        stream = m_nStreamNumber;
    }
    if (m_strSpeechFile.empty() || m_nSpeechFileStream != stream) {
        std::string reason;
        m_strSpeechFile =
            MakeOwnFile("", "HcyTTS%d_%d", GetHandle(), static_cast<int>(stream), &reason);
        m_nSpeechFileStream = stream;
        if (m_strSpeechFile.empty())
            hcy::Library().SetErrorf(
                "Could not make a speech file HcyTTS%d_%d-*.wav in the working folder: %s.",
                GetHandle(), static_cast<int>(stream), reason.c_str());
    }
    return m_strSpeechFile;
}

std::string CSapiDevice::RecordingPath(int radioUserId) {
    std::string& path = m_recordingPaths[radioUserId];
    if (path.empty()) {
        std::string reason;
        const std::string folder = plat::SpeechRecognitionFolder();
        path = MakeOwnFile(folder, "HcySTT%d_%d", GetHandle(), radioUserId, &reason);
        if (path.empty())
            hcy::Library().SetErrorf(
                "Could not make a recording HcySTT%d_%d-*.wav in %s: %s.", GetHandle(), radioUserId,
                folder.empty() ? "the working folder" : folder.c_str(), reason.c_str());
    }
    return path;
}

// ---------------------------------------------------------------------------
// Text to speech

int CSapiDevice::PostData(void* data, int byteCount) {
    if (!data || byteCount <= 0) return 0;
    // The host's text ends at its NUL, and never past the bytes it gave.
    const char* text = static_cast<const char*>(data);
    const std::size_t length = strnlen(text, static_cast<std::size_t>(byteCount));
    if (length > kMaxTextBytes) {
        // A megabyte of text blocked the caller for minutes and wrote a
        // file of hundreds of megabytes.
        hcy::Library().SetErrorf("Could not speak a text of %zu bytes: at most %zu are spoken.",
                                 length, kMaxTextBytes);
        std::lock_guard lock(m_stateMutex);
        m_bSpeakFailed = true;
        return 1;
    }
    const std::string copy(text, length);

    std::lock_guard request(m_requestMutex);
    StopPlayout(true);
    Synthesize(copy);

    Samples samples;
    std::uint32_t byteRate = 0;
    if (!ReadSpeechFile(samples, byteRate)) {
        std::lock_guard lock(m_stateMutex);
        m_bSpeakFailed = true;
        return 1;
    }
    std::lock_guard lock(m_playoutMutex);
    m_nByteRate = byteRate;
    m_nSampleRate = byteRate / 2;
    m_playout = std::make_shared<const Samples>(std::move(samples));
    m_nPlayoutPosition = 0;
    KeyTransmitLists(1, 0);
    // Created under the playout mutex: the chunk cannot look for its id
    // before it is stored.
    m_nPlayoutTimer = StartPlayoutTimer(kFirstChunkMs, kFirstChunkResolutionMs);
    if (m_nPlayoutTimer == 0) {
        KeyTransmitLists(0, 0);
        m_playout.reset();
        std::lock_guard state(m_stateMutex);
        m_bSpeakFailed = true;
    }
    return 1;
}

void CSapiDevice::Synthesize(const std::string& text) {
    std::string voiceName;
    bool xml;
    {
        std::lock_guard lock(m_stateMutex);
        voiceName = m_strVoiceName;
        xml = m_bXml;
    }
    plat::WAVEFORMATEX format;
    plat::SpStream stream;
    plat::SpVoice voice;
    const std::string path = SpeechFilePath();
    if (path.empty()) {
        std::lock_guard lock(m_stateMutex);
        m_bSpeakFailed = true;
        return;
    }
    plat::HRESULT hr = plat::SpConvertStreamFormatEnum(plat::SPSF_8kHz16BitMono, &format);
    if (!Failed(hr)) hr = stream.BindToFile(path.c_str(), plat::SPFM_CREATE_ALWAYS, &format);
    if (!voiceName.empty()) {
        plat::SpObjectToken token;
        const std::string wanted = "Name=" + voiceName;
        const bool found =
            !Failed(plat::SpFindBestToken(plat::SPCAT_VOICES, wanted.c_str(), &token)) &&
            !Failed(voice.SetVoice(&token));
        std::lock_guard lock(m_stateMutex);
        m_bVoiceNotFound = !found;
    }
    plat::ULONG streamNumber = 0;
    if (!Failed(hr)) hr = voice.SetOutput(stream);
    if (!Failed(hr))
        hr =
            voice.Speak(text.c_str(), xml ? plat::SPF_IS_XML : plat::SPF_IS_NOT_XML, &streamNumber);
    stream.Close();
    std::lock_guard lock(m_stateMutex);
    m_bSpeakFailed = Failed(hr);
    if (!Failed(hr) && streamNumber != 0) m_nStreamNumber = streamNumber;
}

bool CSapiDevice::ReadSpeechFile(Samples& samples, std::uint32_t& byteRate) {
    CWavFile file;
    plat::FileException error;
    if (m_strSpeechFile.empty() || !file.OpenRead(m_strSpeechFile.c_str(), &error) ||
        !file.ReadHeader())
        return false;
    // Whatever wrote the file, only 16-bit mono PCM at a sound rate plays,
    // and only the samples the file holds.
    std::uint8_t block[hcy::media::kFormatBlockBytes];
    file.GetFormat(block);
    const hcy::media::WavFormat f = hcy::media::ParseFormatBlock(block);
    if (f.tag != hcy::media::WAVE_FORMAT_PCM || f.channels != 1 || f.bits != 16 ||
        f.rate < hcy::media::kMinPlayRate || f.rate > hcy::media::kMaxPlayRate ||
        f.byteRate != f.rate * 2)
        return false;
    samples.resize(file.GetDataSize() / 2);
    const std::uint32_t read =
        file.ReadData(samples.data(), static_cast<std::uint32_t>(samples.size() * 2));
    samples.resize(read / 2);
    byteRate = f.byteRate;
    return true;
}

void CSapiDevice::StopPlayout(bool unkey) {
    plat::UINT timer;
    {
        std::lock_guard lock(m_playoutMutex);
        timer = m_nPlayoutTimer;
        m_nPlayoutTimer = 0;  // a chunk in delivery now starts no other
        m_playout.reset();
    }
    if (timer == 0) return;
    // Waits for a chunk in delivery (the mutex is free for it to finish).
    plat::timeKillEvent(timer);
    if (unkey) {
        std::lock_guard lock(m_playoutMutex);
        KeyTransmitLists(0, 0);
    }
}

plat::UINT CSapiDevice::StartPlayoutTimer(plat::UINT delayMs, plat::UINT resolutionMs) {
    return plat::timeSetMemberEvent<CSapiDevice, &CSapiDevice::OnPlayoutTimer,
                                    hcy::boundary::kSpeechPlayout>(delayMs, resolutionMs, this,
                                                                   plat::TIME_ONESHOT);
}

void CSapiDevice::OnPlayoutTimer(plat::UINT timerId) {
    std::shared_ptr<const Samples> playout;
    std::uint32_t position = 0, n = 0;
    bool last = false;
    {
        std::lock_guard lock(m_playoutMutex);
        if (timerId == 0 || timerId != m_nPlayoutTimer || !m_playout) return;
        playout = m_playout;
        position = m_nPlayoutPosition;
        const auto size = static_cast<std::uint32_t>(playout->size() * 2);
        n = GetCaptureSize() & ~1u;
        if (position + n > size) {
            last = true;
            n = size - position;
        }
    }
    // Delivered without the playout mutex: a new request may stop the chain
    // meanwhile (it waits for this chunk), and the buffer stays ours.
    if (n > 0) DeliverCapture(playout->data() + position / 2, n);
    std::lock_guard lock(m_playoutMutex);
    if (timerId != m_nPlayoutTimer) return;  // stopped meanwhile
    if (!last) {
        m_nPlayoutPosition = position + n;
        const auto delay = static_cast<plat::UINT>(
            std::max<std::uint64_t>(1, std::uint64_t{n} * 1000 / m_nByteRate));
        m_nPlayoutTimer = StartPlayoutTimer(delay, kChunkResolutionMs);
        if (m_nPlayoutTimer != 0) return;
    }
    m_nPlayoutTimer = 0;
    m_playout.reset();
    KeyTransmitLists(0, 0);
}

int CSapiDevice::SetPTT(int on, int channel) {
    KeyTransmitLists(on, channel);
    return 1;
}

void CSapiDevice::Close() {
    StopPlayout(false);  // the data device's close unkeys every radio
    CDataDevice::Close();
}

// ---------------------------------------------------------------------------
// Device data

int CSapiDevice::SetDeviceData(int code, void* value) {
    switch (code) {
    case DEVDATA_VOICE_NAME: {
        if (!value) return 0;
        std::uint32_t count;
        std::memcpy(&count, value, sizeof count);
        if (count < 2) return 1;
        // The count is the size of the name's buffer [bytes], its NUL
        // included: the name is read no further.
        const char* name = static_cast<const char*>(value) + sizeof count;
        std::lock_guard lock(m_stateMutex);
        m_strVoiceName.assign(name, strnlen(name, count - 1));
        return 1;
    }
    case DEVDATA_TEXT_IS_XML: {
        if (!value) return 0;
        std::int32_t xml;
        std::memcpy(&xml, value, sizeof xml);
        std::lock_guard lock(m_stateMutex);
        m_bXml = xml != 0;
        return 1;
    }
    default: return CDataDevice::SetDeviceData(code, value);
    }
}

int CSapiDevice::GetDeviceData(int code, void* out) {
    auto flag = [&](bool value) {
        const std::int32_t v = value ? 1 : 0;
        std::memcpy(out, &v, sizeof v);
        return 1;
    };
    switch (code) {
    case DEVDATA_SPEECH_RESULT_READY:
    case DEVDATA_SPEECH_RESULT_TEXT:
    case DEVDATA_VOICE_NOT_FOUND:
    case DEVDATA_SPEAK_FAILED: {
        if (!out) return 0;
        std::lock_guard lock(m_stateMutex);
        if (code == DEVDATA_SPEECH_RESULT_READY) return flag(m_bResultReady);
        if (code == DEVDATA_VOICE_NOT_FOUND) return flag(m_bVoiceNotFound);
        if (code == DEVDATA_SPEAK_FAILED) return flag(m_bSpeakFailed);
        const std::size_t n = std::min(m_strResult.size(), kResultBytes - 1);
        std::memcpy(out, m_strResult.data(), n);
        static_cast<char*>(out)[n] = '\0';
        m_bResultReady = false;
        return 1;
    }
    default: return CDataDevice::GetDeviceData(code, out);
    }
}

// ---------------------------------------------------------------------------
// Speech to text

int CSapiDevice::ReceiveAudio(int radioUserId, const CReceive* record, const std::int16_t* samples,
                              std::uint32_t bytes, std::uint32_t sampleRate) {
    PostReceived(hcy::WM_DATADEV_RECORD_AUDIO, radioUserId, record, samples, bytes, sampleRate);
    return 1;
}

int CSapiDevice::OnReceiveEnd(int radioUserId) {
    PostToWorker(hcy::WM_DATADEV_RECEIVE_END, static_cast<plat::WPARAM>(radioUserId), 0);
    return 1;
}

bool CSapiDevice::HandleMessage(const plat::MSG& msg) {
    switch (msg.message) {
    case hcy::WM_DATADEV_RECORD_AUDIO:
        if (const Received* block = plat::PayloadAs<Received>(msg.payload)) Record(*block);
        return false;
    case hcy::WM_DATADEV_RECEIVE_END: Transcribe(static_cast<int>(msg.wParam)); return false;
    default: return CDataDevice::HandleMessage(msg);
    }
}

void CSapiDevice::Record(const Received& block) {
    auto& recording = m_recordings[block.radio];
    if (!recording) {
        // The radio's first block of this transmission: a new file. One that
        // cannot be made stays closed, and its blocks are dropped.
        recording = std::make_unique<Recording>();
        recording->path = RecordingPath(block.radio);
        recording->rate = block.rate;
        plat::FileException error;
        if (recording->path.empty()) return;
        if (recording->file.OpenCreate(recording->path.c_str(), &error))
            recording->file.InitHeader(block.rate);
        else
            hcy::Library().SetErrorf("Could not record heard speech to %s: %s.",
                                     recording->path.c_str(), error.GetErrorMessage().c_str());
    }
    recording->file.WriteSamples(block.samples.data(),
                                 static_cast<std::uint32_t>(block.samples.size() * 2));
}

void CSapiDevice::Transcribe(int radioUserId) {
    auto it = m_recordings.find(radioUserId);
    if (it == m_recordings.end()) return;
    std::unique_ptr<Recording> recording = std::move(it->second);
    m_recordings.erase(it);
    recording->file.Close();  // every block is in the file
    Dictate(recording->path, recording->rate);
}

void CSapiDevice::Dictate(const std::string& path, std::uint32_t rate) {
    // The recording's own rate, whatever the received audio's.
    plat::WAVEFORMATEX format;
    format.wFormatTag = hcy::media::WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = rate;
    format.nAvgBytesPerSec = rate * 2;
    format.nBlockAlign = 2;
    format.wBitsPerSample = 16;
    plat::SpStream stream;
    if (Failed(stream.BindToFile(path.c_str(), plat::SPFM_OPEN_READONLY, &format))) return;
    plat::SpInprocRecognizer recognizer;
    plat::SpRecoContext context;
    plat::SpRecoGrammar grammar;
    const plat::ULONGLONG interest =
        plat::SPFEI(plat::SPEI_RECOGNITION) | plat::SPFEI(plat::SPEI_END_SR_STREAM);
    if (Failed(recognizer.SetInput(stream)) || Failed(recognizer.CreateRecoContext(&context)) ||
        Failed(context.CreateGrammar(&grammar)) || Failed(grammar.LoadDictation()) ||
        Failed(context.SetInterest(interest)) ||
        Failed(grammar.SetDictationState(plat::SPRS_ACTIVE))) {
        stream.Close();
        return;
    }
    bool ended = false;
    while (!ended && context.WaitForNotifyEvent(kDictationWaitMs) == plat::S_OK) {
        plat::SPEVENT event;
        plat::ULONG fetched = 0;
        while (context.GetEvents(1, &event, &fetched) == plat::S_OK && fetched == 1) {
            if (event.eEventId == plat::SPEI_END_SR_STREAM) ended = true;
            std::string text;
            if (event.eEventId == plat::SPEI_RECOGNITION && event.result &&
                !Failed(event.result->GetText(&text))) {
                // The latest recognition replaces the one before.
                std::lock_guard lock(m_stateMutex);
                m_strResult = std::move(text);
                m_bResultReady = true;
            }
        }
    }
    grammar.SetDictationState(plat::SPRS_INACTIVE);
    grammar.UnloadDictation();
    stream.Close();
}
