// The hub between processes: a federate here and one in a peer process
// exchange objects and interactions through hcyrtihub on 127.0.0.1; a killed
// peer is resigned; malformed frames and a lost hub are survived.
#include <chrono>
#include <string>

#include "rti13_fixture.h"
#include "support/child_process.h"
#include "support/test_support.h"
#include "tcp.h"
#include "wire.h"

namespace rtitest {
namespace {

using namespace std::chrono_literals;

class Hub : public ::testing::Test {
protected:
    void SetUp() override {
        hub = std::make_unique<hcytest::ChildProcess>(
            std::vector<std::string>{HCY_RTI_HUB, "--port", "0"}, dir.file("hub.out"));
        const std::string banner = "listening on 127.0.0.1:";
        std::string out;
        ASSERT_TRUE(hcytest::WaitFor([&] {
            out = hcytest::ReadFile(dir.file("hub.out"));
            return out.find('\n') != std::string::npos;
        }));
        ASSERT_NE(out.find(banner), std::string::npos) << out;
        port = std::stoi(out.substr(out.find(banner) + banner.size()));
        url = "rti://127.0.0.1:" + std::to_string(port) + "/Radios";
        self.rti.createFederationExecution(url.c_str(), FedPath().c_str());
        self.Join(url);
    }

    bool HasEvent(const char* kind, RTI::Handle handle) {
        for (const Event& e : self.rec.Of(kind))
            if (e.handle == handle) return true;
        return false;
    }

    hcytest::TempDir dir;
    std::unique_ptr<hcytest::ChildProcess> hub;
    int port = 0;
    std::string url;
    Federate self;
};

TEST_F(Hub, TwoProcessesExchangeObjectsAndInteractionsAndAKilledOneIsResigned) {
    self.Declare({"Frequency", "RadioIndex"});
    const RTI::ObjectHandle mine = self.rti.registerObjectInstance(self.transmitter, "test-radio");
    hcytest::ChildProcess peer({HCY_RTI_PEER, url}, dir.file("peer.out"));

    ASSERT_TRUE(self.TickUntilKind("discover")) << hcytest::ReadFile(dir.file("peer.out"));
    const Event found = self.rec.Of("discover")[0];
    EXPECT_EQ(found.text, "peer-radio");
    EXPECT_EQ(found.objectClass, self.transmitter);

    // The peer discovered ours when it subscribed: it echoes our update.
    self.rti.updateAttributeValues(
        mine, *self.Values({{"Frequency", "F1"}, {"TransmittedPower", "P"}}), "");
    ASSERT_TRUE(self.TickUntilKind("reflect"));
    const Event echo = self.rec.Of("reflect")[0];
    EXPECT_EQ(echo.handle, found.handle);
    EXPECT_EQ(echo.text, "echo");
    EXPECT_EQ(echo.values, (std::map<RTI::Handle, std::string>{{self.Attr("Frequency"), "F1"}}));

    const std::string audio(8000, '\xA5');  // about one Signal PDU of audio
    self.rti.sendInteraction(self.signal,
                             *self.Params({{"HostRadioIndex", "r1"}, {"SignalData", audio}}), "");
    ASSERT_TRUE(self.TickUntilKind("receive"));
    EXPECT_EQ(self.rec.Of("receive")[0].values[self.Param("SignalData")], audio);
    EXPECT_EQ(self.rec.Of("receive")[0].values[self.Param("HostRadioIndex")], "r1");

    peer.Kill();
    ASSERT_TRUE(self.TickUntil([&] { return HasEvent("remove", found.handle); }));
    self.rti.resignFederationExecution(RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
    EXPECT_EQ(Thrown([&] { self.rti.destroyFederationExecution(url.c_str()); }), "")
        << "the peer was resigned";
}

TEST_F(Hub, RefusalsTravelBackAndMalformedFramesOrALostHubEndOnlyTheirConnection) {
    EXPECT_EQ(Thrown([&] { self.rti.createFederationExecution(url.c_str(), FedPath().c_str()); }),
              "FederationExecutionAlreadyExists");
    EXPECT_EQ(Thrown([&] { self.rti.joinFederationExecution("x", url.c_str(), &self.rec); }),
              "FederateAlreadyExecutionMember");
    EXPECT_EQ(Thrown([&] { self.rti.registerObjectInstance(self.transmitter, "r"); }),
              "ObjectClassNotPublished");

    struct Garbage {
        const char* what;
        std::string bytes;
    };
    const Garbage garbage[] = {
        {"overlong frame", std::string("\xFF\xFF\xFF\xFF", 4)},
        {"malformed body", std::string("\0\0\0\2\1\0", 6)},
        {"a reply sent to the hub", hcyrti::EncodeFrame(hcyrti::FrameKind::Reply, 1, {})},
    };
    for (const Garbage& g : garbage) {
        std::string error;
        hcyrti::Socket raw =
            hcyrti::ConnectLoopback("127.0.0.1", static_cast<std::uint16_t>(port), error);
        ASSERT_TRUE(raw.Valid()) << error;
        ASSERT_TRUE(raw.SendAll(g.bytes, 5s));
        char byte;
        EXPECT_TRUE(hcytest::WaitFor([&] { return raw.Receive(&byte, 1, 50ms) < 0; })) << g.what;
    }
    self.rti.publishObjectClass(self.transmitter, *self.Set({"Frequency"}));
    EXPECT_NE(self.rti.registerObjectInstance(self.transmitter, "r"), 0u) << "the hub still serves";

    hub->Kill();
    EXPECT_EQ(Thrown([&] { self.rti.registerObjectInstance(self.transmitter, "s"); }),
              "RTIinternalError");
    EXPECT_EQ(self.rti.tick(), RTI::RTI_FALSE);
    EXPECT_EQ(Thrown([&] { self.rti.joinFederationExecution("x", url.c_str(), &self.rec); }),
              "RTIinternalError")
        << "a lost link may join again, but no hub listens";
}

}  // namespace
}  // namespace rtitest
