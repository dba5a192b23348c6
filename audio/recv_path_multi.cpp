#include "audio/recv_path_multi.h"

#include <algorithm>
#include <ctime>

#include "audio/device.h"
#include "audio/output_buffer.h"
#include "base/library.h"
#include "hcyplat/crt.h"

namespace {

std::int16_t Scaled(float gain, std::int16_t sample) {
    const double v = static_cast<double>(gain) * sample;
    // Truncation toward zero; gains above 1 saturate instead of wrapping.
    return static_cast<std::int16_t>(std::clamp(v, -32768.0, 32767.0));
}

}  // namespace

void CRecvPathMulti::ExpandToChannels(const std::int16_t* samples, std::size_t count,
                                      const std::vector<float>& gains, unsigned channels,
                                      std::int16_t* out) {
    for (std::size_t n = 0; n < count; ++n)
        for (unsigned c = 0; c < channels; ++c)
            *out++ = Scaled(c < gains.size() ? gains[c] : 0.0f, samples[n]);
}

unsigned CRecvPathMulti::Channels() const {
    const int channels = m_pDevice ? m_pDevice->GetOutputChannels() : 1;
    return static_cast<unsigned>(
        std::clamp(channels, 1, static_cast<int>(COutputBufferMulti::kMaxChannels)));
}

void CRecvPathMulti::SetChannelGains(const float* gains, int count) {
    std::lock_guard lock(m_mutex);
    m_gains.clear();
    for (int i = 0; gains && i < count; ++i) m_gains.push_back(gains[i]);
    // The noise was made at attach, before the radio set the gains.
    if (m_pSquelchNoise) FillWeightedNoise(m_pSquelchNoise, Channels() * kNoiseBytes);
}

void CRecvPathMulti::CreateAttachedSounds() {
    if (!m_pSquelchNoise) m_pSquelchNoise = CreateNoiseBuffer(kNoiseBytes);
}

plat::LPDIRECTSOUNDBUFFER CRecvPathMulti::CreateNoiseBuffer(std::uint32_t bytes) {
    const plat::LPDIRECTSOUND ds = m_pDevice ? m_pDevice->GetDirectSound() : nullptr;
    if (!ds) return nullptr;
    const unsigned channels = Channels();
    const std::uint32_t rate = hcy::Library().m_nDefaultSampleRate.load();
    plat::WAVEFORMATEXTENSIBLE format;
    format.Format.wFormatTag = plat::WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = static_cast<unsigned short>(channels);
    format.Format.nSamplesPerSec = rate;
    format.Format.nBlockAlign = static_cast<unsigned short>(2 * channels);
    format.Format.nAvgBytesPerSec = rate * format.Format.nBlockAlign;
    format.Format.wBitsPerSample = 16;
    format.Format.cbSize = 22;
    format.wValidBitsPerSample = 16;
    format.dwChannelMask = m_pDevice->GetChannelMask();
    format.SubFormat = plat::KSDATAFORMAT_SUBTYPE_PCM;
    plat::DSBUFFERDESC desc;
    desc.dwFlags = COutputBuffer::kBufferFlags;
    desc.dwBufferBytes = channels * bytes;
    desc.lpwfxFormat = &format.Format;
    plat::LPDIRECTSOUNDBUFFER buffer;
    if (ds->CreateSoundBuffer(&desc, &buffer, nullptr) != plat::DS_OK || !buffer) return nullptr;
    FillWeightedNoise(buffer, channels * bytes);
    return buffer;
}

void CRecvPathMulti::FillWeightedNoise(const plat::LPDIRECTSOUNDBUFFER& buffer,
                                       std::uint32_t bytes) {
    const unsigned channels = Channels();
    std::vector<std::int16_t> noise(bytes / 2);
    plat::srand(static_cast<unsigned>(std::time(nullptr)));
    for (std::size_t i = 0; i < noise.size(); ++i) {
        // Two random bytes make one full-scale sample, weighted by the gain
        // of the channel it belongs to.
        const int low = plat::rand() >> 7, high = plat::rand() >> 7;
        const auto sample =
            static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
        const std::size_t c = i % channels;
        noise[i] = Scaled(c < m_gains.size() ? m_gains[c] : 0.0f, sample);
    }
    CopyToBuffer(noise.data(), buffer, static_cast<std::uint32_t>(noise.size() * 2));
}

std::unique_ptr<COutputBuffer> CRecvPathMulti::MakeOutputBuffer() {
    return std::make_unique<COutputBufferMulti>();
}

int CRecvPathMulti::StartOutputBuffer(COutputBuffer& buffer, const plat::LPDIRECTSOUND& ds) {
    auto& multi = static_cast<COutputBufferMulti&>(buffer);
    multi.SetChannelCount(Channels());
    return multi.CreateMulti(ds, m_pDevice ? m_pDevice->GetChannelMask() : 0);
}

void CRecvPathMulti::WriteBlock(COutputBuffer& buffer, const std::int16_t* samples,
                                std::uint32_t bytes) {
    auto& multi = static_cast<COutputBufferMulti&>(buffer);
    const unsigned channels = multi.GetChannelCount();
    const std::size_t count = bytes / 2;
    m_expanded.resize(count * channels);  // grows once to the largest block
    ExpandToChannels(samples, count, m_gains, channels, m_expanded.data());
    multi.Write(m_expanded.data(), static_cast<std::uint32_t>(m_expanded.size() * 2));
}
