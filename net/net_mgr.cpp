#include "net/net_mgr.h"

#include "base/library.h"
#include "base/messages.h"
#include "base/thread_kinds.h"
#include "hcyplat/thread_boundary.h"
#include "net/dis_socket.h"
#include "net/hla_record.h"
#include "net/receive_road.h"

using namespace hcy::net;

namespace {

std::mutex g_currentMutex;
std::shared_ptr<CNetMgr> g_current;

}  // namespace

namespace hcy::net {

std::shared_ptr<CNetMgr> CurrentNetMgr() {
    std::lock_guard<std::mutex> lock(g_currentMutex);
    return g_current;
}

void PublishNetMgr(std::shared_ptr<CNetMgr> netMgr) {
    std::lock_guard<std::mutex> lock(g_currentMutex);
    g_current = std::move(netMgr);
}

std::shared_ptr<CNetMgr> WithdrawNetMgr() {
    std::lock_guard<std::mutex> lock(g_currentMutex);
    return std::move(g_current);
}

}  // namespace hcy::net

namespace {

// Loop timing while a federation is joined [ms]: with nothing pending the
// loop waits this long for a message before it ticks again (an idle tick
// returns at once); tick mode 2 waits its 3 ms after every tick.
constexpr auto kHlaIdleWait = std::chrono::milliseconds(2);
constexpr auto kHlaTickMode2Wait = std::chrono::milliseconds(3);

}  // namespace

CNetMgr::CNetMgr(PduSink& sink, HlaManagerFactory hlaFactory)
    : m_sink(sink), m_hlaFactory(std::move(hlaFactory)) {}

// By the time the manager goes, its thread has ended: the thread holds a
// reference until then, and a manager that was never started has none. When
// the last reference was the thread's own, this runs on that thread, and its
// plat::Thread lets go of itself.
CNetMgr::~CNetMgr() = default;

// ---------------------------------------------------------------------------
// Start and stop, seen from the caller

CNetMgr::Outcome CNetMgr::Start(std::chrono::milliseconds limit) {
    // The thread's reference: the manager lives as long as its thread.
    auto self = shared_from_this();
    std::lock_guard<std::mutex> caller(m_callerMutex);
    std::unique_lock<std::mutex> lock(m_stateMutex);
    if (m_state == State::Idle) {
        m_state = State::Starting;
        lock.unlock();
        const bool started = m_thread.Start([this, self] { Run(); }, "hcy-netmgr");
        lock.lock();
        if (!started) m_state = State::Failed;
        m_stateChanged.wait_for(lock, limit, [&] { return m_state != State::Starting; });
        if (m_state == State::Starting) {
            // No word in time: it is told to end once it gets to its
            // messages, and left to do so on its own.
            AskToStop();
            m_state = State::Abandoned;
            return Outcome::Pending;
        }
        if (m_state == State::Failed && started) {
            // It stops what it started before it says so: it is ending.
            lock.unlock();
            m_thread.Join();
            return Outcome::Failed;
        }
    }
    if (m_state == State::Running) return Outcome::Succeeded;
    return m_state == State::Abandoned ? Outcome::Pending : Outcome::Failed;
}

bool CNetMgr::Stop(std::chrono::milliseconds limit) {
    std::lock_guard<std::mutex> caller(m_callerMutex);
    std::unique_lock<std::mutex> lock(m_stateMutex);
    if (m_state == State::Abandoned) return false;
    // Never started, failed (Start joined it) or stopped and joined before.
    if (m_state == State::Idle || m_state == State::Failed || !m_thread.Joinable()) return true;
    if (m_state == State::Running) m_state = State::Stopping;
    AskToStop();
    if (!m_stateChanged.wait_for(lock, limit, [&] { return m_state == State::Stopped; })) {
        m_state = State::Abandoned;  // it ends on its own; nobody waits for it again
        return false;
    }
    lock.unlock();
    m_thread.Join();
    return true;
}

void CNetMgr::AskToStop() {
    m_bStopRequested = true;
    plat::PostThreadMessage(m_thread.Id(), hcy::WM_NETMGR_STOP, 0, 0);
}

void CNetMgr::MoveState(State from, State to) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        if (m_state != from) return;
        m_state = to;
    }
    m_stateChanged.notify_all();
}

bool CNetMgr::Post(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam,
                   std::unique_ptr<plat::MessagePayload> payload) {
    if (m_state.load() != State::Running) return false;
    return plat::PostThreadMessage(m_thread.Id(), message, wParam, lParam, std::move(payload));
}

// ---------------------------------------------------------------------------
// The thread

void CNetMgr::Run() {
    // Whatever throws, the outcome and the stop are still told: a start-up
    // that throws failed, a handler that throws loses its message only.
    bool started = false;
    plat::ThreadBoundary(hcy::boundary::kNetMgrStartUp, [&] { started = StartUp(); });
    // Running before the outcome is told, so that the caller's first posts
    // (the destinations) are taken. A caller that gave up keeps Abandoned.
    MoveState(State::Starting, started ? State::Running : State::Failed);
    if (started) {
        // Without a federation the loop blocks in the message wait. While
        // one is joined it handles what is waiting, ticks the RTI, and waits
        // for a message only when the RTI has nothing pending.
        plat::MSG msg;
        for (;;) {
            bool got = false;
            if (!JoinedHla()) {
                got = plat::GetMessage(msg);
                if (!got) break;  // WM_QUIT
            } else if (!(got = plat::PeekMessage(msg))) {
                const bool pending = TickHla();
                const bool mode2 = hcy::Library().m_nHlaTickMode.load() == 2;
                if (pending && !mode2) continue;
                got = plat::WaitMessage(msg, mode2 ? kHlaTickMode2Wait : kHlaIdleWait);
                if (!got) continue;
            }
            if (msg.message == hcy::WM_NETMGR_STOP || msg.message == plat::WM_QUIT) break;
            plat::ThreadBoundary(hcy::boundary::kNetMgrMessage, [&] { HandleMessage(msg); });
        }
        MoveState(State::Running, State::Stopping);
    }
    plat::ThreadBoundary(hcy::boundary::kNetMgrShutDown, [&] { ShutDown(); });
    MoveState(State::Stopping, State::Stopped);
}

bool CNetMgr::StartUp() {
    // Workers first, so that the sockets have somewhere to post. Both carry
    // audio: both run at time-critical priority.
    for (std::size_t i = 0; i < 2; ++i) {
        std::atomic<bool>& running = m_bWorkerRunning[i];
        if (!m_workers[i].Start([this, &running] { WorkerLoop(running); },
                                i == 0 ? "hcy-rx-pdu0" : "hcy-rx-pdu1"))
            return false;
        m_nWorkerId[i] = m_workers[i].Id();
        m_workers[i].SetPriority(plat::THREAD_PRIORITY_TIME_CRITICAL);
    }

    // The primary socket opens on its stored port (3000 unless changed) with
    // the default destination; the secondary opens nothing while its port
    // is 0.
    for (Network* network : {&m_primary, &m_secondary}) {
        network->socket = std::make_unique<CDisSocket>(this, network->kind);
        OpenSocket(*network);
    }
    return m_primary.open;
}

void CNetMgr::ShutDown() {
    // Sockets first: once their receive threads have ended nothing posts to
    // the workers any more (loopback posts come from this thread).
    for (Network* network : {&m_primary, &m_secondary}) {
        if (!network->socket) continue;
        CloseSocket(*network);
        network->socket.reset();
    }
    // Each worker handles what is already queued, then ends.
    for (std::size_t i = 0; i < 2; ++i) {
        if (!m_workers[i].Joinable()) continue;
        plat::PostThreadMessage(m_workers[i].Id(), hcy::WM_NETMGR_STOP, 0, 0);
        m_workers[i].Join();
        m_nWorkerId[i] = 0;
    }
    StopHla();
}

void CNetMgr::StopHla() {
    // A joined federate resigns; a failed manager never stays joined.
    if (m_pHlaMgr && m_nHlaState.load() == HLA_STATE_RUNNING) m_pHlaMgr->Resign();
    m_nHlaState = HLA_STATE_NONE;
    m_pHlaMgr.reset();
}

void CNetMgr::HandleMessage(plat::MSG& msg) {
    switch (msg.message) {
    case hcy::WM_NETMGR_HEARTBEAT: ++m_nHeartbeats; break;
    case hcy::WM_NETMGR_SET_PRIMARY_PORT:
        OnSetPort(NET_PRIMARY, static_cast<std::uint32_t>(msg.wParam));
        break;
    case hcy::WM_NETMGR_SET_SECONDARY_PORT:
        OnSetPort(NET_SECONDARY, static_cast<std::uint32_t>(msg.wParam));
        break;
    case hcy::WM_NETMGR_SET_BROADCAST_ADDRESS:
        OnSetBroadcastAddress(msg.wParam, plat::PayloadAs<std::string>(msg.payload));
        break;
    case hcy::WM_NETMGR_SET_MULTICAST_TTL: OnSetMulticastTtl(msg.wParam, msg.lParam); break;
    case hcy::WM_NETMGR_SEND_PDU:
        if (auto* outgoing = plat::PayloadAs<OutgoingPdu>(msg.payload)) OnSendPdu(*outgoing);
        break;
    case hcy::WM_NETMGR_HLA_INIT:
        if (auto* request = plat::PayloadAs<HlaInitRequest>(msg.payload)) OnHlaInit(*request);
        break;
    default:
        if (msg.message >= hcy::WM_NETMGR_HLA_REGISTER_OBJECT &&
            msg.message <= hcy::WM_NETMGR_HLA_REQUEST_UPDATE)
            OnHlaMessage(msg);
        break;
    }
}

// ---------------------------------------------------------------------------
// HLA

HlaManager* CNetMgr::JoinedHla() const {
    return m_nHlaState.load() == HLA_STATE_RUNNING ? m_pHlaMgr.get() : nullptr;
}

bool CNetMgr::TickHla() {
    bool pending = false;
    HlaManager* hla = JoinedHla();
    // The manager catches what the RTI throws; the boundary is for anything
    // else, which loses this tick only.
    plat::ThreadBoundary(hcy::boundary::kNetMgrHlaTick,
                         [&] { pending = hla->Tick(hcy::Library().m_nHlaTickMode.load() == 2); });
    return pending;
}

void CNetMgr::OnHlaInit(HlaInitRequest& request) {
    // A joined federation stays; a failed manager (never left joined) is
    // replaced by a new attempt.
    if (JoinedHla()) {
        request.completion->Complete(HLA_STATE_RUNNING);
        return;
    }
    m_pHlaMgr.reset();
    m_nHlaState = HLA_STATE_NONE;
    // The caller is told in every case, also when making the manager throws
    // (an RTI's ambassador may refuse to be made).
    try {
        if (m_hlaFactory) m_pHlaMgr = m_hlaFactory(request.fomType);
        if (!m_pHlaMgr) {
            hcy::Library().SetError("Invalid FOM type sent to HLAInit");
        } else if (m_pHlaMgr->Join(request.federation, request.fedFilePath, request.maxJoinTries,
                                   request.createFederation != 0, &m_bStopRequested)) {
            m_nHlaState = HLA_STATE_RUNNING;
        }
    } catch (const std::exception& e) {
        hcy::Library().SetErrorf("Could not start the HLA manager: %s", e.what());
    }
    if (m_nHlaState.load() != HLA_STATE_RUNNING) m_nHlaState = HLA_STATE_FAILED;
    request.completion->Complete(m_nHlaState.load());
}

// The requests of radios and of the federate ambassador, taken only while a
// federation is joined.
void CNetMgr::OnHlaMessage(const plat::MSG& msg) {
    HlaManager* hla = JoinedHla();
    if (!hla) return;
    const auto object = static_cast<std::uint32_t>(msg.wParam);
    const auto value = static_cast<std::uint32_t>(msg.lParam);
    switch (msg.message) {
    case hcy::WM_NETMGR_HLA_REGISTER_OBJECT:
        hla->RegisterRadio(object, static_cast<int>(msg.lParam));
        break;
    case hcy::WM_NETMGR_HLA_DELETE_OBJECT: hla->DeleteObject(value); break;
    case hcy::WM_NETMGR_HLA_UPDATE_ATTRIBUTES: hla->UpdateRadio(object, value); break;
    case hcy::WM_NETMGR_HLA_ATTRIBUTES_ON:
    case hcy::WM_NETMGR_HLA_ATTRIBUTES_OFF:
    case hcy::WM_NETMGR_HLA_RADIO_VALUE:
        hla->SetRadioHlaData(object, static_cast<int>(msg.message),
                             static_cast<std::int32_t>(msg.lParam));
        break;
    case hcy::WM_NETMGR_HLA_SIGNAL_ENABLE: hla->SetSignalEnable(msg.lParam != 0); break;
    case hcy::WM_NETMGR_HLA_REQUEST_UPDATE: hla->RequestUpdate(object, value); break;
    default: break;
    }
}

// ---------------------------------------------------------------------------
// Workers

void CNetMgr::WorkerLoop(std::atomic<bool>& running) {
    running = true;
    std::vector<std::byte> scratch;  // host-order copy, reused for every PDU
    scratch.reserve(kMaxDatagramSize);
    // A PDU whose dispatch throws is lost; the worker goes on with the next.
    auto handle = [&](const plat::MSG& msg) {
        const auto decoded = DecodeRxMessage(msg.message);
        if (!decoded) return;  // not a received PDU: discarded
        const RxKind kind = decoded->first;
        const bool audio = kind == RxKind::Signal || kind == RxKind::IcsAudio;
        plat::ThreadBoundary(audio ? hcy::boundary::kAudioWorker : hcy::boundary::kXmitWorker, [&] {
            if (auto* bytes = plat::PayloadAs<std::vector<std::byte>>(msg.payload))
                DeliverReceived(m_sink, kind, *bytes, decoded->second, scratch);
        });
    };
    plat::MSG msg;
    while (plat::GetMessage(msg)) {
        if (msg.message == hcy::WM_NETMGR_STOP) break;
        handle(msg);
    }
    while (plat::PeekMessage(msg)) handle(msg);  // what was queued before the stop
    running = false;
}

// ---------------------------------------------------------------------------
// Receive road entry

void CNetMgr::OnDatagram(std::span<const std::byte> datagram, std::uint32_t sourceBits) {
    const int type = ClassifyPdu(datagram, hcy::Library().m_bAcceptEntityState.load());
    if (type >= 0) DispatchReceived(type, datagram, sourceBits);
}

bool CNetMgr::DispatchReceived(int type, std::span<const std::byte> data,
                               std::uint32_t sourceBits) {
    const auto route = RouteReceived(type, data.size(), sourceBits);
    if (!route) return false;
    const plat::ThreadId worker = m_nWorkerId[WorkerFor(data)].load();
    if (worker == 0) return false;
    // A failed post (queue full, worker gone) destroys the copy.
    return plat::PostThreadMessage(
        worker, route->message, 0, static_cast<plat::LPARAM>(data.size()),
        plat::MakePayload<std::vector<std::byte>>(data.begin(), data.end()));
}

// ---------------------------------------------------------------------------
// Send router

void CNetMgr::OnSendPdu(OutgoingPdu& outgoing) {
    const PduSendRequest& request = outgoing.request;
    const std::uint32_t length = request.length;
    // Lengths the PDU does not really have, and requests shorter than their
    // type's fixed part (which the converters and the HLA hand-off rely on),
    // are refused like a length of 0.
    if (length == 0 || length > kMaxSendLength || length > outgoing.pdu.size() || length < 3)
        return;
    const auto type = std::to_integer<std::uint8_t>(outgoing.pdu[2]);
    if (type == PDU_TYPE_ENTITY_STATE) return;  // received only
    const std::size_t fixedPart = FixedPartSize(type);
    if (fixedPart == 0 || length < fixedPart) return;

    const std::uint32_t flags = request.networkFlags;
    const bool toNetworkOrLoopback = (flags & (NET_PRIMARY | NET_SECONDARY | NET_LOOPBACK)) != 0;
    const std::span<const std::byte> host(outgoing.pdu.data(), length);
    m_sendBuffer.resize(length);
    const std::span<std::byte> net(m_sendBuffer.data(), length);
    std::size_t converted = 0;
    HlaManager* hla = (flags & NET_HLA) ? JoinedHla() : nullptr;
    switch (type) {
    case PDU_TYPE_TRANSMITTER:
        if (toNetworkOrLoopback) converted = TransmitterPduToNet(host, net);
        if (hla && hcy::Library().m_bHlaHeartbeat.load()) {
            if (auto pdu = ReadRecord<TransmitterPdu>(host))
                hla->UpdateFromTransmitterPdu(HLA_ATTR_ALL, *pdu, request);
        }
        break;
    case PDU_TYPE_SIGNAL:
        converted = SignalPduToNet(host, net);
        if (hla && converted != 0) {
            // The manager is told the audio's byte count, not the PDU's
            // (`length` keeps the PDU's for the sockets).
            outgoing.request.length = length - static_cast<std::uint32_t>(SIGNAL_PDU_HEADER_SIZE);
            hla->SendSignal(reinterpret_cast<const unsigned char*>(net.data()), net.size(),
                            outgoing.request);
        }
        break;
    case PDU_TYPE_RECEIVER:
        if (toNetworkOrLoopback) converted = ReceiverPduToNet(host, net);
        break;
    case PDU_TYPE_ICS_TRANSMITTER:
        if (toNetworkOrLoopback) converted = IcsTransmitterPduToNet(host, net);
        break;
    case PDU_TYPE_ICS_SIGNAL: converted = IcsSignalPduToNet(host, net); break;
    default: return;
    }
    if (converted == 0) return;

    const std::uint32_t networks = NetworkBits(flags, type);
    for (Network* network : {&m_primary, &m_secondary})
        if ((networks & network->kind) && network->open)
            network->socket->SendPdu(net, network->address, network->port);
    // Back into the receive road as if from the network (a Receiver PDU is
    // dropped there: nothing receives it).
    if (flags & NET_LOOPBACK) DispatchReceived(type, net, NET_LOOPBACK);
}

// ---------------------------------------------------------------------------
// Settings

void CNetMgr::OnSetPort(std::uint32_t kind, std::uint32_t requested) {
    Network& network = NetworkOf(kind);
    const int configured = hcy::Library().GetProfileInt("Network", network.portKey, -1);
    const std::uint32_t port =
        configured != -1 ? static_cast<std::uint32_t>(configured) : requested;
    if (port > 0xFFFF) {
        // Out of range (the exports refuse such a request; the configuration
        // may still name one): the socket stays as it is.
        hcy::Library().SetErrorf("Invalid port %u for the %s network.", port, network.name);
        return;
    }
    network.port = port;
    OpenSocket(network);
}

void CNetMgr::OnSetBroadcastAddress(plat::WPARAM kind, const std::string* text) {
    Network& network = NetworkOf(static_cast<std::uint32_t>(kind));
    const std::string configured =
        hcy::Library().GetProfileString("Network", network.broadcastKey, "");
    if (!configured.empty())
        network.address = configured;
    else if (text)
        network.address = *text;
    // Sending uses the new text at once; binding follows at the next open.
    if (network.socket) network.socket->m_strDestination = network.address;
    std::lock_guard<std::mutex> lock(m_statusMutex);
    network.status.destination = network.address;
}

void CNetMgr::OnSetMulticastTtl(plat::WPARAM kind, plat::LPARAM ttl) {
    Network& network = NetworkOf(static_cast<std::uint32_t>(kind));
    if (network.socket) network.socket->m_nMulticastTtl = static_cast<std::uint32_t>(ttl);
}

// ---------------------------------------------------------------------------
// Sockets

CNetMgr::Network::Network(std::uint32_t kind_, const char* name_, const char* portKey_,
                          const char* broadcastKey_, std::uint32_t port_)
    : kind(kind_), name(name_), portKey(portKey_), broadcastKey(broadcastKey_), port(port_) {}

CNetMgr::Network::~Network() = default;

bool CNetMgr::OpenSocket(Network& network) {
    if (!network.socket) return false;
    CloseSocket(network);
    if (network.kind == NET_SECONDARY && network.port == 0) {
        PublishStatus(network);
        return false;
    }
    network.open =
        network.socket->OpenSocket(network.port) == 1 && network.socket->StartReceiving();
    if (!network.open) network.socket->Close();  // stays in place, closed, for a later reopen
    PublishStatus(network);
    return network.open;
}

void CNetMgr::CloseSocket(Network& network) {
    network.open = false;
    if (network.socket) network.socket->Close();
    PublishStatus(network);
}

void CNetMgr::PublishStatus(Network& network) {
    std::lock_guard<std::mutex> lock(m_statusMutex);
    SocketStatus& status = network.status;
    const bool wasOpen = status.open;
    status.open = network.open;
    status.port = network.port;
    status.destination = network.address;
    if (status.open && network.socket) {
        const auto& binding = network.socket->LastBinding();
        status.boundAddress = binding.address;
        status.boundPort = binding.port;
        status.joinedGroup = binding.joinedGroup;
        status.multicastTtl = binding.multicastTtl;
        status.multicastLoop = binding.multicastLoop;
        if (!wasOpen) ++status.opens;
    }
}

CNetMgr::SocketStatus CNetMgr::GetSocketStatus(std::uint32_t kind) const {
    std::lock_guard<std::mutex> lock(m_statusMutex);
    return NetworkOf(kind).status;
}
