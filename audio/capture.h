#pragma once
// Capture engines: how a sound-card device gets its captured blocks. Each
// runs one capture thread that hands every block to the device's
// DeliverCapture (through the virtual slot, so that the device's keying runs
// first) inside the thread boundary, and ends by an explicit quit and a join.
//
//   CWaveInCapture  wave input: two blocks in flight, one queued again for
//                   each one that comes back while capturing
//   CCaptureDS8     a looping DirectSound 8 capture buffer of eight blocks,
//                   an event at the end of each block and one at the stop,
//                   which delivers what was captured since the last block
//
// Exclusion: the device's mutex. Start and Stop are called with it held; an
// engine takes it itself wherever queueing a block must not cross a stop.
// Close is called without it: it joins the capture thread, which may be
// waiting for that mutex to deliver a block.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class CDevice;

class CCapture {
public:
    // What an engine needs of its device: where blocks go, the device's
    // mutex and its capturing flag (set while the engine captures).
    struct Owner {
        CDevice& device;
        std::recursive_mutex& mutex;
        std::atomic<bool>& capturing;
    };

    explicit CCapture(const Owner& owner) : m_owner(owner) {}
    virtual ~CCapture() = default;
    CCapture(const CCapture&) = delete;
    CCapture& operator=(const CCapture&) = delete;

    // Mutex held. Starts capturing; false when the input refused.
    virtual bool Start() = 0;
    // Mutex held. Stops capturing (the flag drops first).
    virtual void Stop() = 0;
    // Mutex not held. Stops, ends the capture thread and gives the input
    // back; false (with the last error set) when the input refused to close.
    // The thread has ended either way.
    virtual bool Close() = 0;
    virtual bool IsThreadRunning() const = 0;

protected:
    Owner m_owner;
};

// An engine whose input refused to close (Close returned false) may still be
// written into by that input: it is kept for the life of the process
// instead of destroyed.
void KeepUnclosedCapture(std::unique_ptr<CCapture> capture);
