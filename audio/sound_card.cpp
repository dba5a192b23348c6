#include "audio/sound_card.h"

#include "audio/capture_ds8.h"
#include "audio/open_failure.h"
#include "audio/wave_in_capture.h"
#include "base/library.h"

using plat::HRESULT;

CSoundCard::~CSoundCard() {
    // The capture thread has ended (the concrete class closed the capture).
    // An input that still refuses to close may go on writing into the
    // engine's blocks.
    if (m_pCapture && !m_pCapture->Close()) KeepUnclosedCapture(std::move(m_pCapture));
}

// ---------------------------------------------------------------------------
// Output

int CSoundCard::UseDirectSound(plat::LPDIRECTSOUND ds) {
    Lock lock(m_mutex);
    m_bOwnsDirectSound = false;
    SetDirectSound(std::move(ds));
    return 1;
}

int CSoundCard::UseDirectSoundEx(plat::LPDIRECTSOUND ds, plat::LPDIRECTSOUNDBUFFER primary) {
    Lock lock(m_mutex);
    UseDirectSound(std::move(ds));
    m_pPrimaryBuffer = std::move(primary);
    if (m_pPrimaryBuffer) {
        plat::WAVEFORMATEX format{};
        if (m_pPrimaryBuffer->GetFormat(&format, sizeof format, nullptr) == plat::DS_OK) {
            m_nSampleRate = format.nSamplesPerSec;
            m_nBitsPerSample = format.wBitsPerSample;
            m_bFormatFromHost = true;
        }
    }
    return 1;
}

int CSoundCard::CreateDirectSoundOutput(const plat::GUID* device) {
    return OpenOutputWithRate(device, hcy::Library().m_nDefaultSampleRate.load());
}

int CSoundCard::OpenOutputWithRate(const plat::GUID* device, std::uint32_t rate) {
    return CreateOutput(device, PcmFormat(2, rate));
}

plat::WAVEFORMATEX CSoundCard::PcmFormat(unsigned channels, std::uint32_t rate,
                                         std::uint32_t bits) {
    plat::WAVEFORMATEX format;
    format.wFormatTag = plat::WAVE_FORMAT_PCM;
    format.nChannels = static_cast<unsigned short>(channels);
    format.nSamplesPerSec = rate;
    format.nBlockAlign = static_cast<unsigned short>(channels * bits / 8);
    format.nAvgBytesPerSec = format.nBlockAlign * rate;
    format.wBitsPerSample = static_cast<unsigned short>(bits);
    format.cbSize = 0;
    return format;
}

int CSoundCard::CreateOutput(const plat::GUID* device, const plat::WAVEFORMATEX& format) {
    Lock lock(m_mutex);
    m_bOwnsDirectSound = true;
    plat::LPDIRECTSOUND ds;
    HRESULT hr = plat::DirectSoundCreate(device, &ds, nullptr);
    if (hr != plat::DS_OK || !ds) {
        hcy::audio::ReportOpenFailure(
            hr,
            {{plat::DSERR_ALLOCATED, "  Output device already allocated."},
             {plat::DSERR_INVALIDPARAM, "  Invalid parameter passed to function."},
             {plat::DSERR_NODRIVER, "  No compatible output driver available."}},
            "Failed to create DirectSound object.", "DirectSound object create failed with code",
            hcy::audio::CodeFormat::Hexadecimal);
        return 0;
    }
    SetDirectSound(ds);
    const HRESULT level =
        ds->SetCooperativeLevel(hcy::Library().m_hWnd.load(), plat::DSSCL_PRIORITY);
    if (level != plat::DS_OK)
        hcy::Library().SetErrorf("SetCooperativeLevel failed with code %X.",
                                 static_cast<unsigned>(level));

    plat::DSBUFFERDESC desc;
    desc.dwSize = plat::kDsBufferDescSize;
    desc.dwFlags = plat::DSBCAPS_PRIMARYBUFFER | plat::DSBCAPS_CTRLVOLUME;
    desc.dwBufferBytes = 0;
    desc.lpwfxFormat = nullptr;
    plat::LPDIRECTSOUNDBUFFER primary;
    hr = ds->CreateSoundBuffer(&desc, &primary, nullptr);
    if (hr != plat::DS_OK || !primary) {
        hcy::Library().SetErrorf("CreateSoundBuffer failed with code %Xh",
                                 static_cast<unsigned>(hr));
        return 0;
    }
    hr = primary->SetFormat(&format);
    if (hr != plat::DS_OK) {
        hcy::Library().SetErrorf("Primary buffer SetFormat failed with code %Xh",
                                 static_cast<unsigned>(hr));
        return 0;
    }
    m_pPrimaryBuffer = std::move(primary);
    m_nOutputRate = format.nSamplesPerSec;
    return 1;
}

int CSoundCard::ReleaseDirectSound() {
    Lock lock(m_mutex);
    plat::LPDIRECTSOUND ds = DirectSoundObject();
    if (m_bOwnsDirectSound && ds) ds->Release();
    m_bOwnsDirectSound = false;
    m_pPrimaryBuffer.reset();
    SetDirectSound(nullptr);
    return 1;
}

// ---------------------------------------------------------------------------
// Input

std::uint32_t CSoundCard::CaptureRate() const {
    return m_bFormatFromHost ? m_nSampleRate.load() : hcy::Library().m_nDefaultSampleRate.load();
}

std::uint32_t CSoundCard::CaptureBits() const {
    return m_bFormatFromHost ? m_nBitsPerSample.load() : 16;
}

bool CSoundCard::OpenWaveInCapture(plat::UINT id, const plat::WAVEFORMATEX& format) {
    if (m_pCapture) {
        hcy::Library().SetError("Could not open input device.  Device already allocated.");
        return false;
    }
    const unsigned channels = format.nChannels;
    auto capture = std::make_unique<CWaveInCapture>(
        CCapture::Owner{*this, m_mutex},
        [this, channels] { return m_nCaptureSize.load() * channels; });
    if (!capture->Open(id, format)) return false;
    m_nSampleRate = format.nSamplesPerSec;
    m_nBitsPerSample = format.wBitsPerSample;
    m_nInputDeviceId = id;
    m_pCapture = std::move(capture);
    return true;
}

bool CSoundCard::OpenCaptureDS8(const plat::GUID* device, const plat::WAVEFORMATEX& format,
                                std::uint32_t blockBytes) {
    if (m_pCapture) {
        hcy::Library().SetError(
            "Failed to create DirectSoundCapture object.  Input device already allocated.");
        return false;
    }
    auto capture = std::make_unique<CCaptureDS8>(CCapture::Owner{*this, m_mutex});
    if (!capture->Open(device, format, blockBytes)) return false;
    m_nSampleRate = format.nSamplesPerSec;
    m_nBitsPerSample = format.wBitsPerSample;
    m_pCapture = std::move(capture);
    return true;
}

bool CSoundCard::StartCapture() { return m_pCapture && m_pCapture->Start(); }

void CSoundCard::StopCapture() {
    if (m_pCapture) m_pCapture->Stop();
}

bool CSoundCard::CloseCapture() {
    std::unique_ptr<CCapture> capture;
    {
        Lock lock(m_mutex);
        capture.swap(m_pCapture);
        if (!capture) return true;
        capture->Stop();
    }
    if (capture->Close()) return true;
    // The input stays open: the device tries once more when it goes.
    Lock lock(m_mutex);
    if (!m_pCapture) m_pCapture = std::move(capture);
    return false;
}

bool CSoundCard::IsInputOpen() const {
    Lock lock(m_mutex);
    return m_pCapture != nullptr;
}

bool CSoundCard::IsCaptureThreadRunning() const {
    Lock lock(m_mutex);
    return m_pCapture && m_pCapture->IsThreadRunning();
}

bool CSoundCard::IsCapturing() const {
    Lock lock(m_mutex);
    return m_pCapture && m_pCapture->IsCapturing();
}
