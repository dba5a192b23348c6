#pragma once
// Small services of the HLA manager that need the platform: the federate's
// name, the default FED file's place and message formatting.
#include <string>

namespace hcy {
namespace hla {

// "hcy@" and the host name, or "hcy" when the host name cannot be read.
std::string FederateName();

// `file` in the current directory ("<folder>/<file>").
std::string InCurrentDirectory(const std::string& file);

// printf-style text.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace hla
}  // namespace hcy
