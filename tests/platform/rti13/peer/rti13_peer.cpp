// A federate in a process of its own, for the hub tests:
//   rti13_peer FEDERATION
// joins FEDERATION (created by the test), publishes and subscribes the radio
// transmitter's Frequency and RadioIndex and the signal interaction,
// registers "peer-radio", then echoes: every reflection comes back as an
// update of peer-radio with the same values, every interaction is sent back.
// Ends after 60 s, or with status 3 when the hub is gone.
#include <chrono>
#include <cstdio>
#include <memory>

#include "recorder.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    try {
        RTI::RTIambassador rti;
        rtitest::Recorder rec;
        rti.joinFederationExecution("hcy@peer", argv[1], &rec);
        const RTI::ObjectClassHandle transmitter =
            rti.getObjectClassHandle("EmbeddedSystem.RadioTransmitter");
        const RTI::InteractionClassHandle signal =
            rti.getInteractionClassHandle("RadioSignal.EncodedAudioRadioSignal");
        std::unique_ptr<RTI::AttributeHandleSet> set(RTI::AttributeHandleSetFactory::create(2));
        set->add(rti.getAttributeHandle("Frequency", transmitter));
        set->add(rti.getAttributeHandle("RadioIndex", transmitter));
        rti.publishObjectClass(transmitter, *set);
        rti.subscribeObjectClassAttributes(transmitter, *set);
        rti.publishInteractionClass(signal);
        rti.subscribeInteractionClass(signal);
        const RTI::ObjectHandle radio = rti.registerObjectInstance(transmitter, "peer-radio");

        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < end) {
            rti.tick(0.1, 0.1);
            for (const rtitest::Event& e : rec.events) {
                if (e.kind != "reflect" && e.kind != "receive") continue;
                if (e.kind == "reflect") {
                    std::unique_ptr<RTI::AttributeHandleValuePairSet> values(
                        RTI::AttributeSetFactory::create(e.values.size()));
                    for (const auto& v : e.values)
                        values->add(v.first, v.second.data(), v.second.size());
                    rti.updateAttributeValues(radio, *values, "echo");
                } else {
                    std::unique_ptr<RTI::ParameterHandleValuePairSet> values(
                        RTI::ParameterSetFactory::create(e.values.size()));
                    for (const auto& v : e.values)
                        values->add(v.first, v.second.data(), v.second.size());
                    rti.sendInteraction(signal, *values, "echo");
                }
            }
            rec.events.clear();
        }
        return 0;
    } catch (const RTI::Exception& e) {
        std::printf("peer: %s: %s\n", e._name, e._reason ? e._reason : "");
        return 3;
    }
}
