#include "radio/sincgars_radio.h"

#include "radio/receive.h"

CSincgarsRadioModel::CSincgarsRadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices)
    : CSecureRadioModel(std::move(devices)) {
    Params().noiseLevel = 3.2e-12;  // [W]
    Params().system = 5;
    Params().bandwidth = 100.0;  // the channel's half width [Hz]
    Params().receptionMode = RECEPTION_MODE_SILENT;
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
    const bool inChannel = Params().recvFrequency - Params().bandwidth <= r.frequency &&
                           r.frequency <= Params().recvFrequency + Params().bandwidth;
    const bool sameModulation = r.majorModulation == Params().majorModulation &&
                                r.detailModulation == Params().detailModulation;
    r.tuner = inChannel && sameModulation ? 1.0 : 0.0;
}
