// Arbitrary bytes of arbitrary length, as a datagram would bring them, go
// through every PDU converter: none may crash or touch a byte outside the
// spans it is given. The first input byte picks the destination size, so
// destinations shorter, equal to and longer than the source are all tried.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

#include "net/pdu.h"

namespace {

using Converter = std::size_t (*)(std::span<const std::byte>, std::span<std::byte>);

constexpr Converter kConverters[] = {
    hcy::net::TransmitterPduToHost,   hcy::net::SignalPduToHost,
    hcy::net::EntityStatePduToHost,   hcy::net::IcsTransmitterPduToHost,
    hcy::net::IcsSignalPduToHost,     hcy::net::TransmitterPduToNet,
    hcy::net::SignalPduToNet,         hcy::net::ReceiverPduToNet,
    hcy::net::IcsTransmitterPduToNet, hcy::net::IcsSignalPduToNet,
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // A private copy of exactly the input's length, so AddressSanitizer
    // catches any read past it.
    std::unique_ptr<std::byte[]> source(new std::byte[size == 0 ? 1 : size]);
    if (size != 0) std::memcpy(source.get(), data, size);
    const std::span<const std::byte> input(source.get(), size);

    const std::size_t slack = size == 0 ? 0 : data[0];
    const std::size_t destinationSize =
        (slack & 0x80) ? size + (slack & 0x7F) : size * (slack & 0x7F) / 127;
    std::unique_ptr<std::byte[]> destination(
        new std::byte[destinationSize == 0 ? 1 : destinationSize]);
    const std::span<std::byte> output(destination.get(), destinationSize);

    for (Converter convert : kConverters) {
        const std::size_t written = convert(input, output);
        if (written > output.size() || written > input.size()) __builtin_trap();
        // The converted PDU is then read as the dispatchers would.
        (void)hcy::net::ReadRecord<hcy::net::TransmitterPdu>(output.first(written));
    }
    return 0;
}
