#pragma once
// How radios reach the network manager thread: PDUs to send (at once or
// after the radio's transmit delay) and HLA notices.
//
//   radio --PostPdu---------------------------------> WM_NETMGR_SEND_PDU
//   radio --QueueDelayedPdu--> delay queue (one, FIFO per radio, one timer)
//                                  --due--> PostPdu (readiness checked then)
//   radio --PostNetMgrMessage-----------------------> WM_NETMGR_HLA_*
#include <cstdint>
#include <functional>
#include <optional>

#include "base/messages.h"
#include "hcyplat/types.h"
#include "net/net_mgr.h"

namespace hcy::radio {

// One message as the radios post it; `pdu` only for WM_NETMGR_SEND_PDU.
struct NetMgrMessage {
    plat::UINT message = 0;
    plat::WPARAM wParam = 0;
    plat::LPARAM lParam = 0;
    std::optional<OutgoingPdu> pdu;
};

// Test seam: with a hook installed, every message the radios would post to
// the network manager goes to the hook instead (on the posting thread), and
// the network manager counts as running. Empty: none. Returns the previous.
using NetMgrHook = std::function<void(NetMgrMessage&&)>;
NetMgrHook SetNetMgrHookForTest(NetMgrHook hook);

// The network manager runs (or a hook is installed).
bool NetMgrReady();

// The header of a PDU sent now: the library's protocol version, the
// exercise id's low byte, the type and family, the timestamp, the length
// [bytes].
hcy::net::PduHeader MakePduHeader(std::uint8_t type, std::uint8_t family, std::uint16_t length,
                                  std::uint32_t exerciseId);
// The timestamp of a PDU sent now.
std::uint32_t PduTimestamp();

// Posts WM_NETMGR_SEND_PDU; false (PDU dropped) when the manager is not ready.
bool PostPdu(OutgoingPdu&& pdu);

// Posts a message without payload; false when there is no manager.
bool PostNetMgrMessage(plat::UINT message, plat::WPARAM wParam, plat::LPARAM lParam);

// Holds a PDU back for delayMs [ms], then posts it if the manager is ready
// then. PDUs of one owner leave in the order they were queued.
void QueueDelayedPdu(const void* owner, std::uint32_t delayMs, OutgoingPdu&& pdu);

// Drops every PDU of the owner still waiting.
void CancelDelayedPdus(const void* owner);

}  // namespace hcy::radio
