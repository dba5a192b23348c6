#pragma once
// The plain sound-card device: mono 16-bit capture through wave input and a
// DirectSound output on which receive paths and WAV players create their
// buffers.
//
//   wave input --capture thread--> DeliverCapture (voice-operated keying,
//       then the base delivery to the transmit lists)
//
// Capture runs while the device is keyed by push-to-talk (VOX off), while
// VOX is on, or while the capture hold is set. A release stops capture
// first, so that what was captured goes out before the radios unkey.
// Turning VOX off unkeys the device when VOX alone keyed it (push-to-talk
// not held). Closing (Close): WAV players, output, capture (the thread is
// joined), then every radio and interphone it keyed is unkeyed and both
// transmit lists empty.
//
// Threads: the host's (open, keying, settings, close) and the capture
// thread (delivery and voice-operated keying, which keys through SetPTT).
#include <cstdint>

#include "audio/sound_card.h"

class CAudioDevice : public CSoundCard {
public:
    CAudioDevice();
    ~CAudioDevice() override;

    Kind GetKind() const override { return Kind::Audio; }

    // Input: waveInId or WAVE_MAPPER; the rate and bits come from the
    // host's primary buffer or the library default (16 bits).
    int OpenInput(std::uint32_t waveInId);
    int OpenInputWithRate(std::uint32_t waveInId, std::uint32_t rate);

    // Ends capture and the capture thread, gives the input back, unkeys and
    // empties both transmit lists; 0 when the input refused to close.
    int CloseInput();
    void Close() override;

    int SetSidetoneVolume(float volume) override;
    int SetVoxEnable(int on) override;
    int SetVoxLevel(float level) override;
    int SetPTT(int on, int channel) override;
    int SetCaptureHold(int on, int channel) override;
    void DeliverCapture(const std::int16_t* block, std::uint32_t bytes) override;

    float GetSidetoneVolume() const;

protected:
    // Mutex held: starts capture when VOX is on (a new input).
    void StartIfVox();

private:
    int OpenWaveInput(std::uint32_t waveInId, std::uint32_t rate, std::uint32_t bits);
    // Mutex held. Keys or unkeys the transmit lists, by push-to-talk or by
    // VOX, and starts or stops capture.
    void Key(int on, int channel);
    // Mutex held. Voice-operated keying of one block: whether it is sent.
    bool RunVoxOn(const std::int16_t* block, std::uint32_t bytes);

    float m_fSidetoneVolume = 0.0f;
    bool m_bPttHeld = false;  // keyed by the host's push-to-talk
};
