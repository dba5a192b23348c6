// CHLAMgrRpr10: publication, registration, attribute updates and signals of
// the RPR FOM 1.0 radio classes. RTI-facing (see hla/hla_mgr.h).
//
//   radio record / Transmitter PDU --EncodeAttribute--> value set
//     --> updateAttributeValues
//   network-order Signal PDU --fields, audio--> parameter set --> sendInteraction
//   reflection --DecodeAttribute, length rules--> record + mask --> HlaSink
//   interaction --ReceivedSignal--> record + audio + sender --> HlaSink
#include "hla/hla_mgr_rpr10.h"

#include <algorithm>
#include <stdexcept>

#include "hla/hla_factory.h"
#include "hla/hla_support.h"

using namespace hcy::hla;

namespace {

// The number of set bits of a mask.
unsigned CountBits(std::uint32_t mask) {
    unsigned n = 0;
    for (; mask != 0; mask &= mask - 1) ++n;
    return n;
}

// Owns a set the federate made (1.3 sets are deleted by their maker).
template <class Set>
std::unique_ptr<Set> Own(Set* set) {
    return std::unique_ptr<Set>(set);
}

}  // namespace

namespace hcy {
namespace hla {

std::unique_ptr<net::HlaManager> CreateHlaManager(std::uint32_t fomType, HlaSink& sink) {
    if (fomType != 1) return nullptr;
    try {
        return std::unique_ptr<net::HlaManager>(new CHLAMgrRpr10(sink));
    } catch (const RTI::Exception& e) {
        // An RTI's ambassador may refuse to be made; the caller knows no RTI
        // types.
        throw std::runtime_error(e._reason ? e._reason : "the RTI ambassador failed");
    }
}

}  // namespace hla
}  // namespace hcy

CHLAMgrRpr10::CHLAMgrRpr10(HlaSink& sink) : CHLAMgr(sink) { m_strFedFileName = "hcyRprFom10.fed"; }

void CHLAMgrRpr10::InitNames() {
    m_transmitter.name = kTransmitterClassName;
    for (unsigned i = 0; i < kHlaAttributeCount; ++i)
        m_attributes[i].name = kTransmitterAttributeNames[i];
    m_receiver.name = kReceiverClassName;
    for (unsigned i = 0; i < kReceiverAttributeCount; ++i)
        m_receiverAttributes[i].name = kReceiverAttributeNames[i];
    m_signal.name = kSignalClassName;
    for (unsigned i = 0; i < kSignalParameterCount; ++i)
        m_parameters[i].name = kSignalParameterNames[i];
}

// Every failure names what failed: the FOM name the RTI did not resolve, or
// the class it would not let the federate declare.
bool CHLAMgrRpr10::PublishSubscribe() {
    InitNames();
    const std::string* looking = nullptr;
    auto lookupFailed = [&](const char* reason) {
        m_sink.SetError(
            Format("HLA name lookup failed for %s: %s", looking->c_str(), reason).c_str());
        return false;
    };
    auto declareFailed = [&](const Named& c, const char* reason) {
        m_sink.SetError(
            Format("Could not publish and subscribe %s: %s", c.name.c_str(), reason).c_str());
        return false;
    };
    std::unique_ptr<RTI::AttributeHandleSet> set;
    try {
        looking = &m_transmitter.name;
        m_transmitter.handle = m_rti.getObjectClassHandle(looking->c_str());
        for (Named& a : m_attributes) {
            looking = &a.name;
            a.handle = m_rti.getAttributeHandle(looking->c_str(), m_transmitter.handle);
        }
        set = Own(RTI::AttributeHandleSetFactory::create(kHlaAttributeCount));
        for (const Named& a : m_attributes) set->add(a.handle);
    } catch (const RTI::Exception& e) {
        return lookupFailed(ReasonOf(e).c_str());
    } catch (...) {
        return lookupFailed("");
    }
    // Discoveries may arrive from the next tick on: the class is known.
    m_bTransmitterHandles = true;
    try {
        m_rti.subscribeObjectClassAttributes(m_transmitter.handle, *set, RTI::RTI_TRUE);
        m_rti.publishObjectClass(m_transmitter.handle, *set);
    } catch (const RTI::Exception& e) {
        return declareFailed(m_transmitter, ReasonOf(e).c_str());
    } catch (...) {
        return declareFailed(m_transmitter, "");
    }
    TickOnce();
    try {
        looking = &m_signal.name;
        m_signal.handle = m_rti.getInteractionClassHandle(looking->c_str());
        for (Named& p : m_parameters) {
            looking = &p.name;
            p.handle = m_rti.getParameterHandle(looking->c_str(), m_signal.handle);
        }
    } catch (const RTI::Exception& e) {
        return lookupFailed(ReasonOf(e).c_str());
    } catch (...) {
        return lookupFailed("");
    }
    m_bSignalHandles = true;
    try {
        m_rti.subscribeInteractionClass(m_signal.handle, RTI::RTI_TRUE);
        m_rti.publishInteractionClass(m_signal.handle);
    } catch (const RTI::Exception& e) {
        return declareFailed(m_signal, ReasonOf(e).c_str());
    } catch (...) {
        return declareFailed(m_signal, "");
    }
    TickOnce();
    set->empty();
    return true;
}

// Each step on its own: a step that fails (the RTI gone, the class never
// published) does not keep the others, or the resign after them, from
// running.
bool CHLAMgrRpr10::Unpublish() {
    auto step = [](auto call) {
        try {
            call();
        } catch (...) {}
    };
    if (m_bTransmitterHandles) {
        step([&] { m_rti.unsubscribeObjectClass(m_transmitter.handle); });
        step([&] { m_rti.unpublishObjectClass(m_transmitter.handle); });
    }
    if (m_bSignalHandles) {
        step([&] { m_rti.unsubscribeInteractionClass(m_signal.handle); });
        step([&] { m_rti.unpublishInteractionClass(m_signal.handle); });
    }
    TickOnce();
    return true;
}

std::uint32_t CHLAMgrRpr10::RegisterObject(std::uint32_t kind, const std::string& name,
                                           std::string& refusal) {
    if (kind != 1 || !m_bTransmitterHandles) {
        refusal = "no object class for kind " + std::to_string(kind);
        return kNoHlaObject;
    }
    try {
        const RTI::ObjectHandle object =
            m_rti.registerObjectInstance(m_transmitter.handle, name.c_str());
        TickOnce();
        return object;
    } catch (const RTI::Exception& e) {
        refusal = std::string(e._name ? e._name : "RTI exception") + ": " + ReasonOf(e);
    } catch (...) {
        refusal = "unknown exception";
    }
    return kNoHlaObject;
}

bool CHLAMgrRpr10::DeleteObject(std::uint32_t object) {
    if (object == kNoHlaObject) return true;
    try {
        m_rti.deleteObjectInstance(object, "");
        TickOnce();
        return true;
    } catch (...) {
        return false;
    }
}

// ---------------------------------------------------------------------------
// Attributes

int CHLAMgrRpr10::BitOf(RTI::Handle handle) const {
    if (!m_bTransmitterHandles) return -1;
    for (unsigned bit = 0; bit < kHlaAttributeCount; ++bit)
        if (m_attributes[bit].handle == handle) return static_cast<int>(bit);
    return -1;
}

int CHLAMgrRpr10::ParameterOf(RTI::Handle handle) const {
    if (!m_bSignalHandles) return -1;
    for (unsigned p = 0; p < kSignalParameterCount; ++p)
        if (m_parameters[p].handle == handle) return static_cast<int>(p);
    return -1;
}

bool CHLAMgrRpr10::SendAttributes(std::uint32_t object, std::uint32_t mask,
                                  const HlaTransmitterRecord& record) {
    if (!m_bTransmitterHandles) return false;
    const unsigned n = CountBits(mask);
    if (n == 0) return true;
    try {
        std::unique_ptr<RTI::AttributeHandleValuePairSet> set =
            Own(RTI::AttributeSetFactory::create(n));
        for (unsigned bit = 0; bit < kHlaAttributeCount; ++bit) {
            if (!(mask & (1u << bit))) continue;
            EncodeAttribute(bit, record, m_scratch);
            set->add(m_attributes[bit].handle, m_scratch.data(), m_scratch.size());
        }
        m_rti.updateAttributeValues(object, *set, "");
        set->empty();
        return true;
    } catch (...) {
        return false;
    }
}

bool CHLAMgrRpr10::UpdateFromRadio(std::uint32_t mask, std::uint32_t object,
                                   const HlaTransmitterRecord& radio) {
    return SendAttributes(object, mask & HLA_ATTR_ALL, radio);
}

// A Transmitter PDU carries no modulation parameters for the object.
bool CHLAMgrRpr10::UpdateFromTransmitterPdu(std::uint32_t mask, const hcy::net::TransmitterPdu& pdu,
                                            const hcy::net::PduSendRequest& request) {
    const SendRequestView view = ViewOf(request);
    if (view.objectHandle == kNoHlaObject) return false;
    return SendAttributes(view.objectHandle, mask & HLA_ATTR_ALL & ~HLA_ATTR_MODULATION_PARAMETERS,
                          RecordFromTransmitterPdu(pdu));
}

std::uint32_t CHLAMgrRpr10::MaskFromHandleSet(const RTI::AttributeHandleSet& set) {
    std::uint32_t mask = 0;
    try {
        for (RTI::ULong i = 0; i < set.size(); ++i) {
            const int bit = BitOf(set.getHandle(i));
            if (bit >= 0) mask |= 1u << bit;
        }
    } catch (...) {
        return 0;
    }
    return mask;
}

std::uint32_t CHLAMgrRpr10::GetClassHandle(std::uint32_t kind) {
    return kind == 1 && m_bTransmitterHandles ? m_transmitter.handle : kNoHlaObject;
}

std::unique_ptr<RTI::AttributeHandleSet> CHLAMgrRpr10::HandleSetFromMask(std::uint32_t mask) {
    mask &= HLA_ATTR_ALL;
    if (mask == 0 || !m_bTransmitterHandles) return nullptr;
    std::unique_ptr<RTI::AttributeHandleSet> set =
        Own(RTI::AttributeHandleSetFactory::create(CountBits(mask)));
    for (unsigned bit = 0; bit < kHlaAttributeCount; ++bit)
        if (mask & (1u << bit)) set->add(m_attributes[bit].handle);
    return set;
}

// Values of the wrong length are dropped one by one; the others of the same
// reflection still count.
bool CHLAMgrRpr10::ReflectAttributeValues(RTI::ObjectHandle object,
                                          const RTI::AttributeHandleValuePairSet& set) {
    HlaTransmitterRecord record;
    record.instanceName = InstanceName(object);
    std::uint32_t mask = 0;
    const RTI::ULong n = set.size();
    for (RTI::ULong i = 0; i < n; ++i) {
        try {
            const int bit = BitOf(set.getHandle(i));
            if (bit < 0) continue;
            RTI::ULong length = set.getValueLength(i);
            m_value.resize(std::max<RTI::ULong>(length, 1));
            const RTI::ULong room = length;
            set.getValue(i, m_value.data(), length);
            if (DecodeAttribute(static_cast<unsigned>(bit), m_value.data(), std::min(length, room),
                                record))
                mask |= 1u << bit;
        } catch (const RTI::Exception& e) {
            m_sink.SetError(
                Format("Receive Attributes exception: %s\n", ReasonOf(e).c_str()).c_str());
        }
    }
    if (mask != 0) m_sink.DispatchHlaTransmitterUpdate(object, &record, mask);
    return true;
}

// ---------------------------------------------------------------------------
// Signals

bool CHLAMgrRpr10::SendSignal(const unsigned char* netPdu, std::size_t netLength,
                              const hcy::net::PduSendRequest& request) {
    if (!m_nSignalEnable) return true;
    HlaSignalRecord signal;
    if (!m_bSignalHandles || !ReadNetSignalFields(netPdu, netLength, signal)) return false;
    const SendRequestView view = ViewOf(request);
    const std::size_t audio = std::min<std::size_t>(view.length, netLength - kSignalFixedPartSize);
    static const std::string none;
    const std::string& sender = view.senderName ? *view.senderName : none;
    try {
        std::unique_ptr<RTI::ParameterHandleValuePairSet> set =
            Own(RTI::ParameterSetFactory::create(kSignalParameterCount));
        if (audio != 0)
            set->add(m_parameters[kSignalData].handle,
                     reinterpret_cast<const char*>(netPdu + kSignalFixedPartSize), audio);
        static const SignalParameter kOrder[] = {kSignalDataLength, kSampleCount, kSignalSampleRate,
                                                 kTransmitterSignalEncodingType, kHostRadioIndex};
        for (SignalParameter p : kOrder) {
            EncodeSignalParameter(p, signal, sender, m_scratch);
            set->add(m_parameters[p].handle, m_scratch.data(), m_scratch.size());
        }
        m_rti.sendInteraction(m_signal.handle, *set, "");
        set->empty();
        return true;
    } catch (...) {
        return false;
    }
}

// A signal is dispatched only when its audio holds what its data length
// claims and it names a sample rate and count; the audio kept is bounded.
bool CHLAMgrRpr10::ReceiveInteraction(RTI::InteractionClassHandle interaction,
                                      const RTI::ParameterHandleValuePairSet& set) {
    if (!m_bSignalHandles || interaction != m_signal.handle) return true;
    m_received.Clear();
    const RTI::ULong n = set.size();
    for (RTI::ULong i = 0; i < n; ++i) {
        int parameter = -1;
        RTI::ULong length = 0;
        try {
            parameter = ParameterOf(set.getHandle(i));
            length = set.getValueLength(i);
        } catch (...) {
            continue;
        }
        if (parameter < 0) continue;
        try {
            m_value.resize(std::max<RTI::ULong>(length, 1));
            const RTI::ULong room = length;
            set.getValue(i, m_value.data(), length);
            length = std::min(length, room);
        } catch (...) {
            return false;
        }
        m_received.Take(static_cast<SignalParameter>(parameter), m_value.data(), length);
    }
    if (!m_received.Usable()) return true;
    m_sink.DispatchHlaSignal(&m_received.record, m_received.audio.data(),
                             static_cast<std::uint32_t>(m_received.audio.size()),
                             &m_received.senderName);
    return true;
}
