#pragma once
// Output buffers: one stream of 16-bit audio (a heard transmitter, a path's
// local source, a WAV player) played through a looping streaming sound
// buffer of the device's DirectSound object.
//
//   Write(block) --> [ ... played ... | block | cleared stretch | old ... ]
//                                     ^ write offset          (silence, so a
//                      ^ write cursor    follows the cursor     late block
//                                        when it fell behind)   never replays)
//
// The writer keeps its own write offset and clears a stretch ahead of each
// block so that the loop plays silence when no block arrives. A stream that
// starts, or that ran dry (the play cursor passed the offset), starts again
// at the platform's write cursor: the least delay that is safe. Otherwise
// each block follows the one before, whatever its arrival jitter or bursts
// (a block later than the first may land between the play and write
// cursors: the write cursor's lead absorbs late arrivals at no delay), until
// kMaxQueuedMs is queued ahead of the cursor; beyond that (a sender whose
// clock runs fast) each block gives up a few milliseconds, from its silence
// where it has some, else from its quietest stretch: never a whole queue.
// The delay this adds is what the sender's pacing made necessary, no more.
//
// Exclusion: one mutex per buffer over every field; writers (PDU workers,
// WAV-player timers), the idle check (update tick) and the path's volume and
// pan updates may come from different threads. Lock order: receive path,
// then output buffer, then the platform's objects; nothing here calls up.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "hcyplat/dsound.h"

class CReceive;

class COutputBuffer {
public:
    static constexpr std::uint32_t kBufferBytes = 65536;  // stream buffer [bytes]
    static constexpr plat::DWORD kBufferFlags =
        0x80E2;  // global focus, volume, pan, frequency, static

    COutputBuffer() = default;
    virtual ~COutputBuffer() = default;
    COutputBuffer(const COutputBuffer&) = delete;
    COutputBuffer& operator=(const COutputBuffer&) = delete;

    // Makes the sound buffer on first use (silent) and (re)starts it looping.
    // 0 without a DirectSound object or when the platform refuses the buffer.
    virtual int Create(const plat::LPDIRECTSOUND& ds);
    // Streams a block of `bytes` of 16-bit samples; 1 when written (or
    // dropped by the receive-value gate), 0 when the platform refused it.
    virtual int Write(const std::int16_t* data, std::uint32_t bytes);
    // Silences and stops; 0 when there is nothing playing.
    virtual int Stop();
    // The stream ended: what is queued plays on (the buffer stays playing
    // until the idle check stops it). Returns how long that takes [ms].
    std::uint32_t PlayOut();
    // Audio written and not yet played [bytes]; 0 when stopped.
    std::uint32_t QueuedBytes();

    // The heard transmitter whose audio this plays (null: none); not owned.
    void SetReceive(const CReceive* record);
    const CReceive* GetReceive() const;
    // Assigned to a source of its receive path; false: free for reuse.
    void SetActive(bool active);
    bool IsActive() const;

    // Stops a playing buffer that got no block since the previous check.
    void StopIfIdle();

    // Pan from the output channel: 8 left, 9 right, anything else centre.
    int SetChannel(int channel);
    // Platform volume (gain - 1) x 10000 [hundredths of dB], truncated,
    // limited to -10000..0.
    int SetVolume(float gain);
    // Playback rate of the samples [Hz].
    int SetFrequency(std::uint32_t hertz);

    // Most audio queued ahead of the write cursor before blocks give some up
    // [ms], and the most one block gives up [ms].
    static constexpr std::uint32_t kMaxQueuedMs = 250;
    static constexpr std::uint32_t kDropStepMs = 4;
    // Zero-fills a region (wrapping to the start); a refused lock is ignored.
    void ClearRegion(std::uint32_t offset, std::uint32_t bytes);

    // Consecutive failed writes.
    std::uint32_t GetErrorCount() const;
    void ResetErrorCount();

    // State for the receive path and tests.
    bool IsPlaying() const;
    std::uint32_t GetWriteOffset() const;  // [bytes]
    plat::LPDIRECTSOUNDBUFFER GetSoundBuffer() const;

protected:
    // Steps shared by the creations: the checks, the platform buffer with
    // this format, size and flags. Mutex held.
    int MakeSoundBuffer(const plat::LPDIRECTSOUND& ds, plat::WAVEFORMATEX* format,
                        std::uint32_t bytes, plat::DWORD flags);
    // Restart after creation: write offset and cursor 0, play looping.
    void StartLooping();
    // Steps shared by the mono and multi-channel writes after the gate:
    // start, garble, re-sync, copy, clear ahead. Mutex held.
    int StreamBlock(const std::int16_t* data, std::uint32_t bytes);
    // Lock with one Restore on a lost buffer (restarting a stream that was
    // playing); mutex held.
    plat::HRESULT LockRestoring(std::uint32_t offset, std::uint32_t bytes, void** p1,
                                plat::DWORD* n1, void** p2, plat::DWORD* n2);
    // Copies `bytes` into the region locked at the write offset and commits
    // it; false when the lock or unlock failed. Mutex held.
    bool CopyBlock(const std::uint8_t* block, std::uint32_t bytes, bool* locked);
    void ClearRegionLocked(std::uint32_t offset, std::uint32_t bytes);
    // The receive-value gate: true when the block must be dropped (the
    // buffer is then stopped). Mutex held.
    bool BelowMaxRecvValue();
    // The write cursor; the play cursor read with it goes to m_nLastPlay.
    std::uint32_t WriteCursor();
    // How far the write offset lies ahead of `cursor` on the circle, in
    // 0 .. buffer size - 1 [bytes]. Mutex held.
    std::uint32_t AheadOfCursor(std::uint32_t cursor) const;
    // The cursor lies beyond the write offset: the offset is behind it by
    // less than half the buffer. Mutex held.
    bool CursorBeyond(std::uint32_t cursor) const;
    // Queued ahead of `cursor` [bytes]: 0 when the cursor passed the offset.
    std::uint32_t QueuedAhead(std::uint32_t cursor) const;
    // Bytes of one frame and of one millisecond at the playback rate.
    std::uint32_t FrameBytes() const;
    std::uint32_t BytesPerMs() const;
    // Copies the block into m_scratch leaving out frames: up to
    // `silentFrames` from its longest silent run when that run holds a
    // step, else `stepFrames` from its quietest stretch. Returns the bytes
    // left.
    std::uint32_t DropFrom(const std::uint8_t* block, std::uint32_t bytes,
                           std::uint32_t silentFrames, std::uint32_t stepFrames);

    // Recursive: the idle check stops the buffer through the class's own Stop.
    mutable std::recursive_mutex m_mutex;
    std::uint32_t m_nErrorCount = 0;
    bool m_bWritten = true;
    bool m_bActive = false;
    const CReceive* m_pReceive = nullptr;
    plat::LPDIRECTSOUNDBUFFER m_pSoundBuffer;
    bool m_bPlaying = false;
    std::uint32_t m_nWriteOffset = 0;     // [bytes]
    std::uint32_t m_nLastBlockSize = 0;   // [bytes]
    std::uint32_t m_nLastCursor = 0;      // [bytes]
    std::uint32_t m_nLastPlay = 0;        // the play cursor read with it [bytes]
    std::uint32_t m_nBufferSize = 0;      // [bytes]
    std::uint32_t m_nFrequency = 0;       // playback rate [Hz]; 0: the library's
    unsigned m_nFrameChannels = 1;        // samples per frame
    bool m_bRestart = true;               // the next block starts a stream
    bool m_bCatchingUp = false;           // past the bound: silence is given up
    std::vector<std::int16_t> m_garbled;  // scratch for blocks of undecodable streams
    std::vector<std::int16_t> m_scratch;  // a block with frames left out
};

// The legacy stereo variant: a fixed 65536-byte stereo buffer that starts
// only once two blocks are in it and keeps the write offset between one and
// three blocks ahead of the write cursor.
class COutputBufferDX3 final : public COutputBuffer {
public:
    int Create(const plat::LPDIRECTSOUND& ds) override;
    int Write(const std::int16_t* data, std::uint32_t bytes) override;
    int Stop() override;

    // True when `offset` lies between cursor + bytes and cursor + 3 x bytes
    // (both wrapped at 65536), the window wrapping round the end.
    static bool IsInWriteWindow(std::uint32_t cursor, std::uint32_t offset, std::uint32_t bytes);
    std::uint32_t GetBlocksWritten() const;

private:
    std::uint32_t m_nBlocksWritten = 0;
};

// The variant of multi-channel devices: interleaved frames of the device's
// channel count and speaker mask, no pan, no receive-value gate.
class COutputBufferMulti final : public COutputBuffer {
public:
    static constexpr plat::DWORD kMultiFlags = 0x80A2;  // COutputBuffer's without pan control
    static constexpr unsigned kMaxChannels = 32;

    // Channel count of the sound buffer CreateMulti makes (1..32; others
    // are refused, and so is a change once it is made).
    bool SetChannelCount(unsigned channels);
    unsigned GetChannelCount() const;
    // A buffer of channels x 65536 bytes, started looping.
    int CreateMulti(const plat::LPDIRECTSOUND& ds, std::uint32_t channelMask);
    // `data` holds whole frames of the channel count.
    int Write(const std::int16_t* data, std::uint32_t bytes) override;

private:
    unsigned m_nChannels = 1;
};

// offset, or offset - size when it reached size (one subtraction).
std::uint32_t WrapBufferOffset(std::uint32_t offset, std::uint32_t size);

// Garbling of audio that cannot be decoded: seeds the generator with the
// time [s], then s = (int16)(2 x rand() x s) >> 2 for each whole sample.
void GarbleSamples(std::int16_t* samples, std::uint32_t bytes);
