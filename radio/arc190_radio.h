#pragma once
// The ARC-190 radio (model 1103): an HF radio of one band, read from the
// configuration's "ARC190" section; tuned in 100 Hz steps, to 0 Hz outside
// the band, and keyed only inside it. Otherwise the secure radio.
#include "radio/secure_radio.h"

class CArc190RadioModel : public CSecureRadioModel {
public:
    explicit CArc190RadioModel(std::shared_ptr<const hcy::radio::PlaybackDevices> devices);

    int SetFrequency(double receiveHz, double transmitHz) override;
    int SetPTT(int on, std::uint32_t source) override;

private:
    double m_fMinFreq = 0.0, m_fMaxFreq = 0.0;  // the band [Hz]
};
