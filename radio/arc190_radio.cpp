#include "radio/arc190_radio.h"

#include <cmath>

#include "base/library.h"

using hcy::radio::RoundTo100Hz;

CArc190RadioModel::CArc190RadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices)
    : CSecureRadioModel(std::move(devices)) {
    // Integers of the file count as unsigned 32-bit values.
    auto& library = hcy::Library();
    m_fMinFreq = static_cast<std::uint32_t>(library.GetProfileInt("ARC190", "MinFreq", 2000000));
    m_fMaxFreq = static_cast<std::uint32_t>(library.GetProfileInt("ARC190", "MaxFreq", 39750000));
    Params().system = 1;
    m_nSavedEndMode = Params().receptionMode;
}

int CArc190RadioModel::SetFrequency(double receiveHz, double transmitHz) {
    if (!std::isfinite(receiveHz) || !std::isfinite(transmitHz))
        return CRadioModel::SetFrequency(receiveHz, transmitHz);  // refused there
    Guard lock(*this);
    double rx = RoundTo100Hz(receiveHz), tx = RoundTo100Hz(transmitHz);
    auto inBand = [&](double f) { return m_fMinFreq <= f && f <= m_fMaxFreq; };
    if (!inBand(rx) || !inBand(tx)) rx = tx = 0.0;
    return CRadioModel::SetFrequency(rx, tx);
}

// Keying only within the band; a release always.
int CArc190RadioModel::SetPTT(int on, std::uint32_t source) {
    {
        Guard lock(*this);
        if (on && !(m_fMinFreq <= Params().xmitFrequency && Params().xmitFrequency <= m_fMaxFreq))
            return RefuseOutOfBand();
    }
    return CSecureRadioModel::SetPTT(on, source);
}
