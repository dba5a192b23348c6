#pragma once
// The device base class: what the application object, the radios, the
// interphones and the receive paths ask of every device (sound cards, split
// and multi-channel cards, record, playback, data and speech devices), and
// what all of them share: the handle, the capture format, the transmit lists
// of radios and interphones that send what the device captures, keying, the
// band-pass filter on transmitted audio, the WAV-player slots and the two
// callbacks of data devices.
//
//   capture thread --DeliverCapture--> [voice-operated keying] --> band-pass
//       (a copy, for radios that ask) --> CRadioModel::TransmitAudio
//                                     --> CICSModel::SendAudio
//
// Exclusion: one recursive mutex per device over its transmit lists, keying,
// voice-operated keying, filter and capture delivery (delivery keys through
// SetPTT from inside). Lock order: tables, device, radio or interphone,
// receive path, output buffer, platform objects. What receive paths and
// radios read of a device without that mutex (GetHandle, GetKind,
// GetDirectSound, GetOutputRate, IsKeyed and the format getters) is atomic
// or guarded by a leaf lock, so a path may call them under its own lock.
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/band_pass.h"
#include "hcyplat/dsound.h"

class CRadioModel;
class CICSModel;
class CReceive;
class CWavPlayer;

// The host's data-device callbacks (DataDeviceAudioProc and
// DataDeviceNotifyProc of the public header): radio user id, opaque record,
// then the audio or the notice.
using HostAudioProc = void (*)(std::int32_t radio, void* record, const std::int16_t* samples,
                               std::uint32_t byteCount, std::uint32_t sampleRate);
using HostNotifyProc = void (*)(std::int32_t radio, void* record, std::int32_t code, double* value);

class CDevice {
public:
    // Device kinds the exports tell apart.
    enum class Kind { Audio, Split, Multi, Record, Playback, Data };

    CDevice();
    virtual ~CDevice();
    CDevice(const CDevice&) = delete;
    CDevice& operator=(const CDevice&) = delete;

    virtual Kind GetKind() const = 0;
    virtual int GetHandle() const { return m_nHandle.load(); }
    virtual void SetHandle(int handle) { m_nHandle = handle; }
    virtual int SetShortValue(std::uint16_t value);
    virtual int SetLongValue(std::uint32_t value);

    // Closes input and output and stops and drops the WAV players; every
    // radio and interphone the device keyed is unkeyed. Called once, after
    // every radio and interphone has let go of the device's receive paths.
    // The base stops the WAV players; every override also calls it.
    virtual void Close();
    // Called after Close on the thread that closed the device, with no lock
    // of the library held: waits for what the device still runs on threads
    // of its own. The base has nothing to wait for.
    virtual void AwaitClosed() {}

    // Transmit lists: the radios and interphones that transmit what the
    // device captures (not owned: the application object removes a radio
    // from every list before it destroys it).
    virtual int AddRadioXmitPath(CRadioModel* radio);
    virtual int RemoveRadioXmitPath(CRadioModel* radio);
    virtual int AddRadioXmitPathOnChannel(CRadioModel* radio, int channel);
    virtual int RemoveRadioXmitPathOnChannel(CRadioModel* radio, int channel);
    virtual int AddIntercomXmitPath(CICSModel* interphone);
    virtual int RemoveIntercomXmitPath(CICSModel* interphone);
    virtual int AddIntercomXmitPathOnChannel(CICSModel* interphone, int channel);
    virtual int RemoveIntercomXmitPathOnChannel(CICSModel* interphone, int channel);
    // Multi-channel devices: the channels a radio transmits from.
    // Multi-channel devices: one flag per channel (non-zero: the radio
    // transmits what that channel captures), count flags.
    virtual int SetTransmitPathChannels(CRadioModel* radio, const int* channelFlags, int count);

    // Keying and capture settings (the base answers as a device that has
    // nothing to key or capture).
    virtual int SetPTT(int on, int channel);
    virtual int SetCaptureHold(int on, int channel);
    // Stores the size of one captured mono block [bytes] for buffers queued
    // from now on (the range is the caller's to check).
    virtual int SetCaptureSize(std::uint32_t bytes);
    virtual int SetSidetoneVolume(float volume);
    virtual int SetVoxEnable(int on);
    virtual int SetVoxLevel(float level);
    virtual int SetVoxEnables(const int* enables, int count);
    virtual int SetVoxLevels(const float* levels, int count);
    virtual int SetVoxOffDelays(const int* delays, int count);
    virtual int SetChannelVoxEnable(int on, int channel);
    virtual int SetSplitVoxLevel(float left, float right);
    virtual int SetChannelVoxLevel(float level, int channel);
    virtual int SetChannelVoxOffDelay(int delay, int channel);
    // Speaker channel mask of a multi-channel device; returns the mask.
    virtual std::uint32_t SetChannelMask(std::uint32_t mask);

    // A captured block of 16-bit samples [bytes], on the capture thread:
    // band-passed for the radios that ask (once a band is set), then handed
    // to every radio and interphone of the transmit lists.
    virtual void DeliverCapture(const std::int16_t* block, std::uint32_t bytes);
    // Designs the band-pass taps for [low, high] [Hz] at `rate` [Hz].
    virtual int DesignBandPass(int rate, double low, double high);

    // Device data: the layout behind the pointer depends on the code
    // (DEVDATA_FILTER_BAND: two doubles; DEVDATA_SHARED_SOURCE: an int;
    // DEVDATA_KEYED: a u32 out).
    virtual int SetDeviceData(int code, void* value);
    virtual int GetDeviceData(int code, void* out);
    // Data devices only; other devices refuse (0).
    virtual int PostData(void* data, int byteCount);

    // WAV files on the device's output (audio/wav_player.h): the first idle
    // player of the list plays the file, else a new one appended to it.
    // PlayWavFile returns the player's index, which the host passes to
    // StopWavFile; 0 with the last error set when the file does not play
    // (0 is also the first player's index).
    virtual int PlayWavFile(const char* path, float volume, int channel, int loop);
    // Stops the player at that index, if there is one; 1.
    virtual int StopWavFile(int player);
    // A player of this device has stopped; it stays for reuse. Comes from
    // the stopping thread (the player's timer at the end of the file)
    // without the device's mutex: an override must not take it.
    virtual int OnWavPlayerDone(CWavPlayer* player);

    // Recording and playback devices; others answer 0. StartRecord records
    // to the WAV file at `path` (a new file, or with `append` set the end of
    // an existing one).
    virtual int StartRecord(const char* path, int append);
    virtual int SetRecordMode(int mode);
    virtual int GetCurrentPosn();
    virtual int StopRecord();
    virtual int SetPlaybackChan(int channel);
    virtual int StartPlayback(const char* path, int startSeconds);
    virtual int SetNewPlayPosn(int position);
    virtual int StopPlayback();

    // The output side, for receive paths and WAV players: the device's
    // DirectSound object (null when it has none), its output rate [Hz], and
    // whether the device is keyed (noise is silent while it is).
    virtual plat::LPDIRECTSOUND GetDirectSound() const;
    virtual std::uint32_t GetOutputRate() const { return m_nOutputRate.load(); }
    virtual bool IsKeyed() const { return m_bKeyed.load(); }
    // Data devices: hands a received transmitter's new gain to the host's
    // notify callback (code DEVDATA_RECV_GAIN); false when there is none.
    virtual bool NotifyHost(int radioUserId, const CReceive* record, int code, double* value);

    // Received audio for devices that take it themselves (Kind::Data):
    // radios call these instead of writing to a receive path. The record
    // identifies the transmitter heard and is opaque (never read); the
    // samples are valid during the call only. Radios call both without
    // holding their own lock. The base hands the audio to the host's audio
    // callback when there is one.
    virtual int ReceiveAudio(int radioUserId, const CReceive* record, const std::int16_t* samples,
                             std::uint32_t bytes, std::uint32_t sampleRate);
    // A transmission the radio heard has ended.
    virtual int OnReceiveEnd(int radioUserId);
    // What an interphone station hears, named by the station's handle; the
    // base takes it as ReceiveAudio does. Stations tell no end of a
    // transmission.
    virtual int ReceiveStationAudio(int stationHandle, const CReceive* record,
                                    const std::int16_t* samples, std::uint32_t bytes,
                                    std::uint32_t sampleRate) {
        return ReceiveAudio(stationHandle, record, samples, bytes, sampleRate);
    }

    // Format getters (any thread).
    std::uint32_t GetSampleRate() const { return m_nSampleRate.load(); }  // [Hz]
    std::uint32_t GetBitsPerSample() const { return m_nBitsPerSample.load(); }
    std::uint32_t GetCaptureSize() const { return m_nCaptureSize.load(); }  // [bytes]
    int GetCaptureChannels() const { return m_nCaptureChannels.load(); }
    int GetOutputChannels() const { return m_nOutputChannels.load(); }
    std::uint32_t GetChannelMask() const { return m_nChannelMask.load(); }
    // Whether the device captures now (a device without an input: never).
    virtual bool IsCapturing() const { return false; }
    bool IsSharedSource() const { return m_bSharedSource.load(); }
    // Snapshots of the transmit lists, in list order.
    std::vector<CRadioModel*> GetRadioXmitList() const;
    std::vector<CICSModel*> GetIntercomXmitList() const;
    // Tap m of the band-pass filter (k = m - 32); 0.0 before a band is set.
    double GetFilterCoefficient(int m) const;

protected:
    using Lock = std::lock_guard<std::recursive_mutex>;

    // The source word with which a mono device keys its radios and hands
    // them audio: handle x 2. Source words are 32 bits wide, so that no two
    // devices share one however high the handles go.
    std::uint32_t MonoSourceWord() const {
        return static_cast<std::uint32_t>(m_nHandle.load()) * 2;
    }
    // Keys or unkeys every radio and interphone of both lists with `word`
    // (mutex held).
    void KeyListed(int on, std::uint32_t word);
    // Unkeys every radio and interphone of both lists with `word` and
    // empties the lists (mutex held).
    void ReleaseTransmitLists(std::uint32_t word);
    // Transmit-list steps of every device: AddOnce appends an item that is
    // not listed yet (else stores `duplicate`, when given, as the last error
    // and returns false); Unlist removes a listed item after `release` (its
    // unkeying) and says whether it was listed.
    template <class T>
    static bool AddOnce(std::vector<T*>& list, T* item, const char* duplicate) {
        if (std::find(list.begin(), list.end(), item) != list.end()) {
            if (duplicate) ReportDuplicate(duplicate);
            return false;
        }
        list.push_back(item);
        return true;
    }
    template <class T, class Release>
    static bool Unlist(std::vector<T*>& list, T* item, Release&& release) {
        const auto at = std::find(list.begin(), list.end(), item);
        if (at == list.end()) return false;
        release(item);
        list.erase(at);
        return true;
    }
    static void ReportDuplicate(const char* message);
    // A call that named a channel the device does not have: the last error
    // says so, the call changes nothing.
    void ReportInvalidChannel(int channel) const;
    // One block of voice-operated keying on a channel that is `keyed`. A
    // loud block (level >= threshold; a level that is not a number is
    // quiet) keys and is sent, the quiet count restarts. A quiet block of a
    // keyed channel is sent (and counted) until the count has passed
    // `offDelay`, then it unkeys and is dropped; an unkeyed channel's quiet
    // block is dropped.
    enum class VoxStep { Send, KeyAndSend, Drop, UnkeyAndDrop };
    static VoxStep RunVox(float level, float threshold, bool keyed, int& quiet, int offDelay);
    // The level voice-operated keying compares: the RMS level / 100.
    float VoxLevelOf(const std::int16_t* block, std::uint32_t bytes) const;
    // The band-passed copy of a block (mutex held); valid until the next call.
    const std::int16_t* FilteredCopy(const std::int16_t* block, std::uint32_t bytes);
    // Whether a radio asks for the band-pass filter (radio data RD_XMIT_FILTER).
    static bool WantsXmitFilter(const CRadioModel& radio);

    // The DirectSound object the device's output uses (leaf lock).
    void SetDirectSound(plat::LPDIRECTSOUND ds);
    plat::LPDIRECTSOUND DirectSoundObject() const;
    void SetDataCallbacks(HostAudioProc audio, HostNotifyProc notify) {
        m_pAudioProc = audio;
        m_pNotifyProc = notify;
    }

    mutable std::recursive_mutex m_mutex;

    std::atomic<bool> m_bKeyed{false};
    std::atomic<bool> m_bDataDevice{false};
    std::atomic<int> m_nCaptureChannels{1};
    std::atomic<int> m_nOutputChannels{1};
    plat::LPDIRECTSOUNDBUFFER m_pPrimaryBuffer;  // set while opening
    bool m_bOwnsDirectSound = false;
    std::uint32_t m_nInputDeviceId = 0;
    std::uint32_t m_nPTTState = 0;  // 5 while keyed by push-to-talk
    int m_nDataDeviceType = 0;
    std::atomic<std::uint32_t> m_nSampleRate{16000};  // [Hz]
    std::atomic<std::uint32_t> m_nOutputRate{16000};  // [Hz]
    std::atomic<std::uint32_t> m_nCaptureSize;        // [bytes]
    std::atomic<std::uint32_t> m_nBitsPerSample{16};
    std::atomic<int> m_nHandle{0};
    std::uint16_t m_nShortValue = 0;
    std::uint32_t m_nLongValue = 0;
    std::vector<CRadioModel*> m_arrRadioXmit;
    std::vector<CICSModel*> m_arrIntercomXmit;
    std::vector<std::shared_ptr<CWavPlayer>> m_arrWavPlayers;  // owned; kept for reuse
    CBandPassFilter m_filter;
    double m_fLowEdge = 0.0, m_fHighEdge = 0.0;  // [Hz]
    std::vector<std::int16_t> m_filtered;        // scratch of FilteredCopy
    std::atomic<bool> m_bSharedSource{false};
    std::atomic<std::uint32_t> m_nChannelMask{0};
    HostAudioProc m_pAudioProc = nullptr;  // set before the device is published
    HostNotifyProc m_pNotifyProc = nullptr;

    // Mono voice-operated keying (sound-card, DirectSound 8 and data devices).
    bool m_bVoxOn = false;
    float m_fVoxLevel = 0.008f;
    int m_nQuietCount = 0;
    int m_nVoxOffDelay = 10;  // [blocks]
    int m_nLastChannel = 0;   // channel argument of the last SetPTT

private:
    mutable std::mutex m_dsMutex;  // leaf lock over the DirectSound pointer
    plat::LPDIRECTSOUND m_pDirectSound;
};

// A small growable array of floats for per-channel values. Reads past the
// end (or at a negative index) give 0.0; a write past the end grows the
// array with 0.0; a negative write is ignored. Thread-safe.
class CFloatArray {
public:
    void SetAt(int index, float value);
    float GetAt(int index) const;
    void RemoveAll();
    int GetSize() const;

private:
    mutable std::mutex m_mutex;
    std::vector<float> m_values;
};
