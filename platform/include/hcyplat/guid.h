#pragma once
// GUIDs from the system's random source (version 4 layout), or from a
// source a test injects.
#include <functional>

#include "hcyplat/types.h"

namespace plat {

HRESULT CoCreateGuid(GUID* out);

// Replaces the source of CoCreateGuid; an empty function restores the
// random source.
void SetGuidSourceForTest(std::function<GUID()> source);

}  // namespace plat
