// The receive road's filter and routing without sockets or threads: which
// datagrams are kept, their minimum lengths, the WM_NETRX_* number by kind
// and source, and the inline road into the dispatchers.
#include "net/receive_road.h"
#include "net_fixture.h"
#include "pdu_samples.h"

using namespace nettest;
using namespace hcy::net;
using namespace hcy::net::test;

namespace {

Bytes WithType(std::uint8_t type, std::size_t length) {
    Bytes bytes(length);
    if (length > 2) bytes[2] = std::byte{type};
    return bytes;
}

}  // namespace

TEST(ReceiveFilter, KeepsOnlyTheTypesTheSystemHandles) {
    for (int type = 0; type < 256; ++type) {
        const Bytes d = WithType(static_cast<std::uint8_t>(type), 200);
        const int kept = ClassifyPdu(d, false);
        switch (type) {
            case 25: case 26: case 160: case 161: EXPECT_EQ(kept, type); break;
            default: EXPECT_EQ(kept, -1) << type;
        }
    }
    EXPECT_EQ(ClassifyPdu(WithType(1, 200), true), 1);
    EXPECT_EQ(ClassifyPdu(Bytes(2), true), -1);
    EXPECT_EQ(ClassifyPdu(Bytes{}, true), -1);
}

TEST(ReceiveFilter, MinimumLengthsAndMessageNumbers) {
    struct Case {
        int type;
        std::size_t minimum;
        RxKind kind;
        bool audio;
    };
    const Case cases[] = {
        {26, 32, RxKind::Signal, true},       {25, 104, RxKind::Transmitter, false},
        {1, 144, RxKind::EntityState, false}, {160, 40, RxKind::IcsControl, false},
        {161, 38, RxKind::IcsAudio, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_FALSE(RouteReceived(c.type, c.minimum - 1, NET_PRIMARY));
        for (unsigned source = 0; source < 3; ++source) {
            const auto route = RouteReceived(c.type, c.minimum, 1u << source);
            ASSERT_TRUE(route);
            EXPECT_EQ(route->kind, c.kind);
            EXPECT_EQ(route->audioWorker, c.audio);
            EXPECT_EQ(route->message, 1123 + 5 * source + static_cast<unsigned>(c.kind));
            EXPECT_EQ(route->source, 1u << source);
            const auto decoded = DecodeRxMessage(route->message);
            ASSERT_TRUE(decoded);
            EXPECT_EQ(decoded->first, c.kind);
            EXPECT_EQ(decoded->second, 1u << source);
        }
    }
    // Interphone control: 1126 primary, 1131 secondary, 1136 looped back.
    EXPECT_EQ(RouteReceived(160, 40, NET_PRIMARY)->message, 1126u);
    EXPECT_EQ(RouteReceived(160, 40, NET_SECONDARY)->message, 1131u);
    EXPECT_EQ(RouteReceived(160, 40, NET_LOOPBACK)->message, 1136u);
    // The first source bit counts; no source bit, nothing.
    EXPECT_EQ(RouteReceived(26, 32, NET_SECONDARY | NET_LOOPBACK)->source, NET_SECONDARY);
    EXPECT_FALSE(RouteReceived(26, 32, NET_HLA));
    EXPECT_FALSE(RouteReceived(27, 36, NET_PRIMARY));
    EXPECT_FALSE(DecodeRxMessage(1122));
    EXPECT_FALSE(DecodeRxMessage(1138));
}

TEST_F(LibraryTest, InlineRoadConvertsAndOffersToEveryMatchingListener) {
    auto first = AddRadio(NET_PRIMARY);
    auto second = AddRadio(NET_PRIMARY | NET_SECONDARY);
    auto other = AddRadio(NET_SECONDARY);
    std::vector<std::byte> scratch;

    const Bytes wire = Concat(SampleSignalWire(), SampleSignalAudio());
    EXPECT_TRUE(ReceiveDatagramInline(wire, NET_PRIMARY, scratch));
    EXPECT_FALSE(ReceiveDatagramInline(Bytes(wire.begin(), wire.begin() + 31), NET_PRIMARY, scratch));
    Bytes oversize(kMaxDatagramSize + 1);
    oversize[2] = std::byte{26};
    EXPECT_FALSE(ReceiveDatagramInline(oversize, NET_PRIMARY, scratch));

    const Bytes host = Concat(BytesOf(SampleSignal()), SampleSignalAudio());
    ASSERT_EQ(first->count(), 1u);
    EXPECT_EQ(first->heard()[0].bytes, host);
    EXPECT_EQ(second->heard()[0].bytes, host);
    EXPECT_EQ(other->count(), 0u);
}
