#include "audio/audio_device_ds8.h"

#include "base/library.h"

CAudioDeviceDS8::~CAudioDeviceDS8() { CloseCapture(); }

int CAudioDeviceDS8::OpenCapture(const plat::GUID* device) {
    Lock lock(m_mutex);
    const std::uint32_t rate = hcy::Library().m_nDefaultSampleRate.load();
    if (!OpenCaptureDS8(device, PcmFormat(1, rate), m_nCaptureSize.load())) return 0;
    StartIfVox();
    return 1;
}
