#pragma once
// CHLAMgrRpr10: the HLA manager for the RPR FOM 1.0. Each radio with NET_HLA
// is one "EmbeddedSystem.RadioTransmitter" object, registered under the
// radio's name; its Transmitter PDUs and attribute notices become attribute
// updates and its Signal PDUs "RadioSignal.EncodedAudioRadioSignal"
// interactions. Reflected attributes and received signals are decoded into
// records and handed to the HLA dispatchers. The bytes of every value are
// the codec's (hla/rpr_codec.h); this class puts them into the RTI's sets.
//
// RTI-facing (see hla/hla_mgr.h).
#include <string>
#include <vector>

#include "hla/hla_mgr.h"
#include "hla/rpr_codec.h"

class CHLAMgrRpr10 : public CHLAMgr {
public:
    explicit CHLAMgrRpr10(hcy::hla::HlaSink& sink);

    void InitNames() override;
    bool PublishSubscribe() override;
    bool Unpublish() override;
    std::uint32_t RegisterObject(std::uint32_t kind, const std::string& name,
                                 std::string& refusal) override;
    bool DeleteObject(std::uint32_t object) override;
    bool UpdateFromTransmitterPdu(std::uint32_t mask, const hcy::net::TransmitterPdu& pdu,
                                  const hcy::net::PduSendRequest& request) override;
    bool UpdateFromRadio(std::uint32_t mask, std::uint32_t object,
                         const HlaTransmitterRecord& radio) override;
    bool SendSignal(const unsigned char* netPdu, std::size_t netLength,
                    const hcy::net::PduSendRequest& request) override;
    std::uint32_t MaskFromHandleSet(const RTI::AttributeHandleSet& set) override;
    std::uint32_t GetClassHandle(std::uint32_t kind) override;
    std::unique_ptr<RTI::AttributeHandleSet> HandleSetFromMask(std::uint32_t mask) override;
    bool ReflectAttributeValues(RTI::ObjectHandle object,
                                const RTI::AttributeHandleValuePairSet& set) override;
    bool ReceiveInteraction(RTI::InteractionClassHandle interaction,
                            const RTI::ParameterHandleValuePairSet& set) override;

private:
    struct Named {
        RTI::Handle handle = 0;
        std::string name;
    };

    // The attribute's bit for a handle, or -1.
    int BitOf(RTI::Handle handle) const;
    int ParameterOf(RTI::Handle handle) const;
    // Sends the masked attributes of `record` for `object` (mask already
    // limited to the 21 attributes).
    bool SendAttributes(std::uint32_t object, std::uint32_t mask,
                        const HlaTransmitterRecord& record);

    // The 34 FOM names and their handles: transmitter class and attributes,
    // receiver class and attributes (never resolved), signal and parameters.
    Named m_transmitter;
    Named m_attributes[kHlaAttributeCount];
    Named m_receiver;
    Named m_receiverAttributes[hcy::hla::kReceiverAttributeCount];
    Named m_signal;
    Named m_parameters[hcy::hla::kSignalParameterCount];
    bool m_bTransmitterHandles = false;  // class and attribute handles fetched
    bool m_bSignalHandles = false;       // interaction and parameter handles fetched

    // Reused between calls: one encoded value, one value read from a set,
    // the signal being received.
    std::string m_scratch;
    std::vector<char> m_value;
    hcy::hla::ReceivedSignal m_received;
};
