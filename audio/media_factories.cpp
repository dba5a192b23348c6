// The seams through which devices and radios make WAV players and playback
// devices of media/, the folder above them.
#include <mutex>

#include "audio/playback_device.h"
#include "audio/wav_player.h"

namespace {

// Made on first use: media/ installs its makers while the library loads.
struct FactorySlots {
    std::mutex mutex;
    WavPlayerFactory wavPlayer;
    PlaybackDeviceFactory playbackDevice;
};
FactorySlots& Slots() {
    static FactorySlots slots;
    return slots;
}

template <class F>
F Swap(F FactorySlots::*slot, F factory) {
    FactorySlots& slots = Slots();
    std::lock_guard<std::mutex> lock(slots.mutex);
    std::swap(slots.*slot, factory);
    return factory;
}

template <class F>
F Get(F FactorySlots::*slot) {
    FactorySlots& slots = Slots();
    std::lock_guard<std::mutex> lock(slots.mutex);
    return slots.*slot;
}

}  // namespace

WavPlayerFactory SetWavPlayerFactory(WavPlayerFactory factory) {
    return Swap(&FactorySlots::wavPlayer, std::move(factory));
}

std::shared_ptr<CWavPlayer> CreateWavPlayer() {
    const WavPlayerFactory factory = Get(&FactorySlots::wavPlayer);
    return factory ? factory() : nullptr;
}

PlaybackDeviceFactory SetPlaybackDeviceFactory(PlaybackDeviceFactory factory) {
    return Swap(&FactorySlots::playbackDevice, std::move(factory));
}

std::shared_ptr<CPlaybackDevice> CreatePlaybackDevice() {
    const PlaybackDeviceFactory factory = Get(&FactorySlots::playbackDevice);
    return factory ? factory() : nullptr;
}
