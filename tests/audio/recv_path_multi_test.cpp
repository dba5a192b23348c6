// Multi-channel receive paths: mono blocks spread over the channels with a
// gain each, noise weighted the same way, and the factory's paths.
#include "audio/output_buffer.h"
#include "audio/recv_path_multi.h"
#include "output_buffer_sound.h"
#include "radio/generic_radio.h"
#include "radio/receive.h"
#include "support/stand_ins.h"

namespace {

using hcytest::SoundTest;
using hcytest::StandInDevice;

class TwoChannelDevice : public StandInDevice {
public:
    TwoChannelDevice() {
        m_nOutputChannels = 2;
        m_nChannelMask = 0x3;
    }
};

class RecvPathMultiTest : public SoundTest {
protected:
    void SetUp() override {
        SoundTest::SetUp();
        device.directSound = speaker->ds;
        path.AttachDevice(&device);
        path.SetRadio(&radio);
    }
    void TearDown() override {
        path.DetachAll();
        SoundTest::TearDown();
    }

    TwoChannelDevice device;
    CGenericRadioModel radio;
    CRecvPathMulti path;
};

TEST(ExpandToChannels, GainPerChannelTruncatedAndSaturated) {
    const std::int16_t in[] = {1001, -1001, 30000};
    std::int16_t out[9];
    CRecvPathMulti::ExpandToChannels(in, 3, {1.0f, 0.5f, 1.5f}, 3, out);
    const std::int16_t expected[] = {1001, 500, 1501, -1001, -500, -1501, 30000, 15000, 32767};
    for (int i = 0; i < 9; ++i) EXPECT_EQ(out[i], expected[i]) << i;
    CRecvPathMulti::ExpandToChannels(in, 1, {1.0f}, 2, out);  // no gain: silent
    EXPECT_EQ(out[1], 0);
}

TEST_F(RecvPathMultiTest, BlocksAreSpreadOverTheChannelsAndHeardBitExact) {
    const float gains[] = {1.0f, 0.5f};
    path.SetChannelGains(gains, 2);
    EXPECT_EQ(path.GetKind(), CRecvPath::Kind::Multi);
    EXPECT_EQ(path.GetLocalSource(), nullptr);
    EXPECT_FALSE(path.GetSquelchTail());
    CReceive record;
    ASSERT_TRUE(path.UpdateSourceGain(&record));
    ASSERT_EQ(path.GetOutputBufferCount(), 1u);
    auto* buffer = dynamic_cast<COutputBufferMulti*>(path.GetOutputBuffer(0));
    ASSERT_NE(buffer, nullptr);
    EXPECT_EQ(buffer->GetChannelCount(), 2u);
    EXPECT_EQ(Volume(buffer->GetSoundBuffer()), 0);
    const auto block = Block(1024, 3);
    path.WriteAudio(&record, block.data(), 2048, 16000);
    const auto heard = Hear(64);
    ASSERT_EQ(heard.size(), 2048u);
    for (std::size_t i = 0; i < block.size(); ++i) {
        ASSERT_EQ(heard[2 * i], block[i]) << i;
        ASSERT_EQ(heard[2 * i + 1], static_cast<std::int16_t>(block[i] * 0.5)) << i;
    }
}

TEST_F(RecvPathMultiTest, NoiseIsRefilledWithTheGainsOfItsChannels) {
    const auto noise = path.GetSquelchNoise();
    ASSERT_TRUE(noise);
    EXPECT_EQ(Contents(noise).size(), 128000u);
    for (auto b : Contents(noise)) ASSERT_EQ(b, 0);  // no gains yet
    const float gains[] = {1.0f, 0.0f};
    path.SetChannelGains(gains, 2);
    const auto bytes = Contents(noise);
    std::size_t loudLeft = 0;
    for (std::size_t i = 0; i + 3 < bytes.size(); i += 4) {
        loudLeft += bytes[i] != 0 || bytes[i + 1] != 0;
        ASSERT_EQ(bytes[i + 2] | bytes[i + 3], 0) << i;  // whole samples of channel 1
    }
    EXPECT_GT(loudLeft, 31000u);
}

TEST(RecvPathFactory, RadiosGetTheRealPathOfEachKind) {
    EXPECT_NE(dynamic_cast<CRecvPathMulti*>(CreateRecvPath(CRecvPath::Kind::Multi).get()), nullptr);
    auto mono = CreateRecvPath(CRecvPath::Kind::Mono);
    ASSERT_NE(mono, nullptr);
    EXPECT_EQ(mono->GetKind(), CRecvPath::Kind::Mono);
}

}  // namespace
