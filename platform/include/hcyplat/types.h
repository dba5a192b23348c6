#pragma once
// Basic types of the platform layer, named after the calls the library makes.
#include <cstdint>

namespace plat {

using BOOL = int;
using UINT = unsigned int;
using DWORD = std::uint32_t;
using DWORD_PTR = std::uintptr_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using HRESULT = std::int32_t;
using MMRESULT = UINT;

// A message window; 0 is "no window".
using HWND = std::uintptr_t;

// A thread that has a message queue; 0 is "no thread".
using ThreadId = std::uint32_t;

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
static_assert(sizeof(GUID) == 16);

inline bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);

constexpr UINT WM_QUIT = 0x0012;
constexpr UINT WM_USER = 0x0400;

}  // namespace plat
