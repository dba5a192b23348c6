// The models through the library: the model codes, and what a virtual
// speaker plays on the update tick. The six-channel priority mutes what
// any radio hears at a lower receive value and releases it when the
// priority transmission ends; the scanner hears senders on any frequency
// in turn and keeps them.
#include <typeinfo>

#include "audio/recv_path_mono.h"
#include "hcyplat/virtual_sound.h"
#include "radio/arc164_radio.h"
#include "radio/arc186_radio.h"
#include "radio/arc190_radio.h"
#include "radio/generic_radio.h"
#include "radio/intercom_model.h"
#include "radio/model1008.h"
#include "radio/raw_dis_model.h"
#include "radio/scanner_model.h"
#include "radio/secure_radio.h"
#include "radio/sincgars_radio.h"
#include "radio/wav_record_radio.h"
#include "radio_fixture.h"
#include "support/library_fixture.h"

namespace {

using hcytest::MakeSignalPdu;
using hcytest::MakeTransmitterPdu;
using hcytest::TransmitterSpec;
using Samples = std::vector<std::int16_t>;

// Far from every other test's exercise: loopback PDUs of other processes
// must not reach these radios.
constexpr std::uint8_t kExercise = 77;

class ModelsOnTheLibrary : public RunningLibraryTest {
protected:
    void SetUp() override {
        RunningLibraryTest::SetUp();
        // The radios play through the audio subsystem's own paths (this also
        // links them into the test program).
        ASSERT_TRUE(dynamic_cast<CRecvPathMono*>(CreateRecvPath(CRecvPath::Kind::Mono).get()));
        hcy::radio::SetNetMgrHookForTest([](hcy::radio::NetMgrMessage&&) {});
        plat::vsnd::RemoveAllEndpoints();
        plat::vsnd::OutputEndpointConfig out;
        out.sink = sink;
        const plat::GUID speaker = plat::vsnd::CreateOutputEndpoint(out).guid;
        const plat::UINT mic = plat::vsnd::CreateInputEndpoint({}).waveInId;
        device = hcyOpenAudioDeviceSimple(mic, reinterpret_cast<const HCYGUID*>(&speaker));
        ASSERT_GT(device, 0) << Error();
    }
    void TearDown() override {
        RunningLibraryTest::TearDown();
        hcy::radio::SetNetMgrHookForTest({});
        plat::vsnd::RemoveAllEndpoints();
    }

    int Radio(std::uint16_t model, double rx) {
        const int handle = hcyCreateComRadio(model, 1, 2, 3, 0);
        EXPECT_EQ(hcySetExerciseID(handle, kExercise), 1);
        hcySetRadioFrequency(handle, rx, rx);
        EXPECT_EQ(hcySetComRadioRecv(handle, device, 0, 1), 1);
        return handle;
    }
    void Key(hcy::net::RadioId id, double frequency, std::uint8_t state = 2) {
        const auto pdu = MakeTransmitterPdu(TransmitterSpec{
            .id = id, .state = state, .exercise = kExercise, .frequency = frequency});
        theApp.DispatchTransmitterPdu(reinterpret_cast<const hcy::net::TransmitterPdu*>(pdu.data()),
                                      static_cast<std::uint32_t>(pdu.size()), NET_PRIMARY);
    }
    // 1024 samples of one value, as 16-bit PCM.
    void Speak(hcy::net::RadioId id, std::int16_t value) {
        const Samples block(1024, value);
        std::vector<std::uint8_t> bytes(2048);
        std::memcpy(bytes.data(), block.data(), bytes.size());
        const auto pdu = MakeSignalPdu(id, 4, bytes, 1024, 16000, kExercise);
        theApp.DispatchSignalPdu(reinterpret_cast<const hcy::net::SignalPdu*>(pdu.data()),
                                 static_cast<std::uint32_t>(pdu.size()), NET_PRIMARY);
    }
    // What the speaker plays over the next tick (250 ms): the value of its
    // first 1024 frames, both channels alike, or -1 when they differ.
    int Heard() {
        sink->Clear();
        Ticks(1);
        const Samples s = sink->Samples();
        if (s.size() < 2048) return -1;
        for (std::size_t i = 1; i < 2048; ++i)
            if (s[i] != s[0]) return -1;
        return s[0];
    }

    std::shared_ptr<plat::vsnd::MemorySink> sink = std::make_shared<plat::vsnd::MemorySink>();
    int device = 0;
};

TEST_F(ModelsOnTheLibrary, EachModelCodeCreatesItsModel) {
    struct Row {
        std::uint16_t code;
        const std::type_info& type;
    };
    const Row rows[] = {
        {0, typeid(CGenericRadioModel)},      {1, typeid(CGenericRadioModel)},
        {2, typeid(CSecureRadioModel)},       {3, typeid(CSecureRadioModel)},
        {4, typeid(CSecureRadioModel)},       {5, typeid(CSincgarsRadioModel)},
        {6, typeid(CGenericRadioModel)},      {1007, typeid(CGenericRadioModel)},
        {1008, typeid(CModel1008)},           {1009, typeid(CGenericRadioModel)},
        {1010, typeid(CRawDisModel)},         {1011, typeid(CGenericRadioModel)},
        {1100, typeid(CIntercomModel)},       {1101, typeid(CArc164RadioModel)},
        {1102, typeid(CArc186RadioModel)},    {1103, typeid(CArc190RadioModel)},
        {1104, typeid(CSecureRadioModel)},    {1105, typeid(CScannerModel)},
        {1106, typeid(CWavRecordRadioModel)}, {1107, typeid(CGenericRadioModel)},
        {65535, typeid(CGenericRadioModel)},
    };
    for (const Row& row : rows) {
        const int handle = hcyCreateComRadio(row.code, 1, 0, 0, 3);
        auto radio = theApp.FindRadio(handle);
        ASSERT_TRUE(radio) << row.code;
        EXPECT_EQ(typeid(*radio), row.type) << row.code;
    }
}

// The ARC radios' tone devices take the counter's numbers before the radio
// does (two for the ARC-164, one for the ARC-186), and the radio number is
// the radio's handle.
TEST_F(ModelsOnTheLibrary, ToneDevicesTakeHandlesOfTheSharedCounter) {
    const int first = hcyCreateComRadio(RADIO_TYPE_GENERIC, 1, 0, 0, 0);
    const int arc164 = hcyCreateComRadio(RADIO_TYPE_ARC164, 1, 0, 0, 0);
    const int arc186 = hcyCreateComRadio(RADIO_TYPE_ARC186, 1, 0, 0, 0);
    const int secure = hcyCreateComRadio(RADIO_TYPE_SECURE, 1, 0, 0, 0);
    EXPECT_EQ(arc164, first + 3);
    EXPECT_EQ(arc186, arc164 + 2);
    EXPECT_EQ(secure, arc186 + 1);
    EXPECT_EQ(theApp.FindRadio(arc164)->GetName(), "hcyRadio.1-0-0-" + std::to_string(arc164));
    EXPECT_EQ(theApp.FindDevice(arc164 - 1), nullptr);  // not in the device table
}

// A keying the radio refuses keeps hcySetRadioPTT's 1 and says why.
TEST_F(ModelsOnTheLibrary, ARefusedKeyingLeavesItsReason) {
    const int radio = Radio(RADIO_TYPE_ARC190, 50e6);  // out of band: tuned to 0 Hz
    ASSERT_EQ(hcySetComRadioXmit(radio, device, 1), 1);
    EXPECT_EQ(hcySetRadioPTT(device, 1, 0), 1);
    EXPECT_EQ(Error(), "HCY ERROR: Radio " + std::to_string(radio) +
                           ": Transmit frequency 0 Hz is outside the radio's band.");
}

TEST_F(ModelsOnTheLibrary, SixChannelPriorityMutesLowerValuesUntilItEnds) {
    const int set = Radio(RADIO_TYPE_MODEL1008, -5);  // slot 0: channel 5
    hcySetRadioFrequency(set, -(3 * 65536 + 7), -5);  // slot 3: channel 7
    Radio(RADIO_TYPE_GENERIC, 30e6);
    const hcy::net::RadioId a{{10, 20, 30}, 1}, b{{10, 20, 31}, 1}, c{{10, 20, 32}, 1};
    Key(a, -5);
    Key(c, 30e6);  // heard by the generic radio
    Ticks(2);      // the library's largest receive value: 0
    Speak(a, 1000);
    Speak(c, 2000);
    EXPECT_EQ(Heard(), 3000);

    Key(b, -7);  // slot 3: receive value 3, library-wide
    Ticks(2);
    for (int round = 0; round < 3; ++round) {
        Speak(a, 1000);
        Speak(b, 4000);
        Speak(c, 2000);
        EXPECT_EQ(Heard(), 4000) << round;  // full volume, the others dropped
    }
    std::uint32_t largest = 0;
    hcyGetRadioData(0, RD_MAX_RECV_VALUE, &largest);
    EXPECT_EQ(static_cast<std::int32_t>(largest), 3);

    Key(b, -7, 1);  // the priority transmission ends
    Ticks(2);
    Speak(a, 1000);
    Speak(c, 2000);
    EXPECT_EQ(Heard(), 3000);
}

TEST_F(ModelsOnTheLibrary, ScannerHearsSendersOnAnyFrequencyInTurn) {
    const int scanner = Radio(RADIO_TYPE_SCANNER, 0);
    const hcy::net::RadioId a{{10, 20, 30}, 1}, b{{10, 20, 31}, 1};
    Key(a, 30e6);  // Transmitter PDUs, on two frequencies: not needed, not used
    Key(b, 45e6);
    for (int round = 0; round < 2; ++round) {
        Speak(a, 1000);
        EXPECT_EQ(Heard(), 1000);
    }
    Ticks(4);  // a falls silent: its buffer stops
    EXPECT_EQ(Heard(), 0);
    for (int round = 0; round < 2; ++round) {
        Speak(b, 2000);
        EXPECT_EQ(Heard(), 2000);
    }
    Ticks(80);  // two receive time-outs: both kept
    EXPECT_EQ(theApp.FindRadio(scanner)->GetReceiveCount(), 2u);
    Speak(a, 1000);
    Speak(b, 2000);
    EXPECT_EQ(Heard(), 3000);
}

}  // namespace
