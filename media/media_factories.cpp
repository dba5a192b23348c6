#include "media/media_factories.h"

#include "media/net_play_device.h"
#include "media/timer_wav_player.h"

void InstallMediaFactories() {
    SetWavPlayerFactory([] { return std::make_shared<CTimerWavPlayer>(); });
    SetPlaybackDeviceFactory([] { return std::make_shared<CNetPlayDevice>(); });
}
