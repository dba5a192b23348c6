// Sequences of datagrams, as a heard transmitter sends them (a Transmitter
// PDU, then Signal PDUs), through the whole receive road on the calling
// thread into real radios (generic ones in several settings, and one of each
// other model this build has): their reading of Transmitter PDUs
// (modulation parameters, positions, NaN and huge values), the reception
// pipeline, and their reading of Signal PDUs (every encoding, lengths in bits
// against the bytes received, the decode into real receive paths on a null
// sound device and into a data device).
//
// Input: records of a 16-bit big-endian length and that many bytes (cut
// short at the end of the input); a length of 0 is an update tick, which
// also mixes the sound device's output. Every datagram is a private copy of
// exactly its length, so that AddressSanitizer catches a read past it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "audio/recv_path_mono.h"
#include "core/app.h"
#include "halcyra/halcyra.h"
#include "hcyplat/clock.h"
#include "hcyplat/dsound.h"
#include "hcyplat/virtual_sound.h"
#include "media/net_play_device.h"
#include "net/receive_road.h"
#include "radio/radio_factory.h"
#include "radio/radio_post.h"
#include "tests/support/app_access.h"
#include "tests/support/stand_ins.h"

namespace {

struct Listeners {
    plat::GUID speaker{};
    plat::LPDIRECTSOUND directSound;
    std::shared_ptr<hcytest::StandInDevice> sound, data;
    std::vector<std::shared_ptr<CRadioModel>> radios;
};

std::shared_ptr<CRadioModel> AddRadio(std::uint16_t entity,
                                      std::uint16_t model = RADIO_TYPE_GENERIC) {
    auto radio = CreateRadioModel(model, std::make_shared<CNetPlayDevices>());
    theApp.AddRadio(radio, [&](int handle) {
        radio->SetRadioId(1, 2, entity, 1);
        radio->StoreUserId(static_cast<std::uint32_t>(handle));
    });
    radio->SetXYZPosition(6378137.0, 0.0, 0.0);
    radio->SetFrequency(30e6, 30e6);
    return radio;
}

Listeners& Setup() {
    static Listeners l = [] {
        Listeners made;
        plat::UseManualClock();
        CHalcyraAppTestAccess::OpenTables();
        // What radios would send (heartbeats, Receiver PDUs) goes nowhere.
        hcy::radio::SetNetMgrHookForTest([](hcy::radio::NetMgrMessage&&) {});
        SetRecvPathMakerForTest([](CRecvPath::Kind) { return std::make_unique<CRecvPathMono>(); });
        hcy::Library().m_nEnablePDUs = 1;
        hcy::Library().m_nRecvTimeoutTicks = 2;
        hcy::Library().m_bAcceptEntityState = true;

        plat::vsnd::OutputEndpointConfig out;  // mixing into a null sink
        made.speaker = plat::vsnd::CreateOutputEndpoint(out).guid;
        plat::DirectSoundCreate(&made.speaker, &made.directSound, nullptr);
        made.sound = std::make_shared<hcytest::StandInDevice>();
        made.sound->directSound = made.directSound;
        made.sound->SetHandle(theApp.TakeHandle());
        made.data = std::make_shared<hcytest::StandInDevice>(CDevice::Kind::Data);
        made.data->SetHandle(theApp.TakeHandle());

        // Defaults; CECOM CVSD, open squelch, background noise and the
        // single-sideband shift; full duplex with extra exercises, half
        // volume and entity attach; a data device beside a left channel.
        auto plain = AddRadio(3);
        auto cecom = AddRadio(4);
        cecom->SetEncoding(7);
        cecom->SetDoPropLossModel(0);
        cecom->SetSquelchLevel(0.0f);
        cecom->SetModulation(1, 6);
        std::uint32_t flags = 1;
        cecom->SetRadioData(RD_RADIO_FLAGS, &flags);
        auto duplex = AddRadio(5);
        std::uint32_t on = 1, extra[] = {2, 2, 3};
        duplex->SetRadioData(RD_FULL_DUPLEX, &on);
        duplex->SetRadioData(RD_EXTRA_EXERCISES, extra);
        duplex->SetMasterVolume(0.5f);
        duplex->SetEntityAttach(1);
        auto split = AddRadio(6);
        split->SetDoRoundEarthModel(0);
        for (auto& radio : {plain, cecom, duplex}) radio->AttachRecvPath(made.sound.get(), 0);
        split->AttachRecvPath(made.sound.get(), 8);
        split->AttachRecvPath(made.data.get(), 0);
        made.radios = {plain, cecom, duplex, split};
        // The other models, the raw DIS radio listening to the seeds' sender.
        std::uint16_t entity = 7;
        // The secure ones hop, their hop-net records and HQ blocks compared
        // with the senders'; the ARC-164 takes time-of-day words from them.
        for (std::uint16_t model : {RADIO_TYPE_MODEL1008, RADIO_TYPE_RAW_DIS, RADIO_TYPE_INTERCOM,
                                    RADIO_TYPE_SCANNER, RADIO_TYPE_SECURE, RADIO_TYPE_SINCGARS,
                                    RADIO_TYPE_ARC164, RADIO_TYPE_ARC186, RADIO_TYPE_ARC190}) {
            auto radio = AddRadio(entity++, model);
            radio->SetSNR(10, 20, 30, 1, 1.0f);
            if (model == RADIO_TYPE_SINCGARS || model == RADIO_TYPE_ARC164)
                radio->SetSpreadSpectrum(1);
            radio->AttachRecvPath(made.sound.get(), 0);
            made.radios.push_back(radio);
        }
        return made;
    }();
    return l;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Listeners& l = Setup();
    static std::vector<std::byte> scratch;
    std::size_t at = 0;
    while (at + 2 <= size) {
        std::size_t length = (std::size_t{data[at]} << 8) | data[at + 1];
        at += 2;
        length = std::min(length, size - at);
        if (length == 0) {
            theApp.UpdateTick();
            plat::vsnd::PumpOutput(l.speaker, 256);
            continue;
        }
        std::unique_ptr<std::byte[]> copy(new std::byte[length]);
        std::memcpy(copy.get(), data + at, length);
        at += length;
        hcy::net::ReceiveDatagramInline(theApp, std::span<const std::byte>(copy.get(), length),
                                        NET_PRIMARY, scratch);
    }
    // Every input starts from radios that have heard nobody.
    for (auto& radio : l.radios) {
        radio->SweepReceiveTimeouts();
        radio->SweepReceiveTimeouts();
    }
    return 0;
}
