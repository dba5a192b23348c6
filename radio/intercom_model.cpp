#include "radio/intercom_model.h"

#include "radio/receive.h"

// System 1, receive frequency 0.0 and no background noise are the base's.
CIntercomModel::CIntercomModel() {
    m_nDuplex = DUPLEX_FULL;
    m_nReceptionMode = RECEPTION_MODE_NO_TAIL;
    m_nMajorModulation = 0;
    m_nDetailModulation = 0;
    m_bDoPropLoss = m_bDoRoundEarth = m_bDoTerrain = m_bDoSquelch = 0;  // the tuner alone
}

void CIntercomModel::PropLossModel(CReceive& r) {
    r.propagation = 1.0;
    r.noPosition = true;
    r.receivedPower = 1.0;
}

void CIntercomModel::TunerModel(CReceive& r) {
    const bool match = r.frequency == m_fRecvFrequency;
    r.tuner = match ? 1.0 : 0.0;
    r.SetRecvValue(match ? 0 : -1);
}

void CIntercomModel::SquelchModel(CReceive& r) { r.squelch = 1.0; }
