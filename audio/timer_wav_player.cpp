#include "audio/timer_wav_player.h"

#include <algorithm>
#include <limits>

#include "audio/device.h"
#include "audio/output_buffer.h"
#include "base/library.h"
#include "base/thread_kinds.h"
#include "hcyplat/thread_boundary.h"
#include "hcyplat/timer.h"
#include "wav/wav_format.h"

using namespace hcy::media;

CTimerWavPlayer::CTimerWavPlayer() = default;

CTimerWavPlayer::~CTimerWavPlayer() {
    Stop();
    // The timer's thread may still close the file and notify after its own
    // stop at the end of the file: the player goes once it is done.
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ownStop.AwaitOwnStop(lock);
}

void CTimerWavPlayer::MixToMono(const std::int16_t* stereo, std::uint32_t frames,
                                std::int16_t* mono) {
    for (std::uint32_t i = 0; i < frames; ++i)
        mono[i] = static_cast<std::int16_t>(stereo[2 * i] / 2 + stereo[2 * i + 1] / 2);
}

// ---------------------------------------------------------------------------
// Settings

int CTimerWavPlayer::SetOutput(const plat::LPDIRECTSOUND& ds, float volume, int channel) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_pOutputBuffer) {
        m_pOutputBuffer = std::make_unique<COutputBuffer>();
        m_pOutputBuffer->Create(ds);
        m_pOutputBuffer->SetReceive(nullptr);
    }
    m_pOutputBuffer->SetVolume(volume);
    m_pOutputBuffer->SetChannel(channel);
    return 1;
}

void CTimerWavPlayer::SetLoop(bool loop) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bLoop = loop;
}

void CTimerWavPlayer::SetNotify(bool notify) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bNotify = notify;
}

void CTimerWavPlayer::SetOwner(CDevice* owner) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pOwner = owner;
}

void CTimerWavPlayer::SetSink(CWavPlayerSink* sink) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pSink = sink;
}

std::uint32_t CTimerWavPlayer::GetChunkSize() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nChunkSize;
}

std::uint32_t CTimerWavPlayer::GetPeriodMs() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nPeriodMs;
}

COutputBuffer* CTimerWavPlayer::GetOutputBuffer() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pOutputBuffer.get();
}

// ---------------------------------------------------------------------------
// Play and Stop

int CTimerWavPlayer::Refuse(const char* reason) {
    hcy::Library().SetErrorf("Could not play %s: %s.", m_strPath.c_str(), reason);
    m_file.Close();
    return 0;
}

int CTimerWavPlayer::Play(const char* path, int startSeconds) {
    if (!path) return 0;
    std::unique_lock<std::mutex> lock(m_mutex);
    // A playing player stops first; a stop under way on another thread
    // finishes first.
    for (;;) {
        m_idle.wait(lock, [&] { return m_state.load() != State::Stopping; });
        if (m_state.load() == State::Idle) break;
        lock.unlock();
        Stop();
        lock.lock();
    }

    // Read-only: nothing writes the file, and a read-only file plays.
    m_strPath = path;
    plat::FileException error;
    if (!m_file.Open(m_strPath, plat::File::modeRead, &error)) {
        std::string text = error.GetErrorMessage();
        text.resize(std::min<std::size_t>(text.size(), 1024));
        hcy::Library().SetErrorf("Error %d: Could not open %s: %s", error.m_cause, path,
                                 text.c_str());
        return 0;
    }

    PlayHeader header;
    if (const char* reason =
            ReadPlayHeader(m_file, PlayableCodings::Pcm16, ~std::uint64_t{0}, &header))
        return Refuse(reason);
    const std::uint16_t channels = header.format.channels;
    const std::uint32_t rate = header.format.rate;
    const std::uint32_t byteRate = header.format.byteRate;

    // Whole frames of what the file really holds.
    const std::uint32_t frame = 2u * channels;  // [bytes]
    const std::uint64_t held = header.dataSize - header.dataSize % frame;
    const std::uint64_t skip =
        std::uint64_t{byteRate} * static_cast<std::uint64_t>(std::max(startSeconds, 0));
    const std::uint64_t first = header.dataStart;
    m_cursor = {first, first + held, first + std::min(held, skip - skip % frame)};

    m_nChannels = channels;
    m_nSampleRate = rate;
    m_nByteRate = byteRate;
    if (m_pOutputBuffer) m_pOutputBuffer->SetFrequency(rate);

    std::uint32_t chunk = hcy::Library().m_nCaptureSize.load() * (channels == 1 ? 1u : 2u);
    chunk = std::max(chunk - chunk % frame, frame);
    m_nChunkSize = chunk;
    if (m_chunk.size() != chunk / 2) m_chunk.assign(chunk / 2, 0);
    if (channels == 2) m_mono.assign(chunk / 4, 0);

    const std::uint64_t period = std::uint64_t{chunk} * 1000 / byteRate;  // [ms]
    if (period == 0 || period > std::numeric_limits<std::uint32_t>::max())
        return Refuse("its byte rate gives no timer period");
    m_nPeriodMs = static_cast<std::uint32_t>(period);
    // The callback waits for this mutex, so it sees the id stored.
    const unsigned timer = plat::timeSetMemberEvent<CTimerWavPlayer, &CTimerWavPlayer::OnTimer,
                                                    hcy::boundary::kWavPlayer>(
        m_nPeriodMs, kTimerResolutionMs, this, plat::TIME_PERIODIC);
    if (timer == 0) return Refuse("no timer could be started for it");
    m_nTimerId = timer;
    m_state = State::Playing;
    return 1;
}

int CTimerWavPlayer::Stop() {
    unsigned timer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_state.load() != State::Playing) return 1;
        m_state = State::Stopping;
        timer = m_nTimerId.exchange(0);
    }
    // Waits for a chunk in delivery, unless this is the timer's own thread.
    if (timer) plat::timeKillEvent(timer);
    bool notify;
    CDevice* owner;
    CWavPlayerSink* sink;
    COutputBuffer* output;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_file.Close();
        notify = m_bNotify;
        owner = m_pOwner;
        sink = m_pSink;
        output = m_pOutputBuffer.get();
        m_state = State::Idle;
        m_idle.notify_all();
    }
    // The notices may start this player again.
    if (notify) {
        if (owner) {
            if (output) output->Stop();
            owner->OnWavPlayerDone(this);
        }
        if (sink) sink->StopLocalSource();
    }
    return 1;
}

// ---------------------------------------------------------------------------
// The timer

void CTimerWavPlayer::OnTimer(unsigned timerId) {
    std::uint32_t bytes;
    bool ended = false;
    const std::int16_t* samples = m_chunk.data();
    CWavPlayerSink* sink;
    COutputBuffer* output;
    std::uint32_t rate;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (timerId != m_nTimerId.load() || m_state.load() != State::Playing) return;
        bytes = ReadChunk(&ended);
        const std::uint32_t frame = 2u * m_nChannels;
        bytes -= bytes % frame;  // a file cut short mid-frame
        if (m_nChannels == 2) {
            MixToMono(m_chunk.data(), bytes / 4, m_mono.data());
            samples = m_mono.data();
            bytes /= 2;
        }
        sink = m_pSink;
        output = m_pOutputBuffer.get();
        rate = m_nSampleRate;
        if (ended) m_ownStop.MarkOwnStop();
    }
    if (ended) {
        m_ownStop.RunOwnStop([this] { Stop(); });
        return;
    }
    if (bytes == 0) return;
    if (sink)
        sink->WriteLocalSource(samples, bytes, rate);
    else if (output)
        output->Write(samples, bytes);
}

std::uint32_t CTimerWavPlayer::ReadChunk(bool* ended) {
    return ReadSampleChunk(m_file, m_cursor, m_bLoop,
                           reinterpret_cast<std::uint8_t*>(m_chunk.data()), m_nChunkSize, ended);
}
