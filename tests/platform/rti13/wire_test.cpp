// The hub's frames and the federation names: what arrives from a socket or
// a host's settings is checked before it is used.
#include <gtest/gtest.h>

#include "link.h"
#include "wire.h"

namespace rtitest {
namespace {

hcyrti::Message Sample() {
    hcyrti::Message m;
    m.code = 13;
    m.handles = {0, 7, 0xFFFFFFFEu};
    m.texts = {"", std::string("a\0b", 3)};
    m.values = {{3, std::string(300, 'x')}, {0, ""}};
    return m;
}

TEST(HubFrames, EveryTruncationAndEveryOverstatedCountIsRefused) {
    const std::string frame = hcyrti::EncodeFrame(hcyrti::FrameKind::Reply, 42, Sample());
    const std::string body = frame.substr(4);
    hcyrti::Frame out;
    ASSERT_TRUE(hcyrti::DecodeFrame(body, out));
    EXPECT_EQ(out.kind, hcyrti::FrameKind::Reply);
    EXPECT_EQ(out.sequence, 42u);
    EXPECT_EQ(out.message.handles, Sample().handles);
    EXPECT_EQ(out.message.texts, Sample().texts);
    ASSERT_EQ(out.message.values.size(), 2u);
    EXPECT_EQ(out.message.values[0].bytes, std::string(300, 'x'));

    for (std::size_t n = 0; n < body.size(); ++n)
        EXPECT_FALSE(hcyrti::DecodeFrame(std::string_view(body).substr(0, n), out)) << n;
    EXPECT_FALSE(hcyrti::DecodeFrame(body + '\0', out)) << "a body is used up exactly";
    // Kind 0 and 4, and a handle count (at byte 6) that the body cannot hold.
    for (std::size_t at : {std::size_t{0}, std::size_t{6}}) {
        std::string bad = body;
        bad[at] = at == 0 ? '\4' : '\x7F';
        EXPECT_FALSE(hcyrti::DecodeFrame(bad, out)) << at;
    }
}

TEST(HubFrames, TheBufferCutsFramesAcrossReadsAndStopsAtAnOverlongOne) {
    const std::string one = hcyrti::EncodeFrame(hcyrti::FrameKind::Callback, 0, Sample());
    const std::string stream = one + one;
    hcyrti::FrameBuffer buffer;
    std::string body;
    int frames = 0;
    for (char byte : stream) {  // one byte per read: the worst split
        buffer.Append(&byte, 1);
        if (buffer.Next(body) == hcyrti::FrameBuffer::Status::Frame) ++frames;
    }
    EXPECT_EQ(frames, 2);
    EXPECT_EQ(buffer.Buffered(), 0u);

    const char overlong[] = {0x00, 0x10, 0x00, 0x01};  // 1 MiB + 1
    buffer.Append(overlong, 4);
    EXPECT_EQ(buffer.Next(body), hcyrti::FrameBuffer::Status::TooLong);

    hcyrti::Message big;
    big.texts = {std::string(hcyrti::kMaxFrameBody, 'x')};
    EXPECT_THROW(hcyrti::EncodeFrame(hcyrti::FrameKind::Request, 1, big), hcyrti::Failure);
}

TEST(FederationNames, SelectTheTransport) {
    struct Case {
        const char* name;
        const char* host;  // nullptr: refused
        unsigned port;
        const char* federation;
    };
    const Case cases[] = {
        {"Radios", "127.0.0.1", hcyrti::kDefaultHubPort, "Radios"},  // as a real RTI's
        {"thread:///Radios", "", 0, "Radios"},
        {"rti://127.0.0.1:4000/Radios", "127.0.0.1", 4000, "Radios"},
        {"rti://localhost/a/b", "localhost", hcyrti::kDefaultHubPort, "a/b"},
        {"thread://host/Radios", nullptr, 0, ""},
        {"rti://127.0.0.1:0/R", nullptr, 0, ""},
        {"rti://127.0.0.1:65536/R", nullptr, 0, ""},
        {"rti://127.0.0.1:-1/R", nullptr, 0, ""},
        {"rti://127.0.0.1:4000", nullptr, 0, ""},
        {"rti://:4000/R", nullptr, 0, ""},
        {"rti://127.0.0.1:4000/", nullptr, 0, ""},
        {"http://x/R", nullptr, 0, ""},
        {"", nullptr, 0, ""},
    };
    for (const Case& c : cases) {
        if (!c.host) {
            EXPECT_THROW(hcyrti::ParseFederationName(c.name), hcyrti::Failure) << c.name;
            continue;
        }
        const hcyrti::FederationAddress a = hcyrti::ParseFederationName(c.name);
        EXPECT_EQ(a.hubHost, c.host) << c.name;
        EXPECT_EQ(a.hubPort, c.port) << c.name;
        EXPECT_EQ(a.federation, c.federation) << c.name;
    }
    EXPECT_THROW(hcyrti::ParseFederationName(nullptr), hcyrti::Failure);
}

}  // namespace
}  // namespace rtitest
