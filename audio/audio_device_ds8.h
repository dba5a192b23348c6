#pragma once
// The sound-card device that captures through DirectSound 8: mono blocks
// from a looping capture buffer of eight blocks (audio/capture_ds8.h), the
// DirectSound output, keying and voice-operated keying of the plain sound
// card. Unkeying stops the buffer; what was captured since the last block
// end is still delivered once, as a final block.
//
// The block size is the capture size when the device opens: a capture size
// set later applies to devices opened afterwards.
#include "audio/audio_device.h"

class CAudioDeviceDS8 final : public CAudioDevice {
public:
    ~CAudioDeviceDS8() override;

    // Capture device null: the default. The capture rate is the library's
    // default sample rate.
    int OpenCapture(const plat::GUID* device);
};
