// Federations in one process, through the RTI:: interface: lifecycle and its
// refusals, declarations, discovery, reflection of the subscribed subset,
// interactions, deletion and resignation, update requests, and the rules on
// callbacks (only inside tick, no service from inside one).
#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <utility>

#include "rti13_fixture.h"
#include "support/test_support.h"

namespace rtitest {
namespace {

using namespace std::chrono_literals;

class Federation : public ::testing::Test {
protected:
    void SetUp() override {
        name = std::string("thread:///") +
               ::testing::UnitTest::GetInstance()->current_test_info()->name();
        owner.createFederationExecution(name.c_str(), FedPath().c_str());
        a.Join(name, "hcy@a");
        b.Join(name, "hcy@b");
    }
    void TearDown() override {
        for (Federate* f : {&a, &b, &c})
            Thrown([&] { f->rti.resignFederationExecution(RTI::NO_ACTION); });
        EXPECT_EQ(Thrown([&] { owner.destroyFederationExecution(name.c_str()); }), "");
    }

    std::string name;
    RTI::RTIambassador owner;
    Federate a, b, c;
};

TEST(FederationLifecycle, RefusalsCarryTheirClassNameAndReason) {
    RTI::RTIambassador rti;
    Recorder rec;
    hcytest::TempDir dir;
    const std::string fed = FedPath();
    const std::string missing = dir.file("no.fed");
    const char* const name = "thread:///L";
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* thrown;
    };
    const Case cases[] = {
        {"missing FED file", [&] { rti.createFederationExecution(name, missing.c_str()); },
         "CouldNotOpenFED"},
        {"join before create", [&] { rti.joinFederationExecution("hcy", name, &rec); },
         "FederationExecutionDoesNotExist"},
        {"create", [&] { rti.createFederationExecution(name, fed.c_str()); }, ""},
        {"create again", [&] { rti.createFederationExecution(name, fed.c_str()); },
         "FederationExecutionAlreadyExists"},
        {"join", [&] { rti.joinFederationExecution("hcy", name, &rec); }, ""},
        {"join twice", [&] { rti.joinFederationExecution("hcy", name, &rec); },
         "FederateAlreadyExecutionMember"},
        {"destroy while joined", [&] { rti.destroyFederationExecution(name); },
         "FederatesCurrentlyJoined"},
        {"unknown class name", [&] { rti.getObjectClassHandle("EmbeddedSystem.Nothing"); },
         "NameNotFound"},
        {"unknown attribute",
         [&] { rti.getAttributeHandle("Nothing", rti.getObjectClassHandle(kTransmitter)); },
         "NameNotFound"},
        {"resign",
         [&] { rti.resignFederationExecution(RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES); }, ""},
        {"resign again", [&] { rti.resignFederationExecution(RTI::NO_ACTION); },
         "FederateNotExecutionMember"},
        {"destroy", [&] { rti.destroyFederationExecution(name); }, ""},
        {"destroy again", [&] { rti.destroyFederationExecution(name); },
         "FederationExecutionDoesNotExist"},
    };
    for (const Case& c : cases) EXPECT_EQ(Thrown(c.call), c.thrown) << c.what;

    try {
        rti.createFederationExecution(name, missing.c_str());
        FAIL();
    } catch (const RTI::CouldNotOpenFED& e) {
        EXPECT_STREQ(e._name, "CouldNotOpenFED");
        EXPECT_NE(std::string(e._reason).find("no.fed"), std::string::npos) << e._reason;
        const RTI::CouldNotOpenFED copy = e;
        EXPECT_STREQ(copy._reason, e._reason);
    }
}

TEST_F(Federation, HandlesComeFromTheFomByRootRelativeNames) {
    EXPECT_EQ(b.transmitter, a.transmitter) << "every federate sees the same handles";
    EXPECT_EQ(b.signal, a.signal);
    EXPECT_EQ(a.rti.getInteractionClassHandle("RadioSignal.EncodedAudioRadioSignal"), a.signal);
    const RTI::ObjectClassHandle embedded = a.rti.getObjectClassHandle("EmbeddedSystem");
    const RTI::ObjectClassHandle receiver =
        a.rti.getObjectClassHandle("EmbeddedSystem.RadioReceiver");
    EXPECT_EQ(a.Attr("EntityIdentifier"), a.Attr("EntityIdentifier", embedded));
    EXPECT_EQ(a.Attr("EntityIdentifier"), a.Attr("EntityIdentifier", receiver));
    EXPECT_NE(a.Attr("RadioIndex"), a.Attr("RadioIndex", receiver)) << "declared twice, apart";
    EXPECT_NE(a.handle, b.handle);
}

TEST_F(Federation, SubscribersDiscoverAndReflectOnlyTheirSubsetInsideTickAndNeverTheirOwn) {
    a.Declare({"Frequency"});
    b.Declare({"Frequency", "RadioIndex"});
    const RTI::ObjectHandle radio = a.rti.registerObjectInstance(a.transmitter, "radio-a");
    EXPECT_NE(radio, 0u);
    EXPECT_NE(radio, 0xFFFFFFFFu);
    a.rti.updateAttributeValues(radio,
                                *a.Values({{"Frequency", std::string("\0\0\0\0\1\xC9\xC3\x80", 8)},
                                           {"RadioIndex", std::string("\0\7", 2)},
                                           {"TransmittedPower", "P"}}),
                                nullptr);
    EXPECT_TRUE(b.rec.events.empty()) << "callbacks arrive only inside tick";
    ASSERT_TRUE(b.TickUntil([&] { return b.rec.events.size() >= 2; }));
    ASSERT_EQ(b.rec.events.size(), 2u);
    EXPECT_EQ(b.rec.events[0].kind, "discover");
    EXPECT_EQ(b.rec.events[0].handle, radio);
    EXPECT_EQ(b.rec.events[0].objectClass, b.transmitter);
    EXPECT_EQ(b.rec.events[0].text, "radio-a");
    const Event& reflect = b.rec.events[1];
    EXPECT_EQ(reflect.kind, "reflect");
    EXPECT_EQ(reflect.text, "") << "a null tag arrives as an empty one";
    EXPECT_EQ(reflect.values, (std::map<RTI::Handle, std::string>{
                                  {b.Attr("Frequency"), std::string("\0\0\0\0\1\xC9\xC3\x80", 8)},
                                  {b.Attr("RadioIndex"), std::string("\0\7", 2)}}));
    a.rti.tick();
    EXPECT_TRUE(a.rec.events.empty()) << "no federate hears itself";

    // A late subscriber, and one that subscribes to an ancestor class.
    c.Join(name, "hcy@a");  // federate names need not be unique
    c.rti.subscribeObjectClassAttributes(
        c.rti.getObjectClassHandle("EmbeddedSystem"),
        *c.Set({"EntityIdentifier"}, c.rti.getObjectClassHandle("EmbeddedSystem")));
    ASSERT_TRUE(c.TickUntilKind("discover"));
    EXPECT_EQ(c.rec.events[0].objectClass, c.rti.getObjectClassHandle("EmbeddedSystem"));
    a.rti.updateAttributeValues(radio, *a.Values({{"Frequency", "F"}, {"EntityIdentifier", "E"}}),
                                "t");
    ASSERT_TRUE(c.TickUntilKind("reflect"));
    EXPECT_EQ(c.rec.Of("reflect")[0].values,
              (std::map<RTI::Handle, std::string>{{c.Attr("EntityIdentifier"), "E"}}));

    char* instance = b.rti.getObjectInstanceName(radio);
    EXPECT_STREQ(instance, "radio-a");
    delete[] instance;
}

TEST_F(Federation, InteractionsReachSubscribersAsTheClassTheySubscribed) {
    a.Declare({"Frequency"});
    b.Declare({"Frequency"});
    c.Join(name);
    c.rti.subscribeInteractionClass(c.rti.getInteractionClassHandle("RadioSignal"));
    const std::string audio(4000, '\x5A');
    a.rti.sendInteraction(a.signal,
                          *a.Params({{"HostRadioIndex", std::string("r1\0", 3)},
                                     {"SignalData", audio},
                                     {"SampleCount", "\7\320"}}),
                          "tag");
    ASSERT_TRUE(b.TickUntilKind("receive"));
    ASSERT_TRUE(c.TickUntilKind("receive"));
    a.rti.tick();
    ASSERT_EQ(b.rec.events.size(), 1u);
    EXPECT_EQ(b.rec.events[0].kind, "receive");
    EXPECT_EQ(b.rec.events[0].handle, b.signal);
    EXPECT_EQ(b.rec.events[0].text, "tag");
    EXPECT_EQ(b.rec.events[0].values.size(), 3u);
    EXPECT_EQ(b.rec.events[0].values[b.Param("SignalData")], audio);
    ASSERT_EQ(c.rec.events.size(), 1u);
    EXPECT_EQ(c.rec.events[0].handle, c.rti.getInteractionClassHandle("RadioSignal"));
    EXPECT_EQ(c.rec.events[0].values,
              (std::map<RTI::Handle, std::string>{{0, std::string("r1\0", 3)}}));
    EXPECT_TRUE(a.rec.events.empty());
}

TEST_F(Federation, ObjectServicesRefuseWhatTheFederateMayNotDo) {
    a.Declare({"Frequency"});
    b.Declare({"Frequency"});
    const RTI::ObjectHandle radio = a.rti.registerObjectInstance(a.transmitter, "radio-a");
    ASSERT_TRUE(b.TickUntilKind("discover"));
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* thrown;
    };
    const Case cases[] = {
        {"register a name twice", [&] { b.rti.registerObjectInstance(b.transmitter, "radio-a"); },
         "ObjectAlreadyRegistered"},
        {"register unpublished",
         [&] {
             c.Join(name);
             c.rti.registerObjectInstance(c.transmitter, "x");
         },
         "ObjectClassNotPublished"},
        {"update another's object",
         [&] {
             b.rti.updateAttributeValues(radio, *b.Values({{"Frequency", "F"}}), "");
         },
         "AttributeNotOwned"},
        {"update an unpublished attribute",
         [&] {
             a.rti.updateAttributeValues(radio, *a.Values({{"WorldLocation", "W"}}), "");
         },
         "AttributeNotOwned"},
        {"update an unknown object",
         [&] {
             a.rti.updateAttributeValues(77, *a.Values({{"Frequency", "F"}}), "");
         },
         "ObjectNotKnown"},
        {"name of an undiscovered object", [&] { delete[] c.rti.getObjectInstanceName(radio); },
         "ObjectNotKnown"},
        {"delete another's object", [&] { b.rti.deleteObjectInstance(radio, ""); },
         "DeletePrivilegeNotHeld"},
        {"send unpublished", [&] { c.rti.sendInteraction(c.signal, *c.Params({}), ""); },
         "InteractionClassNotPublished"},
        {"send a parameter of no class",
         [&] {
             std::unique_ptr<RTI::ParameterHandleValuePairSet> p(
                 RTI::ParameterSetFactory::create(1));
             p->add(999, "x", 1);
             a.rti.sendInteraction(a.signal, *p, "");
         },
         "InteractionParameterNotDefined"},
        {"publish no class", [&] { a.rti.publishInteractionClass(999); },
         "InteractionClassNotDefined"},
        {"bad set index", [&] { a.Set({"Frequency"})->getHandle(1); }, "ArrayIndexOutOfBounds"},
    };
    for (const Case& k : cases) EXPECT_EQ(Thrown(k.call), k.thrown) << k.what;
}

TEST_F(Federation, DeletionAndResignationRemoveObjectsAtThoseWhoDiscoveredThem) {
    a.Declare({"Frequency"});
    b.Declare({"Frequency"});
    const RTI::ObjectHandle one = a.rti.registerObjectInstance(a.transmitter, "one");
    const RTI::ObjectHandle two = a.rti.registerObjectInstance(a.transmitter, "two");
    const RTI::ObjectHandle kept = a.rti.registerObjectInstance(a.transmitter, "kept");
    ASSERT_TRUE(b.TickUntilKind("discover", 3));
    a.rti.deleteObjectInstance(one, "gone");
    ASSERT_TRUE(b.TickUntilKind("remove"));
    EXPECT_EQ(b.rec.Of("remove")[0].handle, one);
    EXPECT_EQ(b.rec.Of("remove")[0].text, "gone");
    EXPECT_EQ(Thrown([&] { a.rti.registerObjectInstance(a.transmitter, "one"); }), "")
        << "the name is free again";

    // Resigning with deletion removes the rest.
    a.rti.resignFederationExecution(RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
    ASSERT_TRUE(b.TickUntilKind("remove", 3));
    std::set<RTI::ObjectHandle> removed;
    for (const Event& e : b.rec.Of("remove")) removed.insert(e.handle);
    EXPECT_EQ(removed.count(two) + removed.count(kept), 2u);
}

TEST_F(Federation, UpdateRequestsAskTheOwnersForWhatTheyOwn) {
    a.Declare({"Frequency"});
    b.Declare({"Frequency"});
    const RTI::ObjectHandle ra = a.rti.registerObjectInstance(a.transmitter, "ra");
    const RTI::ObjectHandle rb = b.rti.registerObjectInstance(b.transmitter, "rb");
    ASSERT_TRUE(a.TickUntilKind("discover"));
    ASSERT_TRUE(b.TickUntilKind("discover"));
    b.rti.requestObjectAttributeValueUpdate(ra, *b.Set({"Frequency", "WorldLocation"}));
    ASSERT_TRUE(a.TickUntilKind("provide"));
    EXPECT_EQ(a.rec.Of("provide")[0].handle, ra);
    EXPECT_EQ(a.rec.Of("provide")[0].attributes, std::vector<RTI::Handle>{a.Attr("Frequency")})
        << "only what the owner holds";

    b.rti.requestClassAttributeValueUpdate(b.transmitter, *b.Set({"Frequency", "RadioIndex"}));
    ASSERT_TRUE(a.TickUntilKind("provide", 2));
    b.rti.tick();
    EXPECT_EQ(a.rec.Of("provide")[1].handle, ra);
    EXPECT_EQ(a.rec.Of("provide")[1].attributes.size(), 2u);
    EXPECT_TRUE(b.rec.Of("provide").empty()) << "the requester's own objects are not asked";
    EXPECT_EQ(
        Thrown([&] { b.rti.requestObjectAttributeValueUpdate(12345, *b.Set({"Frequency"})); }),
        "ObjectNotKnown");
    (void)rb;
}

TEST_F(Federation, AServiceCalledFromACallbackOrAnotherThreadIsRefused) {
    a.Declare({"Frequency"});
    b.Declare({"Frequency"});
    std::vector<std::string> refused;
    b.rec.onEvent = [&](const Event& e) {
        refused.push_back(Thrown([&] { delete[] b.rti.getObjectInstanceName(e.handle); }));
        refused.push_back(Thrown([&] { b.rti.tick(); }));
        refused.push_back(Thrown([&] { b.rti.getObjectClassHandle(kTransmitter); }));
    };
    a.rti.registerObjectInstance(a.transmitter, "radio-a");
    ASSERT_TRUE(b.TickUntil([&] { return !refused.empty(); }));
    EXPECT_EQ(refused, std::vector<std::string>(3, "ConcurrentAccessAttempted"));
    b.rec.onEvent = nullptr;
    EXPECT_EQ(Thrown([&] { b.rti.getObjectClassHandle(kTransmitter); }), "")
        << "usable after the callback";

    // A tick busy on one thread refuses a call from another: the first
    // callback holds the tick until the main thread has tried.
    std::atomic<bool> waiting{false};
    bool held = false;
    b.rec.onEvent = [&](const Event&) {
        if (std::exchange(held, true)) return;
        waiting = true;
        while (waiting.load()) std::this_thread::yield();
    };
    std::thread ticker([&] { b.TickUntilKind("reflect"); });
    a.rti.updateAttributeValues(a.rti.registerObjectInstance(a.transmitter, "second"),
                                *a.Values({{"Frequency", "F"}}), "");
    ASSERT_TRUE(hcytest::WaitFor([&] { return waiting.load(); }));
    EXPECT_EQ(Thrown([&] { b.rti.getObjectClassHandle(kTransmitter); }),
              "ConcurrentAccessAttempted");
    waiting = false;
    ticker.join();
    b.rec.onEvent = nullptr;
}

TEST_F(Federation, AnIdleTickReturnsAtOnceAndABoundedTickWakesForACallback) {
    a.Declare({"Frequency"});
    b.Declare({"Frequency"});
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(b.rti.tick(), RTI::RTI_FALSE);
    EXPECT_EQ(b.rti.tick(0.0, 30.0), RTI::RTI_FALSE);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s) << "neither tick waited";

    std::thread registrar([&] { a.rti.registerObjectInstance(a.transmitter, "late"); });
    b.rti.tick(30.0, 30.0);  // returns once the discovery has been delivered
    registrar.join();
    EXPECT_EQ(b.rec.Of("discover").size(), 1u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 15s);
}

#ifndef HCY_RTI_EXTERNAL
// Our RTI's own promise (a real one may deliver on until none is pending): a
// callback that queues another does not keep a plain tick going.
TEST_F(Federation, PlainTickDeliversWhatWasPendingWhenItStarted) {
    a.Declare({"Frequency"});
    b.Declare({"Frequency"});
    const RTI::ObjectHandle radio = a.rti.registerObjectInstance(a.transmitter, "radio-a");
    int delivered = 0;
    // Each reflection makes the owner update again, from b's callback thread.
    b.rec.onEvent = [&](const Event&) {
        ++delivered;
        a.rti.updateAttributeValues(radio, *a.Values({{"Frequency", "F"}}), "");
    };
    EXPECT_EQ(b.rti.tick(), RTI::RTI_TRUE) << "the callback queued another";
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(b.rti.tick(), RTI::RTI_TRUE);
    EXPECT_EQ(delivered, 2);
    b.rec.onEvent = nullptr;
}

#endif

}  // namespace
}  // namespace rtitest
