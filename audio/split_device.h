#pragma once
// Split stereo devices: the two channels of one stereo card as two
// independent microphones, each half with its own radios and interphones,
// its own push-to-talk and its own voice-operated keying, so that two
// operators share one card. CSplitDevice captures through wave input,
// CSplitDeviceDS8 through DirectSound 8 capture; both play through the
// DirectSound output, on which receive paths pan left (channel 8) or right
// (channel 9).
//
//   stereo block --left samples-->  left half:  VOX --> left radios (word h x 2 + 1)
//                --right samples--> right half: VOX --> right radios (word h x 2)
//
// Channel 8 (CHANNEL_LEFT) names the left half; any other channel the
// right half when wiring, and only 9 when keying. The base's plain transmit
// lists are not used: a radio wired without a channel goes to the left
// half. The device counts as keyed while either half is. A release stops
// capture first when nothing else needs it, so that the last block goes
// out before the radios unkey; turning a half's VOX off unkeys the half
// when VOX alone keyed it. Closing unkeys every radio and interphone of
// both halves.
#include <cstdint>
#include <vector>

#include "audio/sound_card.h"
#include "halcyra/halcyra.h"

class CSplitDevice : public CSoundCard {
public:
    static constexpr int kLeft = CHANNEL_LEFT;
    static constexpr int kRight = CHANNEL_RIGHT;

    CSplitDevice();
    ~CSplitDevice() override;

    Kind GetKind() const override { return Kind::Split; }

    // Input: stereo 16-bit wave input, rate and bits as for the plain card.
    // Opening does not start capture.
    int OpenInput(std::uint32_t waveInId);
    int OpenInputWithRate(std::uint32_t waveInId, std::uint32_t rate);
    void Close() override;

    int SetChannelVoxEnable(int leftOn, int rightOn) override;
    int SetSplitVoxLevel(float left, float right) override;
    int SetChannelVoxOffDelay(int left, int right) override;

    int AddRadioXmitPathOnChannel(CRadioModel* radio, int channel) override;
    int RemoveRadioXmitPathOnChannel(CRadioModel* radio, int channel) override;
    int AddRadioXmitPath(CRadioModel* radio) override;     // the left half
    int RemoveRadioXmitPath(CRadioModel* radio) override;  // both halves
    int AddIntercomXmitPathOnChannel(CICSModel* interphone, int channel) override;
    int RemoveIntercomXmitPathOnChannel(CICSModel* interphone, int channel) override;
    int AddIntercomXmitPath(CICSModel* interphone) override;     // the left half
    int RemoveIntercomXmitPath(CICSModel* interphone) override;  // both halves

    int SetPTT(int on, int channel) override;
    int SetCaptureHold(int on, int channel) override;
    void DeliverCapture(const std::int16_t* block, std::uint32_t bytes) override;

    // State for tests: the radios of a half (channel 8 or 9), its keying.
    std::vector<CRadioModel*> GetHalfRadios(int channel) const;
    std::vector<CICSModel*> GetHalfIntercoms(int channel) const;
    bool IsHalfKeyed(int channel) const;

    // The left half's samples (channel kLeft) or the right half's of whole
    // stereo frames into `mono`; returns the samples written.
    static std::size_t SplitHalf(const std::int16_t* stereo, std::uint32_t bytes, int channel,
                                 std::int16_t* mono);

protected:
    struct Half {
        std::vector<CRadioModel*> radios;
        std::vector<CICSModel*> interphones;
        bool keyed = false;
        bool voxOn = false;
        float voxLevel = 0.0f;
        int quietCount = 0;
        int offDelay = 10;  // [blocks]
        bool voxKeyed = false;
        bool pttHeld = false;  // keyed by the host's push-to-talk
    };

    Half& HalfOf(int channel) { return channel == kLeft ? m_left : m_right; }
    const Half& HalfOf(int channel) const { return channel == kLeft ? m_left : m_right; }
    std::uint32_t SourceWord(int channel) const;
    // Mutex held. Unforced: capture goes on while a half is keyed or has
    // VOX on, or the capture hold is set.
    void StopCaptureUnlessNeeded(bool force);
    void DeliverHalf(Half& half, int channel, const std::int16_t* block, std::uint32_t bytes);
    // Mutex held. Keys or unkeys a half (channel 8 or 9), by push-to-talk
    // or by VOX, and starts or stops capture.
    void KeyHalf(int on, int channel);

    // Turning VOX off on both halves stops capture at once, even while a
    // half is keyed (the DirectSound 8 variant), rather than only when
    // nothing else needs it.
    bool m_bVoxOffStopsAtOnce = false;

private:
    int OpenWaveInput(std::uint32_t waveInId, std::uint32_t rate, std::uint32_t bits);
    // Mutex held. Unkeys and empties both halves.
    void ReleaseHalves();

    Half m_left, m_right;
    std::vector<std::int16_t> m_mono;  // one half of the block being delivered
};

class CSplitDeviceDS8 final : public CSplitDevice {
public:
    CSplitDeviceDS8();
    ~CSplitDeviceDS8() override;

    // A stereo capture buffer of eight blocks of 2 x capture size bytes at
    // the library's default rate; device null: the default.
    int OpenCapture(const plat::GUID* device);
};
