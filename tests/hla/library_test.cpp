// The whole library in a federation with a peer federate of the test: the
// start-up's outcomes through the network manager, a radio's object and
// attributes, a peer's transmitter heard and dropped, and the resign of
// hcyExit.
#include <chrono>
#include <cstring>

#include "hcyplat/clock.h"
#include "rti13_fixture.h"
#include "support/library_fixture.h"

namespace {

using rtitest::Federate;

// Real time: an HLA radio's registration waits for the network manager.
class LibraryInFederation : public LibraryTest {
protected:
    void SetUp() override {
        LibraryTest::SetUp();
        plat::UseRealClock();
        ASSERT_EQ(hcyInit(0, "127.255.255.255"), 1) << Error();
        ASSERT_TRUE(OwnPrimaryPort());
    }

    std::uint32_t Audible(int radio) {
        std::uint32_t n = 0;
        hcyGetRadioData(radio, RD_AUDIBLE_COUNT, &n);
        return n;
    }
};

std::string Be32(std::uint32_t v) {
    const char b[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
    return std::string(b, 4);
}
std::string BeDouble(double d) {
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    return Be32(static_cast<std::uint32_t>(v >> 32)) + Be32(static_cast<std::uint32_t>(v));
}
std::string BeFloat(float f) {
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    return Be32(v);
}

TEST_F(LibraryInFederation, RadiosMeetAPeerFederate) {
    const std::string fed = "thread:///Library";
    const std::string fedPath = rtitest::FedPath();
    EXPECT_EQ(hcyHLAInitEx(1, 2, fed.c_str(), 1, fedPath.c_str(), 10), 0);
    EXPECT_EQ(Error(), "HCY ERROR: Invalid FOM type sent to HLAInit");
    // After a failure a new attempt is made; once joined, the federation stays.
    ASSERT_EQ(hcyHLAInitEx(1, 1, fed.c_str(), 1, fedPath.c_str(), 10), 1) << Error();
    EXPECT_EQ(hcyHLAInitEx(1, 1, "thread:///Other", 1, fedPath.c_str(), 10), 1);

    Federate peer;
    peer.Join(fed, "peer");
    auto all = peer.Set({});
    for (const char* a : {"EntityIdentifier", "Frequency", "FrequencyBandwidth", "RadioIndex",
                          "TransmittedPower", "TransmitterOperationalStatus", "WorldLocation"})
        all->add(peer.Attr(a));
    peer.rti.publishObjectClass(peer.transmitter, *all);
    peer.rti.subscribeObjectClassAttributes(peer.transmitter, *all);

    // The radio's object is registered under its name as it is created.
    ASSERT_EQ(hcySetDefaultNetwork(NET_HLA), 1);
    const int radio = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, 4);
    ASSERT_GT(radio, 0) << Error();
    ASSERT_EQ(hcySetAntXYZPosn(radio, 6378137.0, 0.0, 0.0), 1);
    ASSERT_EQ(hcySetRadioFrequency(radio, 30e6, 30e6), 1);
    ASSERT_TRUE(peer.TickUntilKind("discover"));
    const rtitest::Event mine = peer.rec.Of("discover")[0];
    EXPECT_EQ(mine.text, "hcyRadio.1-2-3-4");
    peer.rti.requestObjectAttributeValueUpdate(mine.handle, *peer.Set({"Frequency", "RadioIndex"}));
    ASSERT_TRUE(peer.TickUntil([&] {
        for (const auto& e : peer.rec.Of("reflect"))
            if (e.values.count(peer.Attr("RadioIndex"))) return true;
        return false;
    }));
    EXPECT_EQ(peer.rec.Of("reflect").back().values.at(peer.Attr("RadioIndex")),
              std::string("\0\x04", 2));

    // A radio whose object the RTI refuses (its name is taken) is told at
    // once, with the RTI's reason, not after the 20 s wait for the object.
    peer.rti.registerObjectInstance(peer.transmitter, "hcyRadio.5-6-7-8");
    const auto before = std::chrono::steady_clock::now();
    const int twin = hcyCreateComRadio(RADIO_TYPE_GENERIC, 5, 6, 7, 8);
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(10));
    EXPECT_EQ(Error().rfind("HCY ERROR: Could not register transmitter object hcyRadio.5-6-7-8: "
                            "ObjectAlreadyRegistered",
                            0),
              0u)
        << Error();
    hcyDestroyComRadio(twin);

    // A peer's transmitter on the air nearby is heard; deleted, it is gone.
    const RTI::ObjectHandle theirs =
        peer.rti.registerObjectInstance(peer.transmitter, "peer-radio");
    peer.rti.updateAttributeValues(
        theirs,
        *peer.Values({{"EntityIdentifier", std::string("\0\x0A\0\x14\0\x1E", 6)},
                      {"RadioIndex", std::string("\0\x01", 2)},
                      {"Frequency", std::string("\0\0\0\0\x01\xC9\xC3\x80", 8)},
                      {"FrequencyBandwidth", BeFloat(100.0f)},
                      {"TransmittedPower", BeFloat(19.68f)},
                      {"TransmitterOperationalStatus", "\x02"},
                      {"WorldLocation", BeDouble(6378137.0) + BeDouble(1000.0) + BeDouble(0.0)}}),
        "");
    ASSERT_TRUE(peer.TickUntil([&] { return Audible(radio) == 1; }));
    peer.rti.deleteObjectInstance(theirs, "");
    ASSERT_TRUE(peer.TickUntil([&] { return Audible(radio) == 0; }));

    // hcyExit resigns: the radio's object leaves; the federation, still
    // used by the peer, stays.
    hcyExit();
    ASSERT_TRUE(peer.TickUntilKind("remove"));
    EXPECT_EQ(peer.rec.Of("remove")[0].handle, mine.handle);
    EXPECT_EQ(Error(), "HCY ERROR: Could not remove Federation " + fed);
    peer.rti.resignFederationExecution(RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
    peer.rti.destroyFederationExecution(fed.c_str());
    hcySetDefaultNetwork(NET_PRIMARY);
}

}  // namespace
