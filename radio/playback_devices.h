#pragma once
// What a radio needs from above to send a file as if it were its microphone:
// playback devices of its own for crypto preambles and test and time-of-day
// tones. media/ implements it (CNetPlayDevices, media/net_play_device.h);
// whoever creates a radio hands it in (radio/radio_factory.h).
#include <memory>

class CPlaybackDevice;

namespace hcy::radio {

class PlaybackDevices {
public:
    virtual ~PlaybackDevices() = default;
    // A new idle playback device (audio/playback_device.h), never null.
    virtual std::shared_ptr<CPlaybackDevice> Make() const = 0;
};

}  // namespace hcy::radio
