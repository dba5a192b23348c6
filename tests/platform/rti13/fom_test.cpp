// The FED reader: the project's FOM, and the faults a FED text can have.
#include <gtest/gtest.h>

#include "fom.h"
#include "rti13_fixture.h"
#include "support/test_support.h"

namespace rtitest {
namespace {

std::string Refusal(const std::string& text) {
    try {
        hcyrti::Fom::Parse(text);
    } catch (const hcyrti::Failure& f) {
        EXPECT_EQ(f.error, hcyrti::Error::ErrorReadingFED);
        return f.what();
    }
    return "";
}

TEST(FedFile, TheProjectFomHasTheRadioClassesInMaskOrder) {
    const auto fom = hcyrti::Fom::Parse(hcytest::ReadFile(FedPath()));
    const RTI::Handle transmitter = fom->ObjectClass(kTransmitter);
    const char* attributes[] = {"EntityIdentifier",
                                "HostObjectIdentifier",
                                "RelativePosition",
                                "AntennaPatternData",
                                "CryptographicMode",
                                "CryptoSystem",
                                "EncryptionKeyIdentifier",
                                "Frequency",
                                "FrequencyBandwidth",
                                "FrequencyHopInUse",
                                "ModulationParameters",
                                "PsuedoNoiseSpectrumInUse",
                                "RadioIndex",
                                "RadioInputSource",
                                "RadioSystemType",
                                "RFModulationSystemType",
                                "RFModulationType",
                                "TimeHopInUse",
                                "TransmittedPower",
                                "TransmitterOperationalStatus",
                                "WorldLocation"};
    RTI::Handle previous = fom->Attribute(attributes[0], transmitter);
    for (const char* a : attributes) {
        const RTI::Handle h = fom->Attribute(a, transmitter);
        if (a != attributes[0]) {
            EXPECT_GT(h, previous) << a << " follows the one before it";
        }
        previous = h;
    }
    const RTI::Handle receiver = fom->ObjectClass("EmbeddedSystem.RadioReceiver");
    for (const char* a : {"RadioIndex", "ReceivedPower", "ReceivedTransmitterIdentifier",
                          "ReceiverOperationalStatus"})
        EXPECT_TRUE(fom->HasAttribute(receiver, fom->Attribute(a, receiver))) << a;
    const RTI::Handle signal = fom->InteractionClass(kSignal);
    for (const char* p : {"HostRadioIndex", "TransmitterSignalEncodingType", "SignalSampleRate",
                          "SampleCount", "SignalDataLength", "SignalData"})
        EXPECT_TRUE(fom->HasParameter(signal, fom->Parameter(p, signal))) << p;
    EXPECT_TRUE(fom->ObjectClassIsA(transmitter, fom->ObjectClass("EmbeddedSystem")));
    EXPECT_FALSE(fom->ObjectClassIsA(transmitter, receiver));
}

TEST(FedFile, FaultsAreReadingErrorsWithTheirLine) {
    const std::string deep = std::string(100, '(') + std::string(100, ')');
    struct Case {
        const char* what;
        std::string text;
        const char* reason;  // part of the message
    };
    const Case cases[] = {
        {"empty", " ;; only a comment\n", "empty file"},
        {"not FED", "(FOM)", "does not start with (FED"},
        {"unclosed", "(FED\n(objects (class ObjectRoot)\n", "line 2: '(' is never closed"},
        {"extra close", "(FED))", "unexpected ')'"},
        {"text after", "(FED) (FED)", "text after the FED list"},
        {"unknown section", "(FED (things))", "unknown or repeated section 'things'"},
        {"objects twice", "(FED (objects) (objects))", "unknown or repeated section 'objects'"},
        {"unknown keyword", "(FED (objects (class A (colour red))))",
         "unexpected 'colour' in class A"},
        {"parameter in an object class", "(FED (objects (class A (parameter p))))",
         "unexpected 'parameter'"},
        {"word in an object class", "(FED (objects (class A best_effort)))",
         "unexpected word in class A"},
        {"class twice", "(FED (objects (class A (class B) (class B))))",
         "class A.B declared twice"},
        {"inherited twice", "(FED (objects (class A (attribute x) (class B (attribute x)))))",
         "attribute x declared twice"},
        {"dotted name", "(FED (interactions (class A.B)))", "invalid name 'A.B'"},
        {"nameless class", "(FED (objects (class)))", "a name was expected"},
        {"unclosed quote", "(FED (Federation \"x))", "quoted name is never closed"},
        {"too deep", deep, "nested too deeply"},
    };
    for (const Case& c : cases) {
        const std::string reason = Refusal(c.text);
        EXPECT_NE(reason.find(c.reason), std::string::npos) << c.what << ": " << reason;
    }
    EXPECT_EQ(Refusal("(fed (FEDVERSION v1.3) (Objects (class \"ObjectRoot\"))) ; no interactions"),
              "")
        << "keywords in any case, quoted names";
}

}  // namespace
}  // namespace rtitest
