#pragma once
// The plain sound-card device: mono 16-bit capture through wave input and a
// DirectSound output on which receive paths and WAV players create their
// buffers.
//
//   wave-input callback (pumping thread) --WM_CAPTURE_*--> capture thread
//       --> DeliverCapture (voice-operated keying, then the base delivery)
//       --> the block goes back to the pool; while capturing, one new block
//           is queued for each one that came back
//
// Opening (application object): construct, SetHandle, output first
// (UseDirectSound, UseDirectSoundEx, CreateDirectSoundOutput or
// OpenOutputWithRate), then input (OpenInput or OpenInputWithRate). A
// failing step stores the last error and returns 0; the caller then drops
// the device. Closing: Close (WAV players, capture, output, input; every
// radio and interphone it keyed is unkeyed and both transmit lists empty).
//
// Threads: the host's (open, keying, settings, close), the wave-input
// callback (posts only), the capture thread (delivery and voice-operated
// keying). Queuing a block and stopping capture happen under the device
// mutex, so no block is queued after a stop; the capture thread ends by an
// explicit quit and is joined by CloseInput.
#include <cstdint>
#include <memory>
#include <vector>

#include "audio/device.h"
#include "hcyplat/mmsystem.h"
#include "hcyplat/thread.h"

class CAudioDevice : public CDevice {
public:
    CAudioDevice();
    ~CAudioDevice() override;

    Kind GetKind() const override { return Kind::Audio; }

    // Output. A host's object is used, never released by the device.
    int UseDirectSound(plat::LPDIRECTSOUND ds);
    // The host's primary buffer also sets the capture rate and bits.
    int UseDirectSoundEx(plat::LPDIRECTSOUND ds, plat::LPDIRECTSOUNDBUFFER primary);
    // device null: the default output. The primary buffer gets the library's
    // default sample rate.
    int CreateDirectSoundOutput(const plat::GUID* device);
    int OpenOutputWithRate(const plat::GUID* device, std::uint32_t rate);

    // Input: waveInId or WAVE_MAPPER; the rate and bits come from the
    // host's primary buffer or the library default (16 bits).
    int OpenInput(std::uint32_t waveInId);
    int OpenInputWithRate(std::uint32_t waveInId, std::uint32_t rate);

    // Closing.
    int ReleaseDirectSound();
    int CloseInput();
    void Close() override;

    int SetSidetoneVolume(float volume) override;
    int SetVoxEnable(int on) override;
    int SetVoxLevel(float level) override;
    int SetPTT(int on, int channel) override;
    int SetCaptureHold(int on, int channel) override;
    void DeliverCapture(const std::int16_t* block, std::uint32_t bytes) override;
    plat::LPDIRECTSOUND GetDirectSound() const override { return DirectSoundObject(); }

    // State for the host program and tests.
    bool IsInputOpen() const;
    bool IsCaptureThreadRunning() const { return m_bCaptureThreadRunning.load(); }
    float GetSidetoneVolume() const;

protected:
    // One queued capture buffer: its header and data, reused across queues.
    struct CaptureBlock {
        plat::WAVEHDR header;
        std::vector<char> data;
    };

    int OpenPrimaryBuffer(const plat::LPDIRECTSOUND& ds, std::uint32_t rate);
    int CreateOutput(const plat::GUID* device, std::uint32_t rate);
    int OpenWaveInput(std::uint32_t waveInId, std::uint32_t rate, std::uint32_t bits);
    // Mutex held for the three below.
    int StartCapture();
    int StopCapture();
    bool QueueBlock(plat::HWAVEIN hwi);
    CaptureBlock* TakeBlock();
    void GiveBack(CaptureBlock* block);
    void EndCaptureThread();

    void CaptureThread();
    // Returns true when the message ends the loop.
    bool HandleCaptureMessage(const plat::MSG& msg);
    static void WaveInProc(plat::HWAVEIN hwi, plat::UINT message, plat::DWORD_PTR instance,
                           plat::DWORD_PTR param1, plat::DWORD_PTR param2);

    plat::HWAVEIN m_hWaveIn = 0;     // mutex held
    bool m_bFormatFromHost = false;  // capture rate and bits from the host's primary buffer
    float m_fSidetoneVolume = 0.0f;

    plat::Thread m_captureThread;
    std::atomic<plat::ThreadId> m_nCaptureThreadId{0};
    std::atomic<bool> m_bCaptureThreadRunning{false};
    std::vector<std::unique_ptr<CaptureBlock>> m_blocks;  // every block, owned (mutex held)
    std::vector<CaptureBlock*> m_freeBlocks;
};
