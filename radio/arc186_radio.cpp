#include "radio/arc186_radio.h"

#include <cmath>

#include "audio/playback_device.h"
#include "base/library.h"
#include "halcyra/halcyra.h"
#include "radio/radio_data.h"

using hcy::radio::Read;
using hcy::radio::RoundTo100Hz;

namespace {

constexpr const char* kSection = "ARC186";

// Integers of the file count as unsigned 32-bit values.
double FrequencyKey(const char* key, int byDefault) {
    return static_cast<std::uint32_t>(hcy::Library().GetProfileInt(kSection, key, byDefault));
}

std::uint16_t ModulationKey(const char* key, int byDefault) {
    return static_cast<std::uint16_t>(hcy::Library().GetProfileInt(kSection, key, byDefault));
}

bool Within(double f, double low, double high) { return low <= f && f <= high; }

}  // namespace

CArc186RadioModel::CArc186RadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices)
    : CSecureRadioModel(std::move(devices)) {
    Params().system = 1;
    m_fMinAmFreq = FrequencyKey("MinAMFreq", 116000000);
    m_fMaxAmFreq = FrequencyKey("MaxAMFreq", 151975000);
    m_fMinFmFreq = FrequencyKey("MinFMFreq", 30000000);
    m_fMaxFmFreq = FrequencyKey("MaxFMFreq", 87975000);
    m_fAmGuardFreq = FrequencyKey("AMGuardFreq", 121500000);
    m_fFmGuardFreq = FrequencyKey("FMGuardFreq", 40500000);
    m_strTestToneWav = hcy::Library().GetProfileString(kSection, "TestToneWav", "");
    m_pTestToneDevice = MakePlaybackDevice(true, false, true);
}

CArc186RadioModel::~CArc186RadioModel() { ReleaseDevice(m_pTestToneDevice); }

void CArc186RadioModel::ReleasePlayback() {
    ReleaseDevice(m_pTestToneDevice);
    CSecureRadioModel::ReleasePlayback();
}

void CArc186RadioModel::SetXmitAttached(int attached) {
    AttachTone(m_pTestToneDevice, attached != 0);
    CSecureRadioModel::SetXmitAttached(attached);
}

void CArc186RadioModel::TuneBand(int band) {
    const bool fm = band == kFmBand;
    Params().majorModulation =
        fm ? ModulationKey("FMMajorModulation", 3) : ModulationKey("AMMajorModulation", 1);
    Params().detailModulation =
        fm ? ModulationKey("FMDetailModulation", 1) : ModulationKey("AMDetailModulation", 2);
    CRadioModel::SetSquelchLevel(fm ? m_fFmSquelch : m_fAmSquelch);
    m_nBand = band;
}

// Only the receive frequency chooses the band; keying tests the transmit
// frequency.
int CArc186RadioModel::SetFrequency(double receiveHz, double transmitHz) {
    if (!std::isfinite(receiveHz) || !std::isfinite(transmitHz))
        return CRadioModel::SetFrequency(receiveHz, transmitHz);  // refused there
    Guard lock(*this);
    double rx = RoundTo100Hz(receiveHz), tx = RoundTo100Hz(transmitHz);
    if (m_nFreqMode == 1 && !m_nAmModeFlag) {
        rx = tx = m_fAmGuardFreq;
    } else if (m_nFreqMode == 2 && !m_nFmModeFlag) {
        rx = tx = m_fFmGuardFreq;
    } else if (Within(rx, m_fMinFmFreq, m_fMaxFmFreq) && !m_nFmModeFlag) {
        TuneBand(kFmBand);
    } else if (Within(rx, m_fMinAmFreq, m_fMaxAmFreq) && !m_nAmModeFlag) {
        TuneBand(kAmBand);
    } else {
        rx = tx = 0.0;
    }
    m_fSavedMainRx = rx;
    m_fSavedMainTx = tx;
    return CRadioModel::SetFrequency(rx, tx);
}

// Keying only within a band; a release always.
int CArc186RadioModel::SetPTT(int on, std::uint32_t source) {
    {
        Guard lock(*this);
        const double tx = Params().xmitFrequency;
        if (on && !Within(tx, m_fMinAmFreq, m_fMaxAmFreq) &&
            !Within(tx, m_fMinFmFreq, m_fMaxFmFreq))
            return RefuseOutOfBand();
    }
    return CSecureRadioModel::SetPTT(on, source);
}

bool CArc186RadioModel::IsToneSource(std::uint32_t source) const {
    return source == SourceOf(m_pTestToneDevice);
}

int CArc186RadioModel::SetRadioData(int id, void* value) {
    if (!value) return 0;
    Guard lock(*this);
    switch (id) {
    case RD_MODE2_FREQ:
    case RD_MODE1_FREQ: {
        const auto hertz = Read<double>(value);
        if (!std::isfinite(hertz)) {
            hcy::Library().SetError("Non-finite value sent to SetRadioData.");
            return 0;
        }
        (id == RD_MODE2_FREQ ? m_fFmGuardFreq : m_fAmGuardFreq) = hertz;
        return 1;
    }
    case RD_FREQ_MODE:
        // A retune: what the radio hears and sends changes at once. The
        // mode flags are not asked, and the modulation stays the band's.
        m_nFreqMode = Read<std::int32_t>(value);
        if (m_nFreqMode == 1)
            Retune(m_fAmGuardFreq, m_fAmGuardFreq);
        else if (m_nFreqMode == 2)
            Retune(m_fFmGuardFreq, m_fFmGuardFreq);
        else
            Retune(m_fSavedMainRx, m_fSavedMainTx);
        return 1;
    case RD_TONE:
        if (Read<std::int32_t>(value))
            StartTone(m_pTestToneDevice, m_strTestToneWav);
        else
            StopTone(m_pTestToneDevice);
        return 1;
    case RD_TEST_TONE_WAV:
        // A playing tone stops; the new file plays at the next RD_TONE.
        m_strTestToneWav = hcy::radio::ReadText(value);
        StopTone(m_pTestToneDevice);
        return 1;
    case RD_AM_SQUELCH:
    case RD_FM_SQUELCH: {
        const auto level = Read<float>(value);
        if (!std::isfinite(level)) {
            hcy::Library().SetError("Non-finite value sent to SetRadioData.");
            return 0;
        }
        const bool am = id == RD_AM_SQUELCH;
        (am ? m_fAmSquelch : m_fFmSquelch) = level;
        if (m_nBand == (am ? kAmBand : kFmBand)) CRadioModel::SetSquelchLevel(level);
        return 1;
    }
    case RD_AM_MODE_FLAG:
    case RD_FM_MODE_FLAG: {
        const bool am = id == RD_AM_MODE_FLAG;
        (am ? m_nAmModeFlag : m_nFmModeFlag) = Read<std::int32_t>(value);
        if (m_nBand == (am ? kAmBand : kFmBand)) SetFrequency(0.0, 0.0);
        return 1;
    }
    default: return CSecureRadioModel::SetRadioData(id, value);
    }
}
