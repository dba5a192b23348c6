#include "radio/radio_factory.h"

#include "radio/generic_radio.h"

// Models 0 and 1 are the generic radio, and so is every code whose model
// this build does not have yet.
std::shared_ptr<CRadioModel> CreateRadioModel(std::uint16_t) {
    return std::make_shared<CGenericRadioModel>();
}
