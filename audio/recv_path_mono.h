#pragma once
// The receive path of mono, split and capture-8 devices: one output buffer
// per heard transmitter plus one for the local source, each panned by the
// path's channel, and the radio's noise around them.
//
//   radio --UpdateSourceGain(record)--> buffer made or reused, volume, pan
//         --WriteAudio(record, block)-> that record's buffer --> device's
//                                       DirectSound object --> speaker
//   squelch noise (looping), squelch tail (once), background noise
//   (looping): stereo noise at base - (1 - master volume) x 10000
//
// Exclusion: one mutex per path over its fields and its buffer list; output
// buffers have their own. What the path calls with its mutex held (the
// device's GetDirectSound, IsKeyed and GetKind, the radio's or station's
// GetMasterVolume, GetUserId and GetHandle, the record's atomic getters)
// takes no lock above it. The
// data device's host notice is made after the path's mutex is released.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/recv_path.h"
#include "hcyplat/dsound.h"

class COutputBuffer;

class CRecvPathMono : public CRecvPath {
public:
    static constexpr std::uint32_t kNoiseBytes = 64000;  // squelch, background, spare noise [bytes]
    static constexpr std::uint32_t kTailBytes = 2048;    // squelch tail [bytes]
    // Consecutive failed writes after which a source's buffer is restarted.
    static constexpr std::uint32_t kMaxBufferErrors = 64;

    // Reads [Radio] SquelchLevel for the noise base.
    CRecvPathMono();
    ~CRecvPathMono() override;

    Kind GetKind() const override { return Kind::Mono; }
    void AttachDevice(CDevice* device) override;
    CDevice* GetDevice() const override;
    void SetRadio(CRadioModel* radio) override;
    CRadioModel* GetRadio() const override;
    void SetIntercom(CICSModel* interphone) override;
    CICSModel* GetIntercom() const override;
    void SetChannel(int channel) override;
    int GetChannel() const override;
    bool IsActive() const override;
    void SetNoiseFlag(bool on) override;
    void SetChannelGains(const float*, int) override {}

    bool UpdateNoiseVolume() override;
    void PlaySquelchNoise(bool on) override;
    void PlayBackgroundNoise(bool on) override;
    void MuteNoise(bool mute) override;
    // The sound of the library's noise resource: full volume, panned by
    // channel, looping; or stopped.
    void PlayResourceSound(bool on);

    bool UpdateSourceGain(const CReceive* record) override;
    void StopSource(const CReceive* record, bool playTail) override;
    void EndSource(const CReceive* record, bool playTail) override;
    void ForgetSource(const CReceive* record) override;
    void WriteAudio(const CReceive* record, const std::int16_t* samples, std::uint32_t bytes,
                    std::uint32_t sampleRate) override;
    void StopIdleOutputBuffers() override;
    void StopAll() override;
    void DetachAll() override;

    // Inspection (tests, status).
    int GetNoiseBase() const;  // [hundredths of dB]
    std::size_t GetOutputBufferCount() const;
    COutputBuffer* GetOutputBuffer(std::size_t index) const;
    COutputBuffer* GetLocalSource() const;
    plat::LPDIRECTSOUNDBUFFER GetSquelchNoise() const;
    plat::LPDIRECTSOUNDBUFFER GetSquelchTail() const;
    plat::LPDIRECTSOUNDBUFFER GetBackgroundNoise() const;
    plat::LPDIRECTSOUNDBUFFER GetResourceSound() const;

protected:
    // Everything below runs with m_mutex held.
    // What an attach makes on a sound device: the three noises, the
    // resource sound and the local source.
    virtual void CreateAttachedSounds();
    // A noise buffer of `bytes` per channel pair, filled with noise.
    virtual plat::LPDIRECTSOUNDBUFFER CreateNoiseBuffer(std::uint32_t bytes);
    // A new output buffer of the path's kind, and its (re)start.
    virtual std::unique_ptr<COutputBuffer> MakeOutputBuffer();
    virtual int StartOutputBuffer(COutputBuffer& buffer, const plat::LPDIRECTSOUND& ds);
    // Output buffers and noise take the channel's pan.
    virtual bool HasPan() const { return true; }
    // Writes a decoded mono block to one buffer.
    virtual void WriteBlock(COutputBuffer& buffer, const std::int16_t* samples,
                            std::uint32_t bytes);
    void CreateResourceSoundBuffer();
    void CreateLocalSource();
    COutputBuffer* GetFreeOutputBuffer();
    COutputBuffer* FindBuffer(const CReceive* record) const;
    // UpdateSourceGain's work; a data device's notice is left in `notice`.
    bool UpdateSourceGainLocked(const CReceive* record, bool* notice, double* noticeGain);
    void StopSourceLocked(const CReceive* record, bool playTail);
    // The record's active buffer (null: the local source's), or null.
    COutputBuffer* ActiveBuffer(const CReceive* record) const;
    // The squelch tail at the noise base, panned, once: now, or after
    // `delayMs` [ms] from a one-shot timer (a later tail replaces it).
    void PlayTail(std::uint32_t delayMs);
    void CancelPendingTail();
    bool UpdateNoiseVolumeLocked();
    void SetNoiseVolume(long volume);
    long ChannelPan() const;
    void PlayLooping(const plat::LPDIRECTSOUNDBUFFER& buffer, bool on, bool pan);
    bool IsDataDevice() const;
    bool HasSource() const { return m_pRadio || m_pIntercom; }

    mutable std::mutex m_mutex;
    bool m_bActive = false;
    int m_nChannel = 0;
    std::vector<std::unique_ptr<COutputBuffer>> m_buffers;
    COutputBuffer* m_pLocalSource = nullptr;  // one of m_buffers, never handed to a record
    // The object the output buffers were made on: buffers do not move to
    // another device's object.
    std::weak_ptr<plat::IDirectSound> m_buffersDs;
    CDevice* m_pDevice = nullptr;
    CRadioModel* m_pRadio = nullptr;
    CICSModel* m_pIntercom = nullptr;
    plat::LPDIRECTSOUNDBUFFER m_pSquelchNoise;
    plat::LPDIRECTSOUNDBUFFER m_pSquelchTail;
    plat::LPDIRECTSOUNDBUFFER m_pBackgroundNoise;
    plat::LPDIRECTSOUNDBUFFER m_pResourceSound;
    int m_nNoiseBase = -3000;   // [hundredths of dB]
    int m_nResourceVolume = 0;  // [hundredths of dB]
    bool m_bNoiseFlag = false;
    // A squelch tail waiting for the end of a transmission to play out.
    struct PendingTail {
        plat::LPDIRECTSOUNDBUFFER tail;
        plat::UINT timer = 0;
    };
    std::unique_ptr<PendingTail> m_pPendingTail;
};

// Copies `bytes` into the start of a platform buffer (restoring a lost one
// once); a refused lock copies nothing.
void CopyToBuffer(const void* source, const plat::LPDIRECTSOUNDBUFFER& buffer, std::uint32_t bytes);

// Fills `bytes` of a platform buffer with white noise bytes (0..255 each);
// a refused lock leaves it as it was.
void FillNoise(const plat::LPDIRECTSOUNDBUFFER& buffer, std::uint32_t bytes);

// The library's noise resource: a 44-byte RIFF/WAVE header and 82,900 bytes
// of 16-bit stereo noise at 16000 Hz.
const std::vector<std::uint8_t>& NoiseResource();
