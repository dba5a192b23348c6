// Module resources: version records and string tables, keyed by module
// name (matched without regard to ASCII case, like the system's module
// names).
#include "hcyplat/resource.h"

#include <map>
#include <mutex>
#include <utility>

namespace plat {
namespace {

struct Resources {
    std::mutex mu;
    std::map<std::string, ModuleVersion> versions;
    std::map<std::pair<std::string, unsigned>, std::string> strings;
};

Resources& Table() {
    static Resources* r = new Resources;  // modules may look up during exit
    return *r;
}

std::string Key(const char* module) {
    std::string k(module);
    for (char& c : k)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return k;
}

// The platform library's own version record.
[[maybe_unused]] const bool g_registered = [] {
    RegisterModuleVersion(
        "libhcyplatform.so",
        ModuleVersion{HCYPLAT_VERSION_MAJOR, HCYPLAT_VERSION_MINOR, HCYPLAT_VERSION_BUILD});
    return true;
}();

}  // namespace

void RegisterModuleVersion(const char* module, ModuleVersion version) {
    if (!module) return;
    Resources& r = Table();
    std::lock_guard lock(r.mu);
    r.versions[Key(module)] = version;
}

void RegisterStringResource(const char* module, unsigned id, const char* text) {
    if (!module || !text) return;
    Resources& r = Table();
    std::lock_guard lock(r.mu);
    r.strings[{Key(module), id}] = text;
}

bool GetModuleVersion(const char* module, ModuleVersion& out) {
    if (!module) return false;
    Resources& r = Table();
    std::lock_guard lock(r.mu);
    auto it = r.versions.find(Key(module));
    if (it == r.versions.end()) return false;
    out = it->second;
    return true;
}

bool LoadString(const char* module, unsigned id, std::string& out) {
    if (!module) return false;
    Resources& r = Table();
    std::lock_guard lock(r.mu);
    auto it = r.strings.find({Key(module), id});
    if (it == r.strings.end()) return false;
    out = it->second;
    return true;
}

}  // namespace plat
