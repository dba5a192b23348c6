// Arbitrary bytes, as a hub connection would bring them, are cut into
// frames and served by a federation core of the project's FOM with two
// federates joined (the sequence's low bit picks which one asks); the bytes
// are also read as a FED file. Nothing may crash, leak or read past the input.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>

#include "federation_core.h"
#include "fom.h"
#include "wire.h"

namespace {

// Callbacks are encoded as the hub would send them, then dropped.
struct EncodingSink final : hcyrti::CallbackSink {
    void Deliver(hcyrti::Message m) override {
        try {
            bytes += hcyrti::EncodeFrame(hcyrti::FrameKind::Callback, 0, m).size();
        } catch (const hcyrti::Failure&) {}
    }
    std::size_t bytes = 0;
};

const std::string& FedText() {
    static const std::string text = [] {
        std::ifstream in(HCY_FUZZ_FED_FILE);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }();
    return text;
}

hcyrti::Message Request(hcyrti::Op op, std::vector<std::string> texts) {
    hcyrti::Message m;
    m.code = static_cast<std::uint8_t>(op);
    m.texts = std::move(texts);
    return m;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    try {
        hcyrti::Fom::Parse(input);
    } catch (const hcyrti::Failure&) {}

    hcyrti::FederationCore core;
    hcyrti::Session sessions[2];
    for (hcyrti::Session& s : sessions) s.sink = std::make_shared<EncodingSink>();
    core.Serve(sessions[0], Request(hcyrti::Op::Create, {"F", FedText()}));
    for (hcyrti::Session& s : sessions) core.Serve(s, Request(hcyrti::Op::Join, {"F", "fuzz"}));

    hcyrti::FrameBuffer buffer;
    buffer.Append(input.data(), input.size());
    std::string body;
    while (buffer.Next(body) == hcyrti::FrameBuffer::Status::Frame) {
        hcyrti::Frame frame;
        if (!hcyrti::DecodeFrame(body, frame)) continue;
        core.Serve(sessions[frame.sequence & 1], frame.message);
    }
    for (hcyrti::Session& s : sessions) core.Drop(s);
    return 0;
}
