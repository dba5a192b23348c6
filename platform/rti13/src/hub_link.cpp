// The link to the hub: requests go out as frames and wait for the reply of
// the same sequence; callbacks that arrive meanwhile, or between ticks, are
// kept in arrival order. No thread of its own: bytes are read inside the
// federate's calls and ticks.
#include "link.h"
#include "tcp.h"
#include "wire.h"

namespace hcyrti {

namespace {

constexpr std::chrono::seconds kReplyLimit{10};  // a hub on loopback answers in microseconds

class HubLink final : public Link {
public:
    HubLink(Socket socket, std::string address)
        : socket_(std::move(socket)), address_(std::move(address)) {}

    Message Call(const Message& request) override {
        if (lost_) Lose("was lost");
        if (++sequence_ == 0) ++sequence_;
        const std::uint32_t sequence = sequence_;
        if (!socket_.SendAll(EncodeFrame(FrameKind::Request, sequence, request), kReplyLimit))
            Lose("was lost while sending");
        const auto deadline = std::chrono::steady_clock::now() + kReplyLimit;
        for (;;) {
            Frame frame;
            while (NextFrame(frame)) {
                if (frame.kind == FrameKind::Reply && frame.sequence == sequence)
                    return std::move(frame.message);
                // A late reply to a request that timed out is dropped.
            }
            if (lost_) Lose("was lost");
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::nanoseconds::zero()) Lose("did not answer in time");
            ReadSome(left);
        }
    }

    void Take(std::deque<Message>& batch, std::chrono::nanoseconds wait) override {
        // What arrived before a loss is still delivered.
        if (callbacks_.empty()) {
            if (!lost_) ReadSome(wait);
            Frame frame;
            while (NextFrame(frame)) {}
        }
        for (Message& m : callbacks_) batch.push_back(std::move(m));
        callbacks_.clear();
    }

    bool Lost() const override { return lost_; }

private:
    void MarkLost() {
        lost_ = true;
        socket_.Close();
    }

    [[noreturn]] void Lose(const char* what) {
        MarkLost();
        throw Failure(Error::RTIinternalError,
                      "the connection to the RTI hub at " + address_ + " " + what);
    }

    // Buffers what has arrived; a closed or failed connection is marked lost
    // (what came before it stays buffered).
    void ReadSome(std::chrono::nanoseconds wait) {
        char buffer[64 * 1024];
        long total = 0;
        // At most 1 MiB per call, so that a flood cannot hold the caller.
        for (int reads = 0; reads < 16; ++reads) {
            const long n = socket_.Receive(buffer, sizeof buffer,
                                           total ? std::chrono::nanoseconds::zero() : wait);
            if (n < 0) {
                MarkLost();
                return;
            }
            if (n == 0) return;
            in_.Append(buffer, static_cast<std::size_t>(n));
            total += n;
        }
    }

    // The next reply, with callbacks before it moved to callbacks_; false when
    // no whole frame is buffered. A malformed stream loses the link.
    bool NextFrame(Frame& frame) {
        std::string body;
        for (;;) {
            const FrameBuffer::Status status = in_.Next(body);
            if (status == FrameBuffer::Status::Incomplete) return false;
            frame = Frame();
            if (status == FrameBuffer::Status::TooLong || !DecodeFrame(body, frame) ||
                frame.kind == FrameKind::Request) {
                MarkLost();
                in_ = FrameBuffer();
                return false;
            }
            if (frame.kind == FrameKind::Reply) return true;
            callbacks_.push_back(std::move(frame.message));
        }
    }

    Socket socket_;
    std::string address_;
    FrameBuffer in_;
    std::deque<Message> callbacks_;
    std::uint32_t sequence_ = 0;
    bool lost_ = false;
};

}  // namespace

std::unique_ptr<Link> OpenHubLink(const std::string& host, std::uint16_t port) {
    std::string error;
    Socket socket = ConnectLoopback(host, port, error);
    if (!socket.Valid()) throw Failure(Error::RTIinternalError, error);
    return std::make_unique<HubLink>(std::move(socket), host + ":" + std::to_string(port));
}

}  // namespace hcyrti
