#pragma once
// CHcyFedAmb: the federate ambassador of the system's federate. The RTI
// calls it only inside tick, on the network manager's thread. The object
// callbacks go to the HLA manager (discovery, reflection, interactions,
// removal, update requests); the rest do nothing.
//
// No callback lets an exception out (each is noexcept and catches inside),
// and none calls the RTI: an update request is posted back to the network
// manager's queue and handled after the tick.
//
// RTI-facing (see hla/hla_mgr.h). `noexcept` is as strict as any throw list
// an outside RTI's header may give its callbacks.
#include <cstdint>

#include "RTI.hh"

class CHLAMgr;

class CHcyFedAmb : public RTI::FederateAmbassador {
public:
    explicit CHcyFedAmb(CHLAMgr& manager) : m_manager(manager) {}
    ~CHcyFedAmb() override {}

    void synchronizationPointRegistrationSucceeded(const char*) noexcept override {}
    void synchronizationPointRegistrationFailed(const char*) noexcept override {}
    void announceSynchronizationPoint(const char*, const char*) noexcept override {}
    void federationSynchronized(const char*) noexcept override {}
    void initiateFederateSave(const char*) noexcept override {}
    void federationSaved() noexcept override {}
    void federationNotSaved() noexcept override {}
    void requestFederationRestoreSucceeded(const char*) noexcept override {}
    void requestFederationRestoreFailed(const char*, const char*) noexcept override {}
    void federationRestoreBegun() noexcept override {}
    void initiateFederateRestore(const char*, RTI::FederateHandle) noexcept override {}
    void federationRestored() noexcept override {}
    void federationNotRestored() noexcept override {}
    void startRegistrationForObjectClass(RTI::ObjectClassHandle) noexcept override {}
    void stopRegistrationForObjectClass(RTI::ObjectClassHandle) noexcept override {}
    void turnInteractionsOn(RTI::InteractionClassHandle) noexcept override {}
    void turnInteractionsOff(RTI::InteractionClassHandle) noexcept override {}

    void discoverObjectInstance(RTI::ObjectHandle theObject, RTI::ObjectClassHandle theObjectClass,
                                const char* theObjectName) noexcept override;
    void reflectAttributeValues(RTI::ObjectHandle theObject,
                                const RTI::AttributeHandleValuePairSet& theAttributes,
                                const RTI::FedTime& theTime, const char* theTag,
                                RTI::EventRetractionHandle theHandle) noexcept override;
    void reflectAttributeValues(RTI::ObjectHandle theObject,
                                const RTI::AttributeHandleValuePairSet& theAttributes,
                                const char* theTag) noexcept override;
    void receiveInteraction(RTI::InteractionClassHandle theInteraction,
                            const RTI::ParameterHandleValuePairSet& theParameters,
                            const RTI::FedTime& theTime, const char* theTag,
                            RTI::EventRetractionHandle theHandle) noexcept override;
    void receiveInteraction(RTI::InteractionClassHandle theInteraction,
                            const RTI::ParameterHandleValuePairSet& theParameters,
                            const char* theTag) noexcept override;
    void removeObjectInstance(RTI::ObjectHandle theObject, const RTI::FedTime& theTime,
                              const char* theTag,
                              RTI::EventRetractionHandle theHandle) noexcept override;
    void removeObjectInstance(RTI::ObjectHandle theObject, const char* theTag) noexcept override;

    // Relevance advisories are switched on when joining; they change nothing.
    void attributesInScope(RTI::ObjectHandle, const RTI::AttributeHandleSet&) noexcept override {}
    void attributesOutOfScope(RTI::ObjectHandle, const RTI::AttributeHandleSet&) noexcept override {
    }
    void provideAttributeValueUpdate(
        RTI::ObjectHandle theObject,
        const RTI::AttributeHandleSet& theAttributes) noexcept override;
    void turnUpdatesOnForObjectInstance(RTI::ObjectHandle,
                                        const RTI::AttributeHandleSet&) noexcept override {}
    void turnUpdatesOffForObjectInstance(RTI::ObjectHandle,
                                         const RTI::AttributeHandleSet&) noexcept override {}

    void requestAttributeOwnershipAssumption(RTI::ObjectHandle, const RTI::AttributeHandleSet&,
                                             const char*) noexcept override {}
    void attributeOwnershipDivestitureNotification(
        RTI::ObjectHandle, const RTI::AttributeHandleSet&) noexcept override {}
    void attributeOwnershipAcquisitionNotification(
        RTI::ObjectHandle, const RTI::AttributeHandleSet&) noexcept override {}
    void attributeOwnershipUnavailable(RTI::ObjectHandle,
                                       const RTI::AttributeHandleSet&) noexcept override {}
    void requestAttributeOwnershipRelease(RTI::ObjectHandle, const RTI::AttributeHandleSet&,
                                          const char*) noexcept override {}
    void confirmAttributeOwnershipAcquisitionCancellation(
        RTI::ObjectHandle, const RTI::AttributeHandleSet&) noexcept override {}
    void informAttributeOwnership(RTI::ObjectHandle, RTI::AttributeHandle,
                                  RTI::FederateHandle) noexcept override {}
    void attributeIsNotOwned(RTI::ObjectHandle, RTI::AttributeHandle) noexcept override {}
    void attributeOwnedByRTI(RTI::ObjectHandle, RTI::AttributeHandle) noexcept override {}

    // The system never asks for time regulation or constraint; nothing reads
    // these flags.
    void timeRegulationEnabled(const RTI::FedTime&) noexcept override { m_nTimeRegulating = 1; }
    void timeConstrainedEnabled(const RTI::FedTime&) noexcept override { m_nTimeConstrained = 1; }
    void timeAdvanceGrant(const RTI::FedTime&) noexcept override {}
    void requestRetraction(RTI::EventRetractionHandle) noexcept override {}

private:
    std::uint32_t m_nTimeConstrained = 0;
    std::uint32_t m_nTimeRegulating = 0;
    CHLAMgr& m_manager;
};
