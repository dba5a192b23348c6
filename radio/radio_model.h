#pragma once
// The radio base class: what the application object, the devices and the
// network side ask of every radio. The radio types derive from it.
#include <cstdint>
#include <string>

#include "hcyplat/types.h"

namespace hcy::net {
struct TransmitterPdu;
struct SignalPdu;
struct EntityStatePdu;
}  // namespace hcy::net
using hcy::net::TransmitterPdu;
using hcy::net::SignalPdu;
using hcy::net::EntityStatePdu;

class CDevice;
struct HlaTransmitterRecord;
struct HlaSignalRecord;

class CRadioModel {
public:
    virtual ~CRadioModel() = default;

    // Identity. The user id is the radio's handle; the handle is the HLA
    // object handle (0xFFFFFFFF until registered).
    virtual int GetUserId() const = 0;
    virtual int SetUserId(std::uint32_t userId) = 0;
    virtual std::uint32_t GetHandle() const = 0;
    virtual std::uint32_t GetNetworkMode() const = 0;
    virtual int SetNetworkMode(std::uint32_t flags) = 0;
    virtual int SetExerciseId(std::uint32_t exercise) = 0;
    virtual int SetRadioId(std::uint16_t site, std::uint16_t application, std::uint16_t entity,
                           std::uint16_t radio) = 0;
    virtual int SetMsgWnd(plat::HWND window) = 0;

    // Update tick duties.
    virtual int Heartbeat() = 0;
    virtual void SweepReceiveTimeouts() = 0;
    virtual void UpdateRadioData() = 0;
    virtual std::int32_t GetMaxRecvValue() = 0;
    virtual void UpdateRecvPaths() = 0;

    // Reception: PDUs in host order, with the number of bytes received.
    virtual void OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length) = 0;
    virtual void OnSignalPdu(const SignalPdu* pdu, std::uint32_t length) = 0;
    virtual void OnEntityStatePdu(const EntityStatePdu* pdu, std::uint32_t length) = 0;
    virtual void OnHlaTransmitterUpdate(std::uint32_t objectHandle,
                                        const HlaTransmitterRecord* record,
                                        std::uint32_t attributeMask) = 0;
    virtual void OnHlaSignal(const HlaSignalRecord* record, const std::uint8_t* data,
                             const std::string* senderName) = 0;
    virtual int RemoveHlaRecord(std::uint32_t objectHandle) = 0;
    virtual int SetHlaAttributeMask(int add, std::uint32_t bits) = 0;
    virtual int SetHlaRadioValue(std::int32_t value) = 0;

    // Before deletion: releases receive paths and records, removes the HLA
    // object.
    virtual void Shutdown() = 0;

    // Parameters set by the host.
    virtual int SetFrequency(double receiveHz, double transmitHz) = 0;
    virtual int SetNet(std::uint16_t net) = 0;
    virtual int SetMasterVolume(float volume) = 0;
    virtual int SetSquelchLevel(float level) = 0;
    virtual int SetEncoding(int code) = 0;
    virtual int SetWorldPosition(double latitude, double longitude, double altitude) = 0;
    virtual int SetXYZPosition(double x, double y, double z) = 0;
    virtual int SetRelPosition(float x, float y, float z) = 0;
    virtual int SetNoiseLevel(double level) = 0;
    virtual int SetXmitPower(double power) = 0;
    virtual int SetRecvGain(double gain) = 0;
    virtual int SetCryptoSystem(int value) = 0;
    virtual int SetCryptoKey(int value) = 0;
    virtual int SetSpreadSpectrum(int flags) = 0;
    virtual int SetFreqHopKey(int value) = 0;
    virtual int SetModulation(std::uint16_t major, std::uint16_t detail) = 0;
    virtual int SetBandwidth(float bandwidth) = 0;
    virtual int SetSystem(std::uint16_t system) = 0;
    virtual int SetOnOff(int on) = 0;
    virtual int SetTransmitDelay(std::uint32_t ms) = 0;
    virtual int SetSignalAtten(std::uint16_t site, std::uint16_t application,
                               std::uint16_t entity, float attenuation) = 0;
    virtual int SetSNR(int site, int application, int entity, int radio, float value) = 0;
    virtual int SetEntityAttach(std::uint32_t on) = 0;
    virtual int SetDoPropLossModel(std::uint32_t on) = 0;
    virtual int SetDoRoundEarthModel(std::uint32_t on) = 0;
    virtual int SetDoTerrainModel(std::uint32_t on) = 0;
    virtual int SetDoTunerModel(std::uint32_t on) = 0;
    virtual int SetDoSquelchModel(std::uint32_t on) = 0;
    virtual int SetSharingMode(std::uint32_t mode) = 0;
    // Radio data: the layout behind the pointer depends on the id.
    virtual int SetRadioData(int id, void* value) = 0;
    virtual int GetRadioData(int id, void* out) = 0;
    virtual int ShowRadioData() = 0;

    // Receive paths to devices. Channel 0 matches any path to the device.
    virtual int AttachRecvPath(CDevice* device, int channel) = 0;
    virtual int AddMultiRecvPath(CDevice* device, const float* gains, int count) = 0;
    virtual int StopRecvPath(CDevice* device, int channel) = 0;
    virtual int RemoveRecvPath(CDevice* device, int channel) = 0;
    // A device is closing: every receive path to it stops and lets go of it
    // (removePaths: the paths are deleted too). Nothing refers to the device
    // afterwards.
    virtual void DetachDevice(CDevice* device, bool removePaths) = 0;

    // Keying and transmitted audio, from the devices.
    virtual int SetPTT(int on, std::uint16_t source) = 0;
    virtual void TransmitAudio(const std::int16_t* samples, std::uint32_t byteCount,
                               std::uint32_t sampleRate, std::uint16_t source) = 0;
};
