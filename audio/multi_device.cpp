#include "audio/multi_device.h"

#include <algorithm>

#include "base/library.h"
#include "interphone/ics_model.h"
#include "radio/radio_model.h"

namespace {

constexpr const char* kDuplicate = "Transmit path already established for this device/channel";

template <class T>
bool Contains(const std::vector<T*>& list, const T* item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

bool ChannelCountOk(int channels) {
    if (channels >= 1 && channels <= CMultiDevice::kMaxChannels) return true;
    hcy::Library().SetErrorf("Channel count must be between %d and %d", 1,
                             CMultiDevice::kMaxChannels);
    return false;
}

// 16-bit extensible PCM of `channels` at `rate` with the speaker mask.
plat::WAVEFORMATEXTENSIBLE ExtensibleFormat(int channels, std::uint32_t rate, std::uint32_t mask) {
    plat::WAVEFORMATEXTENSIBLE format;
    format.Format.wFormatTag = plat::WAVE_FORMAT_EXTENSIBLE;
    format.Format.nChannels = static_cast<unsigned short>(channels);
    format.Format.nSamplesPerSec = rate;
    format.Format.nBlockAlign = static_cast<unsigned short>(channels * 16 / 8);
    format.Format.nAvgBytesPerSec = format.Format.nBlockAlign * rate;
    format.Format.wBitsPerSample = 16;
    format.Format.cbSize = 22;
    format.wValidBitsPerSample = 16;
    format.dwChannelMask = mask;
    format.SubFormat = plat::KSDATAFORMAT_SUBTYPE_PCM;
    return format;
}

}  // namespace

CMultiDevice::CMultiDevice() = default;

CMultiDevice::~CMultiDevice() { CloseCapture(); }

std::uint32_t CMultiDevice::GetSourceWord(int channel) const {
    const std::uint32_t word = static_cast<std::uint32_t>(m_nHandle.load()) << 8;
    return m_bSharedSource.load() ? word : word | static_cast<std::uint32_t>(channel);
}

// ---------------------------------------------------------------------------
// Opening and closing

int CMultiDevice::OpenOutput(const plat::GUID* device, int channels) {
    if (!ChannelCountOk(channels)) return 0;
    Lock lock(m_mutex);
    const plat::WAVEFORMATEXTENSIBLE format = ExtensibleFormat(
        channels, hcy::Library().m_nDefaultSampleRate.load(), m_nChannelMask.load());
    m_nOutputChannels = channels;
    SizeChannels(channels);
    return CreateOutput(device, format.Format);
}

int CMultiDevice::OpenInput(std::uint32_t inputDeviceId, int channels, std::uint32_t rate) {
    if (!ChannelCountOk(channels)) return 0;
    Lock lock(m_mutex);
    SizeChannels(channels);
    for (int c = 0; c < channels; ++c) {
        Channel& ch = m_channels[static_cast<std::size_t>(c)];
        ch.voxOn = ch.voxKeyed = false;
        ch.voxLevel = 0.0f;
        ch.offDelay = 10;
    }
    const plat::WAVEFORMATEXTENSIBLE format =
        ExtensibleFormat(channels, rate, m_nChannelMask.load());
    if (!OpenWaveInCapture(inputDeviceId, format.Format)) return 0;
    m_nCaptureChannels = channels;
    return 1;
}

int CMultiDevice::CloseInput() {
    {
        Lock lock(m_mutex);
        StopCaptureUnlessNeeded(true);
    }
    // Every block captured so far reaches the radios before they are let go.
    const bool closed = CloseCapture();
    Lock lock(m_mutex);
    ReleaseChannels();
    for (Channel& ch : m_channels) {
        ch.voxOn = ch.voxKeyed = false;
        ch.voxLevel = 0.0f;
        ch.offDelay = 10;
    }
    return closed ? 1 : 0;
}

void CMultiDevice::Close() {
    CDevice::Close();
    {
        Lock lock(m_mutex);
        StopCaptureUnlessNeeded(true);
    }
    ReleaseDirectSound();
    CloseInput();
}

void CMultiDevice::ReleaseChannels() {
    for (std::size_t c = 0; c < m_channels.size(); ++c) {
        Channel& ch = m_channels[c];
        const std::uint32_t word = GetSourceWord(static_cast<int>(c));
        for (CRadioModel* radio : ch.radios) radio->SetPTT(0, word);
        for (CICSModel* interphone : ch.interphones) interphone->SetTalk(0, word);
        ch.radios.clear();
        ch.interphones.clear();
        ch.ptt = false;
    }
    // A radio or station wired without a channel is let go too.
    ReleaseTransmitLists(MonoSourceWord());
    m_radioFilters.clear();
}

// ---------------------------------------------------------------------------
// Channels (mutex held)

void CMultiDevice::SizeChannels(int channels) {
    if (static_cast<int>(m_channels.size()) < channels)
        m_channels.resize(static_cast<std::size_t>(channels));
}

CMultiDevice::Channel* CMultiDevice::ChannelAt(int channel) {
    if (channel < 0 || channel >= static_cast<int>(m_channels.size())) return nullptr;
    return &m_channels[static_cast<std::size_t>(channel)];
}

const CMultiDevice::Channel* CMultiDevice::ChannelAt(int channel) const {
    return const_cast<CMultiDevice*>(this)->ChannelAt(channel);
}

int CMultiDevice::KeyedChannels() const {
    return static_cast<int>(std::count_if(m_channels.begin(), m_channels.end(),
                                          [](const Channel& c) { return c.ptt; }));
}

bool CMultiDevice::AnyVoxOn() const {
    return std::any_of(m_channels.begin(), m_channels.end(),
                       [](const Channel& c) { return c.voxOn; });
}

void CMultiDevice::StopCaptureUnlessNeeded(bool force) {
    if (!force && (KeyedChannels() > 0 || AnyVoxOn())) return;
    if (m_bCapturing.load()) StopCapture();
}

void CMultiDevice::ApplyVoxCaptureRule() {
    if (AnyVoxOn() && !m_bCapturing.load())
        StartCapture();
    else if (!AnyVoxOn() && m_bCapturing.load())
        StopCaptureUnlessNeeded(false);  // goes on while a channel is keyed
}

int CMultiDevice::GetChannelCount() const {
    Lock lock(m_mutex);
    return static_cast<int>(m_channels.size());
}

std::vector<CRadioModel*> CMultiDevice::GetChannelRadios(int channel) const {
    Lock lock(m_mutex);
    const Channel* ch = ChannelAt(channel);
    return ch ? ch->radios : std::vector<CRadioModel*>{};
}

bool CMultiDevice::IsChannelKeyed(int channel) const {
    Lock lock(m_mutex);
    const Channel* ch = ChannelAt(channel);
    return ch && ch->ptt;
}

// ---------------------------------------------------------------------------
// Voice-operated keying settings

int CMultiDevice::SetVoxEnables(const int* enables, int count) {
    if (!enables) return 0;
    Lock lock(m_mutex);
    for (int c = 0; c < count; ++c)
        if (Channel* ch = ChannelAt(c)) ch->voxOn = (enables[c] & 0xFF) != 0;
    ApplyVoxCaptureRule();
    return 1;
}

int CMultiDevice::SetChannelVoxEnable(int on, int channel) {
    Lock lock(m_mutex);
    if (Channel* ch = ChannelAt(channel)) ch->voxOn = on != 0;
    ApplyVoxCaptureRule();
    return 1;
}

int CMultiDevice::SetChannelVoxLevel(float level, int channel) {
    Lock lock(m_mutex);
    if (Channel* ch = ChannelAt(channel)) ch->voxLevel = level;
    return 1;
}

int CMultiDevice::SetVoxLevels(const float* levels, int count) {
    if (!levels) return 0;
    Lock lock(m_mutex);
    for (int c = 0; c < count; ++c)
        if (Channel* ch = ChannelAt(c)) ch->voxLevel = levels[c];
    return 1;
}

int CMultiDevice::SetVoxOffDelays(const int* delays, int count) {
    if (!delays) return 0;
    Lock lock(m_mutex);
    for (int c = 0; c < count; ++c)
        if (Channel* ch = ChannelAt(c)) ch->offDelay = delays[c];
    return 1;
}

int CMultiDevice::SetChannelVoxOffDelay(int delay, int channel) {
    Lock lock(m_mutex);
    if (Channel* ch = ChannelAt(channel)) ch->offDelay = delay;
    return 1;
}

// ---------------------------------------------------------------------------
// Transmit lists of the channels

int CMultiDevice::AddRadioXmitPathOnChannel(CRadioModel* radio, int channel) {
    if (!radio) return 0;
    Lock lock(m_mutex);
    Channel* ch = ChannelAt(channel);
    if (!ch) return 1;
    if (!AddOnce(ch->radios, radio, kDuplicate)) return 0;
    if (ch->ptt) radio->SetPTT(1, GetSourceWord(channel));
    return 1;
}

int CMultiDevice::RemoveRadioXmitPathOnChannel(CRadioModel* radio, int channel) {
    Lock lock(m_mutex);
    Channel* ch = ChannelAt(channel);
    if (!ch ||
        !Unlist(ch->radios, radio, [&](CRadioModel* r) { r->SetPTT(0, GetSourceWord(channel)); }))
        return 1;
    if (!OnAnyChannel(radio))
        std::erase_if(m_radioFilters, [&](const auto& f) { return f.first == radio; });
    return 1;
}

int CMultiDevice::RemoveRadioXmitPath(CRadioModel* radio) {
    Lock lock(m_mutex);
    for (int c = 0; c < static_cast<int>(m_channels.size()); ++c)
        RemoveRadioXmitPathOnChannel(radio, c);
    // Also from the plain list, which this device's capture does not read.
    return CDevice::RemoveRadioXmitPath(radio);
}

int CMultiDevice::AddIntercomXmitPathOnChannel(CICSModel* interphone, int channel) {
    if (!interphone) return 0;
    Lock lock(m_mutex);
    Channel* ch = ChannelAt(channel);
    if (!ch) return 1;
    return AddOnce(ch->interphones, interphone, kDuplicate) ? 1 : 0;
}

int CMultiDevice::RemoveIntercomXmitPathOnChannel(CICSModel* interphone, int channel) {
    Lock lock(m_mutex);
    if (Channel* ch = ChannelAt(channel))
        Unlist(ch->interphones, interphone,
               [&](CICSModel* i) { i->SetTalk(0, GetSourceWord(channel)); });
    return 1;
}

int CMultiDevice::RemoveIntercomXmitPath(CICSModel* interphone) {
    Lock lock(m_mutex);
    for (int c = 0; c < static_cast<int>(m_channels.size()); ++c)
        RemoveIntercomXmitPathOnChannel(interphone, c);
    return CDevice::RemoveIntercomXmitPath(interphone);
}

int CMultiDevice::SetTransmitPathChannels(CRadioModel* radio, const int* channelFlags, int count) {
    if (!radio || !channelFlags) return 0;
    Lock lock(m_mutex);
    for (int c = 0; c < count; ++c) {
        if (channelFlags[c])
            AddRadioXmitPathOnChannel(radio, c);
        else
            RemoveRadioXmitPathOnChannel(radio, c);
    }
    return 1;
}

bool CMultiDevice::OnAnyChannel(const CRadioModel* radio) const {
    return std::any_of(m_channels.begin(), m_channels.end(),
                       [&](const Channel& c) { return Contains(c.radios, radio); });
}

// ---------------------------------------------------------------------------
// Keying

int CMultiDevice::SetPTT(int on, int channel) {
    Lock lock(m_mutex);
    const int before = KeyedChannels();
    if (Channel* ch = ChannelAt(channel)) {
        // A release always lets the channel go, also when its radios were
        // keyed already: nothing goes on transmitting after it.
        ch->ptt = ch->voxKeyed = on != 0;
        const int after = KeyedChannels();
        const std::uint32_t word = GetSourceWord(channel);
        if (!m_bSharedSource.load()) {
            for (CRadioModel* radio : ch->radios) radio->SetPTT(on, word);
            for (CICSModel* interphone : ch->interphones) interphone->SetTalk(on, word);
        } else if (on && before == 0 && after == 1) {
            for (CRadioModel* radio : ch->radios) radio->SetPTT(1, word);
            for (CICSModel* interphone : ch->interphones) interphone->SetTalk(1, word);
        } else if (!on && before == 1 && after == 0) {
            // The last release: every radio and station keyed by the first
            // channel is let go, whichever channel that was.
            for (Channel& each : m_channels) {
                for (CRadioModel* radio : each.radios) radio->SetPTT(0, word);
                for (CICSModel* interphone : each.interphones) interphone->SetTalk(0, word);
            }
        }
    }
    if (KeyedChannels() > 0 && !m_bCapturing.load())
        StartCapture();
    else if (KeyedChannels() == 0 && !AnyVoxOn() && m_bCapturing.load())
        StopCaptureUnlessNeeded(false);
    return 1;
}

// ---------------------------------------------------------------------------
// Delivery

void CMultiDevice::AddChannelSamples(const std::int16_t* interleaved, std::int16_t* mono,
                                     std::uint32_t bytes, int channel, int channels) {
    if (channels < 1 || bytes / static_cast<std::uint32_t>(channels) < 2) return;
    if (channel < 0 || channel >= channels) return;  // past the inputs: silence
    const std::uint32_t n = bytes / static_cast<std::uint32_t>(channels) / 2;
    const auto step = static_cast<std::size_t>(channels);
    for (std::uint32_t i = 0; i < n; ++i) {
        const int sum = mono[i] + interleaved[i * step + static_cast<std::size_t>(channel)];
        mono[i] = static_cast<std::int16_t>(std::clamp(sum, -32768, 32767));
    }
}

std::int16_t* CMultiDevice::SumFor(void* who, std::size_t count) {
    for (std::size_t i = 0; i < m_nSums; ++i)
        if (m_sums[i].who == who) return m_sums[i].samples.data();
    if (m_nSums == m_sums.size()) m_sums.emplace_back();
    Sum& sum = m_sums[m_nSums++];
    sum.who = who;
    sum.samples.assign(count, 0);
    return sum.samples.data();
}

CBandPassFilter& CMultiDevice::FilterFor(const CRadioModel* radio) {
    for (auto& f : m_radioFilters)
        if (f.first == radio) return f.second;
    // A radio's own filter state, with the device's taps.
    m_radioFilters.emplace_back(radio, m_filter);
    return m_radioFilters.back().second;
}

int CMultiDevice::DesignBandPass(int rate, double low, double high) {
    Lock lock(m_mutex);
    m_radioFilters.clear();  // every radio starts again with the new taps
    return CDevice::DesignBandPass(rate, low, high);
}

bool CMultiDevice::ChannelSends(int c, const std::int16_t* block, std::uint32_t bytes) {
    Channel& ch = m_channels[static_cast<std::size_t>(c)];
    if (!ch.ptt && !ch.voxOn) return false;
    if (!ch.voxOn) return true;
    const int channels = m_nCaptureChannels.load();
    const std::uint32_t perChannel = bytes / static_cast<std::uint32_t>(channels) & ~1u;
    m_vox.assign(perChannel / 2, 0);
    AddChannelSamples(block, m_vox.data(), bytes, c, channels);
    switch (RunVox(VoxLevelOf(m_vox.data(), perChannel), ch.voxLevel, ch.voxKeyed, ch.quietCount,
                   ch.offDelay)) {
    case VoxStep::KeyAndSend: SetPTT(1, c); return true;
    case VoxStep::Send: return true;
    case VoxStep::UnkeyAndDrop: SetPTT(0, c); return false;
    case VoxStep::Drop: return false;
    }
    return false;
}

void CMultiDevice::DeliverCapture(const std::int16_t* block, std::uint32_t bytes) {
    if (!block) return;
    Lock lock(m_mutex);
    const int channels = m_nCaptureChannels.load();
    if (channels < 1) return;
    const std::uint32_t perChannel = bytes / static_cast<std::uint32_t>(channels) & ~1u;
    const std::size_t samples = perChannel / 2;
    const std::uint32_t rate = m_nSampleRate.load();
    const int count = static_cast<int>(m_channels.size());

    // The radios: each gets the sum of its sending channels. Voice-operated
    // keying runs in both passes, so a block counts twice.
    m_nSums = 0;
    for (int c = 0; c < count; ++c) {
        if (!ChannelSends(c, block, bytes)) continue;
        for (CRadioModel* radio : m_channels[static_cast<std::size_t>(c)].radios)
            AddChannelSamples(block, SumFor(radio, samples), bytes, c, channels);
    }
    const std::uint32_t word = static_cast<std::uint32_t>(m_nHandle.load()) << 4;
    for (std::size_t i = 0; i < m_nSums; ++i) {
        auto* radio = static_cast<CRadioModel*>(m_sums[i].who);
        std::int16_t* sum = m_sums[i].samples.data();
        if (m_filter.IsDesigned() && WantsXmitFilter(*radio))
            FilterFor(radio).Filter(sum, sum, static_cast<std::uint32_t>(samples));
        radio->TransmitAudio(sum, perChannel, rate, word);
    }

    // The interphones, the same way.
    m_nSums = 0;
    for (int c = 0; c < count; ++c) {
        if (!ChannelSends(c, block, bytes)) continue;
        for (CICSModel* interphone : m_channels[static_cast<std::size_t>(c)].interphones)
            AddChannelSamples(block, SumFor(interphone, samples), bytes, c, channels);
    }
    for (std::size_t i = 0; i < m_nSums; ++i)
        static_cast<CICSModel*>(m_sums[i].who)
            ->SendAudio(m_sums[i].samples.data(), perChannel, rate);
    m_nSums = 0;
}
