#pragma once
// What every sound-card device shares (the plain, DirectSound 8, split and
// multi-channel cards): a DirectSound output on which receive paths and WAV
// players create their buffers, and one capture engine (audio/capture.h).
//
// Opening (application object): construct, SetHandle, output first
// (UseDirectSound, UseDirectSoundEx, CreateDirectSoundOutput or
// OpenOutputWithRate), then the class's own input. A failing step stores
// the last error and returns 0; the caller then drops the device.
//
// Every concrete class ends its capture (CloseCapture) in its own
// destructor, before anything its capture thread may use is gone.
#include <cstdint>
#include <memory>

#include "audio/capture.h"
#include "audio/device.h"
#include "hcyplat/mmsystem.h"

class CSoundCard : public CDevice {
public:
    ~CSoundCard() override;

    // Output. A host's object is used, never released by the device.
    int UseDirectSound(plat::LPDIRECTSOUND ds);
    // The host's primary buffer also sets the capture rate and bits.
    int UseDirectSoundEx(plat::LPDIRECTSOUND ds, plat::LPDIRECTSOUNDBUFFER primary);
    // device null: the default output. The primary buffer is stereo at the
    // library's default sample rate, or at `rate`.
    int CreateDirectSoundOutput(const plat::GUID* device);
    int OpenOutputWithRate(const plat::GUID* device, std::uint32_t rate);
    // Gives the device's own DirectSound object back (a host's is only let go).
    int ReleaseDirectSound();
    plat::LPDIRECTSOUND GetDirectSound() const override { return DirectSoundObject(); }

    // PCM of `channels` at `rate` [Hz] and `bits`, for every wave input.
    static plat::WAVEFORMATEX PcmFormat(unsigned channels, std::uint32_t rate,
                                        std::uint32_t bits = 16);

    // State for the host program and tests.
    bool IsInputOpen() const;
    bool IsCaptureThreadRunning() const;
    bool IsCapturing() const override;

protected:
    CSoundCard() = default;

    // DirectSoundCreate, the cooperative level, then the primary buffer in
    // `format`, whose rate becomes the output rate.
    int CreateOutput(const plat::GUID* device, const plat::WAVEFORMATEX& format);
    // The capture rate [Hz] and bits: the host's primary buffer's when one
    // was handed in, else the library default and 16.
    std::uint32_t CaptureRate() const;
    std::uint32_t CaptureBits() const;

    // Mutex held. The input: wave input `id` in `format`, blocks of
    // capture size x channels bytes; or DirectSound 8 capture on `device`
    // with blocks of `blockBytes`. A second input is refused.
    bool OpenWaveInCapture(plat::UINT id, const plat::WAVEFORMATEX& format);
    bool OpenCaptureDS8(const plat::GUID* device, const plat::WAVEFORMATEX& format,
                        std::uint32_t blockBytes);
    // Mutex held. Capture start and stop through the engine; a device
    // without an input, a second start and a second stop do nothing.
    bool StartCapture();
    void StopCapture();
    // Mutex not held. Ends capture and the capture thread and gives the
    // input back (the radios have had every block); false when the input
    // refused to close (last error set).
    bool CloseCapture();

    bool m_bCaptureHold = false;  // the host holds capture on (mutex held)

private:
    bool m_bFormatFromHost = false;        // capture rate and bits from the host's primary buffer
    std::unique_ptr<CCapture> m_pCapture;  // mutex held
};
