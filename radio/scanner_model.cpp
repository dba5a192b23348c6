#include "radio/scanner_model.h"

#include "radio/receive.h"

// System 1, receive frequency 0.0, master volume 1.0 and no background
// noise are the base's.
CScannerModel::CScannerModel() {
    auto& p = Params();
    p.duplex = DUPLEX_FULL;
    p.receptionMode = RECEPTION_MODE_NO_TAIL;
    p.majorModulation = 0;
    p.detailModulation = 0;
    p.doPropLoss = p.doRoundEarth = p.doTerrain = p.doTuner = p.doSquelch = 0;
}

void CScannerModel::OnTransmitterPdu(const TransmitterPdu*, std::uint32_t) {}

void CScannerModel::SweepReceiveTimeouts() {}

std::shared_ptr<CReceive> CScannerModel::AcceptSignal(const SignalPdu& pdu, SignalRoad& road) {
    if (!ExerciseAccepted(pdu.header.exerciseId)) return nullptr;
    std::shared_ptr<CReceive> record = FindReceive(pdu.radioId);
    if (!IsOn() || IsInhibited()) {
        // Off: nothing is made or played, but a sender heard before keeps
        // its stream in step for when the scanner is on again.
        road.play = false;
        return record;
    }
    if (!record) {
        record = std::make_shared<CReceive>();
        record->id = pdu.radioId;
        AddReceive(record);
        record->SetPttBlock(false);
        StartReceivePaths(record.get());
    }
    ++record->signalPduCount;
    record->refreshed = true;
    record->audioSeen = true;
    record->transmitting = true;
    return record;
}

void CScannerModel::StartEveryRecord() {
    for (auto& record : Receives()) StartReceivePaths(record.get());
}

int CScannerModel::SetMasterVolume(float volume) {
    Guard lock(*this);
    if (!CRadioModel::SetMasterVolume(volume)) return 0;
    StartEveryRecord();
    return 1;
}

int CScannerModel::AttachRecvPath(CDevice* device, int channel) {
    Guard lock(*this);
    const int result = CRadioModel::AttachRecvPath(device, channel);
    StartEveryRecord();
    return result;
}

int CScannerModel::AddMultiRecvPath(CDevice* device, const float* gains, int count) {
    Guard lock(*this);
    const int result = CRadioModel::AddMultiRecvPath(device, gains, count);
    StartEveryRecord();
    return result;
}
