#pragma once
// Where the receive road ends: the interface through which net/ hands each
// received PDU up to the application object (core/), which offers it to the
// radios and interphones whose network mask matches its source.
//
//   receive thread / loopback --> worker --> DeliverReceived
//     --> host-order copy --> PduSink::Dispatch*Pdu
//
// Contract: the PDU is in host order, zero-filled past what conversion
// wrote, `length` is the datagram's byte count (at least the type's fixed
// part, at most 8192) and `sourceBits` the one source bit it came from
// (NET_PRIMARY, NET_SECONDARY or NET_LOOPBACK). The bytes belong to the
// caller and are valid during the call only. Calls come from the two PDU
// workers (and, for fuzzing and measuring, from any one thread); a sink
// takes its own locks.
#include <cstdint>

namespace hcy::net {

struct TransmitterPdu;
struct SignalPdu;
struct EntityStatePdu;
struct IcsTransmitterPdu;
struct IcsSignalPdu;

class PduSink {
public:
    virtual void DispatchTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length,
                                        std::uint32_t sourceBits) = 0;
    virtual void DispatchSignalPdu(const SignalPdu* pdu, std::uint32_t length,
                                   std::uint32_t sourceBits) = 0;
    virtual void DispatchEntityStatePdu(const EntityStatePdu* pdu, std::uint32_t length,
                                        std::uint32_t sourceBits) = 0;
    virtual void DispatchIcsTransmitterPdu(const IcsTransmitterPdu* pdu, std::uint32_t length,
                                           std::uint32_t sourceBits) = 0;
    virtual void DispatchIcsSignalPdu(const IcsSignalPdu* pdu, std::uint32_t length,
                                      std::uint32_t sourceBits) = 0;

protected:
    ~PduSink() = default;
};

}  // namespace hcy::net
