// Real generic radios hearing Signal PDUs through the real receive paths,
// on a virtual speaker: the volume is the radio's gain, transmitters heard
// at once mix, and idle buffers come back with the next block.
#include <cmath>
#include <cstring>

#include "../radio/radio_fixture.h"
#include "audio/output_buffer.h"
#include "audio/recv_path_mono.h"
#include "audio_fixture.h"
#include "radio/generic_radio.h"
#include "radio/radio_post.h"
#include "radio/receive.h"

namespace {

using hcytest::Deliver;
using hcytest::MakeSignalPdu;
using hcytest::MakeTransmitterPdu;
using hcytest::SoundTest;
using hcytest::StandInDevice;
using hcytest::TransmitterSpec;

class HearingRadio : public CGenericRadioModel {
public:
    CRecvPathMono* Path() const {
        Guard lock(*this);
        return Paths().empty() ? nullptr : dynamic_cast<CRecvPathMono*>(Paths().front().get());
    }
    const CReceive* Record(const hcy::net::RadioId& key) const {
        Guard lock(*this);
        return FindReceive(key).get();
    }
};

// 16-bit PCM as it travels (the sender's little-endian order).
std::vector<std::uint8_t> Pcm(const std::vector<std::int16_t>& samples) {
    std::vector<std::uint8_t> bytes(samples.size() * 2);
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    return bytes;
}

class RadioOnSpeaker : public SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        hcy::radio::SetNetMgrHookForTest([](hcy::radio::NetMgrMessage&&) {});
        device.directSound = speaker->ds;
        device.SetHandle(5);
        radio = std::make_shared<HearingRadio>();
        radio->SetRadioId(1, 2, 3, 4);
        radio->SetUserId(7);
        radio->SetXYZPosition(6378137.0, 0.0, 0.0);
        radio->SetFrequency(30e6, 30e6);
        ASSERT_EQ(radio->AttachRecvPath(&device, 0), 1);
    }
    void TearDown() override {
        radio->Shutdown();
        radio.reset();
        hcy::radio::SetNetMgrHookForTest({});
        SoundTest::TearDown();
    }

    void Send(const TransmitterSpec& s, const std::vector<std::int16_t>& samples) {
        Deliver(*radio,
                MakeSignalPdu(s.id, 4, Pcm(samples), static_cast<std::uint16_t>(samples.size())));
    }

    StandInDevice device;
    std::shared_ptr<HearingRadio> radio;
};

TEST_F(RadioOnSpeaker, HeardOnARealPathAtTheGainTheRadioSets) {
    ASSERT_NE(radio->Path(), nullptr);
    EXPECT_TRUE(radio->Path()->IsActive());
    EXPECT_EQ(radio->Path()->GetDevice(), &device);
    radio->SetMasterVolume(0.8f);
    TransmitterSpec s;
    Deliver(*radio, MakeTransmitterPdu(s));
    const CReceive* record = radio->Record(s.id);
    ASSERT_NE(record, nullptr);
    const double signal = record->GetSignal();
    ASSERT_GT(signal, 0.2);  // near enough to be clearly heard
    const long volume = static_cast<long>((signal * 0.8f - 1.0) * 10000.0);
    std::vector<std::int16_t> block(1024);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<std::int16_t>(12000 * std::sin(2 * 3.14159265 * 500 * i / 16000.0));
    Send(s, block);

    const COutputBuffer* buffer = nullptr;
    for (std::size_t i = 0; i < radio->Path()->GetOutputBufferCount(); ++i)
        if (radio->Path()->GetOutputBuffer(i)->GetReceive() == record)
            buffer = radio->Path()->GetOutputBuffer(i);
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(Volume(buffer->GetSoundBuffer()), volume);
    const double amplitude = std::pow(10.0, volume / 2000.0);
    const auto heard = Hear(64);
    ASSERT_EQ(heard.size(), 2048u);
    for (std::size_t i = 0; i < block.size(); ++i) {
        ASSERT_NEAR(heard[2 * i], block[i] * amplitude, 2.0) << i;
        ASSERT_EQ(heard[2 * i + 1], heard[2 * i]) << i;
    }
}

TEST_F(RadioOnSpeaker, TwoTransmittersHeardAtOnceMixWithoutEitherBeingCut) {
    radio->SetDoPropLossModel(0);  // both at full signal, neither captures the other
    TransmitterSpec a, b;
    a.id.radioNumber = 1;
    b.id.radioNumber = 2;
    a.inputSource = 200;  // ends without a squelch tail
    Deliver(*radio, MakeTransmitterPdu(a));
    Deliver(*radio, MakeTransmitterPdu(b));
    for (int round = 0; round < 6; ++round) {
        Send(a, std::vector<std::int16_t>(1024, 1000));
        Send(b, std::vector<std::int16_t>(1024, 2000));
        const auto heard = Hear(64);
        ASSERT_EQ(heard.size(), 2048u);
        for (std::size_t i = 0; i < heard.size(); ++i)
            ASSERT_EQ(heard[i], 3000) << round << " at " << i;
    }
    // A ends; B goes on alone, also after its buffer fell idle.
    a.state = 1;
    Deliver(*radio, MakeTransmitterPdu(a));
    Send(b, std::vector<std::int16_t>(1024, 2000));
    for (auto v : Hear(64)) ASSERT_EQ(v, 2000);
    radio->UpdateRecvPaths();
    radio->UpdateRecvPaths();  // no block between: stopped
    EXPECT_TRUE(hcytest::AllZero(Hear(64)));
    Send(b, std::vector<std::int16_t>(1024, -1500));
    std::size_t loud = 0;
    for (auto v : Hear(128)) loud += v == -1500;
    EXPECT_EQ(loud, 2048u);
}

// Guards against the end of a transmission cutting what was still queued
// (100 to 140 ms of every transmission whose sender unkeyed right after its
// last block): every block plays out, and only then the squelch tail.
TEST_F(RadioOnSpeaker, WhatWasReceivedPlaysOutBeforeTheSquelchTail) {
    radio->SetDoPropLossModel(0);  // full volume: samples heard unchanged
    TransmitterSpec s;             // input source below 128: a tail
    for (int transmission = 0; transmission < 2; ++transmission) {
        SCOPED_TRACE(transmission);
        s.state = 2;
        Deliver(*radio, MakeTransmitterPdu(s));
        for (std::int16_t b = 1; b <= 4; ++b) Send(s, std::vector<std::int16_t>(320, 1000 * b));
        s.state = 1;
        Deliver(*radio, MakeTransmitterPdu(s));
        const auto heard = Hear(200);
        for (std::size_t i = 0; i < 4 * 320; ++i)
            ASSERT_EQ(heard[2 * i], 1000 * (i / 320 + 1)) << i;
        std::size_t tail = 0;
        for (std::size_t i = 4 * 320; i < heard.size() / 2; ++i) tail += heard[2 * i] != 0;
        EXPECT_GT(tail, 100u);  // the tail's noise, after the last block
    }
}

}  // namespace
