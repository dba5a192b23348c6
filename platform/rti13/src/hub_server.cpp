#include "hub_server.h"

#include "wire.h"

namespace hcyrti {

namespace {

// The frames waiting for one connection, callbacks included (the core
// appends them while it serves another connection).
struct Outbox final : CallbackSink {
    void Deliver(Message callback) override {
        if (overflow) return;
        Append(EncodeFrame(FrameKind::Callback, 0, callback));
    }
    void Append(const std::string& frame) {
        if (bytes.size() + frame.size() > kMaxPendingOutput)
            overflow = true;
        else
            bytes += frame;
    }
    std::string bytes;
    bool overflow = false;
};

}  // namespace

struct HubServer::Connection {
    Socket socket;
    FrameBuffer in;
    std::shared_ptr<Outbox> out = std::make_shared<Outbox>();
    Session session;
    bool closed = false;
};

HubServer::HubServer() = default;

HubServer::~HubServer() {
    for (auto& c : connections_) core_.Drop(c->session);
}

bool HubServer::Listen(std::uint16_t port, std::string& error) {
    return listener_.Listen(port, error);
}

void HubServer::Read(Connection& c) {
    char buffer[64 * 1024];
    const long n = c.socket.Receive(buffer, sizeof buffer, std::chrono::nanoseconds::zero());
    if (n < 0) {
        c.closed = true;
        return;
    }
    c.in.Append(buffer, static_cast<std::size_t>(n));
    std::string body;
    for (;;) {
        const FrameBuffer::Status status = c.in.Next(body);
        if (status == FrameBuffer::Status::Incomplete) return;
        Frame frame;
        if (status == FrameBuffer::Status::TooLong || !DecodeFrame(body, frame) ||
            frame.kind != FrameKind::Request) {
            c.closed = true;
            return;
        }
        Message reply = core_.Serve(c.session, frame.message);
        std::string encoded;
        try {
            encoded = EncodeFrame(FrameKind::Reply, frame.sequence, reply);
        } catch (const Failure& f) {
            Message refusal;
            refusal.code = static_cast<std::uint8_t>(f.error);
            refusal.texts = {f.what()};
            encoded = EncodeFrame(FrameKind::Reply, frame.sequence, refusal);
        }
        c.out->Append(encoded);
    }
}

void HubServer::Flush(Connection& c) {
    if (c.closed || c.out->bytes.empty()) return;
    const long sent = c.socket.SendSome(c.out->bytes);
    if (sent < 0)
        c.closed = true;
    else
        c.out->bytes.erase(0, static_cast<std::size_t>(sent));
}

void HubServer::Run(const std::atomic<bool>& stop) {
    std::vector<PollEntry> entries;
    while (!stop.load()) {
        entries.assign(1, PollEntry{listener_.Fd()});
        for (auto& c : connections_) entries.push_back({c->socket.Fd(), !c->out->bytes.empty()});
        PollSockets(entries, std::chrono::milliseconds(200));
        // Connections accepted now are polled from the next round on.
        const std::size_t polled = connections_.size();
        if (entries[0].readable)
            for (Socket s = listener_.Accept(); s.Valid(); s = listener_.Accept()) {
                connections_.push_back(std::make_unique<Connection>());
                connections_.back()->socket = std::move(s);
                connections_.back()->session.sink = connections_.back()->out;
            }
        for (std::size_t i = 0; i < polled; ++i)
            if (entries[i + 1].readable) Read(*connections_[i]);
        for (auto& c : connections_) {
            Flush(*c);
            if (c->out->overflow) c->closed = true;
        }
        for (std::size_t i = 0; i < connections_.size();) {
            if (!connections_[i]->closed) {
                ++i;
                continue;
            }
            // Resigning queues callbacks to the others: flushed next round.
            core_.Drop(connections_[i]->session);
            connections_.erase(connections_.begin() + static_cast<long>(i));
        }
    }
}

}  // namespace hcyrti
