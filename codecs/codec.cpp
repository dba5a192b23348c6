#include "codecs/codec.h"

namespace hcy {

std::size_t CodecSet::Encode(CodecKind kind, std::span<const std::int16_t> samples,
                             std::span<std::uint8_t> out) {
    switch (kind) {
    case CodecKind::MuLaw: return muLaw.Encode(samples, out);
    case CodecKind::Cvsd: return cvsd.Encode(samples, out);
    case CodecKind::CecomCvsd: return cecomCvsd.Encode(samples, out);
    case CodecKind::Adpcm: return adpcm.Encode(samples, out);
    case CodecKind::Pcm: break;
    }
    return pcm.Encode(samples, out);
}

std::size_t CodecSet::Decode(CodecKind kind, CodecStreamState& stream,
                             std::span<const std::uint8_t> in, std::span<std::int16_t> out) const {
    switch (kind) {
    case CodecKind::MuLaw: return muLaw.Decode(in, out);
    case CodecKind::Cvsd: return cvsd.Decode(stream.cvsd, in, out);
    case CodecKind::CecomCvsd: return cecomCvsd.Decode(stream.cvsd, in, out);
    case CodecKind::Adpcm: return adpcm.Decode(stream.adpcm, in, out);
    case CodecKind::Pcm: break;
    }
    return pcm.Decode(in, out);
}

}  // namespace hcy
