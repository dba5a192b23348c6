#include "audio/recv_path_mono.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "audio/device.h"
#include "audio/output_buffer.h"
#include "base/library.h"
#include "hcyplat/crt.h"
#include "hcyplat/timer.h"
#include "interphone/ics_model.h"
#include "radio/radio_model.h"
#include "radio/receive.h"

namespace {

using plat::DWORD;

constexpr int kDevDataRecvGain = 403;  // data-device notice: a transmitter's new gain
constexpr std::uint32_t kWavHeaderBytes = 44;

long ClampVolume(long long volume) {
    return static_cast<long>(
        std::clamp<long long>(volume, plat::DSBVOLUME_MIN, plat::DSBVOLUME_MAX));
}

std::uint32_t ReadLe(const std::uint8_t* p, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = (value << 8) | p[i];
    return value;
}

plat::HRESULT LockRestoring(const plat::LPDIRECTSOUNDBUFFER& buffer, std::uint32_t bytes, void** p1,
                            DWORD* n1, void** p2, DWORD* n2) {
    plat::HRESULT hr = buffer->Lock(0, bytes, p1, n1, p2, n2, 0);
    if (hr == plat::DSERR_BUFFERLOST) {
        buffer->Restore();
        hr = buffer->Lock(0, bytes, p1, n1, p2, n2, 0);
    }
    return hr;
}

plat::WAVEFORMATEX StereoPcm(std::uint32_t rate, unsigned bits) {
    plat::WAVEFORMATEX format;
    format.wFormatTag = plat::WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = rate;
    format.nBlockAlign = static_cast<unsigned short>(2 * bits / 8);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    format.wBitsPerSample = static_cast<unsigned short>(bits);
    return format;
}

}  // namespace

void CopyToBuffer(const void* source, const plat::LPDIRECTSOUNDBUFFER& buffer,
                  std::uint32_t bytes) {
    void *p1 = nullptr, *p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    if (LockRestoring(buffer, bytes, &p1, &n1, &p2, &n2) != plat::DS_OK) return;
    std::memcpy(p1, source, n1);
    if (p2 && n2) std::memcpy(p2, static_cast<const std::uint8_t*>(source) + n1, n2);
    buffer->Unlock(p1, n1, p2, n2);
}

void FillNoise(const plat::LPDIRECTSOUNDBUFFER& buffer, std::uint32_t bytes) {
    std::vector<std::uint8_t> noise(bytes);
    plat::srand(static_cast<unsigned>(std::time(nullptr)));
    for (auto& b : noise) b = static_cast<std::uint8_t>(plat::rand() >> 7);
    CopyToBuffer(noise.data(), buffer, bytes);
}

const std::vector<std::uint8_t>& NoiseResource() {
    static const std::vector<std::uint8_t> blob = [] {
        constexpr std::uint32_t kRate = 16000, kDataBytes = 82900;  // [Hz], [bytes]
        std::vector<std::uint8_t> out(kWavHeaderBytes + kDataBytes);
        auto put = [&](std::size_t at, std::uint32_t value, int bytes) {
            for (int i = 0; i < bytes; ++i)
                out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
        };
        std::memcpy(out.data(), "RIFF", 4);
        put(4, 36 + kDataBytes, 4);
        std::memcpy(out.data() + 8, "WAVEfmt ", 8);
        put(16, 16, 4);
        put(20, 1, 2);  // PCM
        put(22, 2, 2);  // stereo
        put(24, kRate, 4);
        put(28, kRate * 4, 4);  // [bytes/s]
        put(32, 4, 2);          // block align
        put(34, 16, 2);         // bits per sample
        std::memcpy(out.data() + 36, "data", 4);
        put(40, kDataBytes, 4);
        // Soft hiss from a fixed generator: the same bytes on every load.
        std::uint32_t x = 0x2545F491u;
        for (std::uint32_t i = kWavHeaderBytes; i + 1 < out.size(); i += 2) {
            x = x * 1664525u + 1013904223u;
            const auto sample =
                static_cast<std::int16_t>(static_cast<std::int32_t>(x >> 16) / 8 - 4096);
            put(i, static_cast<std::uint16_t>(sample), 2);
        }
        return out;
    }();
    return blob;
}

// ---------------------------------------------------------------------------

CRecvPathMono::CRecvPathMono() {
    // The level comes from a file: keep the arithmetic in range.
    const long long level =
        std::clamp(hcy::Library().GetProfileInt("Radio", "SquelchLevel", 7), -1000, 1000);
    m_nNoiseBase = static_cast<int>((level - 10) * 1000);
}

CRecvPathMono::~CRecvPathMono() { CancelPendingTail(); }

bool CRecvPathMono::IsDataDevice() const {
    return m_pDevice && m_pDevice->GetKind() == CDevice::Kind::Data;
}

long CRecvPathMono::ChannelPan() const {
    return m_nChannel == 8   ? plat::DSBPAN_LEFT
           : m_nChannel == 9 ? plat::DSBPAN_RIGHT
                             : plat::DSBPAN_CENTER;
}

plat::LPDIRECTSOUNDBUFFER CRecvPathMono::CreateNoiseBuffer(std::uint32_t bytes) {
    const plat::LPDIRECTSOUND ds = m_pDevice ? m_pDevice->GetDirectSound() : nullptr;
    if (!ds) return nullptr;
    plat::WAVEFORMATEX format = StereoPcm(hcy::Library().m_nDefaultSampleRate.load(), 16);
    plat::DSBUFFERDESC desc;
    desc.dwFlags = COutputBuffer::kBufferFlags;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = &format;
    plat::LPDIRECTSOUNDBUFFER buffer;
    if (ds->CreateSoundBuffer(&desc, &buffer, nullptr) != plat::DS_OK || !buffer) return nullptr;
    FillNoise(buffer, bytes);
    return buffer;
}

void CRecvPathMono::CreateResourceSoundBuffer() {
    const plat::LPDIRECTSOUND ds = m_pDevice ? m_pDevice->GetDirectSound() : nullptr;
    const std::vector<std::uint8_t>& wave = NoiseResource();
    if (!ds || wave.size() < kWavHeaderBytes) return;
    const std::uint32_t rate = ReadLe(&wave[24], 4);
    const std::uint32_t bits = ReadLe(&wave[34], 2);
    const std::uint32_t dataBytes = ReadLe(&wave[40], 4);
    if (dataBytes == 0 || dataBytes > wave.size() - kWavHeaderBytes) return;
    plat::WAVEFORMATEX format = StereoPcm(rate, bits);
    plat::DSBUFFERDESC desc;
    desc.dwFlags = COutputBuffer::kBufferFlags;
    desc.dwBufferBytes = dataBytes;
    desc.lpwfxFormat = &format;
    plat::LPDIRECTSOUNDBUFFER buffer;
    if (ds->CreateSoundBuffer(&desc, &buffer, nullptr) != plat::DS_OK || !buffer) return;
    CopyToBuffer(wave.data() + kWavHeaderBytes, buffer, dataBytes);
    m_pResourceSound = std::move(buffer);
}

std::unique_ptr<COutputBuffer> CRecvPathMono::MakeOutputBuffer() {
    if (hcy::Library().m_bOldWindowsNT.load()) return std::make_unique<COutputBufferDX3>();
    return std::make_unique<COutputBuffer>();
}

int CRecvPathMono::StartOutputBuffer(COutputBuffer& buffer, const plat::LPDIRECTSOUND& ds) {
    return buffer.Create(ds);
}

COutputBuffer* CRecvPathMono::GetFreeOutputBuffer() {
    COutputBuffer* buffer = nullptr;
    for (auto& b : m_buffers)
        if (b.get() != m_pLocalSource && !b->IsActive() && b->QueuedBytes() == 0) {
            buffer = b.get();
            break;
        }
    if (!buffer) {
        m_buffers.push_back(MakeOutputBuffer());
        buffer = m_buffers.back().get();
    }
    const plat::LPDIRECTSOUND ds = m_pDevice ? m_pDevice->GetDirectSound() : nullptr;
    if (!StartOutputBuffer(*buffer, ds)) {
        buffer->SetActive(false);
        return nullptr;
    }
    m_buffersDs = ds;
    buffer->SetActive(true);
    return buffer;
}

void CRecvPathMono::CreateLocalSource() {
    if (m_pLocalSource) return;
    COutputBuffer* buffer = GetFreeOutputBuffer();
    if (!buffer) return;
    buffer->SetReceive(nullptr);
    m_pLocalSource = buffer;
}

COutputBuffer* CRecvPathMono::FindBuffer(const CReceive* record) const {
    if (!record) return m_pLocalSource;
    for (auto& b : m_buffers)
        if (b.get() != m_pLocalSource && b->GetReceive() == record) return b.get();
    return nullptr;
}

void CRecvPathMono::AttachDevice(CDevice* device) {
    std::lock_guard lock(m_mutex);
    m_pDevice = device;
    if (device) {
        // A path is re-attached only after StopAll stopped its buffers. Those
        // made on another device's object would play there, and a path on a
        // data device owns none: they go.
        const plat::LPDIRECTSOUND ds = IsDataDevice() ? nullptr : device->GetDirectSound();
        if (!m_buffers.empty() && (!ds || m_buffersDs.lock() != ds)) {
            for (auto& b : m_buffers) b->Stop();
            m_buffers.clear();
            m_pLocalSource = nullptr;
        }
        if (!IsDataDevice()) CreateAttachedSounds();
    }
    m_bActive = m_pDevice && HasSource();
}

void CRecvPathMono::CreateAttachedSounds() {
    if (!m_pSquelchNoise) m_pSquelchNoise = CreateNoiseBuffer(kNoiseBytes);
    if (!m_pSquelchTail) m_pSquelchTail = CreateNoiseBuffer(kTailBytes);
    if (!m_pBackgroundNoise) m_pBackgroundNoise = CreateNoiseBuffer(kNoiseBytes);
    if (!m_pResourceSound) CreateResourceSoundBuffer();
    CreateLocalSource();
}

CDevice* CRecvPathMono::GetDevice() const {
    std::lock_guard lock(m_mutex);
    return m_pDevice;
}

void CRecvPathMono::SetRadio(CRadioModel* radio) {
    std::lock_guard lock(m_mutex);
    m_pRadio = radio;
    m_bActive = m_pDevice && HasSource();
}

CRadioModel* CRecvPathMono::GetRadio() const {
    std::lock_guard lock(m_mutex);
    return m_pRadio;
}

void CRecvPathMono::SetIntercom(CICSModel* interphone) {
    std::lock_guard lock(m_mutex);
    m_pIntercom = interphone;
    m_bActive = m_pDevice && HasSource();
}

CICSModel* CRecvPathMono::GetIntercom() const {
    std::lock_guard lock(m_mutex);
    return m_pIntercom;
}

void CRecvPathMono::SetChannel(int channel) {
    std::lock_guard lock(m_mutex);
    m_nChannel = channel;
}

int CRecvPathMono::GetChannel() const {
    std::lock_guard lock(m_mutex);
    return m_nChannel;
}

bool CRecvPathMono::IsActive() const {
    std::lock_guard lock(m_mutex);
    return m_bActive;
}

void CRecvPathMono::SetNoiseFlag(bool on) {
    std::lock_guard lock(m_mutex);
    m_bNoiseFlag = on;
}

// ---------------------------------------------------------------------------
// Noise

void CRecvPathMono::SetNoiseVolume(long volume) {
    for (auto* b : {&m_pBackgroundNoise, &m_pSquelchNoise, &m_pSquelchTail})
        if (*b) (*b)->SetVolume(volume);
}

bool CRecvPathMono::UpdateNoiseVolumeLocked() {
    if (!m_pDevice) return false;
    const double g = !m_pDevice->IsKeyed() && m_pRadio ? m_pRadio->GetMasterVolume() : 0.0;
    const long long volume = m_nNoiseBase - static_cast<long long>((1.0 - g) * 10000.0);
    if (!IsDataDevice()) SetNoiseVolume(ClampVolume(volume));
    return true;
}

bool CRecvPathMono::UpdateNoiseVolume() {
    std::lock_guard lock(m_mutex);
    return UpdateNoiseVolumeLocked();
}

void CRecvPathMono::MuteNoise(bool mute) {
    std::lock_guard lock(m_mutex);
    if (mute)
        SetNoiseVolume(plat::DSBVOLUME_MIN);
    else
        UpdateNoiseVolumeLocked();
}

void CRecvPathMono::PlayLooping(const plat::LPDIRECTSOUNDBUFFER& buffer, bool on, bool pan) {
    if (!buffer) return;
    if (!on) {
        buffer->Stop();
        return;
    }
    if (pan) buffer->SetPan(ChannelPan());
    buffer->Play(0, 0, plat::DSBPLAY_LOOPING);
}

void CRecvPathMono::PlaySquelchNoise(bool on) {
    std::lock_guard lock(m_mutex);
    PlayLooping(m_pSquelchNoise, on, HasPan());
}

void CRecvPathMono::PlayBackgroundNoise(bool on) {
    std::lock_guard lock(m_mutex);
    PlayLooping(m_pBackgroundNoise, on, HasPan());
}

void CRecvPathMono::PlayResourceSound(bool on) {
    std::lock_guard lock(m_mutex);
    if (!m_pResourceSound) return;
    if (on) m_pResourceSound->SetVolume(ClampVolume(m_nResourceVolume));
    PlayLooping(m_pResourceSound, on, HasPan());
}

// ---------------------------------------------------------------------------
// Sources

bool CRecvPathMono::UpdateSourceGainLocked(const CReceive* record, bool* notice,
                                           double* noticeGain) {
    COutputBuffer* buffer = FindBuffer(record);
    if (record && record->IsRemoved()) return true;
    if (!HasSource() || !m_pDevice) return false;
    const double master = m_pRadio ? m_pRadio->GetMasterVolume() : m_pIntercom->GetMasterVolume();
    double gain = 0.0;
    if (record && record->GetPttBlock())
        gain = 0.0;
    else if (record && m_pRadio)
        gain = record->GetSignal() * master;
    else
        gain = master;  // a remote station, or the local source

    if (!buffer) {
        if (IsDataDevice()) {
            *notice = true;
            *noticeGain = gain;
            return true;
        }
        buffer = GetFreeOutputBuffer();
        if (!buffer) return true;
        buffer->SetReceive(record);
        if (!record) m_pLocalSource = buffer;
    }
    if (!buffer->IsActive()) buffer->SetActive(true);
    const bool preferred = record && record->GetRecvValue() > 0;
    buffer->SetVolume(preferred ? 1.0f : static_cast<float>(gain));
    if (HasPan()) buffer->SetChannel(preferred ? 10 : m_nChannel);
    return true;
}

bool CRecvPathMono::UpdateSourceGain(const CReceive* record) {
    bool notice = false;
    double gain = 0.0;
    CDevice* device = nullptr;
    int userId = 0;
    bool result = false;
    {
        std::lock_guard lock(m_mutex);
        result = UpdateSourceGainLocked(record, &notice, &gain);
        device = m_pDevice;
        // A station has no user id: its handle is as unique.
        userId = m_pRadio ? m_pRadio->GetUserId() : m_pIntercom ? m_pIntercom->GetHandle() : 0;
    }
    // The host's callback runs without the path's mutex.
    if (notice && device) device->NotifyHost(userId, record, kDevDataRecvGain, &gain);
    return result;
}

COutputBuffer* CRecvPathMono::ActiveBuffer(const CReceive* record) const {
    if (!record) return m_pLocalSource && m_pLocalSource->IsActive() ? m_pLocalSource : nullptr;
    for (auto& b : m_buffers)
        if (b.get() != m_pLocalSource && b->GetReceive() == record && b->IsActive()) return b.get();
    return nullptr;
}

namespace {
void PlayPendingTail(plat::UINT, plat::UINT, plat::DWORD_PTR user, plat::DWORD_PTR,
                     plat::DWORD_PTR) {
    reinterpret_cast<const plat::LPDIRECTSOUNDBUFFER*>(user)->get()->Play(0, 0, 0);
}
}  // namespace

void CRecvPathMono::CancelPendingTail() {
    // The timer's callback takes no lock of ours: killing it under the
    // path's mutex cannot wait on us.
    if (m_pPendingTail && m_pPendingTail->timer) plat::timeKillEvent(m_pPendingTail->timer);
    m_pPendingTail.reset();
}

void CRecvPathMono::PlayTail(std::uint32_t delayMs) {
    if (!m_pSquelchTail) return;
    CancelPendingTail();
    m_pSquelchTail->SetVolume(ClampVolume(m_nNoiseBase));
    if (HasPan()) m_pSquelchTail->SetPan(ChannelPan());
    if (delayMs > 0) {
        m_pPendingTail = std::make_unique<PendingTail>();
        m_pPendingTail->tail = m_pSquelchTail;
        m_pPendingTail->timer = plat::timeSetEvent(
            delayMs, 1, &PlayPendingTail, reinterpret_cast<plat::DWORD_PTR>(&m_pPendingTail->tail),
            plat::TIME_ONESHOT);
        if (m_pPendingTail->timer) return;
        m_pPendingTail.reset();  // no timer: the tail plays at once
    }
    m_pSquelchTail->Play(0, 0, 0);
}

void CRecvPathMono::StopSourceLocked(const CReceive* record, bool playTail) {
    COutputBuffer* buffer = ActiveBuffer(record);
    if (!buffer) return;
    buffer->Stop();
    if (record) buffer->SetActive(false);
    if (playTail) PlayTail(0);
}

void CRecvPathMono::StopSource(const CReceive* record, bool playTail) {
    std::lock_guard lock(m_mutex);
    StopSourceLocked(record, playTail);
}

void CRecvPathMono::EndSource(const CReceive* record, bool playTail) {
    std::lock_guard lock(m_mutex);
    COutputBuffer* buffer = ActiveBuffer(record);
    if (!buffer) return;
    // What was received is heard: the buffer plays on until the idle check
    // stops it, and is not handed to another source before it is empty.
    const std::uint32_t left = buffer->PlayOut();
    if (left == 0) buffer->Stop();
    if (record) buffer->SetActive(false);
    if (playTail) PlayTail(left);
}

void CRecvPathMono::ForgetSource(const CReceive* record) {
    if (!record) return;
    std::lock_guard lock(m_mutex);
    for (auto& b : m_buffers) {
        if (b.get() == m_pLocalSource || b->GetReceive() != record) continue;
        b->Stop();
        b->SetActive(false);
        b->SetReceive(nullptr);
    }
}

void CRecvPathMono::WriteAudio(const CReceive* record, const std::int16_t* samples,
                               std::uint32_t bytes, std::uint32_t sampleRate) {
    std::lock_guard lock(m_mutex);
    if (!samples) return;
    COutputBuffer* buffer = FindBuffer(record);
    if (!buffer) return;  // not yet made audible
    bool notice = false;
    double gain = 0.0;
    if (buffer->GetErrorCount() > kMaxBufferErrors) {
        hcy::Library().SetError("Too many buffer errors");
        StopSourceLocked(record, false);
        buffer->ResetErrorCount();
        buffer->SetActive(false);
        UpdateSourceGainLocked(record, &notice, &gain);
        return;
    }
    if (!record) UpdateSourceGainLocked(nullptr, &notice, &gain);
    buffer->SetFrequency(sampleRate);
    WriteBlock(*buffer, samples, bytes);
}

void CRecvPathMono::WriteBlock(COutputBuffer& buffer, const std::int16_t* samples,
                               std::uint32_t bytes) {
    buffer.Write(samples, bytes);
}

void CRecvPathMono::StopIdleOutputBuffers() {
    std::lock_guard lock(m_mutex);
    for (auto& b : m_buffers) b->StopIfIdle();
}

void CRecvPathMono::StopAll() {
    std::lock_guard lock(m_mutex);
    CancelPendingTail();
    m_bActive = false;
    for (auto& b : m_buffers) {
        b->Stop();
        b->SetActive(false);
    }
    for (auto* b : {&m_pSquelchNoise, &m_pBackgroundNoise, &m_pSquelchTail, &m_pResourceSound}) {
        if (*b) (*b)->Stop();
        b->reset();  // the last pointer: the buffer leaves the mix
    }
    m_pDevice = nullptr;
    m_pRadio = nullptr;
}

void CRecvPathMono::DetachAll() {
    std::lock_guard lock(m_mutex);
    CancelPendingTail();
    for (auto& b : m_buffers) b->Stop();
    m_buffers.clear();
    m_pLocalSource = nullptr;
    if (m_pDevice) {
        if (m_pSquelchNoise) m_pSquelchNoise->Stop();
        if (m_pBackgroundNoise) m_pBackgroundNoise->Stop();
    }
    m_bActive = false;
    m_pDevice = nullptr;
    m_pRadio = nullptr;
    m_pIntercom = nullptr;
}

// ---------------------------------------------------------------------------
// Inspection

int CRecvPathMono::GetNoiseBase() const {
    std::lock_guard lock(m_mutex);
    return m_nNoiseBase;
}

std::size_t CRecvPathMono::GetOutputBufferCount() const {
    std::lock_guard lock(m_mutex);
    return m_buffers.size();
}

COutputBuffer* CRecvPathMono::GetOutputBuffer(std::size_t index) const {
    std::lock_guard lock(m_mutex);
    return index < m_buffers.size() ? m_buffers[index].get() : nullptr;
}

COutputBuffer* CRecvPathMono::GetLocalSource() const {
    std::lock_guard lock(m_mutex);
    return m_pLocalSource;
}

plat::LPDIRECTSOUNDBUFFER CRecvPathMono::GetSquelchNoise() const {
    std::lock_guard lock(m_mutex);
    return m_pSquelchNoise;
}

plat::LPDIRECTSOUNDBUFFER CRecvPathMono::GetSquelchTail() const {
    std::lock_guard lock(m_mutex);
    return m_pSquelchTail;
}

plat::LPDIRECTSOUNDBUFFER CRecvPathMono::GetBackgroundNoise() const {
    std::lock_guard lock(m_mutex);
    return m_pBackgroundNoise;
}

plat::LPDIRECTSOUNDBUFFER CRecvPathMono::GetResourceSound() const {
    std::lock_guard lock(m_mutex);
    return m_pResourceSound;
}
