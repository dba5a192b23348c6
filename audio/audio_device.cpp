#include "audio/audio_device.h"

#include "base/library.h"
#include "base/messages.h"
#include "base/thread_kinds.h"
#include "hcyplat/thread_boundary.h"
#include "interphone/ics_model.h"
#include "radio/radio_model.h"

using plat::DWORD;
using plat::HRESULT;
using plat::HWAVEIN;
using plat::MMRESULT;

CAudioDevice::CAudioDevice() {
    m_nCaptureChannels = 1;
    m_nOutputChannels = 2;
    m_nLongValue = 4099;
}

CAudioDevice::~CAudioDevice() {
    // The radios of the lists may be gone by now: only the input is shut.
    {
        Lock lock(m_mutex);
        StopCapture();
        if (m_hWaveIn != 0) {
            plat::waveInReset(m_hWaveIn);
            if (plat::waveInClose(m_hWaveIn) == plat::MMSYSERR_NOERROR) m_hWaveIn = 0;
        }
    }
    EndCaptureThread();
}

// ---------------------------------------------------------------------------
// Output

int CAudioDevice::UseDirectSound(plat::LPDIRECTSOUND ds) {
    Lock lock(m_mutex);
    m_bOwnsDirectSound = false;
    SetDirectSound(std::move(ds));
    return 1;
}

int CAudioDevice::UseDirectSoundEx(plat::LPDIRECTSOUND ds, plat::LPDIRECTSOUNDBUFFER primary) {
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

int CAudioDevice::CreateDirectSoundOutput(const plat::GUID* device) {
    return CreateOutput(device, hcy::Library().m_nDefaultSampleRate.load());
}

int CAudioDevice::OpenOutputWithRate(const plat::GUID* device, std::uint32_t rate) {
    return CreateOutput(device, rate);
}

int CAudioDevice::CreateOutput(const plat::GUID* device, std::uint32_t rate) {
    Lock lock(m_mutex);
    m_bOwnsDirectSound = true;
    plat::LPDIRECTSOUND ds;
    const HRESULT hr = plat::DirectSoundCreate(device, &ds, nullptr);
    if (hr != plat::DS_OK || !ds) {
        const char* reason = nullptr;
        switch (hr) {
        case plat::DSERR_ALLOCATED: reason = "  Output device already allocated."; break;
        case plat::DSERR_INVALIDPARAM: reason = "  Invalid parameter passed to function."; break;
        case plat::DSERR_NODRIVER: reason = "  No compatible output driver available."; break;
        default: break;
        }
        if (reason)
            hcy::Library().SetErrorf("Failed to create DirectSound object.%s", reason);
        else
            hcy::Library().SetErrorf("DirectSound object create failed with code %X.",
                                     static_cast<unsigned>(hr));
        return 0;
    }
    SetDirectSound(ds);
    const HRESULT level =
        ds->SetCooperativeLevel(hcy::Library().m_hWnd.load(), plat::DSSCL_PRIORITY);
    if (level != plat::DS_OK)
        hcy::Library().SetErrorf("SetCooperativeLevel failed with code %X.",
                                 static_cast<unsigned>(level));
    return OpenPrimaryBuffer(ds, rate);
}

int CAudioDevice::OpenPrimaryBuffer(const plat::LPDIRECTSOUND& ds, std::uint32_t rate) {
    plat::DSBUFFERDESC desc;
    desc.dwSize = plat::kDsBufferDescSize;
    desc.dwFlags = plat::DSBCAPS_PRIMARYBUFFER | plat::DSBCAPS_CTRLVOLUME;
    desc.dwBufferBytes = 0;
    desc.lpwfxFormat = nullptr;
    plat::LPDIRECTSOUNDBUFFER primary;
    HRESULT hr = ds->CreateSoundBuffer(&desc, &primary, nullptr);
    if (hr != plat::DS_OK || !primary) {
        hcy::Library().SetErrorf("CreateSoundBuffer failed with code %Xh",
                                 static_cast<unsigned>(hr));
        return 0;
    }
    plat::WAVEFORMATEX format;
    format.wFormatTag = plat::WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = rate;
    format.nAvgBytesPerSec = 4 * rate;
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    hr = primary->SetFormat(&format);
    if (hr != plat::DS_OK) {
        hcy::Library().SetErrorf("Primary buffer SetFormat failed with code %Xh",
                                 static_cast<unsigned>(hr));
        return 0;
    }
    m_pPrimaryBuffer = std::move(primary);
    m_nOutputRate = rate;
    return 1;
}

int CAudioDevice::ReleaseDirectSound() {
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

int CAudioDevice::OpenInput(std::uint32_t waveInId) {
    std::uint32_t rate = hcy::Library().m_nDefaultSampleRate.load();
    std::uint32_t bits = 16;
    if (m_bFormatFromHost) {
        rate = m_nSampleRate.load();
        bits = m_nBitsPerSample.load();
    }
    return OpenWaveInput(waveInId, rate, bits);
}

int CAudioDevice::OpenInputWithRate(std::uint32_t waveInId, std::uint32_t rate) {
    return OpenWaveInput(waveInId, rate, 16);
}

int CAudioDevice::OpenWaveInput(std::uint32_t waveInId, std::uint32_t rate, std::uint32_t bits) {
    Lock lock(m_mutex);
    if (m_hWaveIn != 0 || m_captureThread.Joinable()) {
        hcy::Library().SetError("Could not open input device.  Device already allocated.");
        return 0;
    }
    m_nSampleRate = rate;
    m_nBitsPerSample = bits;
    const auto align = static_cast<unsigned short>(bits / 8);
    plat::WAVEFORMATEX format;
    format.wFormatTag = plat::WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = rate;
    format.nAvgBytesPerSec = align * rate;
    format.nBlockAlign = align;
    format.wBitsPerSample = static_cast<unsigned short>(bits);
    format.cbSize = 0;
    HWAVEIN hwi = 0;
    const MMRESULT result =
        plat::waveInOpen(&hwi, waveInId, &format, reinterpret_cast<plat::DWORD_PTR>(&WaveInProc),
                         reinterpret_cast<plat::DWORD_PTR>(this), plat::CALLBACK_FUNCTION);
    if (result != plat::MMSYSERR_NOERROR) {
        const char* reason = nullptr;
        switch (result) {
        case plat::MMSYSERR_ALLOCATED: reason = "  Device already allocated."; break;
        case plat::MMSYSERR_BADDEVICEID: reason = "  Device ID out of range."; break;
        case plat::MMSYSERR_NODRIVER: reason = "  No valid input driver present."; break;
        case plat::WAVERR_BADFORMAT: reason = "  WAV format not supported."; break;
        default: break;
        }
        if (reason)
            hcy::Library().SetErrorf("Could not open input device.%s", reason);
        else
            hcy::Library().SetErrorf("Input device open failed with code %d.",
                                     static_cast<int>(result));
        return 0;
    }
    // The thread starts only once there is an input whose close will end it.
    if (!m_captureThread.Start([this] { CaptureThread(); }, "hcy-capture")) {
        plat::waveInClose(hwi);
        hcy::Library().SetError("Could not start the capture thread.");
        return 0;
    }
    m_nCaptureThreadId = m_captureThread.Id();
    m_hWaveIn = hwi;
    m_nInputDeviceId = waveInId;
    if (m_bVoxOn) StartCapture();
    return 1;
}

int CAudioDevice::CloseInput() {
    int result = 1;
    {
        Lock lock(m_mutex);
        // Nothing stays keyed by a device that is going.
        ReleaseTransmitLists(MonoSourceWord());
        m_bKeyed = false;
        m_nPTTState = 0;
        if (m_bCaptureHold.load()) SetCaptureHold(0, m_nLastChannel);
        StopCapture();
        if (m_hWaveIn != 0) {
            // Headers queued by an earlier failed start come back too, so the
            // close cannot find one still queued.
            plat::waveInReset(m_hWaveIn);
            if (plat::waveInClose(m_hWaveIn) != plat::MMSYSERR_NOERROR) {
                hcy::Library().SetError("waveInClose failed.");
                result = 0;
            } else {
                m_hWaveIn = 0;
            }
        }
    }
    EndCaptureThread();
    return result;
}

void CAudioDevice::Close() {
    CDevice::Close();
    {
        Lock lock(m_mutex);
        StopCapture();
    }
    ReleaseDirectSound();
    CloseInput();
}

bool CAudioDevice::IsInputOpen() const {
    Lock lock(m_mutex);
    return m_hWaveIn != 0;
}

// ---------------------------------------------------------------------------
// Capture control (mutex held)

CAudioDevice::CaptureBlock* CAudioDevice::TakeBlock() {
    CaptureBlock* block;
    if (m_freeBlocks.empty()) {
        m_blocks.push_back(std::make_unique<CaptureBlock>());
        block = m_blocks.back().get();
    } else {
        block = m_freeBlocks.back();
        m_freeBlocks.pop_back();
    }
    const std::uint32_t size = m_nCaptureSize.load();
    if (block->data.size() != size) block->data.resize(size);
    block->header = plat::WAVEHDR{};
    block->header.lpData = block->data.data();
    block->header.dwBufferLength = size;
    block->header.dwUser = reinterpret_cast<plat::DWORD_PTR>(block);
    return block;
}

void CAudioDevice::GiveBack(CaptureBlock* block) {
    if (block) m_freeBlocks.push_back(block);
}

bool CAudioDevice::QueueBlock(HWAVEIN hwi) {
    CaptureBlock* block = TakeBlock();
    constexpr auto kHeaderSize = static_cast<plat::UINT>(sizeof(plat::WAVEHDR));
    if (plat::waveInPrepareHeader(hwi, &block->header, kHeaderSize) != plat::MMSYSERR_NOERROR) {
        GiveBack(block);
        return false;
    }
    if (plat::waveInAddBuffer(hwi, &block->header, kHeaderSize) != plat::MMSYSERR_NOERROR) {
        // Refused: not retried.
        plat::waveInUnprepareHeader(hwi, &block->header, kHeaderSize);
        GiveBack(block);
        return false;
    }
    return true;
}

int CAudioDevice::StartCapture() {
    if (m_hWaveIn == 0) return 0;
    m_bCapturing = true;
    QueueBlock(m_hWaveIn);
    QueueBlock(m_hWaveIn);
    return plat::waveInStart(m_hWaveIn) == plat::MMSYSERR_NOERROR ? 1 : 0;
}

int CAudioDevice::StopCapture() {
    if (!m_bCapturing.load()) return 1;
    m_bCapturing = false;
    return plat::waveInReset(m_hWaveIn) == plat::MMSYSERR_NOERROR ? 1 : 0;
}

// ---------------------------------------------------------------------------
// The capture thread and the wave-input callback

void CAudioDevice::EndCaptureThread() {
    if (m_captureThread.Joinable()) {
        plat::PostThreadMessage(m_captureThread.Id(), plat::WM_QUIT, 0, 0);
        m_captureThread.Join();
    }
    m_nCaptureThreadId = 0;
}

void CAudioDevice::WaveInProc(HWAVEIN hwi, plat::UINT message, plat::DWORD_PTR instance,
                              plat::DWORD_PTR param1, plat::DWORD_PTR) {
    auto* self = reinterpret_cast<CAudioDevice*>(instance);
    if (!self) return;
    switch (message) {
    case plat::WIM_DATA: {
        auto* header = reinterpret_cast<plat::WAVEHDR*>(param1);
        if (!header) return;
        const plat::UINT what = header->dwBytesRecorded != 0 && self->m_bCapturing.load()
                                    ? hcy::WM_CAPTURE_BUFFER_FILLED
                                    : hcy::WM_CAPTURE_BUFFER_EMPTY;
        // A failed post loses the block for reuse only: the pool still owns it.
        plat::PostThreadMessage(self->m_nCaptureThreadId.load(), what, hwi,
                                reinterpret_cast<plat::LPARAM>(header));
        break;
    }
    case plat::WIM_CLOSE:
        plat::PostThreadMessage(self->m_nCaptureThreadId.load(), hcy::WM_CAPTURE_CLOSED, 0, 0);
        break;
    default: break;  // WIM_OPEN
    }
}

bool CAudioDevice::HandleCaptureMessage(const plat::MSG& msg) {
    switch (msg.message) {
    case hcy::WM_CAPTURE_BUFFER_FILLED:
    case hcy::WM_CAPTURE_BUFFER_EMPTY: {
        auto* header = reinterpret_cast<plat::WAVEHDR*>(msg.lParam);
        if (!header) return false;
        const auto hwi = static_cast<HWAVEIN>(msg.wParam);
        // Through the virtual slot, so voice-operated keying runs first. A
        // delivery that throws loses its block's sound only: the block still
        // goes back and capture goes on.
        if (msg.message == hcy::WM_CAPTURE_BUFFER_FILLED) {
            plat::ThreadBoundary(hcy::boundary::kCapture, [&] {
                DeliverCapture(reinterpret_cast<const std::int16_t*>(header->lpData),
                               header->dwBytesRecorded);
            });
        }
        Lock lock(m_mutex);
        plat::waveInUnprepareHeader(hwi, header, static_cast<plat::UINT>(sizeof(plat::WAVEHDR)));
        GiveBack(reinterpret_cast<CaptureBlock*>(header->dwUser));
        if (m_bCapturing.load() && hwi == m_hWaveIn) QueueBlock(hwi);
        return false;
    }
    case hcy::WM_CAPTURE_CLOSED: return true;
    default: return false;
    }
}

void CAudioDevice::CaptureThread() {
    m_bCaptureThreadRunning = true;
    plat::MSG msg;
    bool end = false;
    while (!end && plat::GetMessage(msg)) {
        end = HandleCaptureMessage(msg);
        // Everything at hand is handled before the loop ends or waits again.
        while (plat::PeekMessage(msg, true)) {
            if (msg.message == plat::WM_QUIT) {
                end = true;
                break;
            }
            end = HandleCaptureMessage(msg) || end;
        }
    }
    m_bCaptureThreadRunning = false;
}

// ---------------------------------------------------------------------------
// Settings and keying

int CAudioDevice::SetSidetoneVolume(float volume) {
    Lock lock(m_mutex);
    m_fSidetoneVolume = volume;
    return 1;
}

float CAudioDevice::GetSidetoneVolume() const {
    Lock lock(m_mutex);
    return m_fSidetoneVolume;
}

int CAudioDevice::SetVoxEnable(int on) {
    Lock lock(m_mutex);
    m_bVoxOn = on != 0;
    if (m_bVoxOn && !m_bCapturing.load())
        StartCapture();
    else if (!m_bVoxOn && m_bCapturing.load())
        StopCapture();  // also while keyed by push-to-talk
    return 1;
}

int CAudioDevice::SetVoxLevel(float level) {
    Lock lock(m_mutex);
    m_fVoxLevel = level;
    return 1;
}

int CAudioDevice::SetPTT(int on, int channel) {
    Lock lock(m_mutex);
    const std::uint32_t word = MonoSourceWord();
    for (CRadioModel* radio : m_arrRadioXmit)
        if (radio) radio->SetPTT(on, word);
    for (CICSModel* interphone : m_arrIntercomXmit)
        if (interphone) interphone->SetTalk(on, word);
    m_nLastChannel = channel;
    if (on) {
        m_nPTTState = 5;
        m_bKeyed = true;
        if (!m_bVoxOn) StartCapture();
    } else {
        m_nPTTState = 0;
        m_bKeyed = false;
        if (!m_bVoxOn) StopCapture();  // also when the capture hold is set
    }
    return 1;
}

int CAudioDevice::SetCaptureHold(int on, int) {
    Lock lock(m_mutex);
    m_bCaptureHold = on != 0;
    if (m_bCaptureHold.load() && !m_bCapturing.load())
        StartCapture();
    else if (!m_bCaptureHold.load() && m_bCapturing.load())
        StopCapture();
    return 1;
}

void CAudioDevice::DeliverCapture(const std::int16_t* block, std::uint32_t bytes) {
    if (!block) return;
    Lock lock(m_mutex);
    if (!RunMonoVox(block, bytes)) return;
    CDevice::DeliverCapture(block, bytes);
}
