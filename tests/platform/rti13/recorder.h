#pragma once
// A federate ambassador that records the object-management callbacks it is
// given, for the RTI tests.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "RTI.hh"
#include "null_ambassador.h"

namespace rtitest {

struct Event {
    std::string kind;        // "discover", "reflect", "receive", "remove", "provide"
    RTI::Handle handle = 0;  // object, or interaction class
    RTI::Handle objectClass = 0;
    std::string text;                           // object name or tag
    std::map<RTI::Handle, std::string> values;  // reflected attributes or parameters
    std::vector<RTI::Handle> attributes;        // asked for by provide
};

class Recorder : public NullAmbassador {
public:
    std::vector<Event> events;
    // Runs inside every recorded callback (after it was recorded).
    std::function<void(const Event&)> onEvent;

    void discoverObjectInstance(RTI::ObjectHandle object, RTI::ObjectClassHandle objectClass,
                                const char* name) override;
    void reflectAttributeValues(RTI::ObjectHandle object,
                                const RTI::AttributeHandleValuePairSet& attributes,
                                const RTI::FedTime&, const char* tag,
                                RTI::EventRetractionHandle) override {
        reflectAttributeValues(object, attributes, tag);
    }
    void reflectAttributeValues(RTI::ObjectHandle object,
                                const RTI::AttributeHandleValuePairSet& attributes,
                                const char* tag) override;
    void receiveInteraction(RTI::InteractionClassHandle interaction,
                            const RTI::ParameterHandleValuePairSet& parameters, const RTI::FedTime&,
                            const char* tag, RTI::EventRetractionHandle) override {
        receiveInteraction(interaction, parameters, tag);
    }
    void receiveInteraction(RTI::InteractionClassHandle interaction,
                            const RTI::ParameterHandleValuePairSet& parameters,
                            const char* tag) override;
    void removeObjectInstance(RTI::ObjectHandle object, const RTI::FedTime&, const char* tag,
                              RTI::EventRetractionHandle) override {
        removeObjectInstance(object, tag);
    }
    void removeObjectInstance(RTI::ObjectHandle object, const char* tag) override;
    void provideAttributeValueUpdate(RTI::ObjectHandle object,
                                     const RTI::AttributeHandleSet& attributes) override;

    // The events of one kind, in order.
    std::vector<Event> Of(const std::string& kind) const;

private:
    void Record(Event e);
};

}  // namespace rtitest
