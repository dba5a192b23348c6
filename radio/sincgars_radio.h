#pragma once
// The SINCGARS radio: the frequency-hopping VHF combat-net radio (model 5).
// The secure radio's crypto, hop net, prompts and preamble, tuned in whole
// 100 Hz steps without band limits, heard on a plain channel (within the
// radio's bandwidth, in its modulation), with the generic line of sight; a
// heard transmission ends without squelch tail (reception mode 11), and
// its receive noise is muted whenever it is keyed.
#include "radio/secure_radio.h"

class CSincgarsRadioModel : public CSecureRadioModel {
public:
    explicit CSincgarsRadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices);

    int SetFrequency(double receiveHz, double transmitHz) override;
    int SetPTT(int on, std::uint32_t source) override;
    void RoundEarthModel(CReceive& record) override;
    void TunerModel(CReceive& record) override;
};
