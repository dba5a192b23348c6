#include "audio/multi_device.h"

#include <algorithm>

#include "base/library.h"
#include "interphone/ics_model.h"
#include "radio/radio_model.h"

namespace {

constexpr const char* kDuplicate = "Transmit path already established for this device/channel";

template <class T>
bool Contains(const std::vector<T*>& list, const void* item) {
    return std::any_of(list.begin(), list.end(),
                       [&](const T* each) { return static_cast<const void*>(each) == item; });
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
    for (Channel& ch : m_channels) {
        ch.radios.clear();
        ch.interphones.clear();
        ch.ptt = ch.pttHeld = ch.voxKeyed = false;
    }
    ReleaseUnheld();  // everything, each with the word it was keyed with
    m_bChannelKeyed = false;
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

CMultiDevice::Channel* CMultiDevice::HostChannel(int channel) {
    Channel* ch = ChannelAt(channel);
    if (!ch) ReportInvalidChannel(channel);
    return ch;
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
    StopCapture();
}

void CMultiDevice::ApplyVoxCaptureRule() {
    if (AnyVoxOn())
        StartCapture();
    else
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
    for (int c = 0; c < count; ++c) {
        Channel* ch = ChannelAt(c);
        if (!ch) break;
        ch->voxOn = (enables[c] & 0xFF) != 0;
        if (!ch->voxOn && ch->ptt && !ch->pttHeld) KeyChannel(0, c);  // what VOX alone keyed
    }
    ApplyVoxCaptureRule();
    return 1;
}

int CMultiDevice::SetChannelVoxEnable(int on, int channel) {
    Lock lock(m_mutex);
    Channel* ch = HostChannel(channel);
    if (!ch) return 1;
    ch->voxOn = on != 0;
    if (!ch->voxOn && ch->ptt && !ch->pttHeld) KeyChannel(0, channel);  // what VOX alone keyed
    ApplyVoxCaptureRule();
    return 1;
}

int CMultiDevice::SetChannelVoxLevel(float level, int channel) {
    Lock lock(m_mutex);
    if (Channel* ch = HostChannel(channel)) ch->voxLevel = level;
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
    Channel* ch = HostChannel(channel);
    if (!ch) return 1;
    if (delay < 0) {
        hcy::Library().SetErrorf("Invalid VOX off delay %d for device %d.", delay, GetHandle());
        return 1;
    }
    ch->offDelay = delay;
    return 1;
}

// ---------------------------------------------------------------------------
// Transmit lists of the channels

int CMultiDevice::AddRadioXmitPathOnChannel(CRadioModel* radio, int channel) {
    if (!radio) return 0;
    Lock lock(m_mutex);
    Channel* ch = HostChannel(channel);
    if (!ch) return 0;
    if (!AddOnce(ch->radios, radio, kDuplicate)) return 0;
    if (ch->ptt && !KeyedEntry(radio)) {
        const std::uint32_t word = GetSourceWord(channel);
        m_keyed.push_back({radio, nullptr, word});
        radio->SetPTT(1, word);
    }
    return 1;
}

int CMultiDevice::RemoveRadioXmitPathOnChannel(CRadioModel* radio, int channel) {
    Lock lock(m_mutex);
    Channel* ch = HostChannel(channel);
    if (!ch) return 0;
    if (!Unlist(ch->radios, radio, [](CRadioModel*) {})) return 1;
    ReleaseUnheld();
    if (!OnAnyChannel(radio))
        std::erase_if(m_radioFilters, [&](const auto& f) { return f.first == radio; });
    return 1;
}

int CMultiDevice::RemoveRadioXmitPath(CRadioModel* radio) {
    Lock lock(m_mutex);
    for (Channel& ch : m_channels) std::erase(ch.radios, radio);
    ReleaseUnheld();
    std::erase_if(m_radioFilters, [&](const auto& f) { return f.first == radio; });
    // Also from the plain list, which this device's capture does not read.
    return CDevice::RemoveRadioXmitPath(radio);
}

int CMultiDevice::AddIntercomXmitPathOnChannel(CICSModel* interphone, int channel) {
    if (!interphone) return 0;
    Lock lock(m_mutex);
    Channel* ch = HostChannel(channel);
    if (!ch) return 0;
    return AddOnce(ch->interphones, interphone, kDuplicate) ? 1 : 0;
}

int CMultiDevice::RemoveIntercomXmitPathOnChannel(CICSModel* interphone, int channel) {
    Lock lock(m_mutex);
    Channel* ch = HostChannel(channel);
    if (!ch) return 0;
    if (Unlist(ch->interphones, interphone, [](CICSModel*) {})) ReleaseUnheld();
    return 1;
}

int CMultiDevice::RemoveIntercomXmitPath(CICSModel* interphone) {
    Lock lock(m_mutex);
    for (Channel& ch : m_channels) std::erase(ch.interphones, interphone);
    ReleaseUnheld();
    return CDevice::RemoveIntercomXmitPath(interphone);
}

int CMultiDevice::SetTransmitPathChannels(CRadioModel* radio, const int* channelFlags, int count) {
    if (!radio || !channelFlags) return 0;
    Lock lock(m_mutex);
    const int channels = static_cast<int>(m_channels.size());
    for (int c = 0; c < count; ++c) {
        if (c >= channels) {
            if (channelFlags[c]) ReportInvalidChannel(c);  // flags past the channels name nothing
        } else if (channelFlags[c]) {
            AddRadioXmitPathOnChannel(radio, c);
        } else {
            RemoveRadioXmitPathOnChannel(radio, c);
        }
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
    Channel* ch = HostChannel(channel);
    if (!ch) return 1;
    ch->pttHeld = on != 0;
    KeyChannel(on, channel);
    return 1;
}

void CMultiDevice::KeyChannel(int on, int c) {
    Channel& ch = m_channels[static_cast<std::size_t>(c)];
    // A release always lets the channel go: nothing goes on transmitting
    // after it.
    ch.ptt = ch.voxKeyed = on != 0;
    if (on)
        KeyCarried(c);
    else
        ReleaseUnheld();
    const int keyed = KeyedChannels();
    m_bChannelKeyed = keyed > 0;
    if (keyed > 0)
        StartCapture();
    else
        StopCaptureUnlessNeeded(false);
}

void CMultiDevice::KeyCarried(int c) {
    const Channel& ch = m_channels[static_cast<std::size_t>(c)];
    const std::uint32_t word = GetSourceWord(c);
    for (CRadioModel* radio : ch.radios) {
        if (KeyedEntry(radio)) continue;
        m_keyed.push_back({radio, nullptr, word});
        radio->SetPTT(1, word);
    }
    for (CICSModel* station : ch.interphones) {
        if (KeyedEntry(station)) continue;
        m_keyed.push_back({nullptr, station, word});
        station->SetTalk(1, word);
    }
}

void CMultiDevice::ReleaseUnheld() {
    for (std::size_t i = 0; i < m_keyed.size();) {
        const Keyed k = m_keyed[i];
        if (Holds(k.who())) {
            ++i;
            continue;
        }
        m_keyed.erase(m_keyed.begin() + static_cast<std::ptrdiff_t>(i));
        if (k.radio)
            k.radio->SetPTT(0, k.word);
        else
            k.station->SetTalk(0, k.word);
    }
}

bool CMultiDevice::Holds(const void* who) const {
    bool anyKeyed = false, carried = false;
    for (const Channel& ch : m_channels) {
        const bool carries = Contains(ch.radios, who) || Contains(ch.interphones, who);
        if (ch.ptt && carries) return true;
        anyKeyed |= ch.ptt;
        carried |= carries;
    }
    // One source: held while the device has any channel keyed.
    return m_bSharedSource.load() && anyKeyed && carried;
}

const CMultiDevice::Keyed* CMultiDevice::KeyedEntry(const void* who) const {
    for (const Keyed& k : m_keyed)
        if (k.who() == who) return &k;
    return nullptr;
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
    case VoxStep::KeyAndSend: KeyChannel(1, c); return true;
    case VoxStep::Send: return true;
    case VoxStep::UnkeyAndDrop: KeyChannel(0, c); return false;
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
        // Only a radio keyed with the word this device keyed it with.
        const Keyed* keyed = KeyedEntry(radio);
        if (!keyed || radio->GetPttSource() != keyed->word) continue;
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
