#pragma once
// The model factory of hcyCreateComRadio: the class for a model code.
#include <cstdint>
#include <memory>

#include "radio/playback_devices.h"

class CRadioModel;

// A new radio of the model's class with the library defaults; the models
// that send preambles and tones make their devices through `devices`.
std::shared_ptr<CRadioModel> CreateRadioModel(
    std::uint16_t model, std::shared_ptr<const hcy::radio::PlaybackDevices> devices);
