#include "media/wav_format.h"

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
