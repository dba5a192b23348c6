// CRadioModel's status dialog: a copy of the state under the radio's lock,
// handed over after it is released (the dialog talks to the window layer).
#include "base/library.h"
#include "radio/radio_model.h"
#include "radio/receive.h"

void CRadioModel::SetStatusDialog(std::unique_ptr<hcy::radio::StatusDialog> dialog) {
    m_statusDialog = std::move(dialog);
}

int CRadioModel::ShowRadioData() {
    if (!m_statusDialog) {
        hcy::Library().SetError("This radio has no status dialog.");
        return 0;
    }
    RadioId id{};
    {
        Guard lock(*this);
        id = {{m_nSite, m_nApplication, m_nEntity}, m_nRadio};
    }
    m_statusDialog->Show(id);
    return 1;
}

void CRadioModel::UpdateRadioData() {
    if (!m_statusDialog || !m_statusDialog->IsUp()) return;
    hcy::radio::RadioStatus status;
    {
        Guard lock(*this);
        status.transmitFrequency = m_params.xmitFrequency;
        status.recvGain = m_params.recvGain;
        status.x = m_params.antennaWorld.x;
        status.y = m_params.antennaWorld.y;
        status.z = m_params.antennaWorld.z;
        status.xmitPdusSent = m_nXmitPduCount.load();
        status.signalPdusSent = m_nSignalPduCount.load();
        status.transmitters.reserve(m_receives.size());
        for (const auto& r : m_receives)
            status.transmitters.push_back(
                {r->id, r->transmitting, r->transmitterPduCount, r->signalPduCount, r->exercise,
                 r->GetAntennaX(), r->GetAntennaY(), r->GetAntennaZ(), r->frequency, r->power,
                 r->propagation, r->lineOfSight, r->tuner, r->squelch, r->GetSignal()});
    }
    m_statusDialog->Update(status);
}
