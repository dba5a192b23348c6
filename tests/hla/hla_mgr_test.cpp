// The RPR FOM 1.0 manager against the RTI library, with a peer federate of
// the test in the same process: join outcomes and their messages, objects
// and attributes both ways (exact bytes, malformed values dropped), update
// requests answered outside the callbacks, signals both ways.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hla/hla_mgr_rpr10.h"
#include "net/pdu.h"
#include "rti13_fixture.h"
#include "support/test_support.h"

namespace {

using rtitest::Federate;
using rtitest::Thrown;

// The application's side, as the manager sees it.
struct Sink : hcy::hla::HlaSink {
    struct Update {
        std::uint32_t object;
        HlaTransmitterRecord record;
        std::uint32_t mask;
    };
    struct Signal {
        HlaSignalRecord record;
        std::string audio, sender;
    };
    std::vector<Update> updates;
    std::vector<Signal> signals;
    std::vector<std::uint32_t> removed;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> posted;
    std::vector<std::string> errors;
    std::map<int, std::string> radioNames;                 // by user id
    std::map<int, std::uint32_t> radioObjects;             // what was stored
    std::map<int, std::string> refusals;                   // why none was
    std::map<std::uint32_t, HlaTransmitterRecord> radios;  // by object

    void DispatchHlaTransmitterUpdate(std::uint32_t object, const HlaTransmitterRecord* r,
                                      std::uint32_t mask) override {
        updates.push_back({object, *r, mask});
    }
    void DispatchHlaSignal(const HlaSignalRecord* r, const std::uint8_t* data, std::uint32_t bytes,
                           const std::string* sender) override {
        signals.push_back({*r, std::string(reinterpret_cast<const char*>(data), bytes), *sender});
    }
    int ForEachHlaRadioRemoveObject(std::uint32_t object) override {
        removed.push_back(object);
        return 1;
    }
    bool GetRadioName(int userId, std::string& name) override {
        if (!radioNames.count(userId)) return false;
        name = radioNames[userId];
        return true;
    }
    bool SetRadioHlaObject(int userId, std::uint32_t object) override {
        radioObjects[userId] = object;
        return radioNames.count(userId) != 0;
    }
    void RefuseRadioHlaObject(int userId, const char* reason) override {
        refusals[userId] = reason;
    }
    bool GetHlaRadioRecord(std::uint32_t object, HlaTransmitterRecord& out) override {
        if (!radios.count(object)) return false;
        out = radios[object];
        return true;
    }
    bool SetRadioHLAData(std::uint32_t, int, std::int32_t) override { return true; }
    void SetError(const char* text) override { errors.push_back(text); }
    bool PostUpdateAttributes(std::uint32_t object, std::uint32_t mask) override {
        posted.emplace_back(object, mask);
        return true;
    }
    std::string LastError() const { return errors.empty() ? "" : errors.back(); }
};

std::string Federation(const char* name) { return std::string("thread:///") + name; }

class Manager : public ::testing::Test {
protected:
    // Joins `mgr` (creating the federation) and the peer, which publishes
    // and subscribes every transmitter attribute and the signal.
    void JoinBoth(const char* federation) {
        name = Federation(federation);
        ASSERT_TRUE(mgr->Join(name, rtitest::FedPath(), 10, true, nullptr)) << sink.LastError();
        peer.Join(name, "peer");
        all = peer.Set({});
        for (const char* a : hcy::hla::kTransmitterAttributeNames) all->add(peer.Attr(a));
        peer.rti.publishObjectClass(peer.transmitter, *all);
        peer.rti.subscribeObjectClassAttributes(peer.transmitter, *all);
        peer.rti.publishInteractionClass(peer.signal);
        peer.rti.subscribeInteractionClass(peer.signal);
    }

    void TearDown() override {
        if (mgr->IsJoined()) mgr->Resign();
        if (!name.empty()) {
            try {
                peer.rti.resignFederationExecution(RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
                peer.rti.destroyFederationExecution(name.c_str());
            } catch (const RTI::Exception&) {}
        }
    }

    // Ticks the manager and the peer until `done` holds (at most 10 s).
    bool Until(const std::function<bool()>& done) {
        return peer.TickUntil([&] {
            mgr->Tick(false);
            return done();
        });
    }

    // Values the peer sets, by attribute name.
    std::unique_ptr<RTI::AttributeHandleValuePairSet> Values(
        std::initializer_list<std::pair<const char*, std::string>> values) {
        return peer.Values(values);
    }

    Sink sink;
    std::unique_ptr<CHLAMgrRpr10> mgr = std::make_unique<CHLAMgrRpr10>(sink);
    Federate peer;
    std::unique_ptr<RTI::AttributeHandleSet> all;
    std::string name;
};

TEST_F(Manager, JoinOutcomesAndTheirMessages) {
    hcytest::TempDir dir;
    const std::string fed = Federation("Outcomes");
    // Created here: joined, published; a second creator is told and joins.
    ASSERT_TRUE(mgr->Join(fed, rtitest::FedPath(), 10, true, nullptr));
    EXPECT_TRUE(mgr->Created());
    EXPECT_TRUE(sink.errors.empty());
    Sink sink2;
    CHLAMgrRpr10 second(sink2);
    ASSERT_TRUE(second.Join(fed, rtitest::FedPath(), 10, true, nullptr));
    ASSERT_EQ(sink2.errors.size(), 1u);
    EXPECT_EQ(sink2.errors[0].rfind("Federation execution " + fed + " already exists: ", 0), 0u);
    EXPECT_EQ(sink2.errors[0].back(), '\n');
    EXPECT_FALSE(second.Created());
    second.Resign();  // not its federation: left standing
    EXPECT_EQ(sink2.errors.size(), 1u);
    mgr->Resign();  // its creator destroys it
    EXPECT_TRUE(sink.errors.empty());

    struct Case {
        const char* federation;
        std::string fedPath;
        bool create;
        std::uint32_t tries;
        std::string error;  // the last error afterwards ("": none)
    };
    hcytest::WriteFile(dir.file("bad.fed"), "no FED file (FED (objects (class");
    hcytest::WriteFile(dir.file("empty.fed"), "(FED (Federation x) (FEDversion v1.3))");
    hcytest::ScopedCwd cwd(dir.path());  // no default FED file here
    const Case cases[] = {
        {"thread:///Missing", "", false, 10, ""},
        {"thread:///NoFed", "", true, 10, "Could not find FED file "},
        {"thread:///BadFed", dir.file("bad.fed"), true, 10,
         "Could not read FED file " + dir.file("bad.fed")},
        // Joined, but its FOM has no radio classes: the missing name is
        // told, the federate resigned and the federation destroyed.
        {"thread:///Empty", dir.file("empty.fed"), true, 10,
         "HLA name lookup failed for EmbeddedSystem.RadioTransmitter: "},
        // No hub there: every try fails until the tries run out.
        {"rti://127.0.0.1:1/Gone", "", false, 2,
         "Tervale timed out trying to join rti://127.0.0.1:1/Gone federation"},
        {"rti://127.0.0.1:1/Gone", "", false, 0,
         "Tervale timed out trying to join rti://127.0.0.1:1/Gone federation"},
    };
    for (const Case& c : cases) {
        Sink s;
        CHLAMgrRpr10 m(s);
        EXPECT_FALSE(m.Join(c.federation, c.fedPath, c.tries, c.create, nullptr)) << c.federation;
        // The RTI's reason may follow.
        EXPECT_EQ(s.LastError().substr(0, c.error.size()), c.error) << c.federation;
        EXPECT_EQ(s.LastError().empty(), c.error.empty()) << c.federation;
        EXPECT_FALSE(m.IsJoined());
    }
    Federate probe;
    EXPECT_EQ(
        Thrown([&] { probe.rti.joinFederationExecution("p", "thread:///Empty", &probe.rec); }),
        "FederationExecutionDoesNotExist");

    // A stop waiting ends the tries at once.
    std::atomic<bool> abandon{true};
    Sink s;
    CHLAMgrRpr10 m(s);
    EXPECT_FALSE(m.Join("rti://127.0.0.1:1/Gone", "", 4000000000u, false, &abandon));
    EXPECT_EQ(s.LastError(), "Tervale timed out trying to join rti://127.0.0.1:1/Gone federation");
}

TEST_F(Manager, ObjectsAndAttributesBothWays) {
    JoinBoth("Objects");
    // The peer's object: discovered under its name, with mask 0.
    const RTI::ObjectHandle theirs =
        peer.rti.registerObjectInstance(peer.transmitter, "peer-radio");
    ASSERT_TRUE(Until([&] { return !sink.updates.empty(); }));
    EXPECT_EQ(sink.updates[0].object, theirs);
    EXPECT_EQ(sink.updates[0].record.instanceName, "peer-radio");
    EXPECT_EQ(sink.updates[0].mask, 0u);

    // Malformed values drop alone; a reflection of nothing known dispatches
    // nothing.
    peer.rti.updateAttributeValues(
        theirs,
        *Values({{"Frequency", std::string(7, '\1')},
                 {"RadioIndex", std::string("\0\x09", 2)},
                 {"CryptographicMode", std::string(6, '\1')},
                 {"AntennaPatternData", std::string("\0\0\0\x2A\0\0", 6)}}),
        "");
    peer.rti.updateAttributeValues(theirs, *Values({{"Frequency", std::string(9, '\1')}}), "");
    peer.rti.updateAttributeValues(theirs, *Values({{"TransmitterOperationalStatus", "\x02"}}), "");
    ASSERT_TRUE(Until([&] { return sink.updates.size() >= 3; }));
    EXPECT_EQ(sink.updates[1].mask, HLA_ATTR_RADIO_INDEX | HLA_ATTR_ANTENNA_PATTERN_DATA);
    EXPECT_EQ(sink.updates[1].record.radioIndex, 9);
    EXPECT_EQ(sink.updates[1].record.antennaPatternData, 42u);
    EXPECT_EQ(sink.updates[1].record.instanceName, "peer-radio");
    EXPECT_EQ(sink.updates[2].mask, HLA_ATTR_TRANSMITTER_OPERATIONAL_STATUS);
    EXPECT_EQ(sink.updates.size(), 3u);

    // A radio whose name another federate holds: refused, with the reason.
    sink.radioNames[8] = "peer-radio";
    mgr->RegisterRadio(1, 8);
    EXPECT_EQ(sink.radioObjects.count(8), 0u);
    EXPECT_EQ(sink.refusals[8].rfind("ObjectAlreadyRegistered", 0), 0u) << sink.refusals[8];

    // The manager's radio: registered under its name, its attributes sent.
    sink.radioNames[7] = "hcyRadio.1-2-3-4";
    mgr->RegisterRadio(1, 7);
    const std::uint32_t mine = sink.radioObjects.at(7);
    ASSERT_NE(mine, kNoHlaObject);
    ASSERT_TRUE(peer.TickUntilKind("discover"));
    EXPECT_EQ(peer.rec.Of("discover")[0].text, "hcyRadio.1-2-3-4");
    HlaTransmitterRecord radio;
    radio.site = 1, radio.application = 2, radio.entity = 3;
    radio.frequencyLow = 30000000;
    radio.operationalStatus = 2;
    sink.radios[mine] = radio;
    mgr->UpdateRadio(mine, 0);  // nothing asked: nothing sent
    mgr->UpdateRadio(mine, 0xFFFFFFFF);
    ASSERT_TRUE(peer.TickUntilKind("reflect"));
    const auto values = peer.rec.Of("reflect")[0].values;
    EXPECT_EQ(values.size(), kHlaAttributeCount);
    EXPECT_EQ(values.at(peer.Attr("EntityIdentifier")), std::string("\0\1\0\2\0\3", 6));
    EXPECT_EQ(values.at(peer.Attr("Frequency")), std::string("\0\0\0\0\x01\xC9\xC3\x80", 8));
    EXPECT_EQ(values.at(peer.Attr("HostObjectIdentifier")), std::string("\0", 1));
    EXPECT_EQ(values.at(peer.Attr("TransmitterOperationalStatus")), "\x02");
    EXPECT_EQ(values.at(peer.Attr("ModulationParameters")), std::string(15, '\0'));
    EXPECT_EQ(peer.rec.Of("reflect").size(), 1u);

    // An update request reaches the manager inside its tick: it only posts
    // (calling the RTI there would be refused and reported).
    peer.rti.requestObjectAttributeValueUpdate(mine, *peer.Set({"Frequency", "RadioIndex"}));
    ASSERT_TRUE(Until([&] { return !sink.posted.empty(); }));
    EXPECT_EQ(sink.posted[0], std::make_pair(mine, HLA_ATTR_FREQUENCY | HLA_ATTR_RADIO_INDEX));
    mgr->RequestUpdate(0, HLA_ATTR_ALL);  // the whole class
    ASSERT_TRUE(peer.TickUntilKind("provide"));
    EXPECT_EQ(peer.rec.Of("provide")[0].handle, theirs);

    // Deleted objects are removed at the other side.
    peer.rti.deleteObjectInstance(theirs, "");
    ASSERT_TRUE(Until([&] { return !sink.removed.empty(); }));
    EXPECT_EQ(sink.removed[0], theirs);
    EXPECT_TRUE(mgr->DeleteObject(mine));
    EXPECT_TRUE(mgr->DeleteObject(kNoHlaObject));
    ASSERT_TRUE(peer.TickUntilKind("remove"));
    EXPECT_EQ(peer.rec.Of("remove")[0].handle, mine);
    EXPECT_TRUE(sink.errors.empty()) << sink.LastError();
}

TEST_F(Manager, SignalsBothWays) {
    JoinBoth("Signals");
    // A network-order Signal PDU: PCM (4), 16000 Hz, 8 bytes of audio.
    std::string pdu(32, '\x55');
    pdu.replace(20, 12, std::string("\0\x04\0\0\0\0\x3E\x80\0\x40\0\x04", 12));
    pdu += "ABCDEFGH";
    hcy::net::PduSendRequest request;
    request.length = 8;
    request.senderName = "hcyRadio.1-2-3-4";
    auto send = [&] {
        return mgr->SendSignal(reinterpret_cast<const unsigned char*>(pdu.data()), pdu.size(),
                               request);
    };
    mgr->SetSignalEnable(false);
    EXPECT_TRUE(send());  // nothing sent
    mgr->SetSignalEnable(true);
    request.senderName.reset();
    EXPECT_TRUE(send());
    ASSERT_TRUE(peer.TickUntilKind("receive"));
    auto params = peer.rec.Of("receive")[0].values;
    EXPECT_EQ(params.at(peer.Param("SignalData")), "ABCDEFGH");
    EXPECT_EQ(params.at(peer.Param("SignalDataLength")), std::string("\0\x40", 2));
    EXPECT_EQ(params.at(peer.Param("SampleCount")), std::string("\0\x04", 2));
    EXPECT_EQ(params.at(peer.Param("SignalSampleRate")), std::string("\0\0\x3E\x80", 4));
    EXPECT_EQ(params.at(peer.Param("TransmitterSignalEncodingType")), std::string("\0\0\0\x04", 4));
    EXPECT_EQ(params.at(peer.Param("HostRadioIndex")), std::string("\0", 1));
    // No audio: no SignalData.
    request.length = 0;
    request.senderName = "r";
    EXPECT_TRUE(send());
    ASSERT_TRUE(peer.TickUntilKind("receive", 2));
    EXPECT_EQ(peer.rec.Of("receive")[1].values.count(peer.Param("SignalData")), 0u);
    EXPECT_EQ(peer.rec.Of("receive")[1].values.at(peer.Param("HostRadioIndex")),
              std::string("r\0", 2));

    // From the peer: a usable signal, one without audio, one whose data
    // length claims more than it carries.
    const std::string pcm(64, '\x11');
    auto signal = [&](const std::string& lengthBits, bool audio) {
        auto p = peer.Params({{"HostRadioIndex", std::string("peer-radio\0", 11)},
                              {"TransmitterSignalEncodingType", std::string("\0\1\0\4", 4)},
                              {"SignalSampleRate", std::string("\0\0\x3E\x80", 4)},
                              {"SampleCount", std::string("\0\x20", 2)},
                              {"SignalDataLength", lengthBits}});
        if (audio) p->add(peer.Param("SignalData"), pcm.data(), pcm.size());
        peer.rti.sendInteraction(peer.signal, *p, "");
    };
    signal(std::string("\x02\0", 2), true);
    signal(std::string("\x02\0", 2), false);
    signal(std::string("\x02\x08", 2), true);
    signal(std::string("\x02\0", 2), true);
    ASSERT_TRUE(Until([&] { return sink.signals.size() >= 2; }));
    EXPECT_EQ(sink.signals.size(), 2u);
    EXPECT_EQ(sink.signals[0].record.encodingScheme, 4);
    EXPECT_EQ(sink.signals[0].record.sampleRate, 16000u);
    EXPECT_EQ(sink.signals[0].record.sampleCount, 32);
    EXPECT_EQ(sink.signals[0].record.dataLengthBits, 512);
    EXPECT_EQ(sink.signals[0].audio, pcm);
    EXPECT_EQ(sink.signals[0].sender, "peer-radio");
}

// A set whose first entry cannot be read.
class BrokenSet : public RTI::AttributeHandleValuePairSet {
public:
    BrokenSet(RTI::Handle broken, RTI::Handle good) : broken_(broken), good_(good) {}
    RTI::ULong size() const override { return 2; }
    RTI::Handle getHandle(RTI::ULong i) const override { return i == 0 ? broken_ : good_; }
    RTI::ULong getValueLength(RTI::ULong) const override { return 2; }
    void getValue(RTI::ULong i, char* buff, RTI::ULong& length) const override {
        if (i == 0) throw RTI::RTIinternalError("value lost");
        buff[0] = 0, buff[1] = 5, length = 2;
    }
    char* getValuePointer(RTI::ULong, RTI::ULong&) const override { return nullptr; }
    RTI::TransportType getTransportType(RTI::ULong) const override { return 0; }
    RTI::OrderType getOrderType(RTI::ULong) const override { return 0; }
    RTI::Region* getRegion(RTI::ULong) const override { return nullptr; }
    void add(RTI::Handle, const char*, RTI::ULong) override {}
    void remove(RTI::Handle) override {}
    void moveFrom(const RTI::AttributeHandleValuePairSet&, RTI::ULong&) override {}
    void empty() override {}
    RTI::ULong start() const override { return 0; }
    RTI::ULong valid(RTI::ULong i) const override { return i < 2; }
    RTI::ULong next(RTI::ULong i) const override { return i + 1; }

private:
    RTI::Handle broken_, good_;
};

TEST_F(Manager, AValueThatCannotBeReadIsReportedAndTheOthersStillCount) {
    JoinBoth("Broken");
    const BrokenSet set(peer.Attr("CryptoSystem"), peer.Attr("RadioIndex"));
    EXPECT_TRUE(mgr->ReflectAttributeValues(12, set));
    ASSERT_EQ(sink.updates.size(), 1u);
    EXPECT_EQ(sink.updates[0].mask, HLA_ATTR_RADIO_INDEX);
    EXPECT_EQ(sink.updates[0].record.radioIndex, 5);
    EXPECT_EQ(sink.LastError(), "Receive Attributes exception: value lost\n");
}

}  // namespace
