#pragma once
// The receive path of multi-channel devices: every decoded mono block is
// spread over the device's channels with one gain per channel, into one
// interleaved multi-channel output buffer per heard transmitter.
//
//   mono block s[n] --x gain[c]--> frame n = {g0 s, g1 s, ..., gN-1 s}
//                   --> COutputBufferMulti (device's channel count and mask)
//
// Only the open-squelch noise goes with it (no tail, background, resource
// sound or local source at attach), weighted per channel like the voice;
// no pan anywhere. Exclusion as CRecvPathMono.
#include <vector>

#include "audio/recv_path_mono.h"

class CRecvPathMulti final : public CRecvPathMono {
public:
    Kind GetKind() const override { return Kind::Multi; }
    // Replaces the gains (one per output channel, in channel order; channels
    // past `count` get 0.0) and refills the open-squelch noise with them.
    void SetChannelGains(const float* gains, int count) override;

    // Spreads `samples` mono samples over `channels` channels: frame n,
    // channel c = gain[c] x s[n], truncated toward zero and saturated.
    static void ExpandToChannels(const std::int16_t* samples, std::size_t count,
                                 const std::vector<float>& gains, unsigned channels,
                                 std::int16_t* out);

private:
    void CreateAttachedSounds() override;
    plat::LPDIRECTSOUNDBUFFER CreateNoiseBuffer(std::uint32_t bytes) override;
    std::unique_ptr<COutputBuffer> MakeOutputBuffer() override;
    int StartOutputBuffer(COutputBuffer& buffer, const plat::LPDIRECTSOUND& ds) override;
    bool HasPan() const override { return false; }
    void WriteBlock(COutputBuffer& buffer, const std::int16_t* samples,
                    std::uint32_t bytes) override;

    unsigned Channels() const;
    // Noise samples weighted by their channel's gain (mutex held).
    void FillWeightedNoise(const plat::LPDIRECTSOUNDBUFFER& buffer, std::uint32_t bytes);

    std::vector<float> m_gains;            // per output channel
    std::vector<std::int16_t> m_expanded;  // scratch of WriteBlock
};
