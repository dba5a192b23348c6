// The system version the library sees: an NT-family system, major version
// 10, so no code path for NT 4.0 and earlier is ever taken. The host name is
// the system's.
#include "hcyplat/system.h"

#include <unistd.h>

#include <cstring>

namespace plat {

BOOL GetVersionEx(OSVERSIONINFO* info) {
    if (!info) return 0;
    info->dwMajorVersion = 10;
    info->dwMinorVersion = 0;
    info->dwBuildNumber = 0;
    info->dwPlatformId = VER_PLATFORM_WIN32_NT;
    return 1;
}

BOOL GetHostName(char* buffer, int size) {
    if (!buffer || size <= 0) return 0;
    if (::gethostname(buffer, static_cast<std::size_t>(size)) != 0) return 0;
    // A name cut to fit may come back unterminated.
    if (std::memchr(buffer, '\0', static_cast<std::size_t>(size)) == nullptr) return 0;
    return 1;
}

}  // namespace plat
