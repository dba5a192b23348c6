#include "interphone/ics_model.h"

// Interphone stations are not part of this build yet.
std::shared_ptr<CICSModel> CreateInterphoneModel() { return nullptr; }
