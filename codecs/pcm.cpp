#include "codecs/pcm.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace hcy {

std::size_t CPcm::Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out) {
    const std::size_t count = std::min(samples.size(), out.size() / 2);
    if constexpr (std::endian::native == std::endian::little) {
        if (count != 0) std::memcpy(out.data(), samples.data(), count * 2);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            const auto u = static_cast<std::uint16_t>(samples[i]);
            out[2 * i] = static_cast<std::uint8_t>(u & 0xFF);
            out[2 * i + 1] = static_cast<std::uint8_t>(u >> 8);
        }
    }
    return count * 2;
}

std::size_t CPcm::Decode(std::span<const std::uint8_t> in, std::span<std::int16_t> out) {
    const std::size_t count = std::min(in.size() / 2, out.size());
    if constexpr (std::endian::native == std::endian::little) {
        if (count != 0) std::memcpy(out.data(), in.data(), count * 2);
    } else {
        for (std::size_t i = 0; i < count; ++i) {
            out[i] = static_cast<std::int16_t>(
                static_cast<std::uint16_t>(in[2 * i] | (in[2 * i + 1] << 8)));
        }
    }
    return count;
}

}  // namespace hcy
