#pragma once
// The last error of a sound input or output that refused to open.
#include <cstdint>
#include <initializer_list>

namespace hcy::audio {

// A result code the system documents, and what the last error says of it.
struct KnownFailure {
    std::int64_t code;
    const char* reason;  // appended to the failure text, with its leading spaces
};

enum class CodeFormat { Decimal, Hexadecimal };

// Sets the last error to `failed` and the reason of `code` when `known`
// lists it, else to `unknown`, a space and the code in `format`, and a full
// stop.
void ReportOpenFailure(std::int64_t code, std::initializer_list<KnownFailure> known,
                       const char* failed, const char* unknown, CodeFormat format);

}  // namespace hcy::audio
