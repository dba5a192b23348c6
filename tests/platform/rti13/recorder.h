#pragma once
// A federate ambassador that records what it is told, for the RTI tests.
// Compiled as C++14 too (recorder.cpp): it defines every callback of the
// interface, so it shows that a federate written against the header builds.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "RTI.hh"

namespace rtitest {

struct Event {
    std::string kind;        // "discover", "reflect", "receive", "remove", "provide"
    RTI::Handle handle = 0;  // object, or interaction class
    RTI::Handle objectClass = 0;
    std::string text;                           // object name or tag
    std::map<RTI::Handle, std::string> values;  // reflected attributes or parameters
    std::vector<RTI::Handle> attributes;        // asked for by provide
};

class Recorder : public RTI::FederateAmbassador {
public:
    std::vector<Event> events;
    // Runs inside every recorded callback (after it was recorded).
    std::function<void(const Event&)> onEvent;

    void synchronizationPointRegistrationSucceeded(const char*) override {}
    void synchronizationPointRegistrationFailed(const char*) override {}
    void announceSynchronizationPoint(const char*, const char*) override {}
    void federationSynchronized(const char*) override {}
    void initiateFederateSave(const char*) override {}
    void federationSaved() override {}
    void federationNotSaved() override {}
    void requestFederationRestoreSucceeded(const char*) override {}
    void requestFederationRestoreFailed(const char*, const char*) override {}
    void federationRestoreBegun() override {}
    void initiateFederateRestore(const char*, RTI::FederateHandle) override {}
    void federationRestored() override {}
    void federationNotRestored() override {}
    void startRegistrationForObjectClass(RTI::ObjectClassHandle) override {}
    void stopRegistrationForObjectClass(RTI::ObjectClassHandle) override {}
    void turnInteractionsOn(RTI::InteractionClassHandle) override {}
    void turnInteractionsOff(RTI::InteractionClassHandle) override {}
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
    void attributesInScope(RTI::ObjectHandle, const RTI::AttributeHandleSet&) override {}
    void attributesOutOfScope(RTI::ObjectHandle, const RTI::AttributeHandleSet&) override {}
    void provideAttributeValueUpdate(RTI::ObjectHandle object,
                                     const RTI::AttributeHandleSet& attributes) override;
    void turnUpdatesOnForObjectInstance(RTI::ObjectHandle,
                                        const RTI::AttributeHandleSet&) override {}
    void turnUpdatesOffForObjectInstance(RTI::ObjectHandle,
                                         const RTI::AttributeHandleSet&) override {}
    void requestAttributeOwnershipAssumption(RTI::ObjectHandle, const RTI::AttributeHandleSet&,
                                             const char*) override {}
    void attributeOwnershipDivestitureNotification(RTI::ObjectHandle,
                                                   const RTI::AttributeHandleSet&) override {}
    void attributeOwnershipAcquisitionNotification(RTI::ObjectHandle,
                                                   const RTI::AttributeHandleSet&) override {}
    void attributeOwnershipUnavailable(RTI::ObjectHandle, const RTI::AttributeHandleSet&) override {
    }
    void requestAttributeOwnershipRelease(RTI::ObjectHandle, const RTI::AttributeHandleSet&,
                                          const char*) override {}
    void confirmAttributeOwnershipAcquisitionCancellation(RTI::ObjectHandle,
                                                          const RTI::AttributeHandleSet&) override {
    }
    void informAttributeOwnership(RTI::ObjectHandle, RTI::AttributeHandle,
                                  RTI::FederateHandle) override {}
    void attributeIsNotOwned(RTI::ObjectHandle, RTI::AttributeHandle) override {}
    void attributeOwnedByRTI(RTI::ObjectHandle, RTI::AttributeHandle) override {}
    void timeRegulationEnabled(const RTI::FedTime&) override {}
    void timeConstrainedEnabled(const RTI::FedTime&) override {}
    void timeAdvanceGrant(const RTI::FedTime&) override {}
    void requestRetraction(RTI::EventRetractionHandle) override {}

    // The events of one kind, in order.
    std::vector<Event> Of(const std::string& kind) const;

private:
    void Record(Event e);
};

}  // namespace rtitest
