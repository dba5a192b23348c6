// Datagram bytes through the whole receive road on the calling thread: the
// type filter, the minimum lengths, the conversion to host order and the
// dispatchers, into radios and interphones that read every byte they are
// offered, so that AddressSanitizer catches any offer longer than what was
// received. Each input arrives once from each source; Entity State passes
// from the primary network and loopback only.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "core/app.h"
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

void AddListeners() {
    CHalcyraAppTestAccess::OpenTables();
    for (std::uint32_t mask : {0x1u, 0x2u, 0x7u, 0x10002u, 0x40001u}) {
        auto radio = std::make_shared<ReadingRadio>(mask);
        const int handle = theApp.AddRadio(radio, nullptr);
        radio->SetUserId(static_cast<std::uint32_t>(handle));
        theApp.AddInterphone(std::make_shared<ReadingInterphone>(mask));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = (AddListeners(), true);
    (void)ready;
    static std::vector<std::byte> scratch;

    // A private copy of exactly the datagram's length.
    std::unique_ptr<std::byte[]> copy(new std::byte[size == 0 ? 1 : size]);
    if (size != 0) std::memcpy(copy.get(), data, size);
    const std::span<const std::byte> datagram(copy.get(), size);

    for (std::uint32_t source : {NET_PRIMARY, NET_SECONDARY, NET_LOOPBACK}) {
        theApp.m_bAcceptEntityState = source != NET_SECONDARY;
        hcy::net::ReceiveDatagramInline(theApp, datagram, source, scratch);
    }
    return 0;
}
