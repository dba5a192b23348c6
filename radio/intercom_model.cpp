#include "radio/intercom_model.h"

#include "radio/receive.h"

CIntercomModel::CIntercomModel() {
    m_nSystem = 1;
    m_fRecvFrequency = 0.0;
    m_nDuplex = DUPLEX_FULL;
    m_nReceptionMode = RECEPTION_MODE_NO_TAIL;
    m_nRecvPathNoise = 0;
    m_nMajorModulation = 0;
    m_nDetailModulation = 0;
    m_bDoPropLoss = 0;
    m_bDoRoundEarth = 0;
    m_bDoTerrain = 0;
    m_bDoTuner = 1;
    m_bDoSquelch = 0;
    m_bDoCrypto = 0;
    m_bDoHopNet = 0;
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
