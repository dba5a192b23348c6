#pragma once
// CTimerWavPlayer: the WAV player of devices and radio prompts on a
// periodic platform timer (audio/wav_player.h holds what it does for them).
//
//   Play: header (16-bit PCM, mono or stereo; "data" found as the playback
//     device finds it, any other coding refused with a message)
//     --> end = min(data start + data size, file length), whole frames
//     --> chunk = capture block [bytes] x (2 for stereo)
//     --> timer every chunk x 1000 / byte rate [ms]
//   tick: chunk from the file (loop: wraps to the data start, as often as the
//     chunk needs) --> [stereo: l/2 + r/2] --> output buffer or sink
//   end of data without loop --> Stop (on the timer thread)
//
// States: idle -> playing (Play) -> stopping (Stop: timer killed, file
// closed, notices) -> idle. A stopping player is not reused. The destructor
// waits for the timer's own stop at the end of the file to finish its
// notices.
//
// Exclusion: one mutex over the file, the position and the settings; the
// timer callback holds it while it reads a chunk and delivers after letting
// go (the chunk is the callback's alone: Play and Stop touch it only once
// the timer is gone). Stop takes the mutex only to change state and to
// close the file, never while it waits for the timer, so Stop on the timer
// thread and Stop elsewhere meet safely; Play waits for a stop under way on
// another thread to finish.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/timer_self_stop.h"
#include "audio/wav_player.h"
#include "hcyplat/file.h"
#include "wav/wav_format.h"

class COutputBuffer;

class CTimerWavPlayer final : public CWavPlayer {
public:
    static constexpr std::uint32_t kInitialChunkBytes = 512;
    static constexpr unsigned kTimerResolutionMs = 2;

    CTimerWavPlayer();
    ~CTimerWavPlayer() override;  // stops first

    int Play(const char* path, int startSeconds) override;
    int Stop() override;
    bool IsPlaying() const override { return m_state.load() != State::Idle; }
    bool IsPlayingFor(const CReceive* record) const override {
        return m_state.load() == State::Playing && m_pTransmitter.load() == record;
    }

    int SetOutput(const plat::LPDIRECTSOUND& ds, float volume, int channel) override;
    void SetLoop(bool loop) override;
    void SetNotify(bool notify) override;
    void SetOwner(CDevice* owner) override;
    void SetSink(CWavPlayerSink* sink) override;
    void SetTransmitter(const CReceive* record) override { m_pTransmitter = record; }

    // For tests: the chunk size [bytes] and the timer period [ms] of the
    // current (or last) file, and its output buffer (null until SetOutput).
    std::uint32_t GetChunkSize() const;
    std::uint32_t GetPeriodMs() const;
    COutputBuffer* GetOutputBuffer() const;

    // Stereo frames to mono samples: l/2 + r/2, each half truncated toward
    // zero (the sum cannot overflow). Reads `frames` frames.
    static void MixToMono(const std::int16_t* stereo, std::uint32_t frames, std::int16_t* mono);

private:
    enum class State { Idle, Playing, Stopping };

    void OnTimer(unsigned timerId);
    // Reads the next chunk into m_chunk (mutex held): the byte count, and
    // whether the data has ended (no loop).
    std::uint32_t ReadChunk(bool* ended);
    // Refuses the file being opened (mutex held): the message, the file
    // closed, 0.
    int Refuse(const char* reason);

    mutable std::mutex m_mutex;
    std::condition_variable m_idle;  // a stop under way has finished
    std::atomic<State> m_state{State::Idle};
    CTimerSelfStop m_ownStop{m_mutex, m_idle};
    std::atomic<unsigned> m_nTimerId{0};
    std::vector<std::int16_t> m_chunk;
    std::vector<std::int16_t> m_mono;  // the mix of a stereo chunk
    std::uint16_t m_nChannels = 1;
    std::uint32_t m_nChunkSize = kInitialChunkBytes;  // [bytes]
    std::uint32_t m_nSampleRate = 0;                  // [Hz]
    std::uint32_t m_nByteRate = 0;                    // [bytes/s]
    std::uint32_t m_nPeriodMs = 0;
    std::string m_strPath;
    plat::File m_file;
    hcy::media::SampleCursor m_cursor;  // the samples: data start to the end position
    bool m_bNotify = false;
    bool m_bLoop = false;
    CWavPlayerSink* m_pSink = nullptr;
    CDevice* m_pOwner = nullptr;
    std::unique_ptr<COutputBuffer> m_pOutputBuffer;
    std::atomic<const CReceive*> m_pTransmitter{nullptr};
};
