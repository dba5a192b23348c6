#pragma once
// System version query. This platform is never Windows NT 4.0 or earlier.
#include "hcyplat/types.h"

namespace plat {

constexpr DWORD VER_PLATFORM_WIN32_NT = 2;

struct OSVERSIONINFO {
    DWORD dwMajorVersion = 0;
    DWORD dwMinorVersion = 0;
    DWORD dwBuildNumber = 0;
    DWORD dwPlatformId = 0;
};

BOOL GetVersionEx(OSVERSIONINFO* info);

}  // namespace plat
