#pragma once
// The intercom line: full duplex, heard exactly when the transmitter's
// frequency equals the receive frequency; no propagation, line of sight or
// squelch (only the tuner switch is on). Model 1100.
#include "radio/radio_model.h"

class CIntercomModel : public CRadioModel {
public:
    CIntercomModel();

    // Positions play no part: factor 1.0, no position, received power 1.0.
    void PropLossModel(CReceive& record) override;
    // Exact frequency match: factor 1.0 and receive value 0, else factor 0.0
    // and receive value -1.
    void TunerModel(CReceive& record) override;
    // Always open: factor 1.0.
    void SquelchModel(CReceive& record) override;
};
