// CHLAMgr: join, resign and tick, and what the network manager's handlers
// ask of the federate.
#include "hla/hla_mgr.h"

#include <chrono>
#include <thread>

#include "hla/fed_amb.h"
#include "hla/hla_support.h"

using hcy::hla::Format;

namespace {

// After a join attempt failed for a reason that may pass (the RTI not yet
// reachable), the next one waits this long, so that many tries neither spin
// a core nor end before the RTI could answer [ms].
constexpr int kJoinRetryPauseMs = 50;
constexpr int kJoinRetryPauseStepMs = 10;

}  // namespace

CHLAMgr::CHLAMgr(hcy::hla::HlaSink& sink) : m_sink(sink) {}

// The network manager resigns before it deletes the manager; the RTI
// ambassador's own destructor leaves a federation still joined.
CHLAMgr::~CHLAMgr() noexcept {}

std::string CHLAMgr::ReasonOf(const RTI::Exception& e) { return e._reason ? e._reason : ""; }

void CHLAMgr::TickOnce() {
    try {
        m_rti.tick();
    } catch (...) {
        // A failed tick loses its callbacks only.
    }
}

// ---------------------------------------------------------------------------
// Join and resign

bool CHLAMgr::Join(const std::string& federation, const std::string& fedPath,
                   std::uint32_t maxTries, bool createFederation,
                   const std::atomic<bool>* abandon) {
    if (m_nJoining) {
        m_sink.SetError("Waiting for intialization to complete");
        return false;
    }
    m_nJoining = 1;
    m_strFederation = federation;
    m_nCreateFederation = createFederation ? 1 : 0;
    if (!m_pFedAmb) m_pFedAmb.reset(new CHcyFedAmb(*this));

    // Messages name the path as given: empty for the default file.
    const std::string fedFile =
        fedPath.empty() ? hcy::hla::InCurrentDirectory(m_strFedFileName) : fedPath;
    const char* name = federation.c_str();
    const char* given = fedPath.c_str();
    // A FED file that cannot be opened or read, on create or on join.
    auto fedFailure = [&](bool opened) {
        m_sink.SetError(
            Format(opened ? "Could not read FED file %s" : "Could not find FED file %s", given)
                .c_str());
        return Fail();
    };

    if (m_nCreateFederation) {
        try {
            m_rti.createFederationExecution(name, fedFile.c_str());
            m_nCreated = 1;
        } catch (const RTI::FederationExecutionAlreadyExists& e) {
            m_sink.SetError(
                Format("Federation execution %s already exists: %s\n", name, ReasonOf(e).c_str())
                    .c_str());
        } catch (const RTI::CouldNotOpenFED&) {
            return fedFailure(false);
        } catch (const RTI::ErrorReadingFED&) {
            return fedFailure(true);
        } catch (...) {
            m_sink.SetError(
                Format("Could not create federation %s using FED file %s", name, given).c_str());
            return Fail();
        }
    }

    const std::string federate = hcy::hla::FederateName();
    std::uint32_t failures = 0;
    for (;;) {
        try {
            m_nFederateHandle =
                m_rti.joinFederationExecution(federate.c_str(), name, m_pFedAmb.get());
            m_bJoined = true;
        } catch (const RTI::CouldNotOpenFED&) {
            return fedFailure(false);
        } catch (const RTI::ErrorReadingFED&) {
            return fedFailure(true);
        } catch (const RTI::FederateAlreadyExecutionMember& e) {
            m_sink.SetError(Format("Tervale is already a federate in %s federation: %s\n", name,
                                   ReasonOf(e).c_str())
                                .c_str());
            return Fail();
        } catch (const RTI::FederationExecutionDoesNotExist&) {
            return Fail();
        } catch (...) {
            ++failures;
        }
        // Only a joined federate has callbacks to deliver; a real RTI's tick
        // before its first join reached the server may even crash.
        if (m_bJoined) {
            TickOnce();
            break;
        }
        const bool stopping = abandon && abandon->load();
        if (failures >= maxTries || stopping) {
            m_sink.SetError(Format("Tervale timed out trying to join %s federation", name).c_str());
            return Fail();
        }
        PauseAfterFailedJoin(abandon);
    }

    try {
        m_rti.enableAttributeRelevanceAdvisorySwitch();
    } catch (...) {
        m_sink.SetError("RTIambassador::enableAttributeRelevanceAdvisorySwitch exception");
        return Fail();
    }
    if (!PublishSubscribe()) return Fail();
    m_nJoining = 0;
    return true;
}

// Every failed Join ends here: nothing is left joined, and a federation this
// manager created and could not use is destroyed again.
bool CHLAMgr::Fail() {
    m_nJoining = 0;
    if (m_bJoined) {
        Resign();
    } else if (m_nCreated) {
        try {
            m_rti.destroyFederationExecution(m_strFederation.c_str());
        } catch (...) {
            // Someone else joined it meanwhile: it is theirs to use.
        }
    }
    return false;
}

void CHLAMgr::PauseAfterFailedJoin(const std::atomic<bool>* abandon) {
    for (int waited = 0; waited < kJoinRetryPauseMs; waited += kJoinRetryPauseStepMs) {
        if (abandon && abandon->load()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(kJoinRetryPauseStepMs));
    }
}

void CHLAMgr::Resign() {
    Unpublish();
    try {
        m_rti.resignFederationExecution(RTI::DELETE_OBJECTS_AND_RELEASE_ATTRIBUTES);
    } catch (...) {
        m_sink.SetError(
            Format("Could not resign Tervale from federation %s", m_strFederation.c_str()).c_str());
    }
    m_bJoined = false;
    m_objectNames.clear();
    if (m_nCreated == 1) {
        try {
            m_rti.destroyFederationExecution(m_strFederation.c_str());
        } catch (...) {
            m_sink.SetError(
                Format("Could not remove Federation %s", m_strFederation.c_str()).c_str());
        }
    }
}

bool CHLAMgr::Tick(bool unbounded) {
    try {
        return (unbounded ? m_rti.tick() : m_rti.tick(0.0, 0.1)) == RTI::RTI_TRUE;
    } catch (...) {
        return false;
    }
}

// ---------------------------------------------------------------------------
// The network manager's requests

void CHLAMgr::RegisterRadio(std::uint32_t kind, int userId) {
    std::string name;
    if (!m_sink.GetRadioName(userId, name)) return;
    std::string refusal;
    const std::uint32_t object = RegisterObject(kind, name, refusal);
    if (object == kNoHlaObject) {
        // The radio waiting for its object learns at once why there is none.
        m_sink.RefuseRadioHlaObject(userId, refusal.c_str());
        return;
    }
    // A radio destroyed meanwhile leaves no object behind.
    if (!m_sink.SetRadioHlaObject(userId, object)) DeleteObject(object);
}

void CHLAMgr::UpdateRadio(std::uint32_t object, std::uint32_t mask) {
    HlaTransmitterRecord radio;
    if (m_sink.GetHlaRadioRecord(object, radio)) UpdateFromRadio(mask, object, radio);
}

void CHLAMgr::SetRadioHlaData(std::uint32_t object, int code, std::int32_t value) {
    m_sink.SetRadioHLAData(object, code, value);
}

void CHLAMgr::RequestUpdate(std::uint32_t object, std::uint32_t mask) {
    std::unique_ptr<RTI::AttributeHandleSet> set = HandleSetFromMask(mask);
    if (!set) return;
    try {
        if (object == 0)
            m_rti.requestClassAttributeValueUpdate(GetClassHandle(1), *set);
        else
            m_rti.requestObjectAttributeValueUpdate(object, *set);
    } catch (const RTI::Exception& e) {
        m_sink.SetError(
            Format("requestObjectAttributeValueUpdate exception: %s\n", ReasonOf(e).c_str())
                .c_str());
    } catch (...) {}
    set->empty();
}

// ---------------------------------------------------------------------------
// Object callbacks

void CHLAMgr::OnDiscover(RTI::ObjectHandle object, RTI::ObjectClassHandle objectClass,
                         const char* name) {
    if (objectClass != GetClassHandle(1)) return;
    HlaTransmitterRecord record;
    record.instanceName = name ? name : "";
    m_objectNames[object] = record.instanceName;
    m_sink.DispatchHlaTransmitterUpdate(object, &record, 0);
}

void CHLAMgr::OnRemove(RTI::ObjectHandle object) {
    m_objectNames.erase(object);
    m_sink.ForEachHlaRadioRemoveObject(object);
}

void CHLAMgr::OnProvide(RTI::ObjectHandle object, const RTI::AttributeHandleSet& attributes) {
    m_sink.PostUpdateAttributes(object, MaskFromHandleSet(attributes));
}

std::string CHLAMgr::InstanceName(RTI::ObjectHandle object) const {
    const auto it = m_objectNames.find(object);
    return it == m_objectNames.end() ? std::string() : it->second;
}
