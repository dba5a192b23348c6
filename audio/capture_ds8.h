#pragma once
// Capture through DirectSound 8: one looping capture buffer of eight blocks
// (mono or stereo frames), a notification event at the last byte of each
// block, one at the stop, and one that ends the capture thread.
//
//   events 0..7 (a block is full) --> one block of exactly the block size
//   event 8 (stopped)             --> everything captured since, once
//   event 9, or a failed wait     --> the thread ends
//
// A Stop from another thread delivers everything captured since at once,
// before it returns, so that a device unkeys after its last block; the stop
// event then finds nothing new. Every read holds the device's mutex.
//
// The block size is fixed when the buffer is made: the notifications sit at
// its block ends, so a later capture size does not apply to it. Reading
// resumes where the last read stopped, also across a stop and a new start.
// A block that cannot be locked, or a stop with nothing new, delivers
// nothing.
#include <array>
#include <vector>

#include "audio/capture.h"
#include "hcyplat/dsound.h"
#include "hcyplat/event.h"
#include "hcyplat/thread.h"

class CCaptureDS8 final : public CCapture {
public:
    static constexpr int kBlocks = 8;
    static constexpr int kStopEvent = 8;
    static constexpr int kQuitEvent = 9;

    explicit CCaptureDS8(const Owner& owner);
    ~CCaptureDS8() override;

    // Mutex held. Creates the capture object on `device` (null: the
    // default), a looping buffer of eight blocks of `blockBytes` in
    // `format`, the events and their positions, and only then the capture
    // thread. On failure stores the message and leaves nothing open.
    bool Open(const plat::GUID* device, const plat::WAVEFORMATEX& format, std::uint32_t blockBytes);

    bool Start() override;
    void Stop() override;
    bool Close() override;
    bool IsThreadRunning() const override { return m_bThreadRunning.load(); }

    std::uint32_t GetBlockBytes() const { return m_nBlockBytes; }
    std::uint32_t GetBufferBytes() const { return m_nBufferSize; }

private:
    bool CreateCaptureBuffer(const plat::WAVEFORMATEX& format);
    plat::HRESULT SetCaptureNotifications();
    // Releases the buffer, the object and the events (thread ended).
    void ReleaseAll();

    void CaptureThread();
    void ReadCapture(bool flush);

    plat::LPDIRECTSOUNDCAPTURE8 m_pCaptureObject;
    plat::LPDIRECTSOUNDCAPTUREBUFFER m_pBuffer;
    std::array<plat::HANDLE, 10> m_events{};
    std::uint32_t m_nBlockBytes = 0;      // [bytes]
    std::uint32_t m_nBufferSize = 0;      // [bytes]
    std::uint32_t m_nNextReadOffset = 0;  // [bytes] (device mutex held)
    std::vector<std::int16_t> m_block;    // one read (device mutex held)
    bool m_bReading = false;              // a read is delivering (device mutex held)
    plat::Thread m_thread;
    std::atomic<bool> m_bThreadRunning{false};
};
