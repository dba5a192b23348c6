#include "radio/sincgars_radio.h"

#include "radio/receive.h"

CSincgarsRadioModel::CSincgarsRadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices)
    : CSecureRadioModel(std::move(devices)) {
    m_fNoiseLevel = 3.2e-12;  // [W]
    m_nSystem = 5;
    m_fBandwidth = 100.0;  // the channel's half width [Hz]
    m_nReceptionMode = RECEPTION_MODE_SILENT;
}

int CSincgarsRadioModel::SetFrequency(double receiveHz, double transmitHz) {
    return CRadioModel::SetFrequency(hcy::radio::RoundTo100Hz(receiveHz),
                                     hcy::radio::RoundTo100Hz(transmitHz));
}

// Whatever the duplex mode, and after a preamble or prompt too.
int CSincgarsRadioModel::SetPTT(int on, std::uint32_t source) {
    const int result = CSecureRadioModel::SetPTT(on, source);
    Guard lock(*this);
    MuteWhileKeyed();
    return result;
}

void CSincgarsRadioModel::RoundEarthModel(CReceive& record) {
    CGenericRadioModel::RoundEarthModel(record);
}

// Within the bandwidth of the receive frequency, both ends included (0 Hz
// too), in the radio's modulation.
void CSincgarsRadioModel::TunerModel(CReceive& r) {
    const bool inChannel = m_fRecvFrequency - m_fBandwidth <= r.frequency &&
                           r.frequency <= m_fRecvFrequency + m_fBandwidth;
    const bool sameModulation =
        r.majorModulation == m_nMajorModulation && r.detailModulation == m_nDetailModulation;
    r.tuner = inChannel && sameModulation ? 1.0 : 0.0;
}
