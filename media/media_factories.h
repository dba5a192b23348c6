#pragma once
// Installs the makers of WAV players and playback devices behind the seams
// the audio folder declares (audio/wav_player.h, audio/playback_device.h),
// and of the WAV record radio behind the radio folder's model factory
// (radio/radio_factory.h). The application object calls it when the
// library loads.
void InstallMediaFactories();
