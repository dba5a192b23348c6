// Keying judged by what the radios send: on every card kind and for every
// way a card keys, no radio sends a Signal PDU while its last Transmitter
// PDU says it is not transmitting, and none stays keyed once what keyed it
// has let go.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <map>
#include <mutex>

#include "audio_fixture.h"
#include "halcyra/halcyra.h"
#include "net/pdu.h"
#include "radio/radio_post.h"
#include "support/library_fixture.h"

namespace {

const HCYGUID* Guid(const plat::GUID& g) { return reinterpret_cast<const HCYGUID*>(&g); }

// Two cards (a speaker and a ramp microphone each), for scenarios with two devices.
struct Cards {
    plat::GUID speakers[2]{}, mic[2]{};
    plat::UINT micId[2]{};
    Cards() {
        plat::vsnd::RemoveAllEndpoints();
        for (int i = 0; i < 2; ++i) {
            speakers[i] = plat::vsnd::CreateOutputEndpoint({}).guid;
            plat::vsnd::InputEndpointConfig in;
            in.source = std::make_shared<plat::vsnd::RampSource>();
            const auto id = plat::vsnd::CreateInputEndpoint(in);
            mic[i] = id.guid;
            micId[i] = id.waveInId;
        }
    }
    ~Cards() { plat::vsnd::RemoveAllEndpoints(); }
};

struct Kind {
    const char* name;
    std::function<int(const Cards&, int)> open;
    int channel;  // keyed; the multi-channel card also carries the radio on channel 0
    bool ds8;
};

const Kind kKinds[] = {
    {"mono",
     [](const Cards& c, int i) {
         return hcyOpenAudioDeviceSimple(c.micId[i], Guid(c.speakers[i]));
     },
     0, false},
    {"DirectSound 8",
     [](const Cards& c, int i) {
         return hcyOpenAudioDeviceDS(Guid(c.mic[i]), Guid(c.speakers[i]));
     },
     0, true},
    {"split",
     [](const Cards& c, int i) {
         return hcyOpenSplitDeviceSimple(c.micId[i], Guid(c.speakers[i]));
     },
     9, false},
    {"split DirectSound 8",
     [](const Cards& c, int i) {
         return hcyOpenSplitDeviceDS(Guid(c.mic[i]), Guid(c.speakers[i]));
     },
     8, true},
    {"multi-channel",
     [](const Cards& c, int i) {
         return hcyOpenMultiDevice(c.micId[i], Guid(c.speakers[i]), 2, 2);
     },
     1, false},
};

// What one radio sent: its transmit state as the last Transmitter PDU gave
// it, the samples of its Signal PDUs, and Signal PDUs sent while "off".
struct Sent {
    int state = 1;
    int samples = 0;
    int signalsWhileOff = 0;
};

class Keying : public RunningLibraryTest {
public:
    void SetUp() override {
        RunningLibraryTest::SetUp();
        hcy::radio::SetNetMgrHookForTest([this](hcy::radio::NetMgrMessage&& m) {
            if (m.message != hcy::WM_NETMGR_SEND_PDU || !m.pdu) return;
            const auto& pdu = m.pdu->pdu;
            std::lock_guard lock(mutex_);
            if (pdu.size() >= sizeof(hcy::net::TransmitterPdu) &&
                static_cast<std::uint8_t>(pdu[2]) == hcy::net::PDU_TYPE_TRANSMITTER) {
                hcy::net::TransmitterPdu t;
                std::memcpy(&t, pdu.data(), sizeof t);
                sent_[t.radioId.radioNumber].state = t.transmitState;
            } else if (pdu.size() >= sizeof(hcy::net::SignalPdu) &&
                       static_cast<std::uint8_t>(pdu[2]) == hcy::net::PDU_TYPE_SIGNAL) {
                hcy::net::SignalPdu s;
                std::memcpy(&s, pdu.data(), sizeof s);
                Sent& radio = sent_[s.radioId.radioNumber];
                radio.samples += s.sampleCount;
                if (radio.state != 2) ++radio.signalsWhileOff;
            }
        });
    }
    void TearDown() override {
        RunningLibraryTest::TearDown();
        hcy::radio::SetNetMgrHookForTest({});
    }

    int Radio(std::uint16_t number) {
        const int radio = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 2, 3, number);
        EXPECT_GT(radio, 0) << Error();
        EXPECT_EQ(hcySetRadioFrequency(radio, 30e6, 30e6), 1);
        EXPECT_EQ(hcySetEncoding(radio, ENCODING_PCM16), 1);
        return radio;
    }
    Sent Of(std::uint16_t number) {
        std::lock_guard lock(mutex_);
        return sent_[number];
    }
    // Captures `blocks` blocks of 64 ms; when the radio `sends`, each one
    // is waited for (a wave input has only two blocks in flight).
    void Run(int blocks, std::uint16_t number = 0, bool sends = false) {
        for (int i = 0; i < blocks; ++i) {
            const int before = Of(number).samples;
            plat::AdvanceClock(64);
            if (sends) {
                ASSERT_TRUE(hcytest::WaitFor([&] { return Of(number).samples >= before + 1024; }))
                    << Of(number).samples;
            }
        }
    }

    std::mutex mutex_;
    std::map<std::uint16_t, Sent> sent_;
};

void Wire(const Kind& kind, int radio, int device) {
    if (kind.channel == 0) {
        EXPECT_EQ(hcySetComRadioXmit(radio, device, 1), 1);
    } else if (kind.channel == 1) {
        const int both[] = {1, 1};
        EXPECT_EQ(hcySetComMultiXmit(radio, device, both, 2), 1);
    } else {
        EXPECT_EQ(hcySetComStereoXmit(radio, device, kind.channel, 1), 1);
    }
}

void Vox(const Kind& kind, int device, int on) {
    if (kind.channel == 0)
        EXPECT_EQ(hcySetVoxEnable(device, on), 1);
    else if (kind.channel == 1)
        EXPECT_EQ(hcySetMultiVoxEnable(device, kind.channel, on), 1);
    else
        EXPECT_EQ(hcySetSplitVoxEnable(device, on && kind.channel == 8, on && kind.channel == 9),
                  1);
}

TEST_F(Keying, NoRadioSendsWhileOffOrStaysKeyedAfterItsKeyLetGo) {
    constexpr int kBlock = 1024;  // samples of one captured block
    const struct {
        const char* name;
        // Keys and lets go of `radio` through `devices`; the radio must be
        // "off" at the end, before the devices close.
        std::function<void(Keying&, const Kind&, std::uint16_t number, const int* devices)> run;
    } sources[] = {
        {"push-to-talk",
         [](Keying& t, const Kind& kind, std::uint16_t n, const int* d) {
             hcySetRadioPTT(d[0], 1, kind.channel);
             t.Run(3, n, true);
             plat::AdvanceClock(20);
             if (kind.channel == 1) {  // a second channel, then the first one let go
                 hcySetRadioPTT(d[0], 1, 0);
                 hcySetRadioPTT(d[0], 0, kind.channel);
                 EXPECT_EQ(t.Of(n).state, 2);
                 t.Run(1, n, true);
                 hcySetRadioPTT(d[0], 0, 0);
                 return;
             }
             hcySetRadioPTT(d[0], 0, kind.channel);
             // Every sample captured while keyed went out: the last part
             // of a block too, where the stop delivers it.
             EXPECT_EQ(t.Of(n).samples, 3 * kBlock + (kind.ds8 ? 320 : 0));
         }},
        {"VOX",
         [](Keying& t, const Kind& kind, std::uint16_t n, const int* d) {
             Vox(kind, d[0], 1);
             t.Run(1, n, true);
             Vox(kind, d[0], 0);
         }},
        {"shared source",
         [](Keying& t, const Kind& kind, std::uint16_t n, const int* d) {
             hcySetRadioPTT(d[0], 1, kind.channel);
             int shared = 1;
             hcySetDeviceData(d[0], DEVDATA_SHARED_SOURCE, reinterpret_cast<intptr_t>(&shared));
             t.Run(1, n, true);
             hcySetRadioPTT(d[0], 0, kind.channel);
         }},
        {"a second device",
         [](Keying& t, const Kind& kind, std::uint16_t n, const int* d) {
             hcySetRadioPTT(d[0], 1, kind.channel);
             t.Run(1, n, true);
             hcySetRadioPTT(d[1], 1, kind.channel);  // the radio is the first one's
             t.Run(1);
             hcySetRadioPTT(d[0], 0, kind.channel);
             t.Run(2);
         }},
        {"close",
         [](Keying& t, const Kind& kind, std::uint16_t n, const int* d) {
             hcySetRadioPTT(d[0], 1, kind.channel);
             t.Run(1, n, true);
             EXPECT_EQ(hcyCloseAudioDevice(d[0]), 1);
         }},
    };
    std::uint16_t number = 100;
    for (const auto& kind : kKinds) {
        for (const auto& source : sources) {
            SCOPED_TRACE(std::string(kind.name) + ", " + source.name);
            Cards cards;
            const int devices[] = {kind.open(cards, 0), kind.open(cards, 1)};
            ASSERT_GT(devices[0], 0) << Error();
            ASSERT_GT(devices[1], 0) << Error();
            const std::uint16_t n = ++number;
            const int radio = Radio(n);
            Wire(kind, radio, devices[0]);
            Wire(kind, radio, devices[1]);
            source.run(*this, kind, n, devices);
            plat::AdvanceClock(50);
            EXPECT_NE(Of(n).state, 2);
            // Whatever the capture threads still had is handed over by now.
            for (int device : devices) hcyCloseAudioDevice(device);
            EXPECT_GT(Of(n).samples, 0);
            EXPECT_EQ(Of(n).signalsWhileOff, 0);
            EXPECT_EQ(hcyDestroyComRadio(radio), 1);
        }
    }
}

}  // namespace
