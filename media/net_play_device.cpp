#include "media/net_play_device.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "base/library.h"
#include "base/thread_kinds.h"
#include "hcyplat/clock.h"
#include "hcyplat/thread_boundary.h"
#include "hcyplat/timer.h"
#include "radio/radio_model.h"
#include "wav/wav_format.h"

using namespace hcy::media;

namespace {

// Chunks skipped after "fmt " before a file is taken to have no "data".
constexpr std::uint64_t kMaxSkippedChunks = 11;

// The coder of a format tag the header check let through.
hcy::CodecKind CodecOfTag(std::uint16_t tag) {
    switch (tag) {
    case WAVE_FORMAT_ADPCM: return hcy::CodecKind::Adpcm;
    case WAVE_FORMAT_IBM_CVSD: return hcy::CodecKind::Cvsd;
    case WAVE_FORMAT_MULAW: return hcy::CodecKind::MuLaw;
    default: return hcy::CodecKind::Pcm;
    }
}

std::int16_t Saturate(double sum) {
    if (sum >= 32767.0) return 32767;
    if (sum <= -32768.0) return -32768;
    return static_cast<std::int16_t>(sum);  // truncates toward zero
}

}  // namespace

CNetPlayDevice::CNetPlayDevice() { m_nPTTState = 5; }

CNetPlayDevice::~CNetPlayDevice() { StopAndWait(); }

// ---------------------------------------------------------------------------
// Transmit paths and keying

int CNetPlayDevice::AddTransmitPath(CRadioModel* radio) {
    if (!radio) return 0;
    Lock lock(m_mutex);
    return AddOnce(m_arrRadioXmit, radio, "Transmit path already established for this device") ? 1
                                                                                               : 0;
}

int CNetPlayDevice::RemoveTransmitPath(CRadioModel* radio) {
    Lock lock(m_mutex);
    Unlist(m_arrRadioXmit, radio, [&](CRadioModel* r) { r->SetPTT(0, MonoSourceWord()); });
    return 1;
}

int CNetPlayDevice::KeyTransmitPaths(int on) {
    Lock lock(m_mutex);
    // The keyed flag also keys a radio wired through AddRadioXmitPath
    // while the file plays.
    m_bKeyed = on != 0;
    for (CRadioModel* radio : m_arrRadioXmit)
        if (radio) radio->SetPTT(on, MonoSourceWord());
    m_nPTTState = on ? 5 : 0;
    return 1;
}

void CNetPlayDevice::NotifyRadios() {
    Lock lock(m_mutex);
    // A radio may take itself off the list from its notice.
    const std::vector<CRadioModel*> radios = m_arrRadioXmit;
    for (CRadioModel* radio : radios) {
        if (!radio ||
            std::find(m_arrRadioXmit.begin(), m_arrRadioXmit.end(), radio) == m_arrRadioXmit.end())
            continue;
        radio->OnPlaybackDone(MonoSourceWord());
    }
}

// ---------------------------------------------------------------------------
// Settings and position

int CNetPlayDevice::SetPlaybackChan(int channel) {
    m_nPlaybackChan = channel;
    return channel;
}

int CNetPlayDevice::SetNewPlayPosn(int seconds) {
    std::lock_guard<std::mutex> lock(m_playMutex);
    if (m_state.load() != State::Playing) return 1;
    const std::uint64_t frame = 2u * m_nChannels;
    const std::uint64_t skip =
        std::uint64_t{m_nByteRate} * static_cast<std::uint64_t>(std::max(seconds, 0));
    m_cursor.position =
        m_cursor.first + std::min(m_cursor.end - m_cursor.first, skip - skip % frame);
    return 1;
}

int CNetPlayDevice::GetCurrentPosn() {
    std::lock_guard<std::mutex> lock(m_playMutex);
    if (m_state.load() != State::Playing || m_nByteRate == 0) return 0;
    return static_cast<int>(
        std::min<std::uint64_t>(m_cursor.position / m_nByteRate, std::numeric_limits<int>::max()));
}

std::uint32_t CNetPlayDevice::GetChunkSize() const {
    std::lock_guard<std::mutex> lock(m_playMutex);
    return m_nChunkSize;
}

std::uint32_t CNetPlayDevice::GetPeriodMs() const {
    std::lock_guard<std::mutex> lock(m_playMutex);
    return m_nPeriodMs;
}

std::uint32_t CNetPlayDevice::GetDecimation() const {
    std::lock_guard<std::mutex> lock(m_playMutex);
    return m_nDecimation;
}

double CNetPlayDevice::GetDecimationTap(int m) const {
    std::lock_guard<std::mutex> lock(m_playMutex);
    return m >= 0 && m < kTaps ? m_taps[m] : 0.0;
}

// ---------------------------------------------------------------------------
// Start and stop

bool CNetPlayDevice::Refuse(const char* reason) {
    hcy::Library().SetErrorf("Could not play %s: %s.", m_strPath.c_str(), reason);
    m_file.Close();
    return false;
}

void CNetPlayDevice::DesignFilter(double cutoff) {
    // h(0) = 2 fc, h(k) = 2 fc sin(2 pi k fc) / (2 pi k fc), no window.
    for (int k = -32; k < 32; ++k) {
        const double x = 2.0 * std::numbers::pi * k * cutoff;
        m_taps[k + 32] = k == 0 ? 2.0 * cutoff : 2.0 * cutoff * std::sin(x) / x;
    }
}

int CNetPlayDevice::StartPlayback(const char* path, int startSeconds) {
    if (!path) return 0;
    std::unique_lock<std::mutex> lock(m_playMutex);
    // A running playback's timer and file go first; a start or stop under
    // way on another thread finishes first.
    for (;;) {
        m_idle.wait(lock, [&] {
            const State s = m_state.load();
            return s == State::Idle || s == State::Playing;
        });
        if (m_state.load() == State::Idle) break;
        lock.unlock();
        StopPlayback();
        lock.lock();
    }
    if (!OpenFile(path, startSeconds)) return 0;
    m_state = State::Starting;
    lock.unlock();

    // Keying takes the device's mutex and the radios': never under ours.
    const bool key = m_bKeyPaths.load();
    if (key) KeyTransmitPaths(1);
    lock.lock();
    m_nStartMs = plat::timeGetTime();
    m_nChunksSent = 0;
    // The callback waits for this mutex, so it sees the id stored.
    const unsigned timer = plat::timeSetMemberEvent<CNetPlayDevice, &CNetPlayDevice::OnTimer,
                                                    hcy::boundary::kPlayback>(
        m_nPeriodMs, kTimerResolutionMs, this, plat::TIME_PERIODIC);
    if (timer != 0) {
        m_nTimerId = timer;
        m_state = State::Playing;
        m_idle.notify_all();
        return 1;
    }
    Refuse("no timer could be started for it");
    lock.unlock();
    if (key) KeyTransmitPaths(0);
    lock.lock();
    m_state = State::Idle;
    m_idle.notify_all();
    return 0;
}

bool CNetPlayDevice::OpenFile(const char* path, int startSeconds) {
    // Read-only: nothing writes the file, and a read-only file plays.
    m_strPath = path;
    plat::FileException error;
    if (!m_file.Open(m_strPath, plat::File::modeRead, &error)) {
        hcy::Library().SetErrorf("Error %d: Could not open file %s for playback.", error.m_cause,
                                 path);
        return false;
    }
    PlayHeader header;
    if (const char* reason =
            ReadPlayHeader(m_file, PlayableCodings::Pcm16AndRecorded, kMaxSkippedChunks, &header))
        return Refuse(reason);
    const WavFormat& h = header.format;
    m_nFormatTag = h.tag;
    m_nChannels = h.channels;
    m_nByteRate = h.byteRate;

    // Only 16-bit PCM is decimated: coded bytes are no samples to filter.
    const std::uint32_t library = hcy::Library().m_nDefaultSampleRate.load();
    std::uint32_t deviceRate = h.rate;
    m_nDecimation = 1;
    if (h.tag == WAVE_FORMAT_PCM && library > 0 && h.rate >= 2ull * library) {
        m_nDecimation = h.rate / library;
        deviceRate = h.rate / m_nDecimation;
        DesignFilter(0.4375 * deviceRate / h.rate);
    }
    m_nSampleRate = deviceRate;

    const std::uint64_t frame = 2u * h.channels;  // [bytes]
    const std::uint64_t held = header.dataSize - header.dataSize % frame;
    const std::uint64_t skip =
        std::uint64_t{h.byteRate} * static_cast<std::uint64_t>(std::max(startSeconds, 0));
    const std::uint64_t first = header.dataStart;
    m_cursor = {first, first + held, first + std::min(held, skip - skip % frame)};

    // A chunk decodes to one capture block per channel (before decimation),
    // so every coding leaves in the pieces a microphone would send.
    const hcy::CodecKind kind = CodecOfTag(h.tag);
    std::uint64_t chunk = std::uint64_t{h.channels} * hcy::Library().m_nCaptureSize.load() *
                          m_nDecimation / hcy::GetCompressionRatio(kind);
    chunk = std::max(chunk - chunk % frame, frame);
    if (chunk > kMaxChunkBytes) return Refuse("its chunks would be too large");
    // Whole milliseconds, rounded up so that every tick finds a chunk due;
    // the ticks that fall behind the file's time take two (ChunkDue).
    const std::uint64_t period = (chunk * 1000 + h.byteRate - 1) / h.byteRate;  // [ms]
    if (chunk * 1000 < h.byteRate || period > std::numeric_limits<std::uint32_t>::max())
        return Refuse("its byte rate gives no timer period");
    m_nPeriodMs = static_cast<std::uint32_t>(period);

    m_nChunkSize = static_cast<std::uint32_t>(chunk);
    if (m_chunk.size() != chunk / 2) m_chunk.assign(chunk / 2, 0);
    m_decimated.resize(chunk / 2 / m_nDecimation + 1);
    const std::size_t reduced = h.channels == 1 ? chunk : chunk / 2;
    m_reduced.resize(reduced);
    m_decoded.resize(reduced * hcy::GetCompressionRatio(kind) / 2 + 1);
    m_stream = {};
    return true;
}

int CNetPlayDevice::StopPlayback() {
    unsigned timer;
    {
        std::unique_lock<std::mutex> lock(m_playMutex);
        m_idle.wait(lock, [&] { return m_state.load() != State::Starting; });
        if (m_state.load() != State::Playing) return 1;
        m_state = State::Stopping;
        timer = m_nTimerId.exchange(0);
    }
    // Waits for a chunk in delivery, unless this is the timer's own thread.
    if (timer) plat::timeKillEvent(timer);
    if (m_bKeyPaths.load()) KeyTransmitPaths(0);
    {
        std::lock_guard<std::mutex> lock(m_playMutex);
        m_file.Close();
        m_state = State::Idle;
        m_idle.notify_all();
    }
    // The notices may start the device again.
    if (m_bNotifyRadios.load()) NotifyRadios();
    return 1;
}

void CNetPlayDevice::StopAndWait() {
    for (;;) {
        StopPlayback();
        std::unique_lock<std::mutex> lock(m_playMutex);
        // From the timer's own notice the stop is this thread's: no wait.
        if (!m_ownStop.AwaitOwnStop(lock)) return;
        // A notice may have started the device again.
        if (m_state.load() == State::Idle) return;
    }
}

void CNetPlayDevice::Close() {
    StopAndWait();
    CDevice::Close();
}

// ---------------------------------------------------------------------------
// The timer

bool CNetPlayDevice::ChunkDue() const {
    // Unsigned difference: the millisecond count may wrap.
    const std::uint64_t elapsed = static_cast<std::uint32_t>(plat::timeGetTime() - m_nStartMs);
    return (m_nChunksSent + 1) * m_nChunkSize * 1000 <= elapsed * m_nByteRate;
}

void CNetPlayDevice::OnTimer(unsigned timerId) {
    // The file goes out at its own rate: a listener's clock keeps pace with
    // it and gives up nothing. Two chunks at most per tick catch up a
    // period's rounding or a late tick.
    for (int i = 0; i < 2; ++i) {
        std::uint32_t bytes;
        bool ended = false;
        {
            std::lock_guard<std::mutex> lock(m_playMutex);
            if (timerId != m_nTimerId.load() || m_state.load() != State::Playing) return;
            if (!ChunkDue()) return;
            bytes = ReadChunk(&ended);
            ++m_nChunksSent;
            if (ended) m_ownStop.MarkOwnStop();
        }
        if (ended) {
            m_ownStop.RunOwnStop([this] { StopPlayback(); });
            return;
        }
        if (bytes > 0) DeliverCapture(m_chunk.data(), bytes);
    }
}

std::uint32_t CNetPlayDevice::ReadChunk(bool* ended) {
    std::uint32_t n =
        ReadSampleChunk(m_file, m_cursor, m_bLoop.load(),
                        reinterpret_cast<std::uint8_t*>(m_chunk.data()), m_nChunkSize, ended);
    n -= n % (2u * m_nChannels);  // a file cut short mid-frame
    return m_nDecimation >= 2 ? Decimate(n) : n;
}

std::uint32_t CNetPlayDevice::Decimate(std::uint32_t n) {
    const std::uint32_t c = m_nChannels, r = m_nDecimation;
    const std::int64_t inFrames = n / (2 * c);
    const std::uint32_t outFrames = (n / (2 * r)) / c;
    const std::int16_t* x = m_chunk.data();
    // Frames outside this chunk are left out of the sum: no history.
    for (std::uint32_t j = 0; j < outFrames; ++j) {
        const std::int64_t m = std::int64_t{r} * j;
        const std::int64_t lo = std::max<std::int64_t>(0, 32 - m);
        const std::int64_t hi = std::min<std::int64_t>(kTaps, inFrames - m + 32);
        double sum = 0.0;
        for (std::int64_t t = lo; t < hi; ++t) sum += m_taps[t] * x[(m - 32 + t) * c];
        m_decimated[j] = Saturate(sum);
    }
    // Every channel of an output frame gets the sample.
    for (std::uint32_t j = 0; j < outFrames; ++j)
        for (std::uint32_t k = 0; k < c; ++k) m_chunk[j * c + k] = m_decimated[j];
    return outFrames * c * 2;
}

void CNetPlayDevice::DeliverCapture(const std::int16_t* block, std::uint32_t bytes) {
    if (!block || bytes == 0) return;
    const auto* in = reinterpret_cast<const std::uint8_t*>(block);
    // One channel: 2 bytes of every 4-byte frame, the left pair for
    // channel 8, the right one otherwise.
    std::uint32_t n = bytes;
    const std::uint8_t* mono = in;
    if (m_nChannels != 1) {
        const std::uint32_t frames = bytes / 4;
        const std::uint32_t pick = m_nPlaybackChan.load() == 8 ? 0 : 2;
        if (m_reduced.size() < frames * 2u) m_reduced.resize(frames * 2u);
        for (std::uint32_t i = 0; i < frames; ++i) {
            m_reduced[2 * i] = in[4 * i + pick];
            m_reduced[2 * i + 1] = in[4 * i + pick + 1];
        }
        n = frames * 2;
        mono = m_reduced.data();
    }
    const hcy::CodecKind kind = CodecOfTag(m_nFormatTag);
    const std::size_t room = std::size_t{n} * hcy::GetCompressionRatio(kind) / 2;
    if (m_decoded.size() < room) m_decoded.resize(room);
    const std::size_t samples =
        m_codecs.Decode(kind, m_stream, {mono, n}, {m_decoded.data(), room});
    if (samples == 0) return;
    CDevice::DeliverCapture(m_decoded.data(), static_cast<std::uint32_t>(samples * 2));
}
