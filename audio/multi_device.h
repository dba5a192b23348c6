#pragma once
// The multi-channel device: a card with several microphone inputs and
// several speaker outputs used as independent channels. All inputs arrive
// as one interleaved wave-input stream (extensible format, the library's
// speaker channel mask); each channel has its own radios and interphones,
// push-to-talk and voice-operated keying. Radios play on it through
// multi-channel receive paths (CRecvPathMulti) that spread each voice over
// the output channels with a gain per channel.
//
//   interleaved block --channel c--> VOX of c --> the radios of c: each radio
//       gets one block per capture block, the saturated sum of the keyed
//       channels it is on, band-passed (its own filter state) when it asks
//
// Keying: a radio or station is keyed once per device, when the first
// keyed channel it is on is keyed, with (handle << 8) | that channel, and
// let go with the same word when the last keyed channel it is on is
// released. On a shared source (DEVDATA_SHARED_SOURCE) the word is
// handle << 8 and what the device keyed stays keyed until its last keyed
// channel is released. A radio hears this device only while it is keyed
// with the word this device keyed it with; audio blocks carry handle << 4.
// The device counts as keyed while any channel is. Turning a channel's VOX
// off unkeys the channel when VOX alone keyed it.
//
// Channels: 1 to 32 inputs and outputs; every per-channel list and setting
// exists for max(inputs, outputs) channels, and a channel past the inputs
// captures silence. A channel number outside them changes nothing and
// leaves a last-error text.
#include <atomic>
#include <cstdint>
#include <utility>
#include <vector>

#include "audio/band_pass.h"
#include "audio/sound_card.h"

class CMultiDevice final : public CSoundCard {
public:
    static constexpr int kMaxChannels = 32;

    CMultiDevice();
    ~CMultiDevice() override;

    Kind GetKind() const override { return Kind::Multi; }

    // Output: a DirectSound object whose primary buffer has `channels`
    // channels at the library rate and the device's channel mask.
    int OpenOutput(const plat::GUID* device, int channels);
    // Input: wave input `inputDeviceId` with `channels` interleaved channels.
    int OpenInput(std::uint32_t inputDeviceId, int channels, std::uint32_t rate);
    // Ends capture, unkeys and empties every channel, forgets the VOX
    // settings; 0 when the input refused to close.
    int CloseInput();
    void Close() override;

    int SetVoxEnables(const int* enables, int count) override;
    int SetChannelVoxEnable(int on, int channel) override;
    int SetChannelVoxLevel(float level, int channel) override;
    int SetVoxLevels(const float* levels, int count) override;
    int SetVoxOffDelays(const int* delays, int count) override;
    int SetChannelVoxOffDelay(int delay, int channel) override;

    int AddRadioXmitPathOnChannel(CRadioModel* radio, int channel) override;
    int RemoveRadioXmitPathOnChannel(CRadioModel* radio, int channel) override;
    int RemoveRadioXmitPath(CRadioModel* radio) override;  // every channel
    int AddIntercomXmitPathOnChannel(CICSModel* interphone, int channel) override;
    int RemoveIntercomXmitPathOnChannel(CICSModel* interphone, int channel) override;
    int RemoveIntercomXmitPath(CICSModel* interphone) override;  // every channel
    // Flag i non-zero: the radio transmits channel i; zero: it does not.
    int SetTransmitPathChannels(CRadioModel* radio, const int* channelFlags, int count) override;

    int SetPTT(int on, int channel) override;
    void DeliverCapture(const std::int16_t* block, std::uint32_t bytes) override;
    int DesignBandPass(int rate, double low, double high) override;
    bool IsKeyed() const override { return m_bChannelKeyed.load(); }

    // (handle << 8) | channel, or handle << 8 on a shared source.
    std::uint32_t GetSourceWord(int channel) const;
    // State for tests.
    int GetChannelCount() const;
    std::vector<CRadioModel*> GetChannelRadios(int channel) const;
    bool IsChannelKeyed(int channel) const;

    // Adds channel `channel` of an interleaved block of `channels` channels
    // to `mono` (bytes / channels / 2 samples), saturating.
    static void AddChannelSamples(const std::int16_t* interleaved, std::int16_t* mono,
                                  std::uint32_t bytes, int channel, int channels);

private:
    struct Channel {
        std::vector<CRadioModel*> radios;
        std::vector<CICSModel*> interphones;
        bool ptt = false;
        bool voxOn = false;
        float voxLevel = 0.0f;
        int quietCount = 0;
        int offDelay = 10;  // [blocks]
        bool voxKeyed = false;
        bool pttHeld = false;  // keyed by the host's push-to-talk
    };
    // What the device keyed, with the word it keyed it with.
    struct Keyed {
        CRadioModel* radio;  // or
        CICSModel* station;
        std::uint32_t word;
        const void* who() const { return radio ? static_cast<const void*>(radio) : station; }
    };
    // One sum being built for a radio or an interphone during a delivery.
    struct Sum {
        void* who = nullptr;
        std::vector<std::int16_t> samples;
    };

    // Mutex held for everything below.
    Channel* ChannelAt(int channel);
    const Channel* ChannelAt(int channel) const;
    void SizeChannels(int channels);
    int KeyedChannels() const;
    bool AnyVoxOn() const;
    void ApplyVoxCaptureRule();
    void StopCaptureUnlessNeeded(bool force);
    void ReleaseChannels();
    // Keys or releases a channel (by push-to-talk or VOX) and starts or
    // stops capture.
    void KeyChannel(int on, int c);
    // Keys what channel c carries that the device has not keyed yet.
    void KeyCarried(int c);
    // Lets go, with its word, of what the device keyed and no keyed channel
    // holds any more.
    void ReleaseUnheld();
    bool Holds(const void* who) const;
    const Keyed* KeyedEntry(const void* who) const;
    // A channel argument of the host: the channel, or null after a message.
    Channel* HostChannel(int channel);
    // Voice-operated keying of channel c for one pass: whether it sends.
    bool ChannelSends(int c, const std::int16_t* block, std::uint32_t bytes);
    std::int16_t* SumFor(void* who, std::size_t count);
    CBandPassFilter& FilterFor(const CRadioModel* radio);
    bool OnAnyChannel(const CRadioModel* radio) const;

    std::vector<Channel> m_channels;
    std::vector<Sum> m_sums;  // the first m_nSums are in use
    std::size_t m_nSums = 0;
    std::vector<std::int16_t> m_vox;  // one channel for its level
    std::vector<std::pair<const CRadioModel*, CBandPassFilter>> m_radioFilters;
    std::vector<Keyed> m_keyed;  // radios and stations the device keyed
    std::atomic<bool> m_bChannelKeyed{false};
};
