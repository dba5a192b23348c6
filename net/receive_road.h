#pragma once
// The receive road of a DIS datagram, in three steps that the receive
// threads, the PDU workers, the send router's loopback and the fuzzer share:
//
//   datagram --ClassifyPdu--> type --RouteReceived--> kind, worker, message
//     (receive thread / loopback: copy, post WM_NETRX_* to the worker)
//   --DeliverReceived--> host-order copy --> PduSink::Dispatch*Pdu (net/pdu_sink.h)
//
// Kept types and their shortest datagrams [bytes]: Signal 32, Transmitter
// 104, Entity State 144 (only while some radio is attached to an entity),
// interphone control 40, interphone audio 38. Everything else is dropped.
// The length that counts is the datagram's byte count; the PDU's own length
// fields are never trusted.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "hcyplat/types.h"

namespace hcy::net {

// The largest datagram the receive threads read [bytes]; longer ones are
// dropped whole.
inline constexpr std::size_t kMaxDatagramSize = 8192;

// Kinds in the order of the WM_NETRX_* numbers.
enum class RxKind : std::uint8_t {
    Signal = 0,
    Transmitter = 1,
    EntityState = 2,
    IcsControl = 3,
    IcsAudio = 4,
};

// The PDU type to keep (1, 25, 26, 160, 161), or -1 to drop. Looks only at
// byte 2; Entity State only while `acceptEntityState`.
int ClassifyPdu(std::span<const std::byte> datagram, bool acceptEntityState);

struct RxRoute {
    RxKind kind;
    bool audio;            // Signal or interphone audio
    plat::UINT message;    // WM_NETRX_* for the first source bit of 1, 2, 4
    std::uint32_t source;  // that source bit
};

// Where a kept PDU of `length` bytes from `sourceBits` goes; empty when it is
// shorter than its type's minimum, of a type not received, or of no source.
std::optional<RxRoute> RouteReceived(int type, std::size_t length, std::uint32_t sourceBits);

// The PDU worker (0 or 1) of a kept datagram: chosen by the sending entity
// (bytes 12 to 17 of every kept type), so that all PDUs of one transmitter
// are handled in the order they arrived: the end of a transmission after its
// last Signal PDU, its first Signal PDU after the start.
std::size_t WorkerFor(std::span<const std::byte> datagram);

// Kind and source bit of a WM_NETRX_* message; empty for other numbers.
std::optional<std::pair<RxKind, std::uint32_t>> DecodeRxMessage(plat::UINT message);

class PduSink;

// Converts a network-order PDU to host order into `scratch` (resized to the
// PDU's length, zero-filled past what conversion writes) and offers it to the
// sink's dispatcher of its kind with the datagram's length. Drops a PDU too
// short for its kind.
void DeliverReceived(PduSink& sink, RxKind kind, std::span<const std::byte> networkOrder,
                     std::uint32_t sourceBits, std::vector<std::byte>& scratch);

// The whole road for one datagram on the calling thread, without workers:
// filter, conversion and dispatch. True when it reached a dispatcher. Used
// where no threads are wanted (fuzzing, measuring).
bool ReceiveDatagramInline(PduSink& sink, std::span<const std::byte> datagram,
                           std::uint32_t sourceBits, std::vector<std::byte>& scratch);

}  // namespace hcy::net
