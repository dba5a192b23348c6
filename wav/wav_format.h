#pragma once
// RIFF/WAVE layout shared by the WAV file class, the WAV player and the
// playback device: little-endian fields, the 16-byte format block, the
// canonical 44-byte header and the walk over chunks to the "data" chunk.
//
//   0 "RIFF"  4 RIFF size (36 + data size)  8 "WAVE"
//  12 "fmt "  16 fmt size (16)  20 tag  22 channels  24 rate [Hz]
//  28 bytes per second  32 block align  34 bits per sample
//  36 "data"  40 data size [bytes]  44 samples
//
// Every reader here checks each read count and works in 64-bit offsets
// bounded by the file's length, so that no size field from a file can make
// it read outside the file, wrap an offset or loop.
#include <cstdint>
#include <cstring>
#include <optional>

namespace plat {
class File;
}

namespace hcy::media {

inline constexpr std::uint32_t kCanonicalHeaderBytes = 44;
inline constexpr std::uint32_t kFormatBlockBytes = 16;

// Format tags (published RIFF values) the system reads and writes.
inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;
inline constexpr std::uint16_t WAVE_FORMAT_ADPCM = 2;
inline constexpr std::uint16_t WAVE_FORMAT_IBM_CVSD = 5;
inline constexpr std::uint16_t WAVE_FORMAT_MULAW = 7;
// A format block of 40 bytes or more whose subformat names the coding.
inline constexpr std::uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// Rates a file may play at [Hz]: what a sound buffer accepts, with room.
inline constexpr std::uint32_t kMinPlayRate = 1000;
inline constexpr std::uint32_t kMaxPlayRate = 192000;

inline std::uint16_t GetU16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t GetU32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void PutU16(std::uint8_t* p, std::uint16_t v) {
    p[0] = static_cast<std::uint8_t>(v);
    p[1] = static_cast<std::uint8_t>(v >> 8);
}
inline void PutU32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
inline bool TagIs(const std::uint8_t* p, const char (&tag)[5]) {
    return std::memcmp(p, tag, 4) == 0;
}

// The fields of the 16-byte format block.
struct WavFormat {
    std::uint16_t tag = 0;
    std::uint16_t channels = 0;
    std::uint32_t rate = 0;      // [Hz]
    std::uint32_t byteRate = 0;  // [bytes/s]
    std::uint16_t blockAlign = 0;
    std::uint16_t bits = 0;
    bool operator==(const WavFormat&) const = default;
};
WavFormat ParseFormatBlock(const std::uint8_t* block);
void MakeFormatBlock(const WavFormat& format, std::uint8_t* block);
// The canonical header for a format block and a data size.
void MakeCanonicalHeader(const std::uint8_t* formatBlock, std::uint32_t riffSize,
                         std::uint32_t dataSize, std::uint8_t* header);

// Where the samples are: the first byte after the "data" chunk header and
// the chunk's size as the file declares it.
struct DataChunk {
    std::uint64_t start = 0;
    std::uint64_t declaredSize = 0;
};

// Walks the chunks whose headers start at `offset`, up to the "data" chunk,
// skipping at most `maxSkipped` others (each padded to an even size, as
// RIFF has it). Nothing when a chunk header cannot be read whole, a
// skipped chunk runs past the end of the file, or more chunks come first.
std::optional<DataChunk> FindDataChunk(const plat::File& file, std::uint64_t offset,
                                       std::uint64_t maxSkipped);

// The header of a file to play, checked: its format (an extensible PCM
// file reads as tag 1) and where its samples are, the data size cut to what
// the file holds.
struct PlayHeader {
    WavFormat format;
    std::uint64_t dataStart = 0;
    std::uint64_t dataSize = 0;
};
// Which files a player takes: 16-bit PCM only, or also the coded files of
// the system's own recordings (mu-law, CVSD, and IMA ADPCM stored as raw
// nibbles with 16 bits in the header).
enum class PlayableCodings { Pcm16, Pcm16AndRecorded };
// Reads "RIFF", "WAVE", "fmt " at 12 (at least 16 bytes), then "data"
// within the next `maxSkipped` + 1 chunks, and checks the format: mono or
// stereo, 1000 to 192000 Hz, a byte rate, a coding of `codings`. The
// reason for a refusal (to follow "Could not play <file>: "), or null.
const char* ReadPlayHeader(const plat::File& file, PlayableCodings codings,
                           std::uint64_t maxSkipped, PlayHeader* header);

// Where a player is in the samples of a file: [first, end) and the next
// byte to read [bytes].
struct SampleCursor {
    std::uint64_t first = 0;
    std::uint64_t end = 0;
    std::uint64_t position = 0;
};

// Reads the next chunk of at most `chunk` bytes into `buffer` and moves the
// cursor on: the byte count. Without loop, the bytes left before the end
// (a short last chunk), and `ended` once the end was reached before the
// call or the file holds less than it did. With loop, the chunk runs on from
// the first sample as often as it needs; a pass over the data that yields
// nothing (no data, or the file shrank) ends the chunk short.
std::uint32_t ReadSampleChunk(const plat::File& file, SampleCursor& cursor, bool loop,
                              std::uint8_t* buffer, std::uint32_t chunk, bool* ended);

}  // namespace hcy::media
