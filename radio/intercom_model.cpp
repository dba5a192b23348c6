#include "radio/intercom_model.h"

#include "radio/receive.h"

// System 1, receive frequency 0.0 and no background noise are the base's.
CIntercomModel::CIntercomModel() {
    auto& p = Params();
    p.duplex = DUPLEX_FULL;
    p.receptionMode = RECEPTION_MODE_NO_TAIL;
    p.majorModulation = 0;
    p.detailModulation = 0;
    p.doPropLoss = p.doRoundEarth = p.doTerrain = p.doSquelch = 0;  // the tuner alone
}

void CIntercomModel::PropLossModel(CReceive& r) {
    r.propagation = 1.0;
    r.noPosition = true;
    r.receivedPower = 1.0;
}

void CIntercomModel::TunerModel(CReceive& r) {
    const bool match = r.frequency == Params().recvFrequency;
    r.tuner = match ? 1.0 : 0.0;
    r.SetRecvValue(match ? 0 : -1);
}

void CIntercomModel::SquelchModel(CReceive& r) { r.squelch = 1.0; }
