#include "radio/radio_post.h"

#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "base/library.h"
#include "base/messages.h"
#include "base/thread_kinds.h"
#include "hcyplat/clock.h"
#include "hcyplat/thread_boundary.h"
#include "hcyplat/timer.h"

namespace hcy::radio {

namespace {

std::mutex g_hookMutex;
std::shared_ptr<const NetMgrHook> g_hook;

std::shared_ptr<const NetMgrHook> CurrentHook() {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    return g_hook;
}

// One queue for every radio's delayed PDUs, ordered by due time [ms]; a
// periodic timer services it while it is not empty. It is never destroyed,
// so that a timer callback can never outlive it.
class DelayQueue {
public:
    static DelayQueue& Instance() {
        static DelayQueue* queue = new DelayQueue;
        return *queue;
    }

    void Push(const void* owner, std::uint32_t delayMs, OutgoingPdu&& pdu) {
        const std::uint64_t now = Now();
        std::lock_guard<std::mutex> lock(m_mutex);
        // A shorter delay set meanwhile never lets a PDU overtake an earlier one.
        std::uint64_t due = now + delayMs;
        auto last = m_lastDue.find(owner);
        if (last != m_lastDue.end() && last->second > due) due = last->second;
        m_lastDue[owner] = due;
        m_items.emplace(due, Item{owner, std::move(pdu)});
        if (m_timerId == 0) {
            m_timerId =
                plat::timeSetEvent(kPeriodMs, 1, &DelayQueue::TimerProc,
                                   reinterpret_cast<plat::DWORD_PTR>(this), plat::TIME_PERIODIC);
        }
    }

    void Cancel(const void* owner) {
        plat::UINT stop = 0;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (auto it = m_items.begin(); it != m_items.end();)
                it = it->second.owner == owner ? m_items.erase(it) : std::next(it);
            m_lastDue.erase(owner);
            if (m_items.empty()) std::swap(stop, m_timerId);
        }
        if (stop != 0) plat::timeKillEvent(stop);
    }

private:
    static constexpr plat::UINT kPeriodMs = 5;  // delay accuracy [ms]

    struct Item {
        const void* owner;
        OutgoingPdu pdu;
    };

    // Milliseconds on the library clock, widened so that the 32-bit wrap
    // does not reorder the queue.
    std::uint64_t Now() {
        const plat::DWORD ms = plat::timeGetTime();
        std::lock_guard<std::mutex> lock(m_clockMutex);
        if (ms < m_lastMs) m_epoch += std::uint64_t{1} << 32;
        m_lastMs = ms;
        return m_epoch + ms;
    }

    static void TimerProc(plat::UINT timerId, plat::UINT, plat::DWORD_PTR user, plat::DWORD_PTR,
                          plat::DWORD_PTR) {
        auto* queue = static_cast<DelayQueue*>(reinterpret_cast<void*>(user));
        plat::ThreadBoundary(hcy::boundary::kDelayQueue, [&] { queue->Service(timerId); });
    }

    void Service(plat::UINT timerId) {
        const std::uint64_t now = Now();
        std::vector<OutgoingPdu> due;
        bool stop = false;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            while (!m_items.empty() && m_items.begin()->first <= now) {
                due.push_back(std::move(m_items.begin()->second.pdu));
                m_items.erase(m_items.begin());
            }
            if (m_items.empty()) {
                m_lastDue.clear();
                if (m_timerId == timerId) m_timerId = 0;
                stop = true;
            }
        }
        for (auto& pdu : due) PostPdu(std::move(pdu));
        if (stop) plat::timeKillEvent(timerId);  // from its own callback: only stops it
    }

    std::mutex m_mutex;
    std::multimap<std::uint64_t, Item> m_items;  // equal times keep queue order
    std::unordered_map<const void*, std::uint64_t> m_lastDue;
    plat::UINT m_timerId = 0;

    std::mutex m_clockMutex;
    plat::DWORD m_lastMs = 0;
    std::uint64_t m_epoch = 0;
};

}  // namespace

NetMgrHook SetNetMgrHookForTest(NetMgrHook hook) {
    std::shared_ptr<const NetMgrHook> next;
    if (hook) next = std::make_shared<const NetMgrHook>(std::move(hook));
    std::lock_guard<std::mutex> lock(g_hookMutex);
    std::shared_ptr<const NetMgrHook> previous = std::move(g_hook);
    g_hook = std::move(next);
    return previous ? *previous : NetMgrHook{};
}

hcy::net::PduHeader MakePduHeader(std::uint8_t type, std::uint8_t family, std::uint16_t length,
                                  std::uint32_t exerciseId) {
    hcy::net::PduHeader header{};
    header.protocolVersion = static_cast<std::uint8_t>(hcy::Library().m_nProtocolVersion.load());
    header.exerciseId = static_cast<std::uint8_t>(exerciseId & 0xFF);
    header.pduType = type;
    header.protocolFamily = family;
    header.timestamp = PduTimestamp();
    header.length = length;
    return header;
}

std::uint32_t PduTimestamp() { return plat::GetTickCount() * 1192u; }

bool NetMgrReady() {
    if (CurrentHook()) return true;
    auto netMgr = hcy::net::CurrentNetMgr();
    return netMgr && netMgr->IsRunning();
}

bool PostPdu(OutgoingPdu&& pdu) {
    if (auto hook = CurrentHook()) {
        NetMgrMessage m;
        m.message = hcy::WM_NETMGR_SEND_PDU;
        m.pdu = std::move(pdu);
        (*hook)(std::move(m));
        return true;
    }
    auto netMgr = hcy::net::CurrentNetMgr();
    if (!netMgr || !netMgr->IsRunning()) return false;
    return netMgr->Post(hcy::WM_NETMGR_SEND_PDU, 0, 0,
                        plat::MakePayload<OutgoingPdu>(std::move(pdu)));
}

bool PostNetMgrMessage(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam) {
    if (auto hook = CurrentHook()) {
        (*hook)(NetMgrMessage{message, wParam, lParam, std::nullopt});
        return true;
    }
    auto netMgr = hcy::net::CurrentNetMgr();
    return netMgr && netMgr->Post(message, wParam, lParam);
}

void QueueDelayedPdu(const void* owner, std::uint32_t delayMs, OutgoingPdu&& pdu) {
    DelayQueue::Instance().Push(owner, delayMs, std::move(pdu));
}

void CancelDelayedPdus(const void* owner) { DelayQueue::Instance().Cancel(owner); }

}  // namespace hcy::radio
