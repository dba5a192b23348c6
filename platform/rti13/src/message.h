#pragma once
// The one record that every service request, its reply and every callback
// travel as, between the ambassador and the federation core: in this
// process by call, to the hub as a frame (wire.h).
//
//   RTIambassador ──Request──> Link ──> FederationCore ──Callback──> sink of each peer
//                 <──Reply────
//
// What the fields hold is fixed per operation or callback kind (the comments
// below); the core checks every count before it indexes.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "RTI.hh"

namespace hcyrti {

using Handle = RTI::Handle;

struct Value {
    Handle handle = 0;
    std::string bytes;
};

struct Message {
    std::uint8_t code = 0;  // an Op, a CallbackKind or an Error
    std::vector<Handle> handles;
    std::vector<std::string> texts;
    std::vector<Value> values;
};

// Requests: handles / texts / values.
enum class Op : std::uint8_t {
    Create = 1,          // - / name, FED text / -
    Destroy,             // - / name / -
    Join,                // - / federation, federate name / -  -> federate / FED text
    Resign,              // action / - / -
    PublishClass,        // class, attributes... / - / -
    UnpublishClass,      // class
    SubscribeClass,      // class, active, attributes...
    UnsubscribeClass,    // class
    PublishInteraction,  // interaction
    UnpublishInteraction,
    SubscribeInteraction,  // interaction, active
    UnsubscribeInteraction,
    Register,             // class / [name] / -  -> object
    Update,               // object / tag / values
    Send,                 // interaction / tag / values
    Delete,               // object / tag / -
    RequestObjectUpdate,  // object, attributes...
    RequestClassUpdate,   // class, attributes...
    InstanceName,         // object  -> - / name
    EnableRelevanceAdvisory,
};

// Callbacks.
enum class CallbackKind : std::uint8_t {
    Discover = 1,  // object, class / name / -
    Reflect,       // object / tag / values
    Receive,       // interaction / tag / values
    Remove,        // object / tag / -
    Provide,       // object, attributes... / - / -
};

// Reply codes: None, or the RTI exception to throw with texts[0] as reason.
enum class Error : std::uint8_t {
    None = 0,
#define HCY_RTI_ERROR_CODE(A) A,
    HCY_RTI_EXCEPTIONS(HCY_RTI_ERROR_CODE)
#undef HCY_RTI_ERROR_CODE
        Count
};

// Thrown inside the core and the links; the ambassador turns it into the
// matching RTI exception.
struct Failure : std::runtime_error {
    Failure(Error e, const std::string& reason) : std::runtime_error(reason), error(e) {}
    Error error;
};

// Throws the RTI exception of a code (RTIinternalError for an unknown one).
[[noreturn]] void ThrowRti(Error error, const std::string& reason);

}  // namespace hcyrti
