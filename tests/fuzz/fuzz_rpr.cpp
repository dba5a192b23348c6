// Reflected attributes and received signal parameters, as a peer federate
// could send them, through the RPR FOM 1.0 manager's decoders into a sink
// that reads every byte it is handed, so that AddressSanitizer catches a
// record or an audio block longer than what was received.
//
// Input: entries of [u8 handle selector][u8 length][length bytes]; the
// selector picks one of the class's attribute or parameter handles, or a
// handle of no attribute. The same entries are taken as a reflection and as
// a signal.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hla/hla_mgr_rpr10.h"
#include "tests/platform/rti13/null_ambassador.h"

namespace {

class ReadingSink : public hcy::hla::HlaSink {
public:
    std::uint32_t sum = 0;
    void DispatchHlaTransmitterUpdate(std::uint32_t, const HlaTransmitterRecord* r,
                                      std::uint32_t) override {
        for (char c : r->hostObjectId) sum += static_cast<unsigned char>(c);
    }
    void DispatchHlaSignal(const HlaSignalRecord* r, const std::uint8_t* data, std::uint32_t bytes,
                           const std::string* sender) override {
        // What a decoder would read: the bytes its data length names.
        const std::uint32_t claimed = r->dataLengthBits / 8u;
        if (claimed > bytes) __builtin_trap();
        for (std::uint32_t i = 0; i < bytes; ++i) sum += data[i];
        sum += static_cast<std::uint32_t>(sender->size());
    }
    int ForEachHlaRadioRemoveObject(std::uint32_t) override { return 1; }
    bool GetRadioName(int, std::string&) override { return false; }
    bool SetRadioHlaObject(int, std::uint32_t) override { return false; }
    void RefuseRadioHlaObject(int, const char*) override {}
    bool GetHlaRadioRecord(std::uint32_t, HlaTransmitterRecord&) override { return false; }
    bool SetRadioHLAData(std::uint32_t, int, std::int32_t) override { return false; }
    void SetError(const char*) override {}
    bool PostUpdateAttributes(std::uint32_t, std::uint32_t) override { return true; }
};

struct Federation {
    ReadingSink sink;
    CHLAMgrRpr10 manager{sink};
    rtitest::NullAmbassador quiet;
    RTI::RTIambassador names;  // a second federate, to learn the parameter handles
    std::vector<RTI::Handle> attributes, parameters;
    RTI::InteractionClassHandle signal = 0;

    Federation() {
        if (!manager.Join("thread:///Fuzz", HCY_FUZZ_FED_FILE, 1, true, nullptr)) __builtin_trap();
        std::unique_ptr<RTI::AttributeHandleSet> all = manager.HandleSetFromMask(HLA_ATTR_ALL);
        for (RTI::ULong i = 0; i < all->size(); ++i) attributes.push_back(all->getHandle(i));
        names.joinFederationExecution("names", "thread:///Fuzz", &quiet);
        signal = names.getInteractionClassHandle(hcy::hla::kSignalClassName);
        for (const char* p : hcy::hla::kSignalParameterNames)
            parameters.push_back(names.getParameterHandle(p, signal));
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Federation* federation = new Federation;
    std::unique_ptr<RTI::AttributeHandleValuePairSet> reflected(
        RTI::AttributeSetFactory::create(8));
    std::unique_ptr<RTI::ParameterHandleValuePairSet> received(RTI::ParameterSetFactory::create(8));
    for (std::size_t at = 0; at + 2 <= size;) {
        const std::uint8_t selector = data[at];
        const std::size_t length = std::min<std::size_t>(data[at + 1], size - at - 2);
        const char* value = reinterpret_cast<const char*>(data + at + 2);
        const auto& a = federation->attributes;
        const auto& p = federation->parameters;
        reflected->add(selector < a.size() ? a[selector] : 0xFFFF, value, length);
        received->add(selector % 8 < p.size() ? p[selector % 8] : 0xFFFF, value, length);
        at += 2 + length;
    }
    federation->manager.ReflectAttributeValues(1, *reflected);
    federation->manager.ReceiveInteraction(federation->signal, *received);
    return 0;
}
