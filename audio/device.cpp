#include "audio/device.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/timer_wav_player.h"
#include "base/library.h"
#include "codecs/level.h"
#include "halcyra/halcyra.h"
#include "interphone/ics_model.h"
#include "radio/radio_model.h"

CDevice::CDevice() : m_nCaptureSize(hcy::Library().m_nCaptureSize.load()) {}

CDevice::~CDevice() {
    // Players go before anything they may play on.
    CDevice::Close();
}

int CDevice::SetShortValue(std::uint16_t value) {
    Lock lock(m_mutex);
    m_nShortValue = value;
    return 1;
}

int CDevice::SetLongValue(std::uint32_t value) {
    Lock lock(m_mutex);
    m_nLongValue = value;
    return 1;
}

void CDevice::Close() {
    std::vector<std::shared_ptr<CWavPlayer>> players;
    {
        Lock lock(m_mutex);
        players.swap(m_arrWavPlayers);
    }
    // Stopping waits for a chunk in delivery: not under the mutex.
    for (auto& player : players) player->Stop();
}

// ---------------------------------------------------------------------------
// Transmit lists

void CDevice::ReportDuplicate(const char* message) { hcy::Library().SetError(message); }

int CDevice::AddRadioXmitPath(CRadioModel* radio) {
    if (!radio) return 0;
    Lock lock(m_mutex);
    if (!AddOnce(m_arrRadioXmit, radio, "Transmit path already established for this device"))
        return 0;
    radio->SetXmitAttached(1);
    if (m_bKeyed.load()) radio->SetPTT(1, MonoSourceWord());
    return 1;
}

int CDevice::RemoveRadioXmitPath(CRadioModel* radio) {
    if (!radio) return 0;
    Lock lock(m_mutex);
    radio->SetXmitAttached(0);
    Unlist(m_arrRadioXmit, radio, [&](CRadioModel* r) { r->SetPTT(0, MonoSourceWord()); });
    return 1;
}

void CDevice::ReportInvalidChannel(int channel) const {
    hcy::Library().SetErrorf("Invalid channel %d for device %d.", channel, m_nHandle.load());
}

// A device without channels has none to wire.
int CDevice::AddRadioXmitPathOnChannel(CRadioModel*, int channel) {
    ReportInvalidChannel(channel);
    return 0;
}
int CDevice::RemoveRadioXmitPathOnChannel(CRadioModel*, int channel) {
    ReportInvalidChannel(channel);
    return 0;
}

int CDevice::AddIntercomXmitPath(CICSModel* interphone) {
    if (!interphone) return 0;
    Lock lock(m_mutex);
    return AddOnce(m_arrIntercomXmit, interphone, nullptr) ? 1 : 0;
}

int CDevice::RemoveIntercomXmitPath(CICSModel* interphone) {
    if (!interphone) return 0;
    Lock lock(m_mutex);
    Unlist(m_arrIntercomXmit, interphone, [&](CICSModel* i) { i->SetTalk(0, MonoSourceWord()); });
    return 1;
}

int CDevice::AddIntercomXmitPathOnChannel(CICSModel*, int channel) {
    ReportInvalidChannel(channel);
    return 0;
}
int CDevice::RemoveIntercomXmitPathOnChannel(CICSModel*, int channel) {
    ReportInvalidChannel(channel);
    return 0;
}
int CDevice::SetTransmitPathChannels(CRadioModel*, const int*, int) { return 0; }

void CDevice::KeyListed(int on, std::uint32_t word) {
    for (CRadioModel* radio : m_arrRadioXmit)
        if (radio) radio->SetPTT(on, word);
    for (CICSModel* interphone : m_arrIntercomXmit)
        if (interphone) interphone->SetTalk(on, word);
}

void CDevice::ReleaseTransmitLists(std::uint32_t word) {
    KeyListed(0, word);
    m_arrRadioXmit.clear();
    m_arrIntercomXmit.clear();
}

std::vector<CRadioModel*> CDevice::GetRadioXmitList() const {
    Lock lock(m_mutex);
    return m_arrRadioXmit;
}

std::vector<CICSModel*> CDevice::GetIntercomXmitList() const {
    Lock lock(m_mutex);
    return m_arrIntercomXmit;
}

// ---------------------------------------------------------------------------
// Keying and settings: the base has nothing to key.

int CDevice::SetPTT(int, int) { return 1; }
int CDevice::SetCaptureHold(int, int) { return 1; }

int CDevice::SetCaptureSize(std::uint32_t bytes) {
    // The filter follows the length of the blocks it is given, so nothing
    // the capture thread uses is freed here.
    m_nCaptureSize = bytes;
    return 1;
}

int CDevice::SetSidetoneVolume(float) { return 0; }
int CDevice::SetVoxEnable(int) { return 1; }
int CDevice::SetVoxLevel(float) { return 1; }
int CDevice::SetVoxEnables(const int*, int) { return 0; }
int CDevice::SetVoxLevels(const float*, int) { return 0; }
int CDevice::SetVoxOffDelays(const int*, int) { return 0; }
int CDevice::SetChannelVoxEnable(int, int) { return 1; }
int CDevice::SetSplitVoxLevel(float, float) { return 1; }
int CDevice::SetChannelVoxLevel(float, int) { return 0; }
int CDevice::SetChannelVoxOffDelay(int, int) { return 1; }

std::uint32_t CDevice::SetChannelMask(std::uint32_t mask) {
    m_nChannelMask = mask;
    return mask;
}

// ---------------------------------------------------------------------------
// Delivery, voice-operated keying and the band-pass filter

bool CDevice::WantsXmitFilter(const CRadioModel& radio) { return radio.IsXmitFilterOn(); }

const std::int16_t* CDevice::FilteredCopy(const std::int16_t* block, std::uint32_t bytes) {
    const std::uint32_t count = bytes / 2;
    if (m_filtered.size() < count) m_filtered.resize(count);
    m_filter.Filter(block, m_filtered.data(), count);
    return m_filtered.data();
}

void CDevice::DeliverCapture(const std::int16_t* block, std::uint32_t bytes) {
    if (!block) return;
    Lock lock(m_mutex);
    const std::uint32_t rate = m_nSampleRate.load();
    const std::uint32_t word = MonoSourceWord();
    // One filtered copy per block, shared by every radio that asks for it;
    // the others get the block as captured.
    const std::int16_t* filtered = nullptr;
    for (CRadioModel* radio : m_arrRadioXmit) {
        if (!radio) continue;
        // A radio keyed by someone else hears nothing from this device.
        const std::uint32_t keyedBy = radio->GetPttSource();
        if (keyedBy != 0 && keyedBy != word) continue;
        const std::int16_t* samples = block;
        if (m_filter.IsDesigned() && WantsXmitFilter(*radio)) {
            if (!filtered) filtered = FilteredCopy(block, bytes);
            samples = filtered;
        }
        radio->TransmitAudio(samples, bytes, rate, word);
    }
    for (CICSModel* interphone : m_arrIntercomXmit)
        if (interphone) interphone->SendAudio(block, bytes, rate);
}

CDevice::VoxStep CDevice::RunVox(float level, float threshold, bool keyed, int& quiet,
                                 int offDelay) {
    if (level >= threshold) {  // false for a level that is not a number: quiet
        quiet = 0;
        return keyed ? VoxStep::Send : VoxStep::KeyAndSend;
    }
    if (!keyed) return VoxStep::Drop;
    if (quiet > offDelay) return VoxStep::UnkeyAndDrop;
    ++quiet;
    return VoxStep::Send;
}

float CDevice::VoxLevelOf(const std::int16_t* block, std::uint32_t bytes) const {
    return hcy::ComputeRmsLevel(block, bytes, static_cast<std::int32_t>(m_nSampleRate.load())) /
           100.0f;
}

int CDevice::DesignBandPass(int rate, double low, double high) {
    Lock lock(m_mutex);
    return m_filter.Design(rate, low, high) ? 1 : 0;
}

double CDevice::GetFilterCoefficient(int m) const {
    Lock lock(m_mutex);
    if (m < 0 || m >= CBandPassFilter::kTaps || !m_filter.IsDesigned()) return 0.0;
    return m_filter.Coefficient(m);
}

// ---------------------------------------------------------------------------
// Device data

int CDevice::SetDeviceData(int code, void* value) {
    switch (code) {
    case DEVDATA_FILTER_BAND: {
        if (!value) return 0;
        double edges[2];
        std::memcpy(edges, value, sizeof edges);
        if (!std::isfinite(edges[0]) || !std::isfinite(edges[1])) {
            hcy::Library().SetError("Non-finite value sent to SetDeviceData.");
            return 0;
        }
        Lock lock(m_mutex);
        m_fLowEdge = edges[0];
        m_fHighEdge = edges[1];
        DesignBandPass(static_cast<int>(m_nSampleRate.load()), m_fLowEdge, m_fHighEdge);
        return 1;
    }
    case DEVDATA_SHARED_SOURCE: {
        if (!value) return 0;
        int shared;
        std::memcpy(&shared, value, sizeof shared);
        m_bSharedSource = shared != 0;
        return 1;
    }
    default: return 0;
    }
}

int CDevice::GetDeviceData(int code, void* out) {
    if (code != DEVDATA_KEYED || !out) return 0;
    const std::uint32_t keyed = IsKeyed() ? 1u : 0u;
    std::memcpy(out, &keyed, sizeof keyed);
    return 1;
}

int CDevice::PostData(void*, int) { return 0; }

// ---------------------------------------------------------------------------
// WAV players

int CDevice::PlayWavFile(const char* path, float volume, int channel, int loop) {
    if (!path) return 0;
    std::shared_ptr<CWavPlayer> player;
    Lock lock(m_mutex);
    std::size_t index = 0;
    while (index < m_arrWavPlayers.size() && m_arrWavPlayers[index]->IsPlaying()) ++index;
    if (index < m_arrWavPlayers.size()) {
        player = m_arrWavPlayers[index];
    } else {
        player = std::make_shared<CTimerWavPlayer>();
        m_arrWavPlayers.push_back(player);
    }
    // An idle player has no timer running, so nothing waits here for a
    // chunk in delivery.
    player->SetOutput(GetDirectSound(), volume, channel);
    player->SetLoop(loop != 0);
    player->SetNotify(true);
    player->SetOwner(this);
    if (!player->Play(path, 0)) return 0;
    // Player 0 and a failure both return 0: the empty last error tells them
    // apart.
    hcy::Library().ClearError();
    return static_cast<int>(index);
}

int CDevice::StopWavFile(int index) {
    std::shared_ptr<CWavPlayer> player;
    {
        Lock lock(m_mutex);
        // An index outside the list is no player and stops nothing.
        if (index < 0 || static_cast<std::size_t>(index) >= m_arrWavPlayers.size()) return 1;
        player = m_arrWavPlayers[static_cast<std::size_t>(index)];
    }
    player->Stop();
    return 1;
}

int CDevice::OnWavPlayerDone(CWavPlayer*) { return 1; }

// ---------------------------------------------------------------------------
// Recording and playback: not this kind of device.

int CDevice::StartRecord(const char*, int) { return 0; }
int CDevice::SetRecordMode(int) { return 0; }
int CDevice::GetCurrentPosn() { return 0; }
int CDevice::StopRecord() { return 0; }
int CDevice::SetPlaybackChan(int) { return 0; }
int CDevice::StartPlayback(const char*, int) { return 0; }
int CDevice::SetNewPlayPosn(int) { return 0; }
int CDevice::StopPlayback() { return 0; }

// ---------------------------------------------------------------------------
// Output side and data-device callbacks

plat::LPDIRECTSOUND CDevice::GetDirectSound() const { return nullptr; }

plat::LPDIRECTSOUND CDevice::DirectSoundObject() const {
    std::lock_guard<std::mutex> lock(m_dsMutex);
    return m_pDirectSound;
}

void CDevice::SetDirectSound(plat::LPDIRECTSOUND ds) {
    std::lock_guard<std::mutex> lock(m_dsMutex);
    m_pDirectSound = std::move(ds);
}

bool CDevice::NotifyHost(int radioUserId, const CReceive* record, int code, double* value) {
    if (!m_pNotifyProc) return false;
    m_pNotifyProc(radioUserId, const_cast<CReceive*>(record), code, value);
    return true;
}

int CDevice::ReceiveAudio(int radioUserId, const CReceive* record, const std::int16_t* samples,
                          std::uint32_t bytes, std::uint32_t sampleRate) {
    if (m_pAudioProc)
        m_pAudioProc(radioUserId, const_cast<CReceive*>(record), samples, bytes, sampleRate);
    return 1;
}

int CDevice::OnReceiveEnd(int) { return 1; }

// ---------------------------------------------------------------------------
// CFloatArray

void CFloatArray::SetAt(int index, float value) {
    if (index < 0) return;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto at = static_cast<std::size_t>(index);
    if (m_values.size() <= at) m_values.resize(at + 1, 0.0f);
    m_values[at] = value;
}

float CFloatArray::GetAt(int index) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (index < 0 || static_cast<std::size_t>(index) >= m_values.size()) return 0.0f;
    return m_values[static_cast<std::size_t>(index)];
}

void CFloatArray::RemoveAll() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_values.clear();
}

int CFloatArray::GetSize() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_values.size());
}
