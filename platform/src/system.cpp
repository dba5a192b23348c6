// The system version the library sees: an NT-family system, major version
// 10, so no code path for NT 4.0 and earlier is ever taken.
#include "hcyplat/system.h"

namespace plat {

BOOL GetVersionEx(OSVERSIONINFO* info) {
    if (!info) return 0;
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 0;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return 1;
}

}  // namespace plat
