#pragma once
// The speech device: the data device of type DATADEV_TYPE_SPEECH, a
// synthetic operator for its radios.
//
//   text (host, at most 64 KiB) --PostData: synthesis on the host's thread-->
//     HcyTTS<h>_<n>-<8 hex digits>.wav
//     (8 kHz, 16-bit mono) --read back, checked--> playout buffer; radios keyed
//     --one-shot timers: 5 ms, then a capture block's time--> DeliverCapture
//     --last chunk--> radios unkeyed
//   heard audio (Signal worker) --ReceiveAudio: copy--> worker
//     --> <folder>HcySTT<h>_<radio>-<8 hex digits>.wav, one file per radio,
//         rewritten for each transmission
// The files are made new by the device (the hex digits chosen so that the
// name was free), so hosts sharing a folder never touch each other's; they
// stay after the device closes.
//   end of a heard transmission --OnReceiveEnd--> worker --> dictation
//     --> result text, read by the host (DEVDATA_SPEECH_RESULT_READY, _TEXT)
//
// Recording and dictation run on the device's worker, so that neither the
// Signal worker nor the Transmitter worker waits for a file or a recogniser;
// the gain notices still reach the host's notify callback there (the audio
// callback is not called: the device keeps the audio). The recognition
// folder is the platform's (plat::SpeechRecognitionFolder: configurable,
// the working directory by default); text is UTF-8.
//
// Exclusion: the playout mutex over the playout buffer, its position and
// its pending timer, taken before the device's mutex (the playout keys and
// unkeys under it); a leaf mutex over the voice settings and the result;
// the recordings belong to the worker.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "media/data_device.h"
#include "wav/wav_file.h"

class CSapiDevice final : public CDataDevice {
public:
    CSapiDevice(int type, HostAudioProc audio, HostNotifyProc notify);
    ~CSapiDevice() override;

    // Sets the stream number to 1 and starts the worker.
    int Start() override;
    // Speaks the text (UTF-8, up to its first NUL or `byteCount` bytes) into
    // the speech file on the caller's thread, then plays the file out into
    // the radios; a playout still running is stopped first. The outcome is
    // read through DEVDATA_SPEAK_FAILED and DEVDATA_VOICE_NOT_FOUND: 1.
    int PostData(void* data, int byteCount) override;

    // Keys or unkeys the radios and interphones; the sample rate stays the
    // speech file's.
    int SetPTT(int on, int channel) override;
    // Stops the playout, then closes as a data device does.
    void Close() override;

    int SetDeviceData(int code, void* value) override;
    int GetDeviceData(int code, void* out) override;

    // Heard audio is recorded for dictation, not handed to the host.
    int ReceiveAudio(int radioUserId, const CReceive* record, const std::int16_t* samples,
                     std::uint32_t bytes, std::uint32_t sampleRate) override;
    // The radio's transmission ended: its recording is transcribed.
    int OnReceiveEnd(int radioUserId) override;
    // Stations' audio is not recorded: a station tells no end of what it
    // says, so nothing would ever close its recording or transcribe it.
    int ReceiveStationAudio(int, const CReceive*, const std::int16_t*, std::uint32_t,
                            std::uint32_t) override {
        return 1;
    }

    // Texts longer than this are refused (speak failed) [bytes].
    static constexpr std::size_t kMaxTextBytes = 64 * 1024;

    // The speech file's path (request mutex held) and a radio's recording
    // path (worker): made on first use, "" with the last error set when the
    // folder takes no new file.
    std::string SpeechFilePath();
    std::string RecordingPath(int radioUserId);

protected:
    bool HandleMessage(const plat::MSG& msg) override;

private:
    using Samples = std::vector<std::int16_t>;

    // One radio's recording of the transmission it hears.
    struct Recording {
        CWavFile file;
        std::string path;
        std::uint32_t rate = 0;  // [Hz] of the first block
    };

    // Synthesises the text into the speech file (voice flags set).
    void Synthesize(const std::string& text);
    // Reads the speech file back: its samples and byte rate, or false (speak
    // failed) when it cannot be read or is not 16-bit mono PCM.
    bool ReadSpeechFile(Samples& samples, std::uint32_t& rate);
    // Ends the playout chain (waiting for a chunk in delivery); unkeys the
    // radios when it stopped one that was running and `unkey` is set.
    void StopPlayout(bool unkey);
    // The playout's next one-shot timer: its id, or 0.
    plat::UINT StartPlayoutTimer(plat::UINT delayMs, plat::UINT resolutionMs);
    void OnPlayoutTimer(plat::UINT timerId);

    // Worker: recording and dictation.
    void Record(const Received& block);
    void Transcribe(int radioUserId);
    void Dictate(const std::string& path, std::uint32_t rate);

    // Host requests one at a time (synthesis and the start of its playout).
    std::mutex m_requestMutex;
    std::string m_strSpeechFile;  // request mutex
    std::uint32_t m_nSpeechFileStream = 0;

    std::mutex m_playoutMutex;
    std::shared_ptr<const Samples> m_playout;  // shared with a chunk in delivery
    std::uint32_t m_nPlayoutPosition = 0;      // [bytes]
    std::uint32_t m_nByteRate = 0;             // [bytes/s] of the speech file
    plat::UINT m_nPlayoutTimer = 0;            // the pending one-shot, 0: none

    mutable std::mutex m_stateMutex;  // leaf
    std::uint32_t m_nStreamNumber = 0;
    std::string m_strVoiceName;  // "": the default voice
    bool m_bXml = false;
    bool m_bVoiceNotFound = false;
    bool m_bSpeakFailed = false;
    bool m_bResultReady = false;
    std::string m_strResult;

    std::map<int, std::unique_ptr<Recording>> m_recordings;  // worker only
    std::map<int, std::string> m_recordingPaths;             // worker only
};
