#pragma once
// The scanner (model 1105): plays every Signal PDU of its exercises, from any
// frequency, without tuning, crypto, squelch, capture or propagation, and
// without Transmitter PDUs. A sender gets a record with its first Signal PDU
// and keeps it for the radio's life.
#include "radio/radio_model.h"

class CScannerModel : public CRadioModel {
public:
    CScannerModel();

    void OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length) override;
    void SweepReceiveTimeouts() override;
    // The scanner's records are never squelch-open: a new master volume, and
    // a path attached later, reach every sender heard so far.
    int SetMasterVolume(float volume) override;
    int AttachRecvPath(CDevice* device, int channel) override;
    int AddMultiRecvPath(CDevice* device, const float* gains, int count) override;

protected:
    std::shared_ptr<CReceive> AcceptSignal(const SignalPdu& pdu, SignalRoad& road) override;
    bool ReevaluatesOnSettings() const override { return false; }

private:
    void StartEveryRecord();
};
