#include "radio/arc164_radio.h"

#include <cmath>
#include <cstring>

#include "audio/playback_device.h"
#include "base/library.h"
#include "halcyra/halcyra.h"
#include "hcyplat/clock.h"
#include "radio/radio_data.h"
#include "radio/receive.h"

using hcy::radio::Read;
using hcy::radio::RoundTo100Hz;

namespace {

constexpr const char* kSection = "ARC164";
constexpr std::size_t kHqWords = 8;
constexpr std::uint16_t kTodNetWord = 0xFFFF;  // word 0 of a time-of-day transmission

// Integers of the file count as unsigned 32-bit values.
double FrequencyKey(const char* key, int byDefault) {
    return static_cast<std::uint32_t>(hcy::Library().GetProfileInt(kSection, key, byDefault));
}

}  // namespace

CArc164RadioModel::CArc164RadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices)
    : CSecureRadioModel(std::move(devices)) {
    Params().noiseLevel = 2.5e-13;  // [W]
    Params().bandwidth = 100.0;     // [Hz]
    Params().system = 1;
    m_fGuardFrequency = 0.0;
    m_fMinFreq = FrequencyKey("MinFreq", 225000000);
    m_fMaxFreq = FrequencyKey("MaxFreq", 399975000);
    m_fPresetFreq = FrequencyKey("GuardFreq", 243000000);
    m_strTodToneWav = hcy::Library().GetProfileString(kSection, "TODToneWav", "");
    m_strTestToneWav = hcy::Library().GetProfileString(kSection, "TestToneWav", "");
    // The HQ block replaces the hop-net record.
    Params().modulationParameters.assign(2 * kHqWords, 0);
    m_bHopNetRecord = false;
    m_pTodDevice = MakePlaybackDevice(true, true, false);
    m_pTestToneDevice = MakePlaybackDevice(true, false, true);
}

CArc164RadioModel::~CArc164RadioModel() { ReleaseTones(); }

void CArc164RadioModel::ReleasePlayback() {
    ReleaseTones();
    CSecureRadioModel::ReleasePlayback();
}

void CArc164RadioModel::ReleaseTones() {
    ReleaseDevice(m_pTodDevice);
    ReleaseDevice(m_pTestToneDevice);
}

std::uint16_t CArc164RadioModel::HqWord(std::size_t index) const {
    std::uint16_t word;
    std::memcpy(&word, Params().modulationParameters.data() + 2 * index, sizeof word);
    return word;
}

void CArc164RadioModel::SetHqWord(std::size_t index, std::uint16_t value) {
    std::memcpy(Params().modulationParameters.data() + 2 * index, &value, sizeof value);
}

// ---------------------------------------------------------------------------
// Tuning and keying

int CArc164RadioModel::SetFrequency(double receiveHz, double transmitHz) {
    if (!std::isfinite(receiveHz) || !std::isfinite(transmitHz))
        return CRadioModel::SetFrequency(receiveHz, transmitHz);  // refused there
    Guard lock(*this);
    double rx = RoundTo100Hz(receiveHz), tx = RoundTo100Hz(transmitHz);
    if (m_nFreqMode == 2) {
        rx = tx = m_fPresetFreq;
        m_fGuardFrequency = 0.0;
    } else if (m_nFreqMode == 1) {
        m_fGuardFrequency = m_fPresetFreq;
    } else if (!InBand(rx) || !InBand(tx)) {
        rx = tx = 0.0;
    }
    // In mode 2 the preset becomes the main setting.
    m_fSavedMainRx = rx;
    m_fSavedMainTx = tx;
    return CRadioModel::SetFrequency(rx, tx);
}

// Keying inside the band, or anywhere while hopping; a release always. A
// time-of-day tone the radio does not send leaves the net word as it was.
int CArc164RadioModel::SetPTT(int on, std::uint32_t source) {
    bool refused = false;
    {
        Guard lock(*this);
        refused = on && !InBand(Params().xmitFrequency) && !(Params().spreadSpectrum & 1);
        if (refused) RefuseOutOfBand();
    }
    // Outside the radio's lock, so that the result counts prompts that fail.
    const int result = refused ? 0 : CSecureRadioModel::SetPTT(on, source);
    if (on && !result && source == SourceOf(m_pTodDevice)) {
        Guard lock(*this);
        SetHqWord(0, m_nSavedNetWord);
    }
    return result;
}

bool CArc164RadioModel::IsToneSource(std::uint32_t source) const {
    return source == SourceOf(m_pTodDevice) || source == SourceOf(m_pTestToneDevice);
}

// ---------------------------------------------------------------------------
// Radio data

int CArc164RadioModel::SetRadioData(int id, void* value) {
    if (!value) return 0;
    Guard lock(*this);
    switch (id) {
    case RD_MODE2_FREQ: {
        const auto hertz = Read<double>(value);
        if (!std::isfinite(hertz)) {
            hcy::Library().SetError("Non-finite value sent to SetRadioData.");
            return 0;
        }
        m_fPresetFreq = hertz;  // from the next mode change or tuning
        return 1;
    }
    case RD_FREQ_MODE:
        // A retune: what the radio hears and sends changes at once.
        m_nFreqMode = Read<std::int32_t>(value);
        m_fGuardFrequency = m_nFreqMode == 1 ? m_fPresetFreq : 0.0;
        if (m_nFreqMode == 2)
            Retune(m_fPresetFreq, m_fPresetFreq);
        else
            Retune(m_fSavedMainRx, m_fSavedMainTx);
        return 1;
    case RD_TONE: SetTone(Read<std::int32_t>(value) != 0); return 1;
    case RD_TEST_TONE_WAV:
        // A playing tone stops; the new file plays at the next RD_TONE.
        m_strTestToneWav = hcy::radio::ReadText(value);
        StopTone(m_pTestToneDevice);
        return 1;
    case RD_FH_NET_ID:
        m_nSavedNetWord = Read<std::uint16_t>(value);
        SetHqWord(0, m_nSavedNetWord);
        return 1;
    case RD_FH_SYNC_OFFSET:
        SetHqWord(1, Read<std::uint16_t>(value));
        m_bTodWindowOpen = false;
        return 1;
    case RD_HQ_SET_WOD: {
        const auto word = Read<std::uint32_t>(value);
        const std::uint32_t index = word >> 16;
        if (index > 5) {
            hcy::Library().SetError("RD_HQ_SET_WOD index must be 0 to 5");
            return 0;
        }
        SetHqWord(index + 2, static_cast<std::uint16_t>(word));
        return 1;
    }
    case RD_TOD_WINDOW:
        m_bTodWindowOpen = Read<std::int32_t>(value) != 0;
        m_nTodWindowStart = plat::GetTickCount();
        return 1;
    default: return CSecureRadioModel::SetRadioData(id, value);
    }
}

// In HQ mode the time-of-day tone, which only its end stops; otherwise the
// test tone.
void CArc164RadioModel::SetTone(bool on) {
    if (HqWord(1) != 0) {
        if (!on || !m_pTodDevice || m_pTodDevice->IsPlaying()) return;
        if (m_bTonePathsAttached) SetHqWord(0, kTodNetWord);
        StartTone(m_pTodDevice, m_strTodToneWav, [this] { SetHqWord(0, m_nSavedNetWord); });
    } else if (on) {
        StartTone(m_pTestToneDevice, m_strTestToneWav);
    } else {
        StopTone(m_pTestToneDevice);
    }
}

void CArc164RadioModel::SetXmitAttached(int attached) {
    AttachTone(m_pTestToneDevice, attached != 0);
    {
        Guard lock(*this);
        m_bTonePathsAttached = attached != 0;
        if (attached && m_pTodDevice && m_pTodDevice->IsPlaying()) SetHqWord(0, kTodNetWord);
    }
    // The time-of-day device lets the radio go at the end of each tone.
    if (attached) AttachTone(m_pTodDevice, true);
    CSecureRadioModel::SetXmitAttached(attached);
}

int CArc164RadioModel::OnPlaybackDone(std::uint32_t source) {
    const bool tod =
        m_pTodDevice && source == static_cast<std::uint32_t>(m_pTodDevice->GetHandle()) * 2;
    if (tod) {
        Guard lock(*this);
        SetHqWord(0, m_nSavedNetWord);
    }
    CSecureRadioModel::OnPlaybackDone(source);
    if (tod) {
        m_pTodDevice->RemoveTransmitPath(this);
        Guard lock(*this);
        m_bTonePathsAttached = false;
    }
    return 1;
}

int CArc164RadioModel::GetRadioData(int id, void* out) {
    if (!out) return 0;
    Guard lock(*this);
    if (id == RD_HQ_MODE) {
        hcy::radio::Write(out, HqWord(1));
        return 1;
    }
    return CSecureRadioModel::GetRadioData(id, out);
}

// ---------------------------------------------------------------------------
// Reception

// A heard time-of-day transmission (net word 0xFFFF, squelch open, keyed)
// gives its HQ mode word to a radio not in HQ mode, and to an HQ radio
// within 60 s of opening its window.
void CArc164RadioModel::OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length) {
    CSecureRadioModel::OnTransmitterPdu(pdu, length);
    if (!pdu || length < hcy::net::TRANSMITTER_PDU_SIZE) return;
    Guard lock(*this);
    const bool hq = HqWord(1) != 0;
    if (hq && !m_bTodWindowOpen) return;
    const std::shared_ptr<CReceive> record = FindReceive(pdu->radioId);
    // Both words must be there, in the bytes received.
    const std::uint32_t n = pdu->modulationParameterLength;
    if (!record || n < 4 || length < hcy::net::TRANSMITTER_PDU_SIZE + n) return;
    if (hq && plat::GetTickCount() - m_nTodWindowStart > kTodWindowMs) {
        m_bTodWindowOpen = false;
        return;
    }
    const auto* words = reinterpret_cast<const std::uint8_t*>(pdu) + hcy::net::TRANSMITTER_PDU_SIZE;
    const auto netWord = Read<std::uint16_t>(words);
    if (netWord != kTodNetWord || !record->squelchOpen || !record->transmitting) return;
    SetHqWord(1, Read<std::uint16_t>(words + 2));
    m_bTodWindowOpen = false;
}

// Word for word, the HQ block of the same length.
bool CArc164RadioModel::SameHopNet(const CReceive& r) const {
    return r.modulationParameters == Params().modulationParameters;
}
