#include "radio/radio_factory.h"

#include "halcyra/halcyra.h"
#include "radio/generic_radio.h"
#include "radio/intercom_model.h"
#include "radio/model1008.h"
#include "radio/raw_dis_model.h"
#include "radio/scanner_model.h"

// Models 0 and 1 are the generic radio, and so is every code without a
// model of its own (and, in this build, the secure, SINCGARS, ARC and WAV
// record codes).
std::shared_ptr<CRadioModel> CreateRadioModel(std::uint16_t model) {
    switch (model) {
    case RADIO_TYPE_MODEL1008: return std::make_shared<CModel1008>();
    case RADIO_TYPE_RAW_DIS: return std::make_shared<CRawDisModel>();
    case RADIO_TYPE_INTERCOM: return std::make_shared<CIntercomModel>();
    case RADIO_TYPE_SCANNER: return std::make_shared<CScannerModel>();
    default: return std::make_shared<CGenericRadioModel>();
    }
}
