#pragma once
// The network manager: the one thread through which every network operation
// passes. The rest of the system talks to it by posting thread messages
// (WM_NETMGR_*); the thread owns the sockets, their receive threads and the
// PDU workers.
//
// Start-up and stop are reported through state shared with the caller, not
// through fields of a thread that may already be gone.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "core/app.h"
#include "hcyplat/thread.h"

class CNetMgr : public std::enable_shared_from_this<CNetMgr> {
public:
    // Outcome of start-up or stop, shared by the thread and the caller.
    enum class Outcome { Pending, Succeeded, Failed };

    CNetMgr();
    ~CNetMgr();
    CNetMgr(const CNetMgr&) = delete;
    CNetMgr& operator=(const CNetMgr&) = delete;

    // Starts the thread and waits for its start-up outcome: the primary
    // socket open (Succeeded), a failure (Failed, returned at once), or no
    // word within `limit` (Pending). On anything but Succeeded nothing is
    // left running.
    Outcome Start(std::chrono::milliseconds limit);

    // Posts WM_NETMGR_STOP and waits at most `limit` for the thread to
    // acknowledge; then joins it. Returns false when it did not acknowledge
    // in time (the thread is then left to end on its own; it touches only
    // state it shares).
    bool Stop(std::chrono::milliseconds limit);

    // Posts a message to the thread. False when the thread is not running or
    // its queue is full; the payload is destroyed then.
    bool Post(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam,
              std::unique_ptr<plat::MessagePayload> payload = nullptr);

    plat::ThreadId ThreadId() const { return m_thread.Id(); }
    bool SetPriority(int priority) { return m_thread.SetPriority(priority); }
    int Priority() const { return m_thread.RequestedPriority(); }

    bool IsRunning() const { return m_bRunning.load(); }
    std::uint32_t HlaState() const { return m_nHlaState.load(); }

private:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        Outcome startup = Outcome::Pending;
        bool stopped = false;
    };

    void Run(std::shared_ptr<Shared> shared);
    bool StartUp();
    void HandleMessage(plat::MSG& msg);
    void ShutDown();

    plat::Thread m_thread;
    std::shared_ptr<Shared> m_shared = std::make_shared<Shared>();
    std::atomic<bool> m_bRunning{false};
    std::atomic<std::uint32_t> m_nHlaState{HLA_STATE_NONE};

    // Settings, touched only on the manager's thread.
    std::uint32_t m_nPrimaryPort = 3000;
    std::uint32_t m_nSecondaryPort = 0;
    std::string m_strPrimaryAddress;
    std::string m_strSecondaryAddress;
};
