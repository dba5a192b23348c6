#pragma once
// The federation core: federations, their federates, declarations and object
// instances, and the callbacks each service causes. One core serves the
// federates of this process (InProcess()); the hub runs another for the
// federates of other processes. It knows nothing of transports: requests
// come in as Messages for a Session, callbacks go out to the session's sink.
//
// Rules kept (those of HLA 1.3 that a federate relies on):
// - a federate never receives its own discoveries, reflections or interactions;
// - subscribing discovers the objects already registered (a late subscriber);
// - a reflection carries only the subscribed attributes of the class the
//   object was discovered as; an interaction only the parameters of the
//   class it is received as;
// - deleting an object, or resigning with DELETE_OBJECTS(_AND_RELEASE_...),
//   removes it at every federate that discovered it;
// - class and object update requests ask the owners (not the requester);
// - object handles are never 0 or 0xFFFFFFFF; federate handles start at 1.
// Every request is checked (counts, handles, rights) before it changes anything.
#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "message.h"

namespace hcyrti {

class CallbackSink {
public:
    virtual ~CallbackSink() = default;
    // Called with the core's lock held: queue the callback, never call the core.
    virtual void Deliver(Message callback) = 0;
};

// One federate's connection to a core. Written only by the core, under its lock.
struct Session {
    std::string federation;  // empty while not joined
    Handle federate = 0;
    std::shared_ptr<CallbackSink> sink;
};

class FederationCore {
public:
    FederationCore();
    ~FederationCore();

    // Serves one request; a refusal comes back as a reply whose code is the
    // error and whose first text is the reason.
    Message Serve(Session& session, const Message& request);

    // The session's connection is gone: it resigns with DELETE_OBJECTS.
    void Drop(Session& session);

    // The core shared by the federates of this process.
    static FederationCore& InProcess();

    struct Federation;

private:
    std::mutex mu_;
    std::map<std::string, std::unique_ptr<Federation>> federations_;
};

}  // namespace hcyrti
