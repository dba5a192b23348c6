#include "wav/wav_format.h"

#include <algorithm>

#include "hcyplat/file.h"

namespace hcy::media {

WavFormat ParseFormatBlock(const std::uint8_t* block) {
    WavFormat f;
    f.tag = GetU16(block);
    f.channels = GetU16(block + 2);
    f.rate = GetU32(block + 4);
    f.byteRate = GetU32(block + 8);
    f.blockAlign = GetU16(block + 12);
    f.bits = GetU16(block + 14);
    return f;
}

void MakeFormatBlock(const WavFormat& format, std::uint8_t* block) {
    PutU16(block, format.tag);
    PutU16(block + 2, format.channels);
    PutU32(block + 4, format.rate);
    PutU32(block + 8, format.byteRate);
    PutU16(block + 12, format.blockAlign);
    PutU16(block + 14, format.bits);
}

void MakeCanonicalHeader(const std::uint8_t* formatBlock, std::uint32_t riffSize,
                         std::uint32_t dataSize, std::uint8_t* header) {
    std::memcpy(header, "RIFF", 4);
    PutU32(header + 4, riffSize);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    PutU32(header + 16, kFormatBlockBytes);
    std::memcpy(header + 20, formatBlock, kFormatBlockBytes);
    std::memcpy(header + 36, "data", 4);
    PutU32(header + 40, dataSize);
}

std::optional<DataChunk> FindDataChunk(const plat::File& file, std::uint64_t offset,
                                       std::uint64_t maxSkipped) {
    const std::uint64_t length = file.GetLength();
    for (std::uint64_t skipped = 0;; ++skipped) {
        std::uint8_t chunk[8];
        if (offset > length || length - offset < sizeof chunk) return std::nullopt;
        if (file.ReadAt(offset, chunk, sizeof chunk) != sizeof chunk) return std::nullopt;
        const std::uint64_t size = GetU32(chunk + 4);
        if (TagIs(chunk, "data")) return DataChunk{offset + sizeof chunk, size};
        if (skipped == maxSkipped) return std::nullopt;
        const std::uint64_t next = offset + sizeof chunk + size + (size & 1);
        if (next > length) return std::nullopt;
        offset = next;  // at least 8 bytes on: the walk ends
    }
}

const char* ReadPlayHeader(const plat::File& file, PlayableCodings codings,
                           std::uint64_t maxSkipped, PlayHeader* header) {
    // The RIFF header, the format chunk's header and up to 40 bytes of it
    // (an extensible block's subformat ends at 40).
    std::uint8_t head[20 + 40] = {};
    const std::size_t got = file.ReadAt(0, head, sizeof head);
    if (got < 20 + kFormatBlockBytes) return "it is shorter than a WAV header";
    if (!TagIs(head, "RIFF") || !TagIs(head + 8, "WAVE")) return "it is not a RIFF WAVE file";
    if (!TagIs(head + 12, "fmt ")) return "its first chunk is not the format chunk";
    const std::uint64_t fmtSize = GetU32(head + 16);
    if (fmtSize < kFormatBlockBytes) return "its format chunk is shorter than 16 bytes";
    WavFormat format = ParseFormatBlock(head + 20);

    if (format.tag == WAVE_FORMAT_EXTENSIBLE) {
        // The subformat's first two bytes are the tag it stands for; the
        // other 14 are the fixed tail of every such GUID.
        static constexpr std::uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                                       0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
        const std::uint8_t* sub = head + 20 + 24;
        if (fmtSize < 40 || got < 20 + 40 || GetU16(sub) != WAVE_FORMAT_PCM ||
            std::memcmp(sub + 2, kGuidTail, sizeof kGuidTail) != 0)
            return "its extensible format is not PCM";
        format.tag = WAVE_FORMAT_PCM;
    }
    if (format.channels != 1 && format.channels != 2) return "only mono and stereo files play";
    if (format.rate < kMinPlayRate || format.rate > kMaxPlayRate)
        return "its sample rate is out of range";
    if (format.byteRate == 0) return "its byte rate is 0";
    switch (format.tag) {
    case WAVE_FORMAT_PCM:
        if (format.bits != 16) return "its PCM samples are not 16-bit";
        break;
    case WAVE_FORMAT_MULAW:
    case WAVE_FORMAT_IBM_CVSD:
    case WAVE_FORMAT_ADPCM:
        if (codings == PlayableCodings::Pcm16) return "only 16-bit PCM plays here";
        // Tag 2 with 4 bits is the block ADPCM of other tools, not the
        // raw nibbles this system records.
        if (format.tag == WAVE_FORMAT_ADPCM && format.bits != 16)
            return "its ADPCM is not in the layout this system records";
        break;
    default:
        return codings == PlayableCodings::Pcm16
                   ? "only 16-bit PCM plays here"
                   : "its format is not 16-bit PCM, mu-law, CVSD or the ADPCM this system records";
    }

    const auto chunk = FindDataChunk(file, 20 + fmtSize + (fmtSize & 1), maxSkipped);
    if (!chunk)
        return maxSkipped < ~std::uint64_t{0} ? "it has no data chunk within its first chunks"
                                              : "it has no data chunk";
    header->format = format;
    header->dataStart = chunk->start;
    header->dataSize = std::min(chunk->declaredSize, file.GetLength() - chunk->start);
    return nullptr;
}

std::uint32_t ReadSampleChunk(const plat::File& file, SampleCursor& cursor, bool loop,
                              std::uint8_t* buffer, std::uint32_t chunk, bool* ended) {
    if (!loop) {
        if (cursor.position >= cursor.end) {
            *ended = true;
            return 0;
        }
        const auto want =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk, cursor.end - cursor.position));
        const std::size_t got = file.ReadAt(cursor.position, buffer, want);
        if (got == 0) *ended = true;  // the file is shorter than it was
        cursor.position += got;
        return static_cast<std::uint32_t>(got);
    }
    std::uint32_t n = 0;
    bool wrapped = false;
    std::uint64_t sinceWrap = 0;
    while (n < chunk) {
        if (cursor.position >= cursor.end) {
            if (wrapped && sinceWrap == 0) break;
            cursor.position = cursor.first;
            wrapped = true;
            sinceWrap = 0;
        }
        const auto want = static_cast<std::size_t>(
            std::min<std::uint64_t>(chunk - n, cursor.end - cursor.position));
        const std::size_t got = file.ReadAt(cursor.position, buffer + n, want);
        n += static_cast<std::uint32_t>(got);
        sinceWrap += got;
        // A short read: the file ends before `end` now.
        cursor.position = got < want ? cursor.end : cursor.position + got;
    }
    return n;
}

}  // namespace hcy::media
