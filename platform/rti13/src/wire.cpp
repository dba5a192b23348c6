#include "wire.h"

namespace hcyrti {

namespace {

void PutU32(std::string& out, std::uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16),
                           static_cast<char>(v >> 8), static_cast<char>(v)};
    out.append(bytes, 4);
}

void PutBytes(std::string& out, const std::string& bytes) {
    PutU32(out, static_cast<std::uint32_t>(bytes.size()));
    out += bytes;
}

std::uint32_t U32At(std::string_view s, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(s[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + 3]));
}

// Reads a body front to back; every read is checked against what remains.
class Cursor {
public:
    explicit Cursor(std::string_view s) : s_(s) {}
    std::size_t Remaining() const { return s_.size() - at_; }
    bool U8(std::uint8_t& v) {
        if (Remaining() < 1) return false;
        v = static_cast<std::uint8_t>(s_[at_++]);
        return true;
    }
    bool U32(std::uint32_t& v) {
        if (Remaining() < 4) return false;
        v = U32At(s_, at_);
        at_ += 4;
        return true;
    }
    // A count of items of at least `minBytes` each that the rest can hold.
    bool Count(std::uint32_t& n, std::size_t minBytes) {
        return U32(n) && n <= Remaining() / minBytes;
    }
    bool Bytes(std::string& out) {
        std::uint32_t n = 0;
        if (!U32(n) || n > Remaining()) return false;
        out.assign(s_.data() + at_, n);
        at_ += n;
        return true;
    }

private:
    std::string_view s_;
    std::size_t at_ = 0;
};

}  // namespace

std::string EncodeFrame(FrameKind kind, std::uint32_t sequence, const Message& m) {
    std::string out(4, '\0');
    out += static_cast<char>(kind);
    PutU32(out, sequence);
    out += static_cast<char>(m.code);
    PutU32(out, static_cast<std::uint32_t>(m.handles.size()));
    for (Handle h : m.handles) PutU32(out, h);
    PutU32(out, static_cast<std::uint32_t>(m.texts.size()));
    for (const std::string& t : m.texts) PutBytes(out, t);
    PutU32(out, static_cast<std::uint32_t>(m.values.size()));
    for (const Value& v : m.values) {
        PutU32(out, v.handle);
        PutBytes(out, v.bytes);
    }
    const std::size_t body = out.size() - 4;
    if (body > kMaxFrameBody)
        throw Failure(Error::RTIinternalError,
                      "message of " + std::to_string(body) + " bytes is over the hub's limit");
    std::string length;
    PutU32(length, static_cast<std::uint32_t>(body));
    out.replace(0, 4, length);
    return out;
}

bool DecodeFrame(std::string_view body, Frame& out) {
    Cursor c(body);
    std::uint8_t kind = 0;
    std::uint32_t n = 0;
    if (!c.U8(kind) || kind < 1 || kind > 3 || !c.U32(out.sequence) || !c.U8(out.message.code))
        return false;
    out.kind = static_cast<FrameKind>(kind);
    Message& m = out.message;
    if (!c.Count(n, 4)) return false;
    m.handles.resize(n);
    for (Handle& h : m.handles)
        if (!c.U32(h)) return false;
    if (!c.Count(n, 4)) return false;
    m.texts.resize(n);
    for (std::string& t : m.texts)
        if (!c.Bytes(t)) return false;
    if (!c.Count(n, 8)) return false;
    m.values.resize(n);
    for (Value& v : m.values)
        if (!c.U32(v.handle) || !c.Bytes(v.bytes)) return false;
    return c.Remaining() == 0;
}

FrameBuffer::Status FrameBuffer::Next(std::string& body) {
    const std::string_view pending(data_.data() + start_, data_.size() - start_);
    if (pending.size() < 4) return Status::Incomplete;
    const std::uint32_t length = U32At(pending, 0);
    if (length > kMaxFrameBody) return Status::TooLong;
    if (pending.size() - 4 < length) return Status::Incomplete;
    body.assign(pending.data() + 4, length);
    start_ += 4 + length;
    // Drop what was read once it outweighs what is left.
    if (start_ > data_.size() / 2) {
        data_.erase(0, start_);
        start_ = 0;
    }
    return Status::Frame;
}

}  // namespace hcyrti
