#pragma once
// Stand-in radios, interphones, devices and receive paths that count what
// the library asks of them, for tests of the application object's tables,
// tick and dispatch, and of the radios and stations.
#include <atomic>
#include <cstdint>
#include <string>

#include "audio/device.h"
#include "audio/recv_path.h"
#include "interphone/ics_model.h"
#include "radio/radio_model.h"

namespace hcytest {

// A receive path that plays nothing: it keeps its wiring (device, source,
// channel) and ignores the rest. Stand-ins that record what they are asked
// derive from it.
class NullRecvPath : public CRecvPath {
public:
    explicit NullRecvPath(Kind kind = Kind::Mono) : kind(kind) {}

    Kind kind;
    CDevice* device = nullptr;
    CRadioModel* radio = nullptr;
    CICSModel* station = nullptr;
    int channel = 0;

    Kind GetKind() const override { return kind; }
    void AttachDevice(CDevice* d) override { device = d; }
    CDevice* GetDevice() const override { return device; }
    void SetRadio(CRadioModel* r) override { radio = r; }
    CRadioModel* GetRadio() const override { return radio; }
    void SetIntercom(CICSModel* s) override { station = s; }
    CICSModel* GetIntercom() const override { return station; }
    void SetChannel(int c) override { channel = c; }
    int GetChannel() const override { return channel; }
    bool IsActive() const override { return device && (radio || station); }
    void SetNoiseFlag(bool) override {}
    void SetChannelGains(const float*, int) override {}
    bool UpdateNoiseVolume() override { return device != nullptr; }
    void PlaySquelchNoise(bool) override {}
    void PlayBackgroundNoise(bool) override {}
    void MuteNoise(bool) override {}
    bool UpdateSourceGain(const CReceive*) override { return true; }
    void StopSource(const CReceive*, bool) override {}
    void ForgetSource(const CReceive*) override {}
    void WriteAudio(const CReceive*, const std::int16_t*, std::uint32_t, std::uint32_t) override {}
    void StopIdleOutputBuffers() override {}
    void StopAll() override {
        device = nullptr;
        radio = nullptr;
    }
    void DetachAll() override {
        device = nullptr;
        radio = nullptr;
        station = nullptr;
    }
};

class StandInRadio : public CRadioModel {
public:
    explicit StandInRadio(std::uint32_t mask = 1) : mask(mask) {}

    std::atomic<int> userId{0};
    std::atomic<std::uint32_t> mask;
    std::atomic<std::uint32_t> hlaHandle{0xFFFFFFFFu};
    std::atomic<int> heartbeats{0}, sweeps{0}, dialogUpdates{0}, pathUpdates{0};
    std::atomic<int> transmitterPdus{0}, signalPdus{0}, entityStatePdus{0};
    std::atomic<int> hlaUpdates{0}, hlaSignals{0}, hlaRemovals{0};
    std::atomic<int> shutdowns{0}, detaches{0};
    std::atomic<std::int32_t> maxRecvValue{-1};
    std::uint16_t site = 0, application = 0, entity = 0, radioNumber = 0;
    std::atomic<plat::HWND> msgWnd{0};

    int GetUserId() const override { return userId; }
    int SetUserId(std::uint32_t id) override {
        userId = static_cast<int>(id);
        return 1;
    }
    std::uint32_t GetHandle() const override { return hlaHandle; }
    std::uint32_t GetNetworkMode() const override { return mask; }
    int SetNetworkMode(std::uint32_t flags) override {
        mask = flags;
        return 1;
    }
    int SetExerciseId(std::uint32_t) override { return 1; }
    int SetRadioId(std::uint16_t s, std::uint16_t a, std::uint16_t e, std::uint16_t r) override {
        site = s;
        application = a;
        entity = e;
        radioNumber = r;
        return 1;
    }
    int SetMsgWnd(plat::HWND w) override {
        msgWnd = w;
        return 1;
    }
    int Heartbeat() override {
        ++heartbeats;
        return 1;
    }
    void SweepReceiveTimeouts() override { ++sweeps; }
    void UpdateRadioData() override { ++dialogUpdates; }
    std::int32_t GetMaxRecvValue() override { return maxRecvValue; }
    void UpdateRecvPaths() override { ++pathUpdates; }
    void OnTransmitterPdu(const TransmitterPdu*, std::uint32_t) override { ++transmitterPdus; }
    void OnSignalPdu(const SignalPdu*, std::uint32_t) override { ++signalPdus; }
    void OnEntityStatePdu(const EntityStatePdu*, std::uint32_t) override { ++entityStatePdus; }
    void OnHlaTransmitterUpdate(std::uint32_t, const HlaTransmitterRecord*,
                                std::uint32_t) override {
        ++hlaUpdates;
    }
    void OnHlaSignal(const HlaSignalRecord*, const std::uint8_t*, std::uint32_t,
                     const std::string*) override {
        ++hlaSignals;
    }
    int RemoveHlaRecord(std::uint32_t) override {
        ++hlaRemovals;
        return 1;
    }
    int SetHlaAttributeMask(int, std::uint32_t) override { return 1; }
    int SetHlaRadioValue(std::int32_t) override { return 1; }
    void Shutdown() override { ++shutdowns; }
    int SetFrequency(double, double) override { return 1; }
    int SetNet(std::uint16_t) override { return 1; }
    int SetMasterVolume(float v) override { return v >= 0.0f && v <= 1.0f ? 1 : 0; }
    int SetSquelchLevel(float) override { return 1; }
    int SetEncoding(int) override { return 1; }
    int SetWorldPosition(double, double, double) override { return 1; }
    int SetXYZPosition(double, double, double) override { return 1; }
    int SetRelPosition(float, float, float) override { return 1; }
    int SetNoiseLevel(double) override { return 1; }
    int SetXmitPower(double) override { return 1; }
    int SetRecvGain(double) override { return 1; }
    int SetCryptoSystem(int) override { return 1; }
    int SetCryptoKey(int) override { return 1; }
    int SetSpreadSpectrum(int) override { return 1; }
    int SetFreqHopKey(int) override { return 1; }
    int SetModulation(std::uint16_t, std::uint16_t) override { return 1; }
    int SetBandwidth(float) override { return 1; }
    int SetSystem(std::uint16_t) override { return 1; }
    int SetOnOff(int) override { return 1; }
    int SetTransmitDelay(std::uint32_t) override { return 1; }
    int SetSignalAtten(std::uint16_t, std::uint16_t, std::uint16_t, float) override { return 1; }
    int SetSNR(int, int, int, int, float) override { return 0; }
    int SetEntityAttach(std::uint32_t) override { return 1; }
    int SetDoPropLossModel(std::uint32_t) override { return 1; }
    int SetDoRoundEarthModel(std::uint32_t) override { return 1; }
    int SetDoTerrainModel(std::uint32_t) override { return 1; }
    int SetDoTunerModel(std::uint32_t) override { return 1; }
    int SetDoSquelchModel(std::uint32_t) override { return 1; }
    int SetSharingMode(std::uint32_t) override { return 1; }
    int SetRadioData(int, void*) override { return 0; }
    int GetRadioData(int, void*) override { return 0; }
    int ShowRadioData() override { return 1; }
    int AttachRecvPath(CDevice*, int) override { return 1; }
    int AddMultiRecvPath(CDevice*, const float*, int) override { return 1; }
    int StopRecvPath(CDevice*, int) override { return 1; }
    int RemoveRecvPath(CDevice*, int) override { return 1; }
    void DetachDevice(CDevice*) override { ++detaches; }
    int SetPTT(int, std::uint32_t) override { return 1; }
    void TransmitAudio(const std::int16_t*, std::uint32_t, std::uint32_t, std::uint32_t) override {}
};

// A radio whose Signal hook holds its dispatcher until released.
class HoldingRadio : public StandInRadio {
public:
    using StandInRadio::StandInRadio;
    std::atomic<bool> entered{false}, release{false};
    void OnSignalPdu(const SignalPdu*, std::uint32_t) override {
        entered = true;
        release.wait(false);
    }
    void Release() {
        release = true;
        release.notify_all();
    }
};

class StandInInterphone : public CICSModel {
public:
    explicit StandInInterphone(std::uint32_t network = 1) : network(network) {}

    std::atomic<int> handle{0};
    std::atomic<std::uint32_t> network;
    std::atomic<int> heartbeats{0}, sweeps{0}, controlPdus{0}, audioPdus{0}, removed{0};

    int GetHandle() const override { return handle; }
    int SetHandle(std::uint32_t h) override {
        handle = static_cast<int>(h);
        return 1;
    }
    int SetEntityID(std::uint16_t, std::uint16_t, std::uint16_t) override { return 1; }
    int SetStationID(std::uint16_t) override { return 1; }
    int SetExerciseID(std::uint32_t) override { return 1; }
    std::uint32_t GetNetwork() const override { return network; }
    int SetNetwork(std::uint32_t flags) override {
        network = flags;
        return 1;
    }
    int SetEncoding(int) override { return 1; }
    int SetMasterVolume(float v) override { return v >= 0.0f && v <= 1.0f ? 1 : 0; }
    float GetMasterVolume() const override { return 0.0f; }
    int GetData(int id, std::uint32_t* out) override {
        if (id < 301 || id > 304) return 0;
        *out = 0;
        return 1;
    }
    int Dial(std::uint16_t) override { return 1; }
    int SetHook(std::uint32_t) override { return 1; }
    int SetTalk(int, std::uint32_t) override { return 1; }
    void SendAudio(const std::int16_t*, std::uint32_t, std::uint32_t) override {}
    int Heartbeat() override {
        ++heartbeats;
        return 1;
    }
    void Sweep() override { ++sweeps; }
    void OnControlPdu(const IcsTransmitterPdu*, std::uint32_t) override { ++controlPdus; }
    void OnAudioPdu(const IcsSignalPdu*, std::uint32_t) override { ++audioPdus; }
    int AddRecvPath(CDevice*, int) override { return 1; }
    int RemoveRecvPath(CDevice*, int) override { return 1; }
    void DetachDevice(CDevice*) override {}
    void RemoveAll() override { ++removed; }
};

class StandInDevice : public CDevice {
public:
    explicit StandInDevice(Kind kind = Kind::Audio) : kind(kind) {}

    Kind kind;
    std::atomic<int> handle{0};
    std::atomic<int> closes{0}, radioPathsRemoved{0}, intercomPathsRemoved{0};
    std::atomic<int> receivedBlocks{0}, receivedBytes{0}, receiveEnds{0};
    std::atomic<int> receivedFrom{0};  // the id of the last ReceiveAudio

    Kind GetKind() const override { return kind; }
    int GetHandle() const override { return handle; }
    void SetHandle(int h) override { handle = h; }
    void Close() override { ++closes; }
    int AddRadioXmitPath(CRadioModel*) override { return 1; }
    int RemoveRadioXmitPath(CRadioModel*) override {
        ++radioPathsRemoved;
        return 1;
    }
    int AddRadioXmitPathOnChannel(CRadioModel*, int) override { return 1; }
    int RemoveRadioXmitPathOnChannel(CRadioModel*, int) override { return 1; }
    int AddIntercomXmitPath(CICSModel*) override { return 1; }
    int RemoveIntercomXmitPath(CICSModel*) override {
        ++intercomPathsRemoved;
        return 1;
    }
    int AddIntercomXmitPathOnChannel(CICSModel*, int) override { return 1; }
    int RemoveIntercomXmitPathOnChannel(CICSModel*, int) override { return 1; }
    int SetTransmitPathChannels(CRadioModel*, const int*, int) override { return 1; }
    int SetPTT(int, int) override { return 1; }
    int SetCaptureSize(std::uint32_t) override { return 1; }
    int SetSidetoneVolume(float) override { return 1; }
    int SetVoxEnable(int) override { return 1; }
    int SetVoxLevel(float) override { return 1; }
    int SetChannelVoxEnable(int, int) override { return 1; }
    int SetSplitVoxLevel(float, float) override { return 1; }
    int SetChannelVoxLevel(float, int) override { return 1; }
    int SetChannelVoxOffDelay(int, int) override { return 1; }
    int SetDeviceData(int, void*) override { return 0; }
    int GetDeviceData(int, void*) override { return 0; }
    int PostData(void*, int) override { return 1; }
    int PlayWavFile(const char*, float, int, int) override { return 0; }
    int StopWavFile(int) override { return 1; }
    int StartRecord(const char*, int) override { return 0; }
    int SetRecordMode(int) override { return 0; }
    int GetCurrentPosn() override { return 0; }
    int StopRecord() override { return 0; }
    int SetPlaybackChan(int) override { return 0; }
    int StartPlayback(const char*, int) override { return 0; }
    int SetNewPlayPosn(int) override { return 0; }
    int StopPlayback() override { return 0; }
    int ReceiveAudio(int id, const CReceive*, const std::int16_t*, std::uint32_t bytes,
                     std::uint32_t) override {
        receivedFrom = id;
        ++receivedBlocks;
        receivedBytes += static_cast<int>(bytes);
        return 1;
    }
    int OnReceiveEnd(int) override {
        ++receiveEnds;
        return 1;
    }
    plat::LPDIRECTSOUND GetDirectSound() const override { return directSound; }
    std::uint32_t GetOutputRate() const override { return 16000; }
    bool IsKeyed() const override { return keyed; }

    plat::LPDIRECTSOUND directSound;
    std::atomic<bool> keyed{false};
};

}  // namespace hcytest
