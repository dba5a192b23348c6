#pragma once
// The model factory of hcyCreateComRadio: the class for a model code.
#include <cstdint>
#include <functional>
#include <memory>

class CRadioModel;

// A new radio of the model's class with the library defaults, or null when
// this build has no radio of that model.
std::shared_ptr<CRadioModel> CreateRadioModel(std::uint16_t model);

// The WAV record radio (model 1106) records through the media folder, above
// this one: media/ installs its maker when the library loads. Without one,
// the code makes the generic radio. Returns the maker it replaced.
using RadioModelMaker = std::function<std::shared_ptr<CRadioModel>()>;
RadioModelMaker SetWavRecordRadioMaker(RadioModelMaker maker);
