// The RTI library's hot calls: an idle tick (what the network manager's loop
// pays when nothing is pending) in this process and through the hub, and an
// attribute update reflected at a second federate of this process.
#include <benchmark/benchmark.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "RTI.hh"
#include "hcyplat/thread_boundary.h"
#include "hub_server.h"
#include "null_ambassador.h"

namespace {

const std::string kFed = HCY_SOURCE_DIR "/hla/hcyRprFom10.fed";

// Counts reflections and ignores every other callback.
struct Counter : rtitest::NullAmbassador {
    long reflected = 0;
    void reflectAttributeValues(RTI::ObjectHandle, const RTI::AttributeHandleValuePairSet&,
                                const char*) override {
        ++reflected;
    }
};

void IdleTick(benchmark::State& state, const std::string& federation) {
    RTI::RTIambassador rti;
    Counter counter;
    rti.createFederationExecution(federation.c_str(), kFed.c_str());
    rti.joinFederationExecution("bench", federation.c_str(), &counter);
    for (auto _ : state) benchmark::DoNotOptimize(rti.tick(0.0, 0.1));
    rti.resignFederationExecution(RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
    rti.destroyFederationExecution(federation.c_str());
}

void BM_IdleTickInProcess(benchmark::State& state) { IdleTick(state, "thread:///IdleTick"); }
BENCHMARK(BM_IdleTickInProcess);

void BM_IdleTickThroughHub(benchmark::State& state) {
    hcyrti::HubServer hub;
    std::string error;
    if (!hub.Listen(0, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::atomic<bool> stop{false};
    std::thread server([&] {
        try {
            hub.Run(stop);
        } catch (...) {}
    });
    IdleTick(state, "rti://127.0.0.1:" + std::to_string(hub.Port()) + "/IdleTick");
    stop = true;
    server.join();
}
BENCHMARK(BM_IdleTickThroughHub);

// One 8-byte Frequency update from one federate, reflected at the other.
void BM_UpdateReflectInProcess(benchmark::State& state) {
    const char* name = "thread:///UpdateReflect";
    RTI::RTIambassador owner, peer;
    Counter ownerCalls, peerCalls;
    owner.createFederationExecution(name, kFed.c_str());
    owner.joinFederationExecution("owner", name, &ownerCalls);
    peer.joinFederationExecution("peer", name, &peerCalls);
    const RTI::ObjectClassHandle c = owner.getObjectClassHandle("EmbeddedSystem.RadioTransmitter");
    const RTI::AttributeHandle frequency = owner.getAttributeHandle("Frequency", c);
    std::unique_ptr<RTI::AttributeHandleSet> set(RTI::AttributeHandleSetFactory::create(1));
    set->add(frequency);
    owner.publishObjectClass(c, *set);
    peer.subscribeObjectClassAttributes(c, *set);
    const RTI::ObjectHandle radio = owner.registerObjectInstance(c, "radio");
    std::unique_ptr<RTI::AttributeHandleValuePairSet> values(RTI::AttributeSetFactory::create(1));
    values->add(frequency, "\0\0\0\0\1\xC9\xC3\x80", 8);
    peer.tick();
    for (auto _ : state) {
        owner.updateAttributeValues(radio, *values, "");
        peer.tick();
    }
    if (peerCalls.reflected != static_cast<long>(state.iterations()))
        state.SkipWithError("lost reflections");
    owner.resignFederationExecution(RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
    peer.resignFederationExecution(RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
    owner.destroyFederationExecution(name);
}
BENCHMARK(BM_UpdateReflectInProcess);

}  // namespace
