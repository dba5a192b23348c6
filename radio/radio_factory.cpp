#include "radio/radio_factory.h"

#include "halcyra/halcyra.h"
#include "radio/arc164_radio.h"
#include "radio/arc186_radio.h"
#include "radio/arc190_radio.h"
#include "radio/generic_radio.h"
#include "radio/intercom_model.h"
#include "radio/model1008.h"
#include "radio/raw_dis_model.h"
#include "radio/scanner_model.h"
#include "radio/secure_radio.h"
#include "radio/sincgars_radio.h"
#include "radio/wav_record_radio.h"

// Models 0 and 1 are the generic radio, and so is every code without a
// model of its own.
std::shared_ptr<CRadioModel> CreateRadioModel(
    std::uint16_t model, std::shared_ptr<const hcy::radio::PlaybackDevices> devices) {
    switch (model) {
    case RADIO_TYPE_SECURE:
    case 3:
    case 4:
    case 1104: return std::make_shared<CSecureRadioModel>(std::move(devices));
    case RADIO_TYPE_SINCGARS: return std::make_shared<CSincgarsRadioModel>(std::move(devices));
    case RADIO_TYPE_MODEL1008: return std::make_shared<CModel1008>();
    case RADIO_TYPE_RAW_DIS: return std::make_shared<CRawDisModel>();
    case RADIO_TYPE_INTERCOM: return std::make_shared<CIntercomModel>();
    case RADIO_TYPE_ARC164: return std::make_shared<CArc164RadioModel>(std::move(devices));
    case RADIO_TYPE_ARC186: return std::make_shared<CArc186RadioModel>(std::move(devices));
    case RADIO_TYPE_ARC190: return std::make_shared<CArc190RadioModel>(std::move(devices));
    case RADIO_TYPE_SCANNER: return std::make_shared<CScannerModel>();
    case RADIO_TYPE_WAV_RECORD: return std::make_shared<CWavRecordRadioModel>();
    default: return std::make_shared<CGenericRadioModel>();
    }
}
