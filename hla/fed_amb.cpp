// CHcyFedAmb: the callbacks that act. A timestamped callback is handled
// exactly as the receive-order one; time, tag and retraction are ignored.
#include "hla/fed_amb.h"

#include <exception>
#include <string>

#include "hla/hla_mgr.h"

namespace {

// Runs a callback's work; whatever it throws becomes the last error and
// stays here, so that it never unwinds through the RTI.
template <class Work>
void Guarded(CHLAMgr& manager, Work work) noexcept {
    static const char* const what = "Error while handling an RTI callback: ";
    try {
        try {
            work();
        } catch (const RTI::Exception& e) {
            manager.Sink().SetError((std::string(what) + (e._reason ? e._reason : "")).c_str());
        } catch (const std::exception& e) {
            manager.Sink().SetError((std::string(what) + e.what()).c_str());
        }
    } catch (...) {
        // Nothing may unwind through the RTI.
    }
}

}  // namespace

void CHcyFedAmb::discoverObjectInstance(RTI::ObjectHandle theObject,
                                        RTI::ObjectClassHandle theObjectClass,
                                        const char* theObjectName) noexcept {
    Guarded(m_manager, [&] { m_manager.OnDiscover(theObject, theObjectClass, theObjectName); });
}

void CHcyFedAmb::reflectAttributeValues(RTI::ObjectHandle theObject,
                                        const RTI::AttributeHandleValuePairSet& theAttributes,
                                        const RTI::FedTime&, const char* theTag,
                                        RTI::EventRetractionHandle) noexcept {
    reflectAttributeValues(theObject, theAttributes, theTag);
}

void CHcyFedAmb::reflectAttributeValues(RTI::ObjectHandle theObject,
                                        const RTI::AttributeHandleValuePairSet& theAttributes,
                                        const char*) noexcept {
    Guarded(m_manager, [&] { m_manager.ReflectAttributeValues(theObject, theAttributes); });
}

void CHcyFedAmb::receiveInteraction(RTI::InteractionClassHandle theInteraction,
                                    const RTI::ParameterHandleValuePairSet& theParameters,
                                    const RTI::FedTime&, const char* theTag,
                                    RTI::EventRetractionHandle) noexcept {
    receiveInteraction(theInteraction, theParameters, theTag);
}

void CHcyFedAmb::receiveInteraction(RTI::InteractionClassHandle theInteraction,
                                    const RTI::ParameterHandleValuePairSet& theParameters,
                                    const char*) noexcept {
    Guarded(m_manager, [&] { m_manager.ReceiveInteraction(theInteraction, theParameters); });
}

void CHcyFedAmb::removeObjectInstance(RTI::ObjectHandle theObject, const RTI::FedTime&,
                                      const char* theTag, RTI::EventRetractionHandle) noexcept {
    removeObjectInstance(theObject, theTag);
}

void CHcyFedAmb::removeObjectInstance(RTI::ObjectHandle theObject, const char*) noexcept {
    Guarded(m_manager, [&] { m_manager.OnRemove(theObject); });
}

void CHcyFedAmb::provideAttributeValueUpdate(
    RTI::ObjectHandle theObject, const RTI::AttributeHandleSet& theAttributes) noexcept {
    Guarded(m_manager, [&] { m_manager.OnProvide(theObject, theAttributes); });
}
