#include "audio/split_device.h"

#include <algorithm>

#include "base/library.h"
#include "interphone/ics_model.h"
#include "radio/radio_model.h"

namespace {

constexpr const char* kDuplicate = "Transmit path already established for this device";

}  // namespace

CSplitDevice::CSplitDevice() {
    m_nCaptureChannels = 2;
    m_nOutputChannels = 2;
}

CSplitDevice::~CSplitDevice() { CloseCapture(); }

std::uint32_t CSplitDevice::SourceWord(int channel) const {
    return MonoSourceWord() + (channel == kLeft ? 1u : 0u);
}

// ---------------------------------------------------------------------------
// Opening and closing

int CSplitDevice::OpenInput(std::uint32_t waveInId) {
    return OpenWaveInput(waveInId, CaptureRate(), CaptureBits());
}

int CSplitDevice::OpenInputWithRate(std::uint32_t waveInId, std::uint32_t rate) {
    return OpenWaveInput(waveInId, rate, 16);
}

int CSplitDevice::OpenWaveInput(std::uint32_t waveInId, std::uint32_t rate, std::uint32_t bits) {
    Lock lock(m_mutex);
    return OpenWaveInCapture(waveInId, PcmFormat(2, rate, bits)) ? 1 : 0;
}

void CSplitDevice::Close() {
    CDevice::Close();
    {
        Lock lock(m_mutex);
        StopCaptureUnlessNeeded(true);
    }
    ReleaseDirectSound();
    // Every block captured so far reaches the radios before they are let go.
    CloseCapture();
    Lock lock(m_mutex);
    ReleaseHalves();
}

void CSplitDevice::ReleaseHalves() {
    for (int channel : {kLeft, kRight}) {
        Half& half = HalfOf(channel);
        const std::uint32_t word = SourceWord(channel);
        for (CRadioModel* radio : half.radios) radio->SetPTT(0, word);
        for (CICSModel* interphone : half.interphones) interphone->SetTalk(0, word);
        half.radios.clear();
        half.interphones.clear();
        half.keyed = half.voxKeyed = half.pttHeld = false;
    }
    m_bKeyed = false;
}

// ---------------------------------------------------------------------------
// Capture control (mutex held)

void CSplitDevice::StopCaptureUnlessNeeded(bool force) {
    if (!force &&
        (m_left.keyed || m_right.keyed || m_bCaptureHold || m_left.voxOn || m_right.voxOn))
        return;
    StopCapture();
}

// ---------------------------------------------------------------------------
// Voice-operated keying settings

int CSplitDevice::SetChannelVoxEnable(int leftOn, int rightOn) {
    Lock lock(m_mutex);
    m_left.voxOn = leftOn != 0;
    m_right.voxOn = rightOn != 0;
    for (int channel : {kLeft, kRight}) {
        const Half& half = HalfOf(channel);
        if (!half.voxOn && half.keyed && !half.pttHeld) KeyHalf(0, channel);
    }
    if (!m_left.voxOn && !m_right.voxOn)
        StopCaptureUnlessNeeded(m_bVoxOffStopsAtOnce);
    else
        StartCapture();
    return 1;
}

int CSplitDevice::SetSplitVoxLevel(float left, float right) {
    Lock lock(m_mutex);
    m_left.voxLevel = left;
    m_right.voxLevel = right;
    return 1;
}

int CSplitDevice::SetChannelVoxOffDelay(int left, int right) {
    if (left < 0 || right < 0) {
        hcy::Library().SetErrorf("Invalid VOX off delay %d for device %d.", std::min(left, right),
                                 GetHandle());
        return 1;
    }
    Lock lock(m_mutex);
    m_left.offDelay = left;
    m_right.offDelay = right;
    return 1;
}

// ---------------------------------------------------------------------------
// Transmit lists of the halves

int CSplitDevice::AddRadioXmitPathOnChannel(CRadioModel* radio, int channel) {
    if (!radio) return 0;
    Lock lock(m_mutex);
    Half& half = HalfOf(channel);
    if (!AddOnce(half.radios, radio, kDuplicate)) return 0;
    if (half.keyed) radio->SetPTT(1, SourceWord(channel));
    return 1;
}

int CSplitDevice::RemoveRadioXmitPathOnChannel(CRadioModel* radio, int channel) {
    Lock lock(m_mutex);
    Unlist(HalfOf(channel).radios, radio,
           [&](CRadioModel* r) { r->SetPTT(0, SourceWord(channel)); });
    return 1;
}

int CSplitDevice::AddRadioXmitPath(CRadioModel* radio) {
    return AddRadioXmitPathOnChannel(radio, kLeft);
}

int CSplitDevice::RemoveRadioXmitPath(CRadioModel* radio) {
    RemoveRadioXmitPathOnChannel(radio, kLeft);
    RemoveRadioXmitPathOnChannel(radio, kRight);
    return 1;
}

int CSplitDevice::AddIntercomXmitPathOnChannel(CICSModel* interphone, int channel) {
    if (!interphone) return 0;
    Lock lock(m_mutex);
    // Not keyed until the half is keyed again.
    return AddOnce(HalfOf(channel).interphones, interphone, kDuplicate) ? 1 : 0;
}

int CSplitDevice::RemoveIntercomXmitPathOnChannel(CICSModel* interphone, int channel) {
    Lock lock(m_mutex);
    Unlist(HalfOf(channel).interphones, interphone,
           [&](CICSModel* i) { i->SetTalk(0, SourceWord(channel)); });
    return 1;
}

int CSplitDevice::AddIntercomXmitPath(CICSModel* interphone) {
    return AddIntercomXmitPathOnChannel(interphone, kLeft);
}

int CSplitDevice::RemoveIntercomXmitPath(CICSModel* interphone) {
    RemoveIntercomXmitPathOnChannel(interphone, kLeft);
    RemoveIntercomXmitPathOnChannel(interphone, kRight);
    return 1;
}

std::vector<CRadioModel*> CSplitDevice::GetHalfRadios(int channel) const {
    Lock lock(m_mutex);
    return HalfOf(channel).radios;
}

std::vector<CICSModel*> CSplitDevice::GetHalfIntercoms(int channel) const {
    Lock lock(m_mutex);
    return HalfOf(channel).interphones;
}

bool CSplitDevice::IsHalfKeyed(int channel) const {
    Lock lock(m_mutex);
    return HalfOf(channel).keyed;
}

// ---------------------------------------------------------------------------
// Keying

int CSplitDevice::SetPTT(int on, int channel) {
    if (channel != kLeft && channel != kRight) {
        ReportInvalidChannel(channel);
        return 1;
    }
    Lock lock(m_mutex);
    HalfOf(channel).pttHeld = on != 0;
    KeyHalf(on, channel);
    return 1;
}

void CSplitDevice::KeyHalf(int on, int channel) {
    Half& half = HalfOf(channel);
    const std::uint32_t word = SourceWord(channel);
    if (on) {
        for (CRadioModel* radio : half.radios) radio->SetPTT(1, word);
        for (CICSModel* interphone : half.interphones) interphone->SetTalk(1, word);
        half.keyed = half.voxKeyed = true;
        m_bKeyed = true;
        StartCapture();
        return;
    }
    // Capture stops while the half still counts as keyed: the rest it
    // captured reaches its radios before they unkey.
    const Half& other = HalfOf(channel == kLeft ? kRight : kLeft);
    if (!other.keyed && !m_bCaptureHold && !m_left.voxOn && !m_right.voxOn) StopCapture();
    for (CRadioModel* radio : half.radios) radio->SetPTT(0, word);
    for (CICSModel* interphone : half.interphones) interphone->SetTalk(0, word);
    half.keyed = half.voxKeyed = false;
    m_bKeyed = other.keyed;
}

int CSplitDevice::SetCaptureHold(int on, int) {
    Lock lock(m_mutex);
    m_bCaptureHold = on != 0;
    if (m_bCaptureHold)
        StartCapture();
    else
        StopCaptureUnlessNeeded(false);
    return 1;
}

// ---------------------------------------------------------------------------
// Delivery

std::size_t CSplitDevice::SplitHalf(const std::int16_t* stereo, std::uint32_t bytes, int channel,
                                    std::int16_t* mono) {
    // Whole frames only: a trailing part of a frame carries no sample.
    const std::size_t frames = bytes / 4;
    const std::size_t offset = channel == kLeft ? 0 : 1;
    for (std::size_t i = 0; i < frames; ++i) mono[i] = stereo[2 * i + offset];
    return frames;
}

void CSplitDevice::DeliverCapture(const std::int16_t* block, std::uint32_t bytes) {
    if (!block) return;
    Lock lock(m_mutex);
    if (m_mono.size() < bytes / 4) m_mono.resize(bytes / 4);
    DeliverHalf(m_left, kLeft, block, bytes);
    DeliverHalf(m_right, kRight, block, bytes);
}

void CSplitDevice::DeliverHalf(Half& half, int channel, const std::int16_t* block,
                               std::uint32_t bytes) {
    if (!half.keyed && !half.voxOn) return;
    const auto monoBytes =
        static_cast<std::uint32_t>(2 * SplitHalf(block, bytes, channel, m_mono.data()));
    bool send = true;
    if (half.voxOn) {
        switch (RunVox(VoxLevelOf(m_mono.data(), monoBytes), half.voxLevel, half.voxKeyed,
                       half.quietCount, half.offDelay)) {
        case VoxStep::KeyAndSend: KeyHalf(1, channel); break;
        case VoxStep::Send: break;
        case VoxStep::UnkeyAndDrop:
            KeyHalf(0, channel);
            send = false;
            break;
        case VoxStep::Drop: send = false; break;
        }
    }
    const std::uint32_t word = SourceWord(channel);
    const std::uint32_t rate = m_nSampleRate.load();
    if (send) {
        for (CRadioModel* radio : half.radios) {
            // A radio keyed by someone else hears nothing from this half.
            const std::uint32_t keyedBy = radio->GetPttSource();
            if (keyedBy != 0 && keyedBy != word) continue;
            radio->TransmitAudio(m_mono.data(), monoBytes, rate, word);
        }
    }
    // Stations send only while connected: they get the half's audio
    // whatever its voice-operated keying decided.
    for (CICSModel* interphone : half.interphones)
        interphone->SendAudio(m_mono.data(), monoBytes, rate);
}

// ---------------------------------------------------------------------------
// CSplitDeviceDS8

CSplitDeviceDS8::CSplitDeviceDS8() { m_bVoxOffStopsAtOnce = true; }

CSplitDeviceDS8::~CSplitDeviceDS8() { CloseCapture(); }

int CSplitDeviceDS8::OpenCapture(const plat::GUID* device) {
    Lock lock(m_mutex);
    const std::uint32_t rate = hcy::Library().m_nDefaultSampleRate.load();
    return OpenCaptureDS8(device, PcmFormat(2, rate), 2 * m_nCaptureSize.load()) ? 1 : 0;
}
