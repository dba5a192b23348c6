#pragma once
// Shared fixture of the RTI tests: federates with a recorder, the handles of
// the project's FOM by name, sets built from names, and bounded ticking.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "RTI.hh"
#include "recorder.h"

namespace rtitest {

inline std::string FedPath() { return HCY_TEST_SOURCE_DIR "/hla/hcyRprFom10.fed"; }

constexpr const char* kTransmitter = "EmbeddedSystem.RadioTransmitter";
constexpr const char* kSignal = "RadioSignal.EncodedAudioRadioSignal";

// The class name of what `call` throws: "" when it returns normally.
inline std::string Thrown(const std::function<void()>& call) {
    try {
        call();
    } catch (const RTI::Exception& e) {
        return e._name;
    }
    return "";
}

struct Federate {
    RTI::RTIambassador rti;
    Recorder rec;
    RTI::FederateHandle handle = 0;
    RTI::ObjectClassHandle transmitter = 0;
    RTI::InteractionClassHandle signal = 0;

    void Join(const std::string& federation, const char* name = "hcy@test") {
        handle = rti.joinFederationExecution(name, federation.c_str(), &rec);
        transmitter = rti.getObjectClassHandle(kTransmitter);
        signal = rti.getInteractionClassHandle(kSignal);
    }

    RTI::AttributeHandle Attr(const char* name, RTI::ObjectClassHandle c = 0) {
        return rti.getAttributeHandle(name, c ? c : transmitter);
    }
    RTI::ParameterHandle Param(const char* name) { return rti.getParameterHandle(name, signal); }

    std::unique_ptr<RTI::AttributeHandleSet> Set(std::initializer_list<const char*> names,
                                                 RTI::ObjectClassHandle c = 0) {
        std::unique_ptr<RTI::AttributeHandleSet> set(
            RTI::AttributeHandleSetFactory::create(names.size()));
        for (const char* n : names) set->add(Attr(n, c));
        return set;
    }
    std::unique_ptr<RTI::AttributeHandleValuePairSet> Values(
        std::initializer_list<std::pair<const char*, std::string>> values) {
        std::unique_ptr<RTI::AttributeHandleValuePairSet> set(
            RTI::AttributeSetFactory::create(values.size()));
        for (const auto& v : values) set->add(Attr(v.first), v.second.data(), v.second.size());
        return set;
    }
    std::unique_ptr<RTI::ParameterHandleValuePairSet> Params(
        std::initializer_list<std::pair<const char*, std::string>> values) {
        std::unique_ptr<RTI::ParameterHandleValuePairSet> set(
            RTI::ParameterSetFactory::create(values.size()));
        for (const auto& v : values) set->add(Param(v.first), v.second.data(), v.second.size());
        return set;
    }

    // Publishes and subscribes the transmitter's attributes and the signal.
    void Declare(std::initializer_list<const char*> subscribed) {
        auto all = Set({"EntityIdentifier", "Frequency", "RadioIndex", "TransmittedPower"});
        rti.publishObjectClass(transmitter, *all);
        rti.subscribeObjectClassAttributes(transmitter, *Set(subscribed));
        rti.publishInteractionClass(signal);
        rti.subscribeInteractionClass(signal);
    }

    // Ticks until `done` holds; each tick waits for callbacks at most 50 ms.
    bool TickUntil(const std::function<bool()>& done,
                   std::chrono::milliseconds limit = std::chrono::seconds(10)) {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= deadline) return false;
            rti.tick(0.05, 0.05);
        }
        return true;
    }
    bool TickUntilKind(const char* kind, std::size_t count = 1) {
        return TickUntil([&] { return rec.Of(kind).size() >= count; });
    }
};

}  // namespace rtitest
