// Host handles of sound objects: a registry from opaque values to the
// objects they stand for. A value is a serial number, never an address, so
// nothing a host passes is ever dereferenced.
#include <cstdint>
#include <map>
#include <mutex>
#include <variant>

#include "hcyplat/dsound.h"

namespace plat {
namespace {

using Held = std::variant<LPDIRECTSOUND, LPDIRECTSOUNDBUFFER>;

struct Registry {
    std::mutex mutex;
    std::map<std::uintptr_t, Held> objects;
    std::uintptr_t next = 0;
};

// Objects a host still holds may be let go after statics are gone: never
// destroyed.
Registry& Reg() {
    static auto* r = new Registry;
    return *r;
}

void* Give(Held held) {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    // Spaced apart and away from zero: a value off by a little is no handle.
    const std::uintptr_t value = 0x4800 + 16 * ++r.next;
    r.objects.emplace(value, std::move(held));
    return reinterpret_cast<void*>(value);
}

template <class T>
T Find(const void* handle) {
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    const auto at = r.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (at == r.objects.end()) return nullptr;
    const T* object = std::get_if<T>(&at->second);
    return object ? *object : nullptr;
}

}  // namespace

void* GiveHostHandle(const LPDIRECTSOUND& ds) { return ds ? Give(ds) : nullptr; }
void* GiveHostHandle(const LPDIRECTSOUNDBUFFER& buffer) { return buffer ? Give(buffer) : nullptr; }

LPDIRECTSOUND DirectSoundOfHostHandle(const void* handle) { return Find<LPDIRECTSOUND>(handle); }

LPDIRECTSOUNDBUFFER SoundBufferOfHostHandle(const void* handle) {
    return Find<LPDIRECTSOUNDBUFFER>(handle);
}

bool TakeBackHostHandle(const void* handle) {
    Held held;  // the object goes after the lock is left
    Registry& r = Reg();
    std::lock_guard lock(r.mutex);
    const auto at = r.objects.find(reinterpret_cast<std::uintptr_t>(handle));
    if (at == r.objects.end()) return false;
    held = std::move(at->second);
    r.objects.erase(at);
    return true;
}

}  // namespace plat
