#include "radio/model1008.h"

#include <cmath>
#include <cstdint>

#include "base/library.h"
#include "radio/receive.h"

namespace {

// The low 32 bits of the truncated negated value: -(slot x 65536 + channel)
// gives slot x 65536 + channel back; out-of-range values saturate first.
std::uint32_t ChannelCode(double receiveHz) {
    const double v = std::trunc(-receiveHz);
    std::int64_t whole = 0;
    if (v >= 9.2e18)
        whole = INT64_MAX;
    else if (v <= -9.2e18)
        whole = INT64_MIN;
    else
        whole = static_cast<std::int64_t>(v);
    return static_cast<std::uint32_t>(static_cast<std::uint64_t>(whole));
}

}  // namespace

// The intercom's line settings, with the base's modulation and switches.
CModel1008::CModel1008() {
    auto& p = Params();
    p.system = 1008;
    p.majorModulation = 3;
    p.detailModulation = 1;
    p.doPropLoss = p.doRoundEarth = p.doTerrain = p.doSquelch = 1;
}

int CModel1008::SetFrequency(double receiveHz, double transmitHz) {
    if (!std::isfinite(receiveHz) || !std::isfinite(transmitHz)) {
        hcy::Library().SetError("Non-finite value sent to SetRadioFrequency.");
        return 0;
    }
    Guard lock(*this);
    if (receiveHz >= 0.0) hcy::Library().SetError("Selected receive channel out of range.");
    if (transmitHz >= 0.0) {
        hcy::Library().SetError("Selected transmit channel out of range.");
        transmitHz = 0.0;
    }
    m_fTxChannelValue = transmitHz;
    const std::uint32_t code = ChannelCode(receiveHz);
    const std::uint32_t slot = (code >> 16) & 0xF;
    const std::uint32_t channel = code & 0xFFFF;
    if (slot >= kChannelSlots) return 1;
    const double value = static_cast<double>(-static_cast<std::int32_t>(channel));
    m_channelValues[slot] = value;
    if (slot == 0)
        CRadioModel::SetFrequency(value, m_fTxChannelValue);
    else
        ReevaluateAllForTuning();  // a keyed transmitter on the new channel is heard at once
    return 1;
}

void CModel1008::TunerModel(CReceive& r) {
    r.tuner = 0.0;
    if (r.frequency >= 0.0) {
        r.SetRecvValue(0);
        return;
    }
    for (int slot = kChannelSlots - 1; slot >= 0; --slot) {
        if (r.frequency != m_channelValues[slot]) continue;
        r.tuner = 1.0;
        r.SetRecvValue(slot);
        return;
    }
    r.SetRecvValue(-1);
}
