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
//
// A device that must keep every sample (the record device) stops with
// StopDelivering, which delivers the partly filled block the input hands
// back, and then waits with WaitForDeliveries until the capture thread has
// delivered every block handed back before.
#include <condition_variable>
#include <cstdint>
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
    // thread; on failure stores the open message and returns false, with
    // waveInOpen's result in `result` when asked for.
    bool Open(plat::UINT id, const plat::WAVEFORMATEX& format, plat::MMRESULT* result = nullptr);

    bool Start() override;
    void Stop() override;
    // Mutex held. Stops as Stop does, but the blocks the input hands back
    // with samples in them (the partly filled one) are delivered like full
    // ones. False when the input refused the reset.
    bool StopDelivering();
    // Mutex not held. Returns once the capture thread has handled every
    // block the input handed back before the call.
    void WaitForDeliveries();
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
    // Counts a handed-back block as handled (delivered or dropped).
    void BlockHandled();
    static void WaveInProc(plat::HWAVEIN hwi, plat::UINT message, plat::DWORD_PTR instance,
                           plat::DWORD_PTR param1, plat::DWORD_PTR param2);

    const std::function<std::uint32_t()> m_blockBytes;
    plat::HWAVEIN m_hWaveIn = 0;  // mutex held; open unless the state is Closed
    plat::Thread m_thread;
    std::atomic<plat::ThreadId> m_nThreadId{0};
    std::atomic<bool> m_bThreadRunning{false};
    std::vector<std::unique_ptr<Block>> m_blocks;  // every block, owned (mutex held)
    std::vector<Block*> m_freeBlocks;

    // Blocks the input handed back (counted by the callback) and blocks the
    // capture thread has handled; WaitForDeliveries waits for the second to
    // reach the first.
    std::mutex m_countMutex;
    std::condition_variable m_allHandled;
    std::uint64_t m_nHandedBack = 0, m_nHandled = 0;  // countMutex
};
