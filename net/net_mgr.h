#pragma once
// The network manager: the one thread through which every network operation
// passes. The rest of the system talks to it by posting thread messages
// (WM_NETMGR_*); the thread owns the two DIS sockets with their receive
// threads and the two PDU workers.
//
//   posters --WM_NETMGR_SEND_PDU--> manager: send router
//     -> primary / secondary socket (network order), loopback (source 4)
//   receive thread --OnDatagram--> DispatchReceived --WM_NETRX_*--> worker
//     -> host order -> the PduSink (net/pdu_sink.h) given at construction
//   WM_NETMGR_HLA_* --> the HLA manager (net/hla_manager.h), made by the
//     factory given at construction; while a federation is joined the loop
//     ticks its RTI between messages, so every RTI callback runs here
//
// Start-up and stop are reported through state shared with the caller, not
// through fields of a thread that may already be gone. A failed start-up
// stops whatever it started before it reports. The thread holds its own
// reference to the manager: a caller that gives up waiting for it (start-up
// or stop) leaves it to end on its own, and it frees itself then.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

#include "hcyplat/thread.h"
#include "net/hla_manager.h"
#include "net/pdu.h"
#include "net/pdu_sink.h"
#include "net/udp_socket.h"

class CDisSocket;

// HLA start-up states.
constexpr std::uint32_t HLA_STATE_NONE = 0;
constexpr std::uint32_t HLA_STATE_RUNNING = 1;
constexpr std::uint32_t HLA_STATE_FAILED = 2;

// The outcome of one HLA start-up request, shared by the caller that waits
// and the network manager that answers, so that a late answer never lands
// in a caller that has given up, and a caller never reads an older outcome.
class HlaInitCompletion {
public:
    void Complete(std::uint32_t state, std::string error = {}) {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_state = state;
            m_error = std::move(error);
        }
        m_changed.notify_all();
    }
    // The state once answered, or HLA_STATE_NONE when `limit` passed first.
    std::uint32_t Wait(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, limit, [&] { return m_state != HLA_STATE_NONE; });
        return m_state;
    }
    std::string Error() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_error;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint32_t m_state = HLA_STATE_NONE;
    std::string m_error;
};

// Heap record that travels with WM_NETMGR_HLA_INIT to the network manager.
struct HlaInitRequest {
    std::uint32_t fomType = 0;
    std::uint32_t createFederation = 0;
    std::string fedFilePath;  // empty: the default federation file
    std::uint32_t maxJoinTries = 0;
    std::string federation;  // owned copy of the caller's name
    std::shared_ptr<HlaInitCompletion> completion = std::make_shared<HlaInitCompletion>();
};

// Payload of WM_NETMGR_SEND_PDU: a PDU in host order and where it goes.
// request.length is the number of bytes of `pdu` to send; the router refuses
// a request whose length is 0, above 65535, beyond `pdu` or shorter than its
// type's fixed part.
struct OutgoingPdu {
    hcy::net::PduSendRequest request;
    std::vector<std::byte> pdu;
};

class CNetMgr : public std::enable_shared_from_this<CNetMgr> {
public:
    // Outcome of start-up or stop, shared by the thread and the caller.
    enum class Outcome { Pending, Succeeded, Failed };

    // A socket as the manager last left it (for checks and tests).
    struct SocketStatus {
        bool open = false;
        std::uint32_t port = 0;  // the port asked for
        hcy::net::Ipv4 boundAddress = 0;
        std::uint16_t boundPort = 0;
        bool joinedGroup = false;
        int multicastTtl = -1;
        bool multicastLoop = false;
        std::string destination;  // the network's destination text
        std::uint32_t opens = 0;  // successful opens so far
    };

    // Makes the HLA manager of a FOM type (1: RPR FOM 1.0); null for a type
    // it does not know. Called on the network manager's thread.
    using HlaManagerFactory =
        std::function<std::unique_ptr<hcy::net::HlaManager>(std::uint32_t fomType)>;

    // Received PDUs go to `sink`, which must outlive the manager. The
    // manager is owned by a shared_ptr (its thread holds one too). Without
    // a factory every HLA start-up fails.
    explicit CNetMgr(hcy::net::PduSink& sink, HlaManagerFactory hlaFactory = {});
    ~CNetMgr();
    CNetMgr(const CNetMgr&) = delete;
    CNetMgr& operator=(const CNetMgr&) = delete;

    // Starts the thread and waits for its start-up outcome: the primary
    // socket open (Succeeded), a failure (Failed, returned at once, the
    // thread joined), or no word within `limit` (Pending: the thread is told
    // to stop and left to end on its own). Never published on anything but
    // Succeeded. A second Start starts nothing: Succeeded while the thread
    // runs, Pending once a caller gave up on it, else Failed.
    Outcome Start(std::chrono::milliseconds limit);

    // Posts WM_NETMGR_STOP and waits at most `limit` for the thread to close
    // the sockets and end the workers; then joins it. Returns false when it
    // did not acknowledge in time: the thread is then left to end on its own
    // (it keeps the manager alive until it does), and a later Stop gives up
    // at once. A manager that never started, failed to or is stopped already
    // has nothing to stop: true. Any thread; one Start or Stop at a time.
    bool Stop(std::chrono::milliseconds limit);

    // Posts a message to the thread. False when the thread is not running or
    // its queue is full; the payload is destroyed then.
    bool Post(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam,
              std::unique_ptr<plat::MessagePayload> payload = nullptr);

    plat::ThreadId ThreadId() const { return m_thread.Id(); }
    bool SetPriority(int priority) { return m_thread.SetPriority(priority); }
    int Priority() const { return m_thread.RequestedPriority(); }

    bool IsRunning() const { return m_state.load() == State::Running; }
    std::uint32_t HlaState() const { return m_nHlaState.load(); }

    // The receive road's entry for one datagram from a socket of `sourceBits`
    // (called by the receive threads): filter, then DispatchReceived.
    void OnDatagram(std::span<const std::byte> datagram, std::uint32_t sourceBits);
    // Copies a kept PDU (type as hcy::net::ClassifyPdu gives it) and posts it
    // to its worker; true when posted. Drops what is too short, of a type not
    // received or of no source. Any thread.
    bool DispatchReceived(int type, std::span<const std::byte> data, std::uint32_t sourceBits);

    // Status of socket `kind` (1 primary, 2 secondary). Any thread.
    SocketStatus GetSocketStatus(std::uint32_t kind) const;
    // Thread id of PDU worker 0 or 1 (0: none).
    plat::ThreadId WorkerId(std::size_t worker) const { return m_nWorkerId[worker & 1].load(); }
    // WM_NETMGR_HEARTBEAT messages handled so far.
    std::uint32_t HeartbeatsHandled() const { return m_nHeartbeats.load(); }

private:
    // The thread's life as its callers see it:
    //
    //   Idle -Start-> Starting -> Running -Stop-> Stopping -> Stopped
    //                 Starting -> Failed  (start-up failed; the thread ends)
    //   Starting, Stopping -a caller gives up waiting-> Abandoned
    //
    // Abandoned and Failed are final: the thread ends on its own then (a
    // failed start-up's is joined by Start). Transitions under m_stateMutex;
    // m_stateChanged wakes the caller waiting for one.
    enum class State { Idle, Starting, Running, Stopping, Stopped, Failed, Abandoned };
    // The thread's own moves: `to` when the state is `from`.
    void MoveState(State from, State to);
    // Tells the thread to end (state mutex held): a join still trying
    // gives up, and the loop ends at WM_NETMGR_STOP.
    void AskToStop();

    void Run();
    bool StartUp();
    void ShutDown();
    void HandleMessage(plat::MSG& msg);
    void WorkerLoop(std::atomic<bool>& running);

    // Handlers.
    void OnSendPdu(OutgoingPdu& outgoing);
    void OnSetPort(std::uint32_t kind, std::uint32_t requested);
    void OnSetBroadcastAddress(plat::WPARAM network, const std::string* text);
    void OnSetMulticastTtl(plat::WPARAM network, plat::LPARAM ttl);
    void OnHlaInit(HlaInitRequest& request);
    void OnHlaMessage(const plat::MSG& msg);
    // The HLA manager while a federation is joined, else null.
    hcy::net::HlaManager* JoinedHla() const;
    // One turn of the joined federation's RTI; true when more is pending.
    bool TickHla();
    void StopHla();

    // One DIS network: its socket and settings, touched only on the
    // manager's thread, and the status published from them.
    struct Network {
        Network(std::uint32_t kind, const char* name, const char* portKey, const char* broadcastKey,
                std::uint32_t port);
        ~Network();
        const std::uint32_t kind;  // NET_PRIMARY or NET_SECONDARY
        const char* const name;    // in messages
        // Configuration keys (section "Network") that override a request.
        const char* const portKey;
        const char* const broadcastKey;
        std::uint32_t port;  // asked for; the secondary opens nothing at 0
        std::unique_ptr<CDisSocket> socket;
        bool open = false;
        std::string address;  // destination text
        SocketStatus status;  // guarded by m_statusMutex
    };
    // NET_SECONDARY names the secondary network; any other kind the primary.
    Network& NetworkOf(std::uint32_t kind) {
        return kind == NET_SECONDARY ? m_secondary : m_primary;
    }
    const Network& NetworkOf(std::uint32_t kind) const {
        return kind == NET_SECONDARY ? m_secondary : m_primary;
    }

    // Sockets.
    bool OpenSocket(Network& network);
    void CloseSocket(Network& network);
    void PublishStatus(Network& network);

    hcy::net::PduSink& m_sink;
    HlaManagerFactory m_hlaFactory;
    plat::Thread m_thread;
    std::mutex m_callerMutex;  // one Start or Stop at a time
    std::mutex m_stateMutex;
    std::condition_variable m_stateChanged;
    std::atomic<State> m_state{State::Idle};  // written under m_stateMutex
    std::atomic<std::uint32_t> m_nHlaState{HLA_STATE_NONE};
    std::atomic<std::uint32_t> m_nHeartbeats{0};
    // Raised with every request to end (AskToStop): the HLA join's abandon
    // token, which only ever follows the state.
    std::atomic<bool> m_bStopRequested{false};

    // The two PDU workers; every PDU of one entity goes to the same one
    // (hcy::net::WorkerFor), so that its transmitters' PDUs stay in order.
    plat::Thread m_workers[2];
    std::atomic<bool> m_bWorkerRunning[2] = {false, false};
    std::atomic<plat::ThreadId> m_nWorkerId[2] = {0, 0};

    Network m_primary{NET_PRIMARY, "primary", "PrimPort", "PrimBroadcast", 3000};
    Network m_secondary{NET_SECONDARY, "secondary", "SecPort", "SecBroadcast", 0};
    std::vector<std::byte> m_sendBuffer;  // network-order copy of the PDU being sent
    std::unique_ptr<hcy::net::HlaManager> m_pHlaMgr;

    mutable std::mutex m_statusMutex;  // the networks' status
};

namespace hcy::net {

// The network manager of the running library: published by the application
// object once hcyInit has started one, withdrawn by hcyExit (null before and
// after). Radios and interphones reach the manager through it. Any thread.
std::shared_ptr<CNetMgr> CurrentNetMgr();
void PublishNetMgr(std::shared_ptr<CNetMgr> netMgr);
// Takes the published manager away and returns it (null when none).
std::shared_ptr<CNetMgr> WithdrawNetMgr();

}  // namespace hcy::net
