#pragma once
// System version and host name queries. This platform is never Windows NT
// 4.0 or earlier.
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

// The machine's host name into buffer (size bytes, terminated); 0 when it
// cannot be read or does not fit.
BOOL GetHostName(char* buffer, int size);

}  // namespace plat
