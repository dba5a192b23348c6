#include "radio/radio_factory.h"

#include "radio/radio_model.h"

// The radio models are not part of this build yet: no model code can be
// created.
std::shared_ptr<CRadioModel> CreateRadioModel(std::uint16_t) { return nullptr; }
