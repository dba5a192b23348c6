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
//
// Life of an engine (moves with the device's mutex held; the state is one
// atomic, so the wave-input callback reads it without waiting on a lock):
//
//   Closed --Open--> Stopped --Start--> Capturing --Stop--> Stopped
//                            Capturing --StopDelivering--> Draining --> Stopped
//   Stopped --Close--> Closed
//
// A second Start or Stop changes nothing.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

class CDevice;

class CCapture {
public:
    enum class State { Closed, Stopped, Capturing, Draining };

    // What an engine needs of its device: where blocks go and the device's
    // mutex.
    struct Owner {
        CDevice& device;
        std::recursive_mutex& mutex;
    };

    explicit CCapture(const Owner& owner) : m_owner(owner) {}
    virtual ~CCapture() = default;
    CCapture(const CCapture&) = delete;
    CCapture& operator=(const CCapture&) = delete;

    // Mutex held. Starts capturing; false when the input refused or is
    // closed. True at once while capturing.
    virtual bool Start() = 0;
    // Mutex held. Stops capturing (the state drops first); nothing when not
    // capturing.
    virtual void Stop() = 0;
    // Mutex not held. Stops, ends the capture thread and gives the input
    // back; false (with the last error set) when the input refused to close.
    // The thread has ended either way.
    virtual bool Close() = 0;
    virtual bool IsThreadRunning() const = 0;

    State GetState() const { return m_state.load(); }
    bool IsCapturing() const { return m_state.load() == State::Capturing; }

protected:
    // Mutex held. Moves to `to` when the state is `from`; false, changing
    // nothing, otherwise.
    bool Move(State from, State to) { return m_state.compare_exchange_strong(from, to); }

    Owner m_owner;

private:
    std::atomic<State> m_state{State::Closed};
};

// An engine whose input refused to close (Close returned false) may still be
// written into by that input: it is kept for the life of the process
// instead of destroyed.
void KeepUnclosedCapture(std::unique_ptr<CCapture> capture);
