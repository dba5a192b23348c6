#pragma once
// The application's registry key: a small INI-style store in
// $XDG_CONFIG_HOME/<company>/<application>/registry.ini (XDG_CONFIG_HOME
// defaults to ~/.config). Read on every call, written whole; a missing file
// reads as empty. Safe to call from any thread.
#include <string>

namespace plat {

// Sets the company and application names that select the store
// (SetRegistryKey of the application object). Until then nothing is stored
// and every read returns its default.
void SetRegistryKey(const char* company, const char* application);

// The folder of the store ("" when no key is set).
std::string RegistryFolder();

std::string RegGetString(const char* section, const char* key, const char* defaultValue);
int RegGetInt(const char* section, const char* key, int defaultValue);
bool RegWriteString(const char* section, const char* key, const char* value);
bool RegWriteInt(const char* section, const char* key, int value);

}  // namespace plat
