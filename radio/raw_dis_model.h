#pragma once
// The raw DIS radio (model 1010): listen-only. It plays the Signal PDUs of
// the one transmitter SetSNR chose, at the signal SetSNR gave, without any
// radio simulation, and tells the host when that audio starts and stops:
//   Signal PDU of the chosen sender --> notice (uid, 1), paths, data devices
//   500 ms without one (UpdateRecvPaths) --> paths stop
//   a receive time-out without one (sweep) --> notice (uid, 0), every period
// It sends no PDU, ignores Transmitter PDUs and runs no reception hook;
// retuning and the squelch level leave its record as SetSNR made it.
#include <memory>

#include "radio/radio_model.h"

class CRawDisModel : public CRadioModel {
public:
    CRawDisModel();

    // Mutes the paths' noise and blocks the record while on; keys nothing.
    int SetPTT(int on, std::uint32_t source) override;
    int Heartbeat() override;
    void SendTransmitterPdu() override;
    void OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length) override;
    void UpdateRecvPaths() override;
    void SweepReceiveTimeouts() override;
    // Chooses the transmitter (site, application, entity, radio number) and
    // the signal [0..1] it plays at. Result 1.
    int SetSNR(int site, int application, int entity, int radio, float value) override;

protected:
    std::shared_ptr<CReceive> AcceptSignal(const SignalPdu& pdu, SignalRoad& road) override;
    bool ReevaluatesOnSettings() const override { return false; }

private:
    void StopFixedRecord();

    // The fixed record, owned here; in the record array and index once
    // SetSNR has chosen its transmitter (Shutdown then lets go of it there).
    std::shared_ptr<CReceive> m_fixed;
    bool m_bFixedListed = false;
};
