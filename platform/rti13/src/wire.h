#pragma once
// Frames between a hub client and the hub, over TCP:
//
//   u32 length of the body (big-endian, at most kMaxFrameBody)
//   body: u8 kind, u32 sequence, u8 code,
//         u32 n, n x u32 handle,
//         u32 n, n x (u32 length, bytes) text,
//         u32 n, n x (u32 handle, u32 length, bytes) value
//
// A reply carries the sequence of its request; callbacks carry 0. Every count
// and length is checked against the bytes of the body actually received, and
// a body must be used up exactly.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "message.h"

namespace hcyrti {

constexpr std::size_t kMaxFrameBody = std::size_t{1} << 20;  // [bytes]; an audio block is ~8 KiB

enum class FrameKind : std::uint8_t { Request = 1, Reply, Callback };

struct Frame {
    FrameKind kind = FrameKind::Request;
    std::uint32_t sequence = 0;
    Message message;
};

// The frame with its length word; a body over the cap throws
// Failure(RTIinternalError) and nothing is sent.
std::string EncodeFrame(FrameKind kind, std::uint32_t sequence, const Message& message);

// False for a malformed body (nothing of `out` is then to be used).
bool DecodeFrame(std::string_view body, Frame& out);

// Collects the bytes of a stream and cuts them into frame bodies.
class FrameBuffer {
public:
    enum class Status { Frame, Incomplete, TooLong };

    void Append(const char* data, std::size_t n) { data_.append(data, n); }
    // Takes the next whole body. TooLong: the stream announced a body over
    // the cap, and cannot be read further.
    Status Next(std::string& body);
    std::size_t Buffered() const { return data_.size() - start_; }

private:
    std::string data_;
    std::size_t start_ = 0;
};

}  // namespace hcyrti
