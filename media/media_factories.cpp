#include "media/media_factories.h"

#include "media/net_play_device.h"
#include "media/timer_wav_player.h"
#include "media/wav_record_radio.h"
#include "radio/radio_factory.h"

void InstallMediaFactories() {
    SetWavPlayerFactory([] { return std::make_shared<CTimerWavPlayer>(); });
    SetPlaybackDeviceFactory([] { return std::make_shared<CNetPlayDevice>(); });
    SetWavRecordRadioMaker([] { return std::make_shared<CWavRecordRadioModel>(); });
}
