#pragma once
// The voice codec family: encoding codes, the rule that picks a coder for a
// code, and per-stream decoder state.
//
// Every coder has the same members:
//   std::size_t Encode(std::span<const std::int16_t> samples, std::span<std::uint8_t> out)
//       -> bytes written, never more than out.size()
//   std::size_t Decode(DecoderState&, std::span<const std::uint8_t> in, std::span<std::int16_t>
//   out)
//       -> samples written, never more than out.size(); reads only in
//   GetCompressionRatio()  sample bytes per coded byte
//   GetBitsPerSample()     coded bits per sample
// Encoder state lives in the coder object (one per sender). Decoder state is
// a separate value: one CodecStreamState per heard stream, value-initialised
// for a new stream. Nothing allocates, locks or throws.
//
// Sizing of a sent block: coded bytes = sample bytes / GetCompressionRatio()
// (truncating), data length [bits] = coded bytes x 8, samples = bits /
// GetBitsPerSample().
#include <cstddef>
#include <cstdint>
#include <span>

#include "codecs/adpcm.h"
#include "codecs/cvsd.h"
#include "codecs/mulaw.h"
#include "codecs/pcm.h"
#include "halcyra/halcyra.h"

namespace hcy {

// The encoding field of the Signal PDU and of the interphone audio PDU holds
// the ENCODING_* codes of the public header (ENCODING_CECOM_CVSD is local
// only: it is sent as ENCODING_CVSD) in its low 14 bits; the top two bits
// carry the encoding class, not the coder.
inline constexpr std::uint32_t ENCODING_TYPE_MASK = 0x3FFF;

enum class CodecKind : std::uint8_t { Pcm, MuLaw, Cvsd, CecomCvsd, Adpcm };

constexpr std::uint32_t MaskEncoding(std::uint32_t received) {
    return received & ENCODING_TYPE_MASK;
}

// The code a sender puts on the wire for an encoding it was given: 0 means
// 16-bit PCM, and the LSB-first CVSD goes out as plain CVSD.
constexpr std::uint32_t WireEncoding(std::uint32_t encoding) {
    if (encoding == 0) return ENCODING_PCM16;
    if (encoding == ENCODING_CECOM_CVSD) return ENCODING_CVSD;
    return encoding;
}

// Sending: cecom is the sender's CECOM flag (always false for interphones).
constexpr CodecKind SelectSendCodec(std::uint32_t encoding, bool cecom) {
    switch (encoding) {
    case ENCODING_MULAW: return CodecKind::MuLaw;
    case ENCODING_CVSD: return cecom ? CodecKind::CecomCvsd : CodecKind::Cvsd;
    case ENCODING_CECOM_CVSD: return CodecKind::CecomCvsd;
    case ENCODING_ADPCM: return CodecKind::Adpcm;
    default: return CodecKind::Pcm;
    }
}

// Receiving in radios and the scanner (cecom = the receiving radio's CECOM
// flag) and in interphones (cecom = false): codes 2 and 7 both follow the
// flag; unknown codes are 16-bit PCM.
constexpr CodecKind SelectReceiveCodec(std::uint32_t received, bool cecom) {
    switch (MaskEncoding(received)) {
    case ENCODING_MULAW: return CodecKind::MuLaw;
    case ENCODING_CVSD:
    case ENCODING_CECOM_CVSD: return cecom ? CodecKind::CecomCvsd : CodecKind::Cvsd;
    case ENCODING_ADPCM: return CodecKind::Adpcm;
    default: return CodecKind::Pcm;
    }
}

// Receiving in the raw DIS model: the code alone decides the bit order.
constexpr CodecKind SelectRawReceiveCodec(std::uint32_t received) {
    return MaskEncoding(received) == ENCODING_CECOM_CVSD ? CodecKind::CecomCvsd
                                                         : SelectReceiveCodec(received, false);
}

constexpr std::uint32_t GetCompressionRatio(CodecKind kind) {
    switch (kind) {
    case CodecKind::MuLaw: return CMuLaw::GetCompressionRatio();
    case CodecKind::Cvsd:
    case CodecKind::CecomCvsd: return CCvsdCore::GetCompressionRatio();
    case CodecKind::Adpcm: return CAdpcm::GetCompressionRatio();
    case CodecKind::Pcm: break;
    }
    return CPcm::GetCompressionRatio();
}

constexpr std::uint32_t GetBitsPerSample(CodecKind kind) {
    switch (kind) {
    case CodecKind::MuLaw: return CMuLaw::GetBitsPerSample();
    case CodecKind::Cvsd:
    case CodecKind::CecomCvsd: return CCvsdCore::GetBitsPerSample();
    case CodecKind::Adpcm: return CAdpcm::GetBitsPerSample();
    case CodecKind::Pcm: break;
    }
    return CPcm::GetBitsPerSample();
}

// Decoder state of one heard stream (one transmitter, one remote station).
// Both CVSD bit orders share one state: a stream has one order at a time.
struct CodecStreamState {
    CAdpcm::DecoderState adpcm;
    CCvsdCore::DecoderState cvsd;
};

// One coder of each kind, as a radio owns them; dispatches by kind.
struct CodecSet {
    CPcm pcm;
    CMuLaw muLaw;
    CCvsd cvsd;
    CCecomCvsd cecomCvsd;
    CAdpcm adpcm;

    std::size_t Encode(CodecKind kind, std::span<const std::int16_t> samples,
                       std::span<std::uint8_t> out);
    std::size_t Decode(CodecKind kind, CodecStreamState& stream, std::span<const std::uint8_t> in,
                       std::span<std::int16_t> out) const;
};

}  // namespace hcy
