// The link to the core of this process, and the reading of federation names.
#include <condition_variable>
#include <mutex>

#include "federation_core.h"
#include "link.h"

namespace hcyrti {

namespace {

// Callbacks for one federate, queued by the core (any thread) and taken by
// the federate's tick.
class CallbackQueue final : public CallbackSink {
public:
    void Deliver(Message callback) override {
        {
            std::lock_guard lock(mu_);
            queue_.push_back(std::move(callback));
        }
        cv_.notify_one();
    }

    void Take(std::deque<Message>& batch, std::chrono::nanoseconds wait) {
        std::unique_lock lock(mu_);
        if (queue_.empty() && wait > std::chrono::nanoseconds::zero())
            cv_.wait_for(lock, wait, [this] { return !queue_.empty(); });
        while (!queue_.empty()) {
            batch.push_back(std::move(queue_.front()));
            queue_.pop_front();
        }
    }

private:
    std::mutex mu_;
    std::condition_variable cv_;
    std::deque<Message> queue_;
};

class InProcessLink final : public Link {
public:
    InProcessLink() : queue_(std::make_shared<CallbackQueue>()) { session_.sink = queue_; }
    ~InProcessLink() override { core_.Drop(session_); }

    Message Call(const Message& request) override { return core_.Serve(session_, request); }
    void Take(std::deque<Message>& batch, std::chrono::nanoseconds wait) override {
        queue_->Take(batch, wait);
    }

private:
    FederationCore& core_ = FederationCore::InProcess();
    std::shared_ptr<CallbackQueue> queue_;
    Session session_;
};

[[noreturn]] void BadName(const std::string& name, const char* why) {
    throw Failure(Error::RTIinternalError, "federation name '" + name + "': " + why);
}

}  // namespace

std::unique_ptr<Link> OpenInProcessLink() { return std::make_unique<InProcessLink>(); }

FederationAddress ParseFederationName(const char* text) {
    if (!text) BadName("", "missing");
    const std::string name = text;
    FederationAddress a;
    const std::size_t scheme = name.find("://");
    if (scheme == std::string::npos) {
        // A plain name: the hub of this machine on its default port, where a
        // real RTI's plain name reaches its local server.
        a.hubHost = "127.0.0.1";
        a.hubPort = kDefaultHubPort;
        a.federation = name;
    } else if (name.compare(0, scheme, "thread") == 0) {
        if (name.compare(scheme + 3, 1, "/") != 0) BadName(name, "thread:/// takes no host");
        a.federation = name.substr(scheme + 4);
    } else if (name.compare(0, scheme, "rti") == 0) {
        const std::size_t hostStart = scheme + 3;
        const std::size_t slash = name.find('/', hostStart);
        if (slash == std::string::npos) BadName(name, "no federation after the hub's address");
        const std::string host = name.substr(hostStart, slash - hostStart);
        const std::size_t colon = host.rfind(':');
        a.hubHost = host.substr(0, colon);
        a.hubPort = kDefaultHubPort;
        if (colon != std::string::npos) {
            const std::string port = host.substr(colon + 1);
            unsigned long value = 0;
            if (port.empty() || port.size() > 5 ||
                port.find_first_not_of("0123456789") != std::string::npos ||
                (value = std::stoul(port)) == 0 || value > 65535)
                BadName(name, "invalid port");
            a.hubPort = static_cast<std::uint16_t>(value);
        }
        if (a.hubHost.empty()) BadName(name, "no hub address");
        a.federation = name.substr(slash + 1);
    } else {
        BadName(name, "unknown transport (thread:// or rti://)");
    }
    if (a.federation.empty()) BadName(name, "empty");
    return a;
}

}  // namespace hcyrti
