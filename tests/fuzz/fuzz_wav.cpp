// Arbitrary bytes as a WAV file: the reader either refuses them or yields a
// source whose frames can be read at several reader formats, looping or
// not, without touching a byte outside what it was given.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hcyplat/virtual_sound.h"

namespace {

using plat::vsnd::MixFormat;
using plat::vsnd::WavFileSource;

// Reader formats: down- and up-sampling, fewer and more channels than a file
// may have.
constexpr MixFormat kReaders[] = {{16000, 2}, {8000, 1}, {44100, 3}};
constexpr std::size_t kFrames = 300;  // per read [frames]

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> bytes(data, data + size);
    std::vector<std::int16_t> samples(kFrames * 3 + 1);
    for (const bool loop : {false, true}) {
        const auto source = WavFileSource::FromBytes(bytes, loop);
        if (!source) continue;
        const MixFormat file = source->FileFormat();
        if (file.channels < 1 || file.rate < 1) __builtin_trap();
        // Two 16-bit samples per frame and channel cannot come from fewer bytes.
        if (source->FileFrames() * file.channels * 2 > size) __builtin_trap();
        for (const MixFormat& reader : kReaders) {
            samples.back() = 0x5A5A;  // guard: a read must stop at its frames
            source->Read(samples.data(), kFrames, reader);
            source->Read(samples.data(), kFrames / 3, reader);
            if (samples.back() != 0x5A5A) __builtin_trap();
        }
    }
    return 0;
}
