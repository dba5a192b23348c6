// GUIDs: version 4 (random) layout from the system's random source, unless
// a test has injected a source of its own.
#include "hcyplat/guid.h"

#include <exception>
#include <mutex>
#include <random>

namespace plat {
namespace {

constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);

std::mutex g_mu;
std::function<GUID()> g_source;  // guarded by g_mu; empty: the random source

GUID RandomGuid() {
    // std::random_device is not safe to share between threads unguarded.
    static std::mutex deviceMu;
    static std::random_device device;
    std::uint32_t words[4];
    {
        std::lock_guard lock(deviceMu);
        for (auto& w : words) w = device();
    }
    GUID g{};
    g.Data1 = words[0];
    g.Data2 = static_cast<std::uint16_t>(words[1]);
    // Version 4 in the top nibble of Data3, variant 10xx in Data4[0].
    g.Data3 = static_cast<std::uint16_t>(((words[1] >> 16) & 0x0FFF) | 0x4000);
    for (int i = 0; i < 4; ++i) {
        g.Data4[i] = static_cast<std::uint8_t>(words[2] >> (8 * i));
        g.Data4[4 + i] = static_cast<std::uint8_t>(words[3] >> (8 * i));
    }
    g.Data4[0] = static_cast<std::uint8_t>((g.Data4[0] & 0x3F) | 0x80);
    return g;
}

}  // namespace

HRESULT CoCreateGuid(GUID* out) {
    if (!out) return E_INVALIDARG;
    std::function<GUID()> source;
    {
        std::lock_guard lock(g_mu);
        source = g_source;
    }
    try {
        *out = source ? source() : RandomGuid();
    } catch (const std::exception&) {
        return E_FAIL;  // no random source on this system
    }
    return S_OK;
}

void SetGuidSourceForTest(std::function<GUID()> source) {
    std::lock_guard lock(g_mu);
    g_source = std::move(source);
}

}  // namespace plat
