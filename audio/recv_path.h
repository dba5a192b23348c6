#pragma once
// A receive path: the route from one radio, or one interphone station, to
// one output device and channel. It plays every transmitter (or remote
// station) its source hears through an output buffer of its own (one per
// receive record), plus the local source (no record: prompts, sidetone), and
// keeps the radio's noise: open-squelch noise, squelch tail and background
// noise (silent on an interphone path).
//
//   radio or station (its mutex held) --UpdateSourceGain/WriteAudio/StopSource-->
//     path --> output buffer per record --> device
//
// Contract between the sources and the paths:
// - Radios and stations call every operation below with their own mutex
//   held; a path takes only its own lock and those below it (output buffer,
//   platform), and never calls back into a source's locking members. What a
//   path may read of its source and of a record without the source's lock:
//   CRadioModel::GetMasterVolume, CRadioModel::GetUserId,
//   CICSModel::GetMasterVolume, CICSModel::GetHandle, CReceive::GetSignal,
//   GetPttBlock, GetRecvValue and IsRemoved (all atomic).
// - A record pointer is valid from the first UpdateSourceGain for it until
//   ForgetSource for it; the path keeps no pointer to it after ForgetSource.
// - A path on a data device owns no buffers: the radio hands received audio
//   to the device itself (CDevice::ReceiveAudio), never through WriteAudio.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class CDevice;
class CICSModel;
class CRadioModel;
class CReceive;

class CRecvPath {
public:
    // Mono: mono, split and capture-8 devices (buffers panned by channel).
    // Multi: multi-channel devices (every block spread over the channels).
    enum class Kind { Mono, Multi };

    virtual ~CRecvPath() = default;

    virtual Kind GetKind() const = 0;

    // Wiring.
    // Sets the device; unless it is a data device, creates the noise buffers
    // and the local source. Active once a radio is set too.
    virtual void AttachDevice(CDevice* device) = 0;
    virtual CDevice* GetDevice() const = 0;
    // Sets the source radio; active once a device is attached too.
    virtual void SetRadio(CRadioModel* radio) = 0;
    virtual CRadioModel* GetRadio() const = 0;
    // Sets the source interphone station instead; active once a device is
    // attached too. A record on a station's path plays at the station's
    // master volume.
    virtual void SetIntercom(CICSModel* interphone) = 0;
    virtual CICSModel* GetIntercom() const = 0;
    // Output channel: 8 left, 9 right, anything else centre; applies at the
    // next volume and pan update.
    virtual void SetChannel(int channel) = 0;
    virtual int GetChannel() const = 0;
    // A device is attached and a source set.
    virtual bool IsActive() const = 0;
    // Stores the radio's background-noise default with the path.
    virtual void SetNoiseFlag(bool on) = 0;
    // Multi paths: one gain per output channel, in channel order; mono paths
    // ignore it.
    virtual void SetChannelGains(const float* gains, int count) = 0;

    // Noise.
    // Noise volume from the radio's master volume (0 while the device is
    // keyed, and on a station's path); false without a device.
    virtual bool UpdateNoiseVolume() = 0;
    // Open-squelch noise: play looping (panned by channel) or stop.
    virtual void PlaySquelchNoise(bool on) = 0;
    // Background noise: play looping (panned by channel) or stop.
    virtual void PlayBackgroundNoise(bool on) = 0;
    // Mute silences every noise buffer; unmute restores UpdateNoiseVolume's level.
    virtual void MuteNoise(bool mute) = 0;

    // Sources (record null = the local source).
    // Finds or makes the record's output buffer and sets its volume and pan
    // from the record's signal, PTT block and receive value and the radio's
    // master volume; a removed record is ignored.
    virtual bool UpdateSourceGain(const CReceive* record) = 0;
    // Stops the record's active buffer and frees it for another source; with
    // playTail the squelch tail plays once. Nothing happens without an
    // active buffer.
    virtual void StopSource(const CReceive* record, bool playTail) = 0;
    // The record's transmission ended: as StopSource, except that the audio
    // its buffer still holds plays out first, the squelch tail after it.
    virtual void EndSource(const CReceive* record, bool playTail) { StopSource(record, playTail); }
    // The record is about to be deleted: stop it without tail and keep no
    // reference to it.
    virtual void ForgetSource(const CReceive* record) = 0;
    // Writes a decoded mono block [bytes of 16-bit samples] at sampleRate
    // [Hz] to the record's buffers; a record without a buffer is not played.
    virtual void WriteAudio(const CReceive* record, const std::int16_t* samples,
                            std::uint32_t bytes, std::uint32_t sampleRate) = 0;
    // Stops the buffers that received nothing since the last call.
    virtual void StopIdleOutputBuffers() = 0;
    // Disconnects the path (device and radio forgotten, every buffer and noise
    // stopped), leaving it free for reuse by its source.
    virtual void StopAll() = 0;
    // Empties the path (buffers stopped and deleted) before its deletion.
    virtual void DetachAll() = 0;
};

// A new path of the kind (CRecvPathMono, CRecvPathMulti) for a radio or an
// interphone station.
std::unique_ptr<CRecvPath> CreateRecvPath(CRecvPath::Kind kind);

// Tests only: paths of their own in place of the real ones; empty: the real
// ones again. Returns the previous maker.
using RecvPathMaker = std::function<std::unique_ptr<CRecvPath>(CRecvPath::Kind)>;
RecvPathMaker SetRecvPathMakerForTest(RecvPathMaker maker);

// A path of `kind` for a source (radio or station) to wire to `device`: a
// stopped one of its `paths` is reused, the one still pointing to the device
// first, else any (a stopped path has let go of its device), so that turning
// receive off and on never adds a path; else a new one is appended.
CRecvPath* FreeRecvPath(std::vector<std::unique_ptr<CRecvPath>>& paths, CRecvPath::Kind kind,
                        const CDevice* device);
