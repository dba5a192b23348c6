#include "audio/audio_device.h"

#include "interphone/ics_model.h"
#include "radio/radio_model.h"

CAudioDevice::CAudioDevice() {
    m_nCaptureChannels = 1;
    m_nOutputChannels = 2;
    m_nLongValue = 4099;
}

CAudioDevice::~CAudioDevice() {
    // The radios of the lists may be gone by now: only the input is shut.
    CloseCapture();
}

// ---------------------------------------------------------------------------
// Input

int CAudioDevice::OpenInput(std::uint32_t waveInId) {
    return OpenWaveInput(waveInId, CaptureRate(), CaptureBits());
}

int CAudioDevice::OpenInputWithRate(std::uint32_t waveInId, std::uint32_t rate) {
    return OpenWaveInput(waveInId, rate, 16);
}

int CAudioDevice::OpenWaveInput(std::uint32_t waveInId, std::uint32_t rate, std::uint32_t bits) {
    Lock lock(m_mutex);
    if (!OpenWaveInCapture(waveInId, PcmFormat(1, rate, bits))) return 0;
    StartIfVox();
    return 1;
}

void CAudioDevice::StartIfVox() {
    if (m_bVoxOn) StartCapture();
}

int CAudioDevice::CloseInput() {
    {
        Lock lock(m_mutex);
        if (m_bCaptureHold) SetCaptureHold(0, m_nLastChannel);
        StopCapture();
    }
    // Every block captured so far reaches the radios before they are let go.
    const bool closed = CloseCapture();
    Lock lock(m_mutex);
    // Nothing stays keyed by a device that is going.
    ReleaseTransmitLists(MonoSourceWord());
    m_bKeyed = false;
    m_bPttHeld = false;
    m_nPTTState = 0;
    return closed ? 1 : 0;
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
    if (!m_bVoxOn && m_bKeyed.load() && !m_bPttHeld)
        Key(0, m_nLastChannel);  // what VOX alone keyed
    if (m_bVoxOn)
        StartCapture();
    else
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
    m_bPttHeld = on != 0;
    Key(on, channel);
    return 1;
}

void CAudioDevice::Key(int on, int channel) {
    m_nLastChannel = channel;
    if (on) {
        KeyListed(1, MonoSourceWord());
        m_nPTTState = 5;
        m_bKeyed = true;
        if (!m_bVoxOn) StartCapture();
    } else {
        // The stop delivers what was captured while the radios still listen.
        if (!m_bVoxOn) StopCapture();  // also when the capture hold is set
        KeyListed(0, MonoSourceWord());
        m_nPTTState = 0;
        m_bKeyed = false;
    }
}

int CAudioDevice::SetCaptureHold(int on, int) {
    Lock lock(m_mutex);
    m_bCaptureHold = on != 0;
    if (m_bCaptureHold)
        StartCapture();
    else
        StopCapture();
    return 1;
}

void CAudioDevice::DeliverCapture(const std::int16_t* block, std::uint32_t bytes) {
    if (!block) return;
    Lock lock(m_mutex);
    if (m_bVoxOn && !RunVoxOn(block, bytes)) return;
    CDevice::DeliverCapture(block, bytes);
}

bool CAudioDevice::RunVoxOn(const std::int16_t* block, std::uint32_t bytes) {
    switch (RunVox(VoxLevelOf(block, bytes), m_fVoxLevel, m_bKeyed.load(), m_nQuietCount,
                   m_nVoxOffDelay)) {
    case VoxStep::KeyAndSend: Key(1, m_nLastChannel); return true;
    case VoxStep::Send: return true;
    case VoxStep::UnkeyAndDrop: Key(0, m_nLastChannel); return false;
    case VoxStep::Drop: return false;
    }
    return false;
}
