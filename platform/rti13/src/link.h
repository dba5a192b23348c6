#pragma once
// An ambassador's way to its federation core: the core of this process, or
// the hub's core through a TCP connection. Used by one thread at a time (the
// ambassador's own guard sees to that).
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "message.h"

namespace hcyrti {

class Link {
public:
    virtual ~Link() = default;

    // The core's reply (its code says whether the request was refused). A
    // lost or failing transport throws Failure(RTIinternalError).
    virtual Message Call(const Message& request) = 0;

    // Appends the callbacks that have arrived to `batch`, waiting at most
    // `wait` when none has.
    virtual void Take(std::deque<Message>& batch, std::chrono::nanoseconds wait) = 0;

    // The transport is gone (the hub dropped this federate).
    virtual bool Lost() const { return false; }
};

std::unique_ptr<Link> OpenInProcessLink();

// Connects to the hub on a loopback address; throws Failure(RTIinternalError)
// when it cannot.
std::unique_ptr<Link> OpenHubLink(const std::string& host, std::uint16_t port);

// Where a federation name sends a federate:
//   "thread:///Name"                the federates of this process
//   "rti://HOST[:PORT]/Name"        the hub on HOST (loopback), PORT default kDefaultHubPort
//   "Name"                          the hub on 127.0.0.1, its default port
// Anything else with "://", or an empty name, throws Failure(RTIinternalError).
struct FederationAddress {
    std::string hubHost;  // empty: in this process
    std::uint16_t hubPort = 0;
    std::string federation;

    std::string Key() const {
        return hubHost.empty() ? "" : hubHost + ":" + std::to_string(hubPort);
    }
};

constexpr std::uint16_t kDefaultHubPort = 15013;

FederationAddress ParseFederationName(const char* name);

}  // namespace hcyrti
