#include "audio/output_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

#include "base/library.h"
#include "hcyplat/crt.h"
#include "radio/receive.h"

namespace {

using plat::DWORD;
using plat::HRESULT;

std::uint32_t LibraryRate() { return hcy::Library().m_nDefaultSampleRate.load(); }

plat::WAVEFORMATEX PcmFormat(unsigned channels) {
    const std::uint32_t rate = LibraryRate();
    plat::WAVEFORMATEX format;
    format.wFormatTag = plat::WAVE_FORMAT_PCM;
    format.nChannels = static_cast<unsigned short>(channels);
    format.nSamplesPerSec = rate;
    format.nBlockAlign = static_cast<unsigned short>(2 * channels);
    format.nAvgBytesPerSec = rate * format.nBlockAlign;
    format.wBitsPerSample = 16;
    return format;
}

long ClampVolume(double volume) {
    if (!(volume > plat::DSBVOLUME_MIN)) return plat::DSBVOLUME_MIN;  // NaN too
    if (volume > plat::DSBVOLUME_MAX) return plat::DSBVOLUME_MAX;
    return static_cast<long>(volume);
}

}  // namespace

std::uint32_t WrapBufferOffset(std::uint32_t offset, std::uint32_t size) {
    return offset < size ? offset : offset - size;
}

void GarbleSamples(std::int16_t* samples, std::uint32_t bytes) {
    plat::srand(static_cast<unsigned>(std::time(nullptr)));
    for (std::uint32_t i = 0; i < bytes / 2; ++i) {
        // 2 x 32767 x 32768 still fits an int: no overflow.
        const int product = 2 * plat::rand() * samples[i];
        const auto low = static_cast<std::int16_t>(static_cast<std::uint16_t>(product));
        samples[i] = static_cast<std::int16_t>(low >> 2);
    }
}

// ---------------------------------------------------------------------------
// COutputBuffer

void COutputBuffer::SetReceive(const CReceive* record) {
    std::lock_guard lock(m_mutex);
    m_pReceive = record;
}

const CReceive* COutputBuffer::GetReceive() const {
    std::lock_guard lock(m_mutex);
    return m_pReceive;
}

void COutputBuffer::SetActive(bool active) {
    std::lock_guard lock(m_mutex);
    m_bActive = active;
}

bool COutputBuffer::IsActive() const {
    std::lock_guard lock(m_mutex);
    return m_bActive;
}

std::uint32_t COutputBuffer::GetErrorCount() const {
    std::lock_guard lock(m_mutex);
    return m_nErrorCount;
}

void COutputBuffer::ResetErrorCount() {
    std::lock_guard lock(m_mutex);
    m_nErrorCount = 0;
}

bool COutputBuffer::IsPlaying() const {
    std::lock_guard lock(m_mutex);
    return m_bPlaying;
}

std::uint32_t COutputBuffer::GetWriteOffset() const {
    std::lock_guard lock(m_mutex);
    return m_nWriteOffset;
}

plat::LPDIRECTSOUNDBUFFER COutputBuffer::GetSoundBuffer() const {
    std::lock_guard lock(m_mutex);
    return m_pSoundBuffer;
}

int COutputBuffer::MakeSoundBuffer(const plat::LPDIRECTSOUND& ds, plat::WAVEFORMATEX* format,
                                   std::uint32_t bytes, DWORD flags) {
    if (!ds) {
        hcy::Library().SetError("A Direct Sound object must first be created");
        return 0;
    }
    if (m_pSoundBuffer) return 1;
    plat::DSBUFFERDESC desc;
    desc.dwFlags = flags;
    desc.dwBufferBytes = bytes;
    desc.lpwfxFormat = format;
    plat::LPDIRECTSOUNDBUFFER made;
    if (ds->CreateSoundBuffer(&desc, &made, nullptr) != plat::DS_OK || !made) {
        hcy::Library().SetError("Failed to create a DirectSound sound buffer");
        return 0;
    }
    m_pSoundBuffer = std::move(made);
    return 1;
}

HRESULT COutputBuffer::LockRestoring(std::uint32_t offset, std::uint32_t bytes, void** p1,
                                     DWORD* n1, void** p2, DWORD* n2) {
    HRESULT hr = m_pSoundBuffer->Lock(offset, bytes, p1, n1, p2, n2, 0);
    if (hr == plat::DSERR_BUFFERLOST) {
        m_pSoundBuffer->Restore();
        // A lost buffer stopped: a stream that was playing goes on.
        if (m_bPlaying) m_pSoundBuffer->Play(0, 0, plat::DSBPLAY_LOOPING);
        hr = m_pSoundBuffer->Lock(offset, bytes, p1, n1, p2, n2, 0);
    }
    return hr;
}

int COutputBuffer::Create(const plat::LPDIRECTSOUND& ds) {
    std::lock_guard lock(m_mutex);
    const bool fresh = !m_pSoundBuffer;
    plat::WAVEFORMATEX format = PcmFormat(1);
    if (!MakeSoundBuffer(ds, &format, kBufferBytes, kBufferFlags)) return 0;
    if (fresh) {
        m_nBufferSize = kBufferBytes;
        void *p1 = nullptr, *p2 = nullptr;
        DWORD n1 = 0, n2 = 0;
        if (LockRestoring(0, m_nBufferSize, &p1, &n1, &p2, &n2) == plat::DS_OK) {
            std::memset(p1, 0, n1);
            if (p2) std::memset(p2, 0, n2);
            m_pSoundBuffer->Unlock(p1, n1, p2, n2);
        }
    }
    StartLooping();
    return 1;
}

void COutputBuffer::StartLooping() {
    m_bPlaying = false;
    m_nWriteOffset = 0;
    m_nLastCursor = 0;
    m_bRestart = true;
    if (m_pSoundBuffer->Play(0, 0, plat::DSBPLAY_LOOPING) == plat::DS_OK) {
        m_bPlaying = true;
        m_bWritten = true;
    }
}

bool COutputBuffer::BelowMaxRecvValue() {
    if (!m_pReceive || m_pReceive->GetRecvValue() >= hcy::Library().GetMaxRecvValue()) return false;
    if (m_bPlaying) {
        m_pSoundBuffer->Stop();
        m_bPlaying = false;
    }
    return true;
}

std::uint32_t COutputBuffer::AheadOfCursor(std::uint32_t cursor) const {
    return WrapBufferOffset(m_nWriteOffset + m_nBufferSize - cursor, m_nBufferSize);
}

bool COutputBuffer::CursorBeyond(std::uint32_t cursor) const {
    return AheadOfCursor(cursor) > m_nBufferSize / 2;
}

std::uint32_t COutputBuffer::QueuedAhead(std::uint32_t cursor) const {
    return CursorBeyond(cursor) ? 0 : AheadOfCursor(cursor);
}

std::uint32_t COutputBuffer::FrameBytes() const { return 2 * m_nFrameChannels; }

std::uint32_t COutputBuffer::BytesPerMs() const {
    const std::uint32_t rate = m_nFrequency ? m_nFrequency : LibraryRate();
    return std::max<std::uint32_t>(1, rate / 1000) * FrameBytes();
}

std::uint32_t COutputBuffer::DropFrom(const std::uint8_t* block, std::uint32_t bytes,
                                      std::uint32_t silentFrames, std::uint32_t stepFrames) {
    // Frames below this level on every channel count as silence (-54 dBFS).
    constexpr int kSilentLevel = 64;
    const std::uint32_t channels = m_nFrameChannels;
    const std::uint32_t frames = bytes / FrameBytes();
    m_scratch.resize(std::size_t{frames} * channels);
    std::memcpy(m_scratch.data(), block, std::size_t{frames} * FrameBytes());
    const std::int16_t* s = m_scratch.data();
    auto level = [&](std::uint32_t f) {
        int most = 0;
        for (std::uint32_t c = 0; c < channels; ++c)
            most = std::max(most, std::abs(static_cast<int>(s[f * channels + c])));
        return most;
    };
    // The longest silent run: a pause made shorter is not heard, so it may
    // give up more than a step.
    std::uint32_t at = 0, count = 0;
    for (std::uint32_t f = 0, start = 0; f <= frames; ++f) {
        if (f < frames && level(f) <= kSilentLevel) continue;
        if (f - start > count) at = start, count = f - start;
        start = f + 1;
    }
    // A pause lasts 2 ms at least: a waveform crossing zero is no pause.
    const std::uint32_t pause = std::max(stepFrames, 2 * BytesPerMs() / FrameBytes());
    if (count > 0 && count >= std::min(pause, frames)) {
        const std::uint32_t cut = std::min(count, silentFrames);
        at += (count - cut) / 2;  // from the middle of the pause
        count = cut;
    } else if (stepFrames == 0) {
        return frames * FrameBytes();
    } else {
        // No pause: the quietest stretch of one step.
        count = std::min(stepFrames, frames);
        std::uint64_t sum = 0, least = UINT64_MAX;
        for (std::uint32_t f = 0; f < frames; ++f) {
            sum += static_cast<std::uint64_t>(level(f));
            if (f >= count) sum -= static_cast<std::uint64_t>(level(f - count));
            if (f + 1 >= count && sum < least) least = sum, at = f + 1 - count;
        }
    }
    m_scratch.erase(m_scratch.begin() + std::ptrdiff_t{at} * channels,
                    m_scratch.begin() + std::ptrdiff_t{at + count} * channels);
    return (frames - count) * FrameBytes();
}

std::uint32_t COutputBuffer::WriteCursor() {
    DWORD play = m_nLastPlay, write = m_nLastCursor;
    if (m_pSoundBuffer->GetCurrentPosition(&play, &write) != plat::DS_OK) return m_nLastCursor;
    m_nLastPlay = play < m_nBufferSize ? play : 0;
    return write;
}

bool COutputBuffer::CopyBlock(const std::uint8_t* block, std::uint32_t bytes, bool* locked) {
    void *p1 = nullptr, *p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    *locked = LockRestoring(m_nWriteOffset, bytes, &p1, &n1, &p2, &n2) == plat::DS_OK;
    if (!*locked) return false;
    m_bWritten = true;
    std::memcpy(p1, block, n1);
    if (p2 && n2) std::memcpy(p2, block + n1, n2);
    return m_pSoundBuffer->Unlock(p1, n1, p2, n2) == plat::DS_OK;
}

int COutputBuffer::Write(const std::int16_t* data, std::uint32_t bytes) {
    std::lock_guard lock(m_mutex);
    if (!m_pSoundBuffer) {
        ++m_nErrorCount;
        return 0;
    }
    if (BelowMaxRecvValue()) return 1;
    return StreamBlock(data, bytes);
}

int COutputBuffer::StreamBlock(const std::int16_t* data, std::uint32_t bytes) {
    if (!m_bPlaying) {
        m_pSoundBuffer->Play(0, 0, plat::DSBPLAY_LOOPING);
        m_bWritten = true;
        m_bPlaying = true;
    }
    bytes &= ~1u;  // whole samples only, so later blocks stay aligned
    const auto* block = reinterpret_cast<const std::uint8_t*>(data);
    if (m_pReceive && !m_pReceive->decodeOk && bytes) {
        // The caller's block is not ours to change: garble a copy.
        m_garbled.assign(data, data + bytes / 2);
        GarbleSamples(m_garbled.data(), bytes);
        block = reinterpret_cast<const std::uint8_t*>(m_garbled.data());
    }

    // A stream that starts, or that ran dry (the play cursor passed the
    // offset, read on the circle), goes on at the write cursor; any other
    // block follows the one before, early or late. A block later than the
    // first one's arrival but ahead of the play cursor is still heard in
    // its place: restarting it at the write cursor would put a slip of
    // silence into the speech for every new worst arrival time.
    const std::uint32_t cursor = WriteCursor();
    if (m_bRestart || CursorBeyond(m_nLastPlay)) {
        m_nWriteOffset = cursor;
        m_bCatchingUp = false;
    }
    m_bRestart = false;
    m_nLastCursor = cursor;
    // Beyond the bound the block gives up a step, or silence down to half
    // the bound; a burst beyond twice the bound gives up what does not fit.
    const std::uint32_t frame = FrameBytes();
    bytes -= bytes % frame;
    const std::uint32_t queued = QueuedAhead(cursor) + bytes;
    // A block longer than the bound must not give up a step every time.
    const std::uint32_t bound = std::max(kMaxQueuedMs * BytesPerMs(), 2 * bytes);
    // The queue stays well inside half the ring, where "ran dry" is read.
    const std::uint32_t most = bytes < m_nBufferSize / 2
                                   ? std::max(bound, std::min(2 * bound, m_nBufferSize / 2 - bytes))
                                   : bound;
    // Once past the bound, pauses give up their silence until half the
    // bound is left.
    if (queued > bound) m_bCatchingUp = true;
    if (queued <= bound / 2) m_bCatchingUp = false;
    if (m_bCatchingUp) {
        const std::uint32_t step =
            queued <= bound ? 0
                            : std::max(std::min(queued - bound, kDropStepMs * BytesPerMs()),
                                       queued > most ? queued - most : 0);
        bytes = DropFrom(block, bytes, (queued - bound / 2) / frame, (step + frame - 1) / frame);
        block = reinterpret_cast<const std::uint8_t*>(m_scratch.data());
        if (bytes == 0) {  // a silent block, all given up
            m_bWritten = true;
            m_nErrorCount = 0;
            return 1;
        }
    }

    bool locked = false;
    const bool unlocked = CopyBlock(block, bytes, &locked);
    if (!locked) {
        ++m_nErrorCount;
        return 0;
    }
    m_nWriteOffset = WrapBufferOffset(m_nWriteOffset + bytes, m_nBufferSize);
    // Silence ahead: 1.5 s, but never what is still to be played from the
    // play cursor on (high rates, large blocks, a queue).
    ClearRegionLocked(m_nWriteOffset,
                      std::min(3 * LibraryRate(), m_nBufferSize - AheadOfCursor(m_nLastPlay)));
    m_nLastBlockSize = bytes;
    if (!unlocked) {
        ++m_nErrorCount;
        return 0;
    }
    m_nErrorCount = 0;
    return 1;
}

std::uint32_t COutputBuffer::PlayOut() {
    std::lock_guard lock(m_mutex);
    if (!m_pSoundBuffer || !m_bPlaying) return 0;
    DWORD play = 0, write = 0;
    if (m_pSoundBuffer->GetCurrentPosition(&play, &write) != plat::DS_OK) return 0;
    if (QueuedAhead(play) == 0) return 0;
    // From the play cursor: the write cursor's lead is still to be heard.
    const std::uint32_t ahead = AheadOfCursor(play);
    return (ahead + BytesPerMs() - 1) / BytesPerMs();
}

std::uint32_t COutputBuffer::QueuedBytes() {
    std::lock_guard lock(m_mutex);
    if (!m_pSoundBuffer || !m_bPlaying) return 0;
    WriteCursor();
    return QueuedAhead(m_nLastPlay);
}

int COutputBuffer::Stop() {
    std::lock_guard lock(m_mutex);
    if (!m_pSoundBuffer || !m_bPlaying) return 0;
    ClearRegionLocked(0, m_nBufferSize);
    m_pSoundBuffer->Stop();
    m_bPlaying = false;
    return 1;
}

void COutputBuffer::StopIfIdle() {
    std::lock_guard lock(m_mutex);
    if (!m_bPlaying) return;
    if (!m_bWritten)
        Stop();
    else
        m_bWritten = false;
}

int COutputBuffer::SetChannel(int channel) {
    std::lock_guard lock(m_mutex);
    const long pan = channel == 8   ? plat::DSBPAN_LEFT
                     : channel == 9 ? plat::DSBPAN_RIGHT
                                    : plat::DSBPAN_CENTER;
    if (m_pSoundBuffer) m_pSoundBuffer->SetPan(pan);
    return 1;
}

int COutputBuffer::SetVolume(float gain) {
    std::lock_guard lock(m_mutex);
    if (m_pSoundBuffer)
        m_pSoundBuffer->SetVolume(ClampVolume((static_cast<double>(gain) - 1.0) * 10000.0));
    return 1;
}

int COutputBuffer::SetFrequency(std::uint32_t hertz) {
    std::lock_guard lock(m_mutex);
    if (m_pSoundBuffer) m_pSoundBuffer->SetFrequency(hertz);
    if (hertz >= 100) m_nFrequency = hertz;  // 0 keeps the format's rate
    return 1;
}

void COutputBuffer::ClearRegion(std::uint32_t offset, std::uint32_t bytes) {
    std::lock_guard lock(m_mutex);
    ClearRegionLocked(offset, bytes);
}

void COutputBuffer::ClearRegionLocked(std::uint32_t offset, std::uint32_t bytes) {
    if (!m_pSoundBuffer) return;
    void *p1 = nullptr, *p2 = nullptr;
    DWORD n1 = 0, n2 = 0;
    if (m_pSoundBuffer->Lock(offset, bytes, &p1, &n1, &p2, &n2, 0) != plat::DS_OK) return;
    std::memset(p1, 0, n1);
    if (p2) std::memset(p2, 0, n2);
    m_pSoundBuffer->Unlock(p1, n1, p2, n2);
}

// ---------------------------------------------------------------------------
// COutputBufferDX3

bool COutputBufferDX3::IsInWriteWindow(std::uint32_t cursor, std::uint32_t offset,
                                       std::uint32_t bytes) {
    const std::uint32_t lower = WrapBufferOffset(cursor + bytes, kBufferBytes);
    const std::uint32_t upper = WrapBufferOffset(cursor + 3 * bytes, kBufferBytes);
    if (upper > lower) return lower <= offset && offset <= upper;
    return offset > lower || offset < upper;
}

std::uint32_t COutputBufferDX3::GetBlocksWritten() const {
    std::lock_guard lock(m_mutex);
    return m_nBlocksWritten;
}

int COutputBufferDX3::Create(const plat::LPDIRECTSOUND& ds) {
    std::lock_guard lock(m_mutex);
    plat::WAVEFORMATEX format = PcmFormat(2);
    if (!MakeSoundBuffer(ds, &format, kBufferBytes, kBufferFlags)) return 0;
    m_bPlaying = false;
    DWORD play = 0, write = 0;
    m_pSoundBuffer->GetCurrentPosition(&play, &write);
    m_nWriteOffset = write < kBufferBytes ? write : 0;
    return 1;
}

int COutputBufferDX3::Write(const std::int16_t* data, std::uint32_t bytes) {
    std::lock_guard lock(m_mutex);
    if (!m_pSoundBuffer) {
        ++m_nErrorCount;
        return 0;
    }
    if (BelowMaxRecvValue()) return 1;
    if (!m_bPlaying && m_nBlocksWritten >= 2) {
        m_pSoundBuffer->Play(0, 0, plat::DSBPLAY_LOOPING);
        m_bPlaying = true;
    }
    bytes &= ~1u;
    DWORD play = 0, cursor = 0;
    m_pSoundBuffer->GetCurrentPosition(&play, &cursor);
    if (cursor > kBufferBytes) cursor = 0;
    if (!IsInWriteWindow(cursor, m_nWriteOffset, bytes))
        m_nWriteOffset = WrapBufferOffset(cursor + 2 * bytes, kBufferBytes);
    // A block longer than a third of the buffer gives a window past the end.
    if (m_nWriteOffset >= kBufferBytes) m_nWriteOffset %= kBufferBytes;

    bool locked = false;
    const bool unlocked = CopyBlock(reinterpret_cast<const std::uint8_t*>(data), bytes, &locked);
    if (!locked) {
        ++m_nErrorCount;
        hcy::Library().SetError("Too many buffer errors");
        return 0;
    }
    m_nWriteOffset = WrapBufferOffset(m_nWriteOffset + bytes, kBufferBytes);
    const std::uint32_t rate = LibraryRate();
    ClearRegionLocked(m_nWriteOffset, 3 * rate > kBufferBytes ? kBufferBytes - bytes : 2 * rate);
    ++m_nBlocksWritten;
    m_nErrorCount = 0;
    return unlocked ? 1 : 0;
}

int COutputBufferDX3::Stop() {
    std::lock_guard lock(m_mutex);
    if (!m_pSoundBuffer) return 0;
    ClearRegionLocked(0, kBufferBytes);
    m_pSoundBuffer->Stop();
    m_bPlaying = false;
    m_nBlocksWritten = 0;
    return 1;
}

// ---------------------------------------------------------------------------
// COutputBufferMulti

bool COutputBufferMulti::SetChannelCount(unsigned channels) {
    if (channels < 1 || channels > kMaxChannels) return false;
    std::lock_guard lock(m_mutex);
    if (m_pSoundBuffer) return channels == m_nChannels;  // made already: fixed
    m_nChannels = channels;
    return true;
}

unsigned COutputBufferMulti::GetChannelCount() const {
    std::lock_guard lock(m_mutex);
    return m_nChannels;
}

int COutputBufferMulti::CreateMulti(const plat::LPDIRECTSOUND& ds, std::uint32_t channelMask) {
    std::lock_guard lock(m_mutex);
    plat::WAVEFORMATEXTENSIBLE format;
    format.Format = PcmFormat(m_nChannels);
    format.Format.wFormatTag = plat::WAVE_FORMAT_EXTENSIBLE;
    format.Format.cbSize = 22;
    format.wValidBitsPerSample = 16;
    format.dwChannelMask = channelMask;
    format.SubFormat = plat::KSDATAFORMAT_SUBTYPE_PCM;
    const bool fresh = !m_pSoundBuffer;
    if (!MakeSoundBuffer(ds, &format.Format, m_nChannels * kBufferBytes, kMultiFlags)) return 0;
    if (fresh) m_nBufferSize = m_nChannels * kBufferBytes;
    m_nFrameChannels = m_nChannels;
    StartLooping();
    return 1;
}

int COutputBufferMulti::Write(const std::int16_t* data, std::uint32_t bytes) {
    std::lock_guard lock(m_mutex);
    if (!m_pSoundBuffer) {
        ++m_nErrorCount;
        return 0;
    }
    return StreamBlock(data, bytes - bytes % (2 * m_nChannels));
}
