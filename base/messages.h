#pragma once
// Thread message numbers of the whole system. Each number has one meaning
// system-wide. The one window message the host receives,
// WM_CLIENT_RADIO_ACTIVITY, is the public header's (halcyra/halcyra.h).
#include "hcyplat/types.h"

namespace hcy {

using UINT = plat::UINT;

constexpr UINT WM_CAPTURE_BUFFER_EMPTY = 1120;
constexpr UINT WM_CAPTURE_BUFFER_FILLED = 1121;
constexpr UINT WM_CAPTURE_CLOSED = 1122;

// Received PDUs to the two workers: 1123 + 5 x source + kind.
// source: 0 primary, 1 secondary, 2 loopback.
// kind: 0 Signal, 1 Transmitter, 2 Entity State, 3 interphone control,
// 4 interphone audio.
constexpr UINT WM_NETRX_BASE = 1123;
constexpr UINT WM_NETRX_LAST = 1137;
constexpr UINT NetRxMessage(unsigned source, unsigned kind) {
    return WM_NETRX_BASE + 5 * source + kind;
}

constexpr UINT WM_NETMGR_STOP = 1138;
constexpr UINT WM_NETMGR_SET_PRIMARY_PORT = 1139;
constexpr UINT WM_NETMGR_SET_SECONDARY_PORT = 1140;
constexpr UINT WM_NETMGR_SET_BROADCAST_ADDRESS = 1141;
// Payload an OutgoingPdu (net/net_mgr.h): the PDU in host order and its
// request; the router frees it on every path.
constexpr UINT WM_NETMGR_SEND_PDU = 1142;
constexpr UINT WM_NETMGR_HEARTBEAT = 1143;
constexpr UINT WM_NETMGR_HLA_INIT = 1144;
// wParam the object kind (1 transmitter), lParam the radio's user id: the
// network thread looks the radio up itself, no radio address crosses threads.
constexpr UINT WM_NETMGR_HLA_REGISTER_OBJECT = 1146;
constexpr UINT WM_NETMGR_HLA_DELETE_OBJECT = 1147;
constexpr UINT WM_NETMGR_HLA_UPDATE_ATTRIBUTES = 1148;
constexpr UINT WM_NETMGR_HLA_ATTRIBUTES_ON = 1149;
constexpr UINT WM_NETMGR_HLA_ATTRIBUTES_OFF = 1150;
constexpr UINT WM_NETMGR_HLA_RADIO_VALUE = 1151;
constexpr UINT WM_NETMGR_HLA_SIGNAL_ENABLE = 1152;
constexpr UINT WM_NETMGR_HLA_REQUEST_UPDATE = 1153;
constexpr UINT WM_NETMGR_SET_MULTICAST_TTL = 1154;

constexpr UINT WM_WAVWRITER_WRITE_HEADER = 1155;
constexpr UINT WM_WAVWRITER_APPEND = 1156;
constexpr UINT WM_WAVWRITER_STOP = 1157;

// To a data device's worker, beside WM_CAPTURE_BUFFER_FILLED (a posted
// block) and WM_CAPTURE_CLOSED: received audio and a notice for the host's
// callbacks (payload the call); on a speech device, received audio to
// record (payload the block) and the end of a transmission a radio heard
// (wParam the radio's user id).
constexpr UINT WM_DATADEV_HOST_AUDIO = 1160;
constexpr UINT WM_DATADEV_HOST_NOTICE = 1161;
constexpr UINT WM_DATADEV_RECORD_AUDIO = 1162;
constexpr UINT WM_DATADEV_RECEIVE_END = 1163;

}  // namespace hcy
