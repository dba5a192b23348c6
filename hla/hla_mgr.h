#pragma once
// CHLAMgr: the system's one federate in an HLA 1.3 federation. It owns the
// RTI ambassador and the federate ambassador, creates (when asked) and joins
// the federation, resigns and destroys it, and ticks the RTI. The FOM's own
// work (names, publication, encoding and decoding) is in virtual operations
// that the FOM's manager fills in (CHLAMgrRpr10); the base's do nothing.
//
//   network manager thread only:
//     Join --> create? --> join loop (tick after every try) --> relevance
//          advisories on --> PublishSubscribe
//     Tick --> RTI callbacks --> CHcyFedAmb --> this manager --> HlaSink
//     Resign --> Unpublish --> resign (objects deleted) --> destroy?
//
// Every RTI exception is caught here; none leaves an operation or a
// callback. A Join that fails after the federate joined resigns it again,
// so a failed manager is never left in the federation.
//
// RTI-facing: this header and the files that include it compile against an
// outside RTI's header too; they use only `RTI::`-qualified names of the
// published 1.3 interface and spell out no throw lists (C++17 and later).
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "RTI.hh"
#include "hla/hla_sink.h"
#include "net/hla_manager.h"

class CHcyFedAmb;

// An object handle that names no object (-1 in a 32-bit field).
constexpr std::uint32_t kNoHlaObject = 0xFFFFFFFFu;

class CHLAMgr : public hcy::net::HlaManager {
public:
    explicit CHLAMgr(hcy::hla::HlaSink& sink);
    ~CHLAMgr() noexcept override;
    CHLAMgr(const CHLAMgr&) = delete;
    CHLAMgr& operator=(const CHLAMgr&) = delete;

    // ---- What the network manager calls (net/hla_manager.h).
    bool Join(const std::string& federation, const std::string& fedPath, std::uint32_t maxTries,
              bool createFederation, const std::atomic<bool>* abandon) override;
    void Resign() override;
    bool Tick(bool unbounded) override;
    void RegisterRadio(std::uint32_t kind, int userId) override;
    void UpdateRadio(std::uint32_t object, std::uint32_t mask) override;
    void SetRadioHlaData(std::uint32_t object, int code, std::int32_t value) override;
    void SetSignalEnable(bool on) override { m_nSignalEnable = on ? 1 : 0; }
    void RequestUpdate(std::uint32_t object, std::uint32_t mask) override;

    // ---- FOM-specific operations.
    virtual void InitNames() {}
    virtual bool PublishSubscribe() { return false; }
    virtual bool Unpublish() { return false; }
    // The registered object's handle, or kNoHlaObject with the reason in
    // `refusal`.
    virtual std::uint32_t RegisterObject(std::uint32_t /*kind*/, const std::string& /*name*/,
                                         std::string& refusal) {
        refusal = "this FOM has no object classes";
        return kNoHlaObject;
    }
    bool DeleteObject(std::uint32_t /*object*/) override { return false; }
    bool UpdateFromTransmitterPdu(std::uint32_t /*mask*/, const hcy::net::TransmitterPdu&,
                                  const hcy::net::PduSendRequest&) override {
        return false;
    }
    // Sends the masked attributes of a radio's record for its object.
    virtual bool UpdateFromRadio(std::uint32_t /*mask*/, std::uint32_t /*object*/,
                                 const HlaTransmitterRecord& /*radio*/) {
        return false;
    }
    bool SendSignal(const unsigned char*, std::size_t, const hcy::net::PduSendRequest&) override {
        return false;
    }
    virtual std::uint32_t MaskFromHandleSet(const RTI::AttributeHandleSet&) { return 0; }
    // The class handle of an object kind (1: transmitter), or kNoHlaObject.
    virtual std::uint32_t GetClassHandle(std::uint32_t /*kind*/) { return kNoHlaObject; }
    // A new set (the caller's) with the handles of the mask's attributes;
    // null for none.
    virtual std::unique_ptr<RTI::AttributeHandleSet> HandleSetFromMask(std::uint32_t /*mask*/) {
        return nullptr;
    }
    virtual bool ReflectAttributeValues(RTI::ObjectHandle,
                                        const RTI::AttributeHandleValuePairSet&) {
        return false;
    }
    virtual bool ReceiveInteraction(RTI::InteractionClassHandle,
                                    const RTI::ParameterHandleValuePairSet&) {
        return false;
    }

    // ---- The federate ambassador's object callbacks (inside tick).
    void OnDiscover(RTI::ObjectHandle object, RTI::ObjectClassHandle objectClass, const char* name);
    void OnRemove(RTI::ObjectHandle object);
    void OnProvide(RTI::ObjectHandle object, const RTI::AttributeHandleSet& attributes);

    hcy::hla::HlaSink& Sink() { return m_sink; }
    bool IsJoined() const { return m_bJoined; }
    bool Created() const { return m_nCreated != 0; }
    std::uint32_t SignalEnable() const { return m_nSignalEnable; }

protected:
    // The text of an RTI exception ("" when it has none).
    static std::string ReasonOf(const RTI::Exception& e);
    // tick(), whatever it throws.
    void TickOnce();
    // The instance name an object was discovered with ("" when unknown).
    std::string InstanceName(RTI::ObjectHandle object) const;

    hcy::hla::HlaSink& m_sink;
    // Declared before the RTI ambassador, which refers to it until it goes.
    std::unique_ptr<CHcyFedAmb> m_pFedAmb;
    RTI::RTIambassador m_rti;
    std::string m_strFedFileName = "hcyRprFom10.fed";
    std::uint32_t m_nSignalEnable = 1;

private:
    bool Fail();
    void PauseAfterFailedJoin(const std::atomic<bool>* abandon);

    std::uint32_t m_nJoining = 0;
    std::string m_strFederation;
    std::uint32_t m_nCreateFederation = 0;
    std::uint32_t m_nCreated = 0;
    RTI::FederateHandle m_nFederateHandle = 0;
    bool m_bJoined = false;
    // Instance names from discovery: callbacks may not ask the RTI.
    std::map<RTI::ObjectHandle, std::string> m_objectNames;
};
