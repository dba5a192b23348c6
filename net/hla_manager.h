#pragma once
// The HLA manager as the network manager drives it. net/ declares it, hla/
// implements it over an HLA 1.3 RTI, core/ hands the network manager a
// factory for it.
//
//   WM_NETMGR_HLA_INIT ---------> factory(fomType) -> Join
//   loop, while joined ---------> Tick (RTI callbacks run inside it)
//   WM_NETMGR_HLA_* handlers ---> RegisterRadio, DeleteObject, UpdateRadio,
//                                 SetRadioHlaData, SetSignalEnable, RequestUpdate
//   send router (NET_HLA) ------> UpdateFromTransmitterPdu, SendSignal
//   stop ------------------------> Resign, then the manager is deleted
//
// Contract: every member is called on the network manager's thread only, and
// none throws; failures are reported through the last error where the
// manager's operations say so. Forward declarations only: the RTI's header
// stays in the implementation's files.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>

namespace hcy {
namespace net {

struct TransmitterPdu;
struct PduSendRequest;

class HlaManager {
public:
    virtual ~HlaManager() {}

    // Creates the federation (createFederation), joins it as "hcy@<host>",
    // publishes and subscribes. maxTries bounds the failed join attempts.
    // A raised `abandon` ends the attempts (a stop is waiting). True when
    // joined; false with the last error set, nothing left joined.
    virtual bool Join(const std::string& federation, const std::string& fedPath,
                      std::uint32_t maxTries, bool createFederation,
                      const std::atomic<bool>* abandon) = 0;
    // Unpublishes, resigns (deleting this federate's objects) and destroys
    // the federation when this manager created it.
    virtual void Resign() = 0;

    // One turn of the RTI: its callbacks run inside. `unbounded`: tick();
    // otherwise tick(0.0, 0.1 s). True when more callbacks are pending.
    virtual bool Tick(bool unbounded) = 0;

    // WM_NETMGR_HLA_REGISTER_OBJECT: registers the object of the radio
    // whose user id is `userId` and stores its handle in the radio.
    virtual void RegisterRadio(std::uint32_t kind, int userId) = 0;
    // WM_NETMGR_HLA_DELETE_OBJECT.
    virtual bool DeleteObject(std::uint32_t object) = 0;
    // WM_NETMGR_HLA_UPDATE_ATTRIBUTES: sends the masked attributes of the
    // radio registered as `object` (nothing when no radio is).
    virtual void UpdateRadio(std::uint32_t object, std::uint32_t mask) = 0;
    // WM_NETMGR_HLA_ATTRIBUTES_ON / _OFF / _RADIO_VALUE (code: the message).
    virtual void SetRadioHlaData(std::uint32_t object, int code, std::int32_t value) = 0;
    // WM_NETMGR_HLA_SIGNAL_ENABLE.
    virtual void SetSignalEnable(bool on) = 0;
    // WM_NETMGR_HLA_REQUEST_UPDATE: object 0 asks for the whole transmitter
    // class.
    virtual void RequestUpdate(std::uint32_t object, std::uint32_t mask) = 0;

    // The send router's hand-offs. `pdu` in host order; `netPdu` a Signal
    // PDU of `netLength` bytes in network order whose request's length is
    // its audio byte count.
    virtual bool UpdateFromTransmitterPdu(std::uint32_t mask, const TransmitterPdu& pdu,
                                          const PduSendRequest& request) = 0;
    virtual bool SendSignal(const unsigned char* netPdu, std::size_t netLength,
                            const PduSendRequest& request) = 0;
};

}  // namespace net
}  // namespace hcy
