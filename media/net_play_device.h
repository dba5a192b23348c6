#pragma once
// CNetPlayDevice: the playback device (audio/playback_device.h holds what
// it does for radios and the exports), on a periodic platform timer.
//
//   StartPlayback: header (fmt >= 16 bytes, "data" within 12 chunks)
//     --> tag (16-bit PCM, or mu-law, CVSD, ADPCM as the system records
//         them; any other is refused), channels (1 or 2), rate R, byte rate
//     --> 16-bit PCM with R >= 2 L (L the library rate): decimate by
//         r = R / L to q = R / r [Hz], 64-tap sinc at 0.4375 q
//     --> chunk = channels x capture block x r / compression ratio [bytes]
//         (a capture block per channel once decoded)
//     --> timer every chunk x 1000 / byte rate [ms], rounded up
//   tick: each chunk due by the clock, at the file's own rate (two at most
//     when the rounding or a late tick fell behind; a sender that runs fast
//     makes its listeners give up speech) (loop: wraps to the first sample)
//     --> decimation
//     --> DeliverCapture: one channel --> decoded to 16-bit --> radios
//
// States: idle -> starting (file read, radios keyed) -> playing (timer
// running) -> stopping (timer killed, radios unkeyed, file closed) -> idle,
// then the radios' end notices. A start waits for a start or stop under
// way on another thread, and stops a running playback first; Close and the
// destructor also wait for the timer's own stop at the end of the file to
// finish its notices.
//
// Exclusion: m_playMutex over the file, the position and the format; the
// timer callback holds it while it reads (and decimates) a chunk and
// delivers after letting go. It is never held while the device's mutex is
// taken (keying, delivery), so a radio's notice, which comes with the
// device's mutex held, may start the device again. The transmit lists are
// the base's, under the device's mutex.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/playback_device.h"
#include "audio/timer_self_stop.h"
#include "codecs/codec.h"
#include "hcyplat/file.h"
#include "radio/playback_devices.h"
#include "wav/wav_format.h"

class CNetPlayDevice final : public CPlaybackDevice {
public:
    static constexpr std::uint32_t kInitialChunkBytes = 512;
    static constexpr int kDefaultPlaybackChannel = 8;  // left
    static constexpr unsigned kTimerResolutionMs = 2;
    static constexpr int kTaps = 64;
    // Chunks above this are refused rather than allocated [bytes].
    static constexpr std::uint64_t kMaxChunkBytes = 8u << 20;

    CNetPlayDevice();
    ~CNetPlayDevice() override;  // stops first

    // Device slots.
    int SetPlaybackChan(int channel) override;
    int StartPlayback(const char* path, int startSeconds) override;
    int SetNewPlayPosn(int seconds) override;
    int GetCurrentPosn() override;
    int StopPlayback() override;
    void DeliverCapture(const std::int16_t* block, std::uint32_t bytes) override;
    void Close() override;

    // Own operations (audio/playback_device.h).
    int AddTransmitPath(CRadioModel* radio) override;
    int RemoveTransmitPath(CRadioModel* radio) override;
    int KeyTransmitPaths(int on) override;
    void SetKeyPaths(bool on) override { m_bKeyPaths = on; }
    void SetNotifyRadios(bool on) override { m_bNotifyRadios = on; }
    void SetLoop(bool on) override { m_bLoop = on; }
    bool IsPlaying() const override { return m_state.load() != State::Idle; }

    // For tests: the current (or last) file's chunk size [bytes], timer
    // period [ms], decimation factor and tap m of its filter (k = m - 32).
    std::uint32_t GetChunkSize() const;
    std::uint32_t GetPeriodMs() const;
    std::uint32_t GetDecimation() const;
    double GetDecimationTap(int m) const;

private:
    enum class State { Idle, Starting, Playing, Stopping };

    // Opens and reads the file and sets the format, position, chunk and
    // period up (playMutex held); false with the file closed.
    bool OpenFile(const char* path, int startSeconds);
    void DesignFilter(double cutoff);
    void OnTimer(unsigned timerId);
    bool ChunkDue() const;  // playMutex held
    // Stops, then waits while the timer's thread still unkeys and notifies
    // the radios after it stopped at the end of the file: the device and
    // its radios may go once it returns.
    void StopAndWait();
    std::uint32_t ReadChunk(bool* ended);     // playMutex held
    std::uint32_t Decimate(std::uint32_t n);  // playMutex held
    void NotifyRadios();
    // The refusal message, the file closed, false (playMutex held).
    bool Refuse(const char* reason);

    mutable std::mutex m_playMutex;
    std::condition_variable m_idle;  // a stop under way has finished
    std::atomic<State> m_state{State::Idle};
    CTimerSelfStop m_ownStop{m_playMutex, m_idle};
    std::atomic<unsigned> m_nTimerId{0};
    std::atomic<int> m_nPlaybackChan{kDefaultPlaybackChannel};
    std::atomic<bool> m_bKeyPaths{true};
    std::atomic<bool> m_bNotifyRadios{false};
    std::atomic<bool> m_bLoop{false};

    // The file being played (playMutex).
    std::string m_strPath;
    plat::File m_file;
    std::uint16_t m_nFormatTag = 0;
    std::uint16_t m_nChannels = 1;
    std::uint32_t m_nByteRate = 0;                    // [bytes/s]
    std::uint32_t m_nChunkSize = kInitialChunkBytes;  // [bytes]
    std::uint32_t m_nPeriodMs = 0;
    // Real-time pacing: chunk n (from 1) is due n chunk lengths after the
    // start, whatever the whole-millisecond timer period.
    std::uint32_t m_nStartMs = 0;       // timeGetTime at the start [ms]
    std::uint64_t m_nChunksSent = 0;    // chunks read since the start
    hcy::media::SampleCursor m_cursor;  // the samples: data start to end
    std::uint32_t m_nDecimation = 1;
    double m_taps[kTaps] = {};
    std::vector<std::int16_t> m_chunk;      // one chunk of file bytes
    std::vector<std::int16_t> m_decimated;  // scratch of Decimate

    // Delivery scratch and decoder state: the timer callback's alone.
    std::vector<std::uint8_t> m_reduced;
    std::vector<std::int16_t> m_decoded;
    hcy::CodecSet m_codecs;
    hcy::CodecStreamState m_stream;
};

// The playback devices radios make for their preambles and tones.
class CNetPlayDevices final : public hcy::radio::PlaybackDevices {
public:
    std::shared_ptr<CPlaybackDevice> Make() const override {
        return std::make_shared<CNetPlayDevice>();
    }
};
