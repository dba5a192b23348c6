#include "recorder.h"

namespace rtitest {

namespace {

template <class Set>
std::map<RTI::Handle, std::string> Read(const Set& set) {
    std::map<RTI::Handle, std::string> values;
    for (RTI::ULong i = 0; i < set.size(); ++i) {
        std::string bytes(set.getValueLength(i), '\0');
        RTI::ULong length = 0;
        set.getValue(i, &bytes[0], length);
        bytes.resize(length);
        values[set.getHandle(i)] = bytes;
    }
    return values;
}

}  // namespace

void Recorder::Record(Event e) {
    events.push_back(e);
    if (onEvent) onEvent(events.back());
}

void Recorder::discoverObjectInstance(RTI::ObjectHandle object, RTI::ObjectClassHandle objectClass,
                                      const char* name) {
    Event e;
    e.kind = "discover";
    e.handle = object;
    e.objectClass = objectClass;
    e.text = name ? name : "(null)";
    Record(e);
}

void Recorder::reflectAttributeValues(RTI::ObjectHandle object,
                                      const RTI::AttributeHandleValuePairSet& attributes,
                                      const char* tag) {
    Event e;
    e.kind = "reflect";
    e.handle = object;
    e.text = tag ? tag : "(null)";
    e.values = Read(attributes);
    Record(e);
}

void Recorder::receiveInteraction(RTI::InteractionClassHandle interaction,
                                  const RTI::ParameterHandleValuePairSet& parameters,
                                  const char* tag) {
    Event e;
    e.kind = "receive";
    e.handle = interaction;
    e.text = tag ? tag : "(null)";
    e.values = Read(parameters);
    Record(e);
}

void Recorder::removeObjectInstance(RTI::ObjectHandle object, const char* tag) {
    Event e;
    e.kind = "remove";
    e.handle = object;
    e.text = tag ? tag : "(null)";
    Record(e);
}

void Recorder::provideAttributeValueUpdate(RTI::ObjectHandle object,
                                           const RTI::AttributeHandleSet& attributes) {
    Event e;
    e.kind = "provide";
    e.handle = object;
    for (RTI::ULong i = 0; i < attributes.size(); ++i)
        e.attributes.push_back(attributes.getHandle(i));
    Record(e);
}

std::vector<Event> Recorder::Of(const std::string& kind) const {
    std::vector<Event> found;
    for (const Event& e : events)
        if (e.kind == kind) found.push_back(e);
    return found;
}

}  // namespace rtitest
