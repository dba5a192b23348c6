#pragma once
// CWavRecordRadioModel (model code 1106): a radio that transmits nothing. It
// records what devices hand it for transmission into one WAV file (16-bit
// mono PCM), each source on a track of its own, the tracks placed on one
// time line and mixed into the file every 20 heartbeats and at the stop.
//
//   TransmitAudio (capture threads, data devices; any source word)
//     --> the source's track: the block continues the track when its end
//         is within 100 ms of the clock, else its end goes to the clock;
//         nothing already on the track is overwritten
//   Heartbeat (update tick), every 20th while recording; RD_WAV_RECORD_STOP
//     --> the tracks taken out, mixed with saturation --> CWavFile (writer
//         thread): the file never waits for the disk on a caller's thread
//
// Time line: samples counted from the start of the recording at the file's
// rate, samplesPerMs = byte rate / 2000; `base` samples of it are in the
// file, the tracks hold what follows. A periodic write takes the span every
// source has passed (the clock, or the end of a source that is still
// talking, whichever is earlier) and leaves the rest on the tracks, so that
// no sample is lost or doubled across it; the stop writes everything.
//
// Radio data: RD_WAV_RECORD_FILE (text: at most 259 bytes before its NUL,
// a longer name is refused), then RD_WAV_RECORD_START (int32: 2 appends to
// a 16-bit mono PCM file at the library's rate, else a new file),
// RD_WAV_RECORD_STOP (0 when a write failed: the file ends at the last
// whole block), RD_WAV_RECORD_LENGTH [ms] and RD_WAV_RECORDING (u32).
// SetPTT only makes its source's next block go by the clock.
//
// Exclusion: m_fileMutex orders start, stop, the periodic write and the
// file name (host thread, update tick); m_trackMutex covers the tracks and
// the time line and is held by TransmitAudio for one block, by a write only
// to take the tracks out. Order: file, track.
#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "radio/radio_model.h"
#include "wav/wav_file.h"

class CWavRecordRadioModel final : public CRadioModel {
public:
    static constexpr std::uint32_t kWriteHeartbeats = 20;
    static constexpr std::int64_t kResyncMs = 100;  // a block this far off the clock moves
    static constexpr std::size_t kMaxFileNameBytes = 260;
    static constexpr std::int64_t kMixChunkSamples = 1 << 16;  // per WriteSamples

    CWavRecordRadioModel() = default;
    ~CWavRecordRadioModel() override;  // writes what is pending

    int SetPTT(int on, std::uint32_t source) override;
    void TransmitAudio(const std::int16_t* samples, std::uint32_t byteCount,
                       std::uint32_t sampleRate, std::uint32_t source) override;
    int Heartbeat() override;
    int SetRadioData(int id, void* value) override;
    int GetRadioData(int id, void* out) override;
    // A recording still running is written out before the radio goes.
    void Shutdown() override;

    // Blocks taken onto tracks since creation (tests wait on it).
    std::uint64_t GetBlockCount() const { return m_nBlockCount.load(); }

private:
    struct Track {
        std::vector<std::int16_t> samples;  // from the time line's base on
        std::int64_t last = 0;              // index of the last sample written
    };

    // File mutex held for the four below.
    // Opens (mode 2: appends to) the file and gives the samples per ms of
    // its rate; false with the last error set.
    bool OpenRecordFile(std::int32_t mode, std::uint32_t* samplesPerMs);
    void StartRecording(std::int32_t mode);
    // False (last error set) when a write failed: the file ends before it.
    bool StopRecording();
    // Takes the span due out of the tracks, mixes it and posts it to the
    // file; the final write takes everything and ends the recording.
    void WriteTracks(bool final);

    // Samples of the time line from its base to `now` (track mutex held).
    std::int64_t Clock(plat::DWORD now) const;

    std::mutex m_fileMutex;
    std::string m_strFileName;
    CWavFile m_wavFile;
    std::uint32_t m_nRecordedMs = 0;         // in the file when not recording [ms]
    std::uint32_t m_nRecordedMsAtStart = 0;  // in the file when recording started [ms]
    std::atomic<std::uint32_t> m_nHeartbeatCount{0};

    mutable std::mutex m_trackMutex;
    std::atomic<bool> m_bRecording{false};
    std::uint32_t m_nSamplesPerMs = 16;
    plat::DWORD m_nClockOrigin = 0;           // timeGetTime at the start [ms]
    std::int64_t m_nBase = 0;                 // samples of the time line in the file
    std::map<std::uint32_t, Track> m_tracks;  // by source word, mixed in this order
    std::atomic<std::uint64_t> m_nBlockCount{0};
};
