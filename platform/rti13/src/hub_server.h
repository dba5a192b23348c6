#pragma once
// The hub: one federation core for the federates of several processes, on
// 127.0.0.1. One thread serves every connection (poll); a connection that
// closes, sends a malformed or over-long frame, or lets kMaxPendingOutput of
// callbacks pile up unread is dropped, and its federate resigned with
// DELETE_OBJECTS, so that its peers get removeObjectInstance.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "federation_core.h"
#include "tcp.h"

namespace hcyrti {

constexpr std::size_t kMaxPendingOutput = std::size_t{64} << 20;  // [bytes] per connection

class HubServer {
public:
    HubServer();
    ~HubServer();

    // Listens on 127.0.0.1:port (0: a free port).
    bool Listen(std::uint16_t port, std::string& error);
    std::uint16_t Port() const { return listener_.Port(); }

    // Serves until `stop` is set; it is looked at least every 200 ms.
    void Run(const std::atomic<bool>& stop);

private:
    struct Connection;
    void Read(Connection& c);
    void Flush(Connection& c);

    FederationCore core_;
    Listener listener_;
    std::vector<std::unique_ptr<Connection>> connections_;
};

}  // namespace hcyrti
