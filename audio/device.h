#pragma once
// The device base class: what the application object, the radios and the
// interphones ask of every device (sound cards, split and multi-channel
// cards, record, playback, data and speech devices).
#include <cstdint>

#include "hcyplat/dsound.h"

class CRadioModel;
class CICSModel;
class CReceive;

class CDevice {
public:
    // Device kinds the exports tell apart.
    enum class Kind { Audio, Split, Multi, Record, Playback, Data };

    virtual ~CDevice() = default;

    virtual Kind GetKind() const = 0;
    virtual int GetHandle() const = 0;
    virtual void SetHandle(int handle) = 0;

    // Stops capture and output and releases what the device holds. Called
    // once, after every radio and interphone has let go of the device.
    virtual void Close() = 0;

    // Transmit lists: the radios and interphones that transmit what the
    // device captures.
    virtual int AddRadioXmitPath(CRadioModel* radio) = 0;
    virtual int RemoveRadioXmitPath(CRadioModel* radio) = 0;
    virtual int AddRadioXmitPathOnChannel(CRadioModel* radio, int channel) = 0;
    virtual int RemoveRadioXmitPathOnChannel(CRadioModel* radio, int channel) = 0;
    virtual int AddIntercomXmitPath(CICSModel* interphone) = 0;
    virtual int RemoveIntercomXmitPath(CICSModel* interphone) = 0;
    virtual int AddIntercomXmitPathOnChannel(CICSModel* interphone, int channel) = 0;
    virtual int RemoveIntercomXmitPathOnChannel(CICSModel* interphone, int channel) = 0;
    virtual int SetTransmitPathChannels(CRadioModel* radio, int first, int second) = 0;

    // Keying and capture settings.
    virtual int SetPTT(int on, int channel) = 0;
    virtual int SetCaptureSize(std::uint32_t bytes) = 0;
    virtual int SetSidetoneVolume(float volume) = 0;
    virtual int SetVoxEnable(int on) = 0;
    virtual int SetVoxLevel(float level) = 0;
    virtual int SetChannelVoxEnable(int on, int channel) = 0;
    virtual int SetSplitVoxLevel(float left, float right) = 0;
    virtual int SetChannelVoxLevel(float level, int channel) = 0;
    virtual int SetChannelVoxOffDelay(int delay, int channel) = 0;

    // Device data: the layout behind the pointer depends on the code.
    virtual int SetDeviceData(int code, void* value) = 0;
    virtual int GetDeviceData(int code, void* out) = 0;
    // Data devices only; other devices refuse (0).
    virtual int PostData(void* data, int byteCount) = 0;

    // WAV files on the device's output.
    virtual int PlayWavFile(const char* path, float volume, int channel, int loop) = 0;
    virtual int StopWavFile(int player) = 0;

    // Recording and playback devices; others answer 0.
    virtual int StartRecord(int first, int second) = 0;
    virtual int SetRecordMode(int mode) = 0;
    virtual int GetCurrentPosn() = 0;
    virtual int StopRecord() = 0;
    virtual int SetPlaybackChan(int channel) = 0;
    virtual int StartPlayback(int first, int second) = 0;
    virtual int SetNewPlayPosn(int position) = 0;
    virtual int StopPlayback() = 0;

    // The output side, for receive paths and WAV players: the device's
    // DirectSound object (null when it has none), its output rate [Hz], and
    // whether the device is keyed (noise is silent while it is).
    virtual plat::LPDIRECTSOUND GetDirectSound() const = 0;
    virtual std::uint32_t GetOutputRate() const = 0;
    virtual bool IsKeyed() const = 0;
    // Data devices: hands a received transmitter's new gain to the host's
    // notify callback (code DEVDATA_RECV_GAIN); false when there is none.
    virtual bool NotifyHost(int radioUserId, const CReceive* record, int code, double* value) {
        (void)radioUserId, (void)record, (void)code, (void)value;
        return false;
    }

    // Received audio for devices that take it themselves (Kind::Data):
    // radios call these instead of writing to a receive path. The record
    // identifies the transmitter heard and is opaque (never read); the
    // samples are valid during the call only. Radios call both without
    // holding their own lock. Other devices ignore them.
    virtual int ReceiveAudio(int radioUserId, const CReceive* record, const std::int16_t* samples,
                             std::uint32_t bytes, std::uint32_t sampleRate) {
        (void)radioUserId, (void)record, (void)samples, (void)bytes, (void)sampleRate;
        return 1;
    }
    // A transmission the radio heard has ended.
    virtual int OnReceiveEnd(int radioUserId) {
        (void)radioUserId;
        return 1;
    }
};
