#pragma once
// Module resources: the version record and string table of a module.
// A module registers its own resources when it is loaded; lookups by name
// then find them, as the system's resource functions would.
#include <string>

namespace plat {

struct ModuleVersion {
    unsigned major = 0;
    unsigned minor = 0;
    unsigned build = 0;
};

void RegisterModuleVersion(const char* module, ModuleVersion version);
void RegisterStringResource(const char* module, unsigned id, const char* text);

// False when the module has registered no version.
bool GetModuleVersion(const char* module, ModuleVersion& out);
// False when the module has no string with that id.
bool LoadString(const char* module, unsigned id, std::string& out);

}  // namespace plat
