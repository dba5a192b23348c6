#pragma once
// The model factory of hcyCreateComRadio: the class for a model code.
#include <cstdint>
#include <memory>

class CRadioModel;

// A new radio of the model's class with the library defaults, or null when
// this build has no radio of that model.
std::shared_ptr<CRadioModel> CreateRadioModel(std::uint16_t model);
