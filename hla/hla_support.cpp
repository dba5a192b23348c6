#include "hla/hla_support.h"

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "hcyplat/system.h"

namespace hcy::hla {

std::string FederateName() {
    char host[261] = {};  // a host name of at most 260 characters
    if (!plat::GetHostName(host, sizeof host)) return "hcy";
    return std::string("hcy@") + host;
}

std::string InCurrentDirectory(const std::string& file) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::current_path(error);
    return (error ? std::filesystem::path(file) : folder / file).string();
}

std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int n = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

}  // namespace hcy::hla
