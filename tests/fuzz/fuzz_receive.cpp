// Datagram bytes through the whole receive road on the calling thread: the
// type filter, the minimum lengths, the conversion to host order and the
// dispatchers, into radios and interphones that read every byte they are
// offered, so that AddressSanitizer catches any offer longer than what was
// received. Each input arrives once from each source; Entity State passes
// from the primary network and loopback only. A real interphone station
// hears them too, in a call with station 5 on line 0x0503 (made again
// whenever an input ended it), so that its control and audio readings run.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "core/app.h"
#include "interphone/ics_station.h"
#include "net/pdu.h"
#include "net/receive_road.h"
#include "tests/support/app_access.h"
#include "tests/support/stand_ins.h"

namespace {

std::uint32_t Sum(const void* pdu, std::uint32_t length) {
    const auto* p = static_cast<const unsigned char*>(pdu);
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < length; ++i) sum += p[i];
    return sum;
}

class ReadingRadio : public hcytest::StandInRadio {
public:
    using StandInRadio::StandInRadio;
    std::uint32_t sum = 0;
    void OnTransmitterPdu(const TransmitterPdu* pdu, std::uint32_t length) override {
        sum += Sum(pdu, length);
    }
    void OnSignalPdu(const SignalPdu* pdu, std::uint32_t length) override {
        sum += Sum(pdu, length);
    }
    void OnEntityStatePdu(const EntityStatePdu* pdu, std::uint32_t length) override {
        sum += Sum(pdu, length);
    }
};

class ReadingInterphone : public hcytest::StandInInterphone {
public:
    using StandInInterphone::StandInInterphone;
    std::uint32_t sum = 0;
    void OnControlPdu(const IcsTransmitterPdu* pdu, std::uint32_t length) override {
        sum += Sum(pdu, length);
    }
    void OnAudioPdu(const IcsSignalPdu* pdu, std::uint32_t length) override {
        sum += Sum(pdu, length);
    }
};

// Station 3 dials 5, which answers on line 0x0503.
void Call(CIcsStation& station) {
    station.SetHook(1);
    station.SetHook(0);
    station.Dial(5);
    hcy::net::IcsTransmitterPdu answer{};
    answer.header = {6,  1, hcy::net::PDU_TYPE_ICS_TRANSMITTER, hcy::net::PROTOCOL_FAMILY_ICS, 0,
                     40, 0};
    answer.senderId = {1, 1, 5};
    answer.addressedId = {1, 1, 3};
    answer.stationNumber = 5;
    answer.line = 0x0503;
    answer.calledStation = 3;
    answer.replyCode = ICS_REPLY_ANSWERED;
    station.OnControlPdu(&answer, sizeof answer);
}

std::shared_ptr<CIcsStation> g_station;

void AddListeners() {
    CHalcyraAppTestAccess::OpenTables();
    for (std::uint32_t mask : {0x1u, 0x2u, 0x7u, 0x10002u, 0x40001u}) {
        auto radio = std::make_shared<ReadingRadio>(mask);
        const int handle = theApp.AddRadio(radio, nullptr);
        radio->SetUserId(static_cast<std::uint32_t>(handle));
        theApp.AddInterphone(std::make_shared<ReadingInterphone>(mask));
    }
    g_station = std::make_shared<CIcsStation>();
    g_station->SetEntityID(1, 1, 3);
    g_station->SetStationID(3);
    g_station->SetNetwork(0x7);
    theApp.AddInterphone(g_station);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = (AddListeners(), true);
    (void)ready;
    static std::vector<std::byte> scratch;
    if (!g_station->IsConnected()) Call(*g_station);

    // A private copy of exactly the datagram's length.
    std::unique_ptr<std::byte[]> copy(new std::byte[size == 0 ? 1 : size]);
    if (size != 0) std::memcpy(copy.get(), data, size);
    const std::span<const std::byte> datagram(copy.get(), size);

    for (std::uint32_t source : {NET_PRIMARY, NET_SECONDARY, NET_LOOPBACK}) {
        hcy::Library().m_bAcceptEntityState = source != NET_SECONDARY;
        hcy::net::ReceiveDatagramInline(theApp, datagram, source, scratch);
    }
    return 0;
}
