#include "media/mmi_rec_device.h"

#include <algorithm>

#include "audio/sound_card.h"
#include "base/library.h"
#include "hcyplat/dsound.h"
#include "hcyplat/file.h"

using namespace hcy::media;
using hcy::CodecKind;

namespace {

// Codec choice of hcyOpenRecordDeviceEx -> the file's format tag, and back
// (a reopen with a new record mode); the coder of each tag.
std::uint16_t TagOfChoice(int codec) {
    switch (codec) {
    case 1: return WAVE_FORMAT_MULAW;
    case 2: return WAVE_FORMAT_IBM_CVSD;
    case 3: return WAVE_FORMAT_ADPCM;
    default: return WAVE_FORMAT_PCM;
    }
}

int ChoiceOfTag(std::uint16_t tag) {
    switch (tag) {
    case WAVE_FORMAT_MULAW: return 1;
    case WAVE_FORMAT_IBM_CVSD: return 2;
    case WAVE_FORMAT_ADPCM: return 3;
    default: return 4;
    }
}

CodecKind KindOfTag(std::uint16_t tag) {
    switch (tag) {
    case WAVE_FORMAT_MULAW: return CodecKind::MuLaw;
    case WAVE_FORMAT_IBM_CVSD: return CodecKind::Cvsd;
    case WAVE_FORMAT_ADPCM: return CodecKind::Adpcm;
    default: return CodecKind::Pcm;
    }
}

bool IsEmptyFile(const char* path) {
    plat::File probe;
    return probe.Open(path, plat::File::modeRead, nullptr) && probe.GetLength() == 0;
}

}  // namespace

CMmiRecDevice::CMmiRecDevice() {
    m_fileFormat = {WAVE_FORMAT_PCM, 1, 16000, 32000, 2, 16};
    m_nCaptureChannels = 1;
}

CMmiRecDevice::~CMmiRecDevice() {
    Control lock(m_controlMutex);
    StopLocked();
    // The capture thread has ended once Close returns, refused or not.
    if (m_pCapture && !m_pCapture->Close()) KeepUnclosedCapture(std::move(m_pCapture));
    m_pCapture.reset();
    CloseMixer();
}

// ---------------------------------------------------------------------------
// Opening and closing the input

int CMmiRecDevice::Open(plat::UINT waveInId) {
    Control lock(m_controlMutex);
    return OpenInput(waveInId, nullptr) ? 1 : 0;
}

int CMmiRecDevice::OpenWithCodec(plat::UINT waveInId, int codec,
                                 plat::LPDIRECTSOUNDBUFFER formatSource) {
    Control lock(m_controlMutex);
    if (formatSource) {
        // Only the format is read, and only now: the buffer is the host's.
        m_bFormatFromSource = true;
        plat::WAVEFORMATEX format{};
        if (formatSource->GetFormat(&format, sizeof format, nullptr) == plat::DS_OK) {
            m_nSourceRate = format.nSamplesPerSec;
            m_nSourceBits = format.wBitsPerSample;
        }
    }
    return OpenWithCodecLocked(waveInId, codec);
}

int CMmiRecDevice::OpenWithCodecLocked(plat::UINT waveInId, int codec) {
    {
        std::lock_guard record(m_recordMutex);
        m_fileFormat.tag = TagOfChoice(codec);
    }
    plat::MMRESULT result = plat::MMSYSERR_NOERROR;
    if (!OpenInput(waveInId, &result)) {
        if (result != plat::MMSYSERR_NOERROR)
            hcy::Library().SetErrorf("MMI Record Device %d, waveInOpen failed with code %d.",
                                     static_cast<int>(waveInId), static_cast<int>(result));
        return 0;
    }
    CloseMixer();
    const plat::MMRESULT mixer =
        plat::mixerOpen(&m_hMixer, waveInId, 0, 0, plat::MIXER_OBJECTF_WAVEIN);
    if (mixer != plat::MMSYSERR_NOERROR) {
        m_hMixer = 0;
        hcy::Library().SetErrorf("MMI Record Device %d, OpenMixer failed with code %d.",
                                 static_cast<int>(waveInId), static_cast<int>(mixer));
        return 0;
    }
    return 1;
}

bool CMmiRecDevice::OpenInput(plat::UINT waveInId, plat::MMRESULT* result) {
    if (m_pCapture) {
        hcy::Library().SetError("Could not open input device.  Device already allocated.");
        return false;
    }
    const bool fromSource = m_bFormatFromSource && m_nSourceRate != 0;
    const std::uint32_t rate =
        fromSource ? m_nSourceRate : hcy::Library().m_nDefaultSampleRate.load();
    const std::uint32_t bits = fromSource ? m_nSourceBits : 16;
    const unsigned channels = m_nRecordMode == kMonoMode ? 1 : 2;

    const plat::WAVEFORMATEX format = CSoundCard::PcmFormat(channels, rate, bits);
    auto capture = std::make_unique<CWaveInCapture>(CCapture::Owner{*this, m_mutex},
                                                    [] { return kCaptureBlockBytes; });
    {
        Lock lock(m_mutex);
        if (!capture->Open(waveInId, format, result)) return false;
        m_pCapture = std::move(capture);
    }
    m_nInputDeviceId = waveInId;
    m_nSampleRate = rate;
    m_nBitsPerSample = bits;
    m_nCaptureChannels = static_cast<int>(channels);
    std::lock_guard record(m_recordMutex);
    UpdateFileFormat();
    return true;
}

void CMmiRecDevice::UpdateFileFormat() {
    const std::uint32_t bits = m_nBitsPerSample.load();
    const std::uint32_t rate = m_nSampleRate.load();
    const std::uint16_t channels = m_nRecordMode == kMonoMode ? 1 : 2;
    m_fileFormat.channels = channels;
    m_fileFormat.rate = rate;
    m_fileFormat.bits = static_cast<std::uint16_t>(bits);
    m_fileFormat.blockAlign = static_cast<std::uint16_t>(bits * channels / 8);
    m_fileFormat.byteRate =
        rate * m_fileFormat.blockAlign / hcy::GetCompressionRatio(KindOfTag(m_fileFormat.tag));
}

bool CMmiRecDevice::CloseInputLocked() {
    if (!m_pCapture) return true;
    // Joins the capture thread, which may be waiting for the device's mutex.
    if (!m_pCapture->Close()) return false;
    std::unique_ptr<CWaveInCapture> closed;
    Lock lock(m_mutex);
    closed.swap(m_pCapture);
    return true;
}

void CMmiRecDevice::CloseMixer() {
    if (m_hMixer != 0) plat::mixerClose(m_hMixer);
    m_hMixer = 0;
}

void CMmiRecDevice::Close() {
    Control lock(m_controlMutex);
    StopLocked();
    CloseInputLocked();
    CloseMixer();
    CDevice::Close();
}

// ---------------------------------------------------------------------------
// Recording

int CMmiRecDevice::StartRecord(const char* path, int append) {
    Control lock(m_controlMutex);
    if (m_bRecording.load()) StopLocked();
    std::string reason = "no file name was given";
    if (!path || !OpenFile(path, append != 0, &reason)) {
        hcy::Library().SetErrorf("HCY ERROR: Could not open file for recording. %s: %s.",
                                 path ? path : "", reason.c_str());
        return 0;
    }
    {
        std::lock_guard record(m_recordMutex);
        // A coded recording starts from the coders' zero state, as a decoder
        // of the file does.
        for (hcy::CodecSet* coder : {&m_leftCoder, &m_rightCoder}) {
            coder->adpcm.ResetEncoder();
            coder->cvsd.ResetEncoder();
        }
        m_bRecording = true;
    }
    if (StartCaptureLocked()) return 1;
    {
        Lock device(m_mutex);
        if (m_pCapture) m_pCapture->Stop();
    }
    std::lock_guard record(m_recordMutex);
    m_bRecording = false;
    m_file.Close();
    hcy::Library().SetError("waveInStart failed.");
    return 0;
}

bool CMmiRecDevice::OpenFile(const char* path, bool append, std::string* reason) {
    std::lock_guard record(m_recordMutex);
    m_strPath = path;
    plat::FileException error;
    if (append) {
        if (m_file.OpenAppend(path, &error)) {
            // Blocks of this device's format only: another format, or a
            // header that cannot be read, would be corrupted.
            std::uint8_t block[kFormatBlockBytes];
            if (m_file.ReadHeader()) {
                m_file.GetFormat(block);
                if (ParseFormatBlock(block) == m_fileFormat) {
                    m_nBytesWritten = m_file.GetDataSize();
                    return true;
                }
            }
            m_file.Close();
            *reason = "its format is not the one this device records";
            return false;
        }
        // A missing or empty file starts as a new one.
        if (error.m_cause != plat::FileException::fileNotFound && !IsEmptyFile(path)) {
            *reason = error.m_cause == plat::FileException::invalidFile
                          ? "its format is not the one this device records"
                          : error.GetErrorMessage();
            return false;
        }
    }
    if (!m_file.OpenCreate(path, &error)) {
        *reason = error.GetErrorMessage();
        return false;
    }
    if (!m_file.InitHeader(m_fileFormat)) {
        m_file.Close();
        *reason = "its writer could not start";
        return false;
    }
    m_nBytesWritten = 0;
    return true;
}

bool CMmiRecDevice::StartCaptureLocked() {
    Lock lock(m_mutex);
    return m_pCapture && m_pCapture->Start();
}

int CMmiRecDevice::StopRecord() {
    Control lock(m_controlMutex);
    return StopLocked();
}

int CMmiRecDevice::StopLocked() {
    if (!m_bRecording.load()) return 1;
    bool reset = true;
    if (m_pCapture) {
        {
            Lock lock(m_mutex);
            reset = m_pCapture->StopDelivering();
        }
        // Every block the input handed back, the partly filled one too, is
        // in the file's queue before the file closes.
        m_pCapture->WaitForDeliveries();
    }
    std::lock_guard record(m_recordMutex);
    m_bRecording = false;
    m_file.Close();  // the writer has written every block when it returns
    // A block the disk refused ended the recording there: the file holds
    // what came before it, and the host hears why.
    const std::string failure = m_file.GetWriteError();
    if (!failure.empty()) {
        m_nBytesWritten = m_file.GetDataSize();
        hcy::Library().SetError(failure.c_str());
        return 0;
    }
    return reset ? 1 : 0;
}

int CMmiRecDevice::SetRecordMode(int mode) {
    Control lock(m_controlMutex);
    if (mode == m_nRecordMode) return 1;
    StopLocked();
    // The old capture thread is joined before a new one starts.
    const bool wasOpen = m_pCapture != nullptr;
    if (!CloseInputLocked()) return 1;
    m_nRecordMode = mode;
    std::uint16_t tag;
    {
        std::lock_guard record(m_recordMutex);
        UpdateFileFormat();
        tag = m_fileFormat.tag;
    }
    const plat::UINT id = m_nInputDeviceId;
    if (!wasOpen) return 1;
    if (m_bFormatFromSource)
        OpenWithCodecLocked(id, ChoiceOfTag(tag));
    else
        OpenInput(id, nullptr);
    return 1;
}

int CMmiRecDevice::GetCurrentPosn() {
    if (!m_bRecording.load()) return 0;
    std::uint32_t byteRate;
    {
        std::lock_guard record(m_recordMutex);
        byteRate = m_fileFormat.byteRate;
    }
    if (byteRate == 0) return 0;
    // After a failed write the file grows no more.
    const std::uint64_t bytes =
        m_file.GetWriteError().empty() ? m_nBytesWritten.load() : m_file.GetDataSize();
    return static_cast<int>((kCanonicalHeaderBytes + bytes) / byteRate);
}

// ---------------------------------------------------------------------------
// The capture thread

void CMmiRecDevice::DeliverCapture(const std::int16_t* block, std::uint32_t bytes) {
    std::lock_guard record(m_recordMutex);
    if (!m_bRecording.load() || !block) return;
    const std::size_t coded = Encode(block, bytes);
    if (coded != 0 && m_file.WriteSamples(m_coded.data(), static_cast<std::uint32_t>(coded)))
        m_nBytesWritten += coded;
}

std::size_t CMmiRecDevice::Encode(const std::int16_t* block, std::uint32_t bytes) {
    const CodecKind kind = KindOfTag(m_fileFormat.tag);
    const std::size_t bitsPerSample = hcy::GetBitsPerSample(kind);
    auto codedBytes = [&](std::size_t samples) { return (samples * bitsPerSample + 7) / 8; };
    if (m_fileFormat.channels == 1) {
        const std::size_t samples = bytes / 2;
        m_coded.resize(codedBytes(samples));
        return m_leftCoder.Encode(kind, {block, samples}, m_coded);
    }
    const std::size_t frames = bytes / 4;
    m_leftIn.resize(frames);
    m_rightIn.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        m_leftIn[i] = block[2 * i];
        m_rightIn[i] = block[2 * i + 1];
    }
    m_leftOut.resize(codedBytes(frames));
    m_rightOut.resize(codedBytes(frames));
    const std::size_t left = m_leftCoder.Encode(kind, m_leftIn, m_leftOut);
    const std::size_t right = m_rightCoder.Encode(kind, m_rightIn, m_rightOut);
    // Two bytes of the left stream, then two of the right, and so on.
    m_coded.resize(left + right);
    std::size_t out = 0;
    for (std::size_t i = 0; i < std::max(left, right); i += 2) {
        for (std::size_t k = i; k < std::min(i + 2, left); ++k) m_coded[out++] = m_leftOut[k];
        for (std::size_t k = i; k < std::min(i + 2, right); ++k) m_coded[out++] = m_rightOut[k];
    }
    return out;
}

// ---------------------------------------------------------------------------
// State

WavFormat CMmiRecDevice::GetFileFormat() const {
    std::lock_guard record(m_recordMutex);
    return m_fileFormat;
}

void CMmiRecDevice::WaitForDeliveries() {
    Control lock(m_controlMutex);
    if (m_pCapture) m_pCapture->WaitForDeliveries();
}

bool CMmiRecDevice::IsInputOpen() const {
    Control lock(m_controlMutex);
    return m_pCapture != nullptr;
}

bool CMmiRecDevice::IsCapturing() const {
    Control lock(m_controlMutex);
    return m_pCapture && m_pCapture->IsCapturing();
}

bool CMmiRecDevice::IsCaptureThreadRunning() const {
    Control lock(m_controlMutex);
    return m_pCapture && m_pCapture->IsThreadRunning();
}

bool CMmiRecDevice::IsMixerOpen() const {
    Control lock(m_controlMutex);
    return m_hMixer != 0;
}
