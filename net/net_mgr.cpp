#include "net/net_mgr.h"

#include "core/messages.h"
#include "hcyplat/clock.h"

CNetMgr::CNetMgr() = default;

CNetMgr::~CNetMgr() {
    if (m_thread.Joinable()) Stop(std::chrono::seconds(40));
}

CNetMgr::Outcome CNetMgr::Start(std::chrono::milliseconds limit) {
    auto shared = m_shared;
    if (!m_thread.Start([this, shared] { Run(shared); }, "hcy-netmgr")) return Outcome::Failed;
    std::unique_lock<std::mutex> lock(shared->mutex);
    shared->changed.wait_for(lock, limit, [&] { return shared->startup != Outcome::Pending; });
    Outcome outcome = shared->startup;
    lock.unlock();
    if (outcome != Outcome::Succeeded) {
        // Either it failed (the thread ends by itself) or it did not answer:
        // ask it to end and wait for it, so that nothing is left running.
        plat::PostThreadMessage(m_thread.Id(), hcy::WM_NETMGR_STOP, 0, 0);
        m_thread.Join();
    }
    return outcome;
}

bool CNetMgr::Stop(std::chrono::milliseconds limit) {
    if (!m_thread.Joinable()) return true;
    auto shared = m_shared;
    plat::PostThreadMessage(m_thread.Id(), hcy::WM_NETMGR_STOP, 0, 0);
    std::unique_lock<std::mutex> lock(shared->mutex);
    bool acknowledged =
        shared->changed.wait_for(lock, limit, [&] { return shared->stopped; });
    lock.unlock();
    if (acknowledged) m_thread.Join();
    return acknowledged;
}

bool CNetMgr::Post(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam,
                   std::unique_ptr<plat::MessagePayload> payload) {
    if (!m_bRunning.load()) return false;
    return plat::PostThreadMessage(m_thread.Id(), message, wParam, lParam, std::move(payload));
}

void CNetMgr::Run(std::shared_ptr<Shared> shared) {
    const bool started = StartUp();
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->startup = started ? Outcome::Succeeded : Outcome::Failed;
    }
    shared->changed.notify_all();
    if (started) {
        m_bRunning.store(true);
        plat::MSG msg;
        while (plat::GetMessage(msg)) {
            if (msg.message == hcy::WM_NETMGR_STOP) break;
            HandleMessage(msg);
        }
        m_bRunning.store(false);
    }
    ShutDown();
    {
        std::lock_guard<std::mutex> lock(shared->mutex);
        shared->stopped = true;
    }
    shared->changed.notify_all();
}

bool CNetMgr::StartUp() { return true; }

void CNetMgr::HandleMessage(plat::MSG& msg) {
    switch (msg.message) {
    case hcy::WM_NETMGR_SET_PRIMARY_PORT:
        m_nPrimaryPort = static_cast<std::uint32_t>(msg.wParam);
        break;
    case hcy::WM_NETMGR_SET_SECONDARY_PORT:
        m_nSecondaryPort = static_cast<std::uint32_t>(msg.wParam);
        break;
    case hcy::WM_NETMGR_SET_BROADCAST_ADDRESS:
        if (auto* text = plat::PayloadAs<std::string>(msg.payload)) {
            (msg.wParam == 2 ? m_strSecondaryAddress : m_strPrimaryAddress) = *text;
        }
        break;
    case hcy::WM_NETMGR_HLA_INIT:
        if (auto* request = plat::PayloadAs<HlaInitRequest>(msg.payload)) {
            if (request->fomType != 1)
                request->completion->Complete(HLA_STATE_FAILED, "Invalid FOM type sent to HLAInit");
            else
                request->completion->Complete(HLA_STATE_FAILED,
                                              "No HLA run-time infrastructure is available.");
        }
        break;
    default:
        break;  // the payload, if any, is freed with the message
    }
}

void CNetMgr::ShutDown() {}
