#pragma once
// Capture through wave input (mono, stereo or multi-channel frames).
//
//   wave-input callback (pumping thread) --WM_CAPTURE_*--> capture thread
//       --> DeliverCapture of the device
//       --> the block goes back to the pool; while capturing, one new block
//           is queued for each one that came back
//
// Queuing a block and stopping happen under the device's mutex, so no block
// is queued after a stop and the input always closes; the thread starts
// only once the input is open and ends by an explicit quit and a join.
#include <functional>
#include <memory>
#include <vector>

#include "audio/capture.h"
#include "hcyplat/mmsystem.h"
#include "hcyplat/thread.h"

class CWaveInCapture final : public CCapture {
public:
    // blockBytes gives the size of each block when it is queued [bytes]
    // (called with the mutex held).
    CWaveInCapture(const Owner& owner, std::function<std::uint32_t()> blockBytes);
    ~CWaveInCapture() override;  // closes what is still open, quietly

    // Mutex held. Opens wave input `id` in `format`, then starts the capture
    // thread; on failure stores the open message and returns false.
    bool Open(plat::UINT id, const plat::WAVEFORMATEX& format);

    bool Start() override;
    void Stop() override;
    bool Close() override;
    bool IsThreadRunning() const override { return m_bThreadRunning.load(); }

private:
    // One queued block: its header and data, reused across queues.
    struct Block {
        plat::WAVEHDR header;
        std::vector<char> data;
    };

    // Mutex held for the three below.
    bool QueueBlock();
    Block* TakeBlock();
    void GiveBack(Block* block);
    // Stops, resets and closes the input (mutex taken); false when the
    // close was refused.
    bool CloseInput();
    void EndThread();

    void CaptureThread();
    // True when the message ends the loop.
    bool HandleMessage(const plat::MSG& msg);
    static void WaveInProc(plat::HWAVEIN hwi, plat::UINT message, plat::DWORD_PTR instance,
                           plat::DWORD_PTR param1, plat::DWORD_PTR param2);

    const std::function<std::uint32_t()> m_blockBytes;
    // The callback reads this, not the device's flag: an input that never
    // closed may call back after the device has gone.
    std::atomic<bool> m_bCapturing{false};
    plat::HWAVEIN m_hWaveIn = 0;  // mutex held
    plat::Thread m_thread;
    std::atomic<plat::ThreadId> m_nThreadId{0};
    std::atomic<bool> m_bThreadRunning{false};
    std::vector<std::unique_ptr<Block>> m_blocks;  // every block, owned (mutex held)
    std::vector<Block*> m_freeBlocks;
};
