#pragma once
// CMmiRecDevice: the record device. It records a sound card's wave input
// straight to a WAV file, as 16-bit PCM or coded with one of the voice
// codecs, mono or stereo; it keeps no transmit list and feeds no radio.
//
//   wave input --> capture thread, blocks of 32768 bytes (1.024 s of 16 kHz
//     mono) --> DeliverCapture, while recording:
//       mono    the block through the left channel's coder
//       stereo  the frames split, each channel through a coder of its own,
//               the two coded streams interleaved in units of 2 bytes
//     --> CWavFile::WriteSamples (its writer thread appends the bytes and
//         keeps both sizes of the 44-byte header right after every block)
//
// Coder by codec choice (hcyOpenRecordDeviceEx) and the file's format tag:
//   1 mu-law (7), 2 IBM CVSD, MSB first (5), 3 IMA ADPCM (2), any other PCM (1);
//   file byte rate = capture byte rate / compression ratio (2, 16, 4, 1).
//
// Nothing captured between start and stop is lost: a stop hands the input's
// partly filled block to the capture thread too, waits until the capture
// thread has written every block, and only then closes the file. Appending
// is only to a canonical file of the device's own format.
//
// Exclusion: m_controlMutex orders the host's operations (open, start, stop,
// mode, close; never taken by the capture thread); the device's mutex
// starts and stops the capture, as the engine needs; m_recordMutex covers
// the file, the coders and the format while the capture thread writes a
// block. Order: control, device, record.
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "audio/device.h"
#include "audio/wave_in_capture.h"
#include "codecs/codec.h"
#include "hcyplat/mmsystem.h"
#include "wav/wav_file.h"
#include "wav/wav_format.h"

class CMmiRecDevice final : public CDevice {
public:
    static constexpr std::uint32_t kCaptureBlockBytes = 32768;
    // Record mode of a mono recording; every other value records stereo.
    static constexpr int kMonoMode = 12;

    CMmiRecDevice();
    ~CMmiRecDevice() override;  // stops a recording and closes the input

    Kind GetKind() const override { return Kind::Record; }

    // hcyOpenRecordDevice: 16-bit PCM at the library's sample rate, 1
    // channel in mono mode, else 2. Errors as every wave input's.
    int Open(plat::UINT waveInId);
    // hcyOpenRecordDeviceEx: as Open, at the rate and bits of the format
    // source when one is given (read now, never again), coded by the codec
    // choice; also opens the input's mixer. Errors name the device id.
    int OpenWithCodec(plat::UINT waveInId, int codec, plat::LPDIRECTSOUNDBUFFER formatSource);

    // A recording already running is stopped first.
    int StartRecord(const char* path, int append) override;
    // A new mode stops a recording (it stays stopped) and reopens the input
    // with the channels of the mode.
    int SetRecordMode(int mode) override;
    // While recording: the file's length [whole seconds] at the file's byte
    // rate, header and appended data included; 0 otherwise.
    int GetCurrentPosn() override;
    // 1 when not recording; else 0 only when the input refused the reset.
    int StopRecord() override;
    void Close() override;
    void DeliverCapture(const std::int16_t* block, std::uint32_t bytes) override;

    // Returns once the capture thread has handled (written and queued
    // again) every block the input has handed back so far: tests on the
    // manual clock wait with it before they advance further.
    void WaitForDeliveries();

    // State for tests and the host program.
    hcy::media::WavFormat GetFileFormat() const;
    std::uint64_t GetBytesWritten() const { return m_nBytesWritten.load(); }
    bool IsRecording() const { return m_bRecording.load(); }
    bool IsInputOpen() const;
    bool IsCaptureThreadRunning() const;
    bool IsCapturing() const override;
    bool IsMixerOpen() const;

private:
    using Control = std::lock_guard<std::mutex>;

    // The control mutex held for all below.
    bool OpenInput(plat::UINT waveInId, plat::MMRESULT* result);
    int OpenWithCodecLocked(plat::UINT waveInId, int codec);
    // The file's format for the current tag, mode and capture format.
    void UpdateFileFormat();
    // False with the reason (the system's words where it gave some).
    bool OpenFile(const char* path, bool append, std::string* reason);
    bool StartCaptureLocked();
    int StopLocked();
    bool CloseInputLocked();
    void CloseMixer();

    // Codes `bytes` of captured frames into m_coded (record mutex held);
    // the coded byte count.
    std::size_t Encode(const std::int16_t* block, std::uint32_t bytes);

    mutable std::mutex m_controlMutex;
    std::unique_ptr<CWaveInCapture> m_pCapture;  // control mutex (and the device's to change)
    plat::HMIXER m_hMixer = 0;                   // control mutex
    int m_nRecordMode = kMonoMode;               // control mutex
    bool m_bFormatFromSource = false;            // the format source's rate and bits apply
    std::uint32_t m_nSourceRate = 0, m_nSourceBits = 0;

    mutable std::mutex m_recordMutex;
    std::atomic<bool> m_bRecording{false};
    hcy::media::WavFormat m_fileFormat;  // record mutex (the header template)
    std::string m_strPath;
    CWavFile m_file;
    std::atomic<std::uint64_t> m_nBytesWritten{0};  // data bytes, appended ones included
    hcy::CodecSet m_leftCoder, m_rightCoder;        // one coder state per channel
    std::vector<std::int16_t> m_leftIn, m_rightIn;
    std::vector<std::uint8_t> m_leftOut, m_rightOut, m_coded;
};
