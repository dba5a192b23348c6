#pragma once
// Radio data: the value behind the host's pointer of hcySetRadioData and
// hcyGetRadioData, whose layout depends on the id (a u16, u32, float,
// double, a text). Read and written byte-wise: the host's pointer need not
// be aligned.
#include <cstring>
#include <string>

namespace hcy::radio {

template <class T>
T Read(const void* p) {
    T value;
    std::memcpy(&value, p, sizeof value);
    return value;
}

template <class T>
void Write(void* p, T value) {
    std::memcpy(p, &value, sizeof value);
}

// A text: at most kMaxText bytes of it, up to its terminating zero.
inline constexpr std::size_t kMaxText = 4096;
inline std::string ReadText(const void* p) {
    const auto* text = static_cast<const char*>(p);
    return std::string(text, strnlen(text, kMaxText));
}

}  // namespace hcy::radio
