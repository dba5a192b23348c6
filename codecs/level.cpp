#include "codecs/level.h"

#include <cmath>

namespace hcy {

float ComputeRmsLevel(const std::int16_t* samples, std::uint32_t byteCount, std::int32_t scale) {
    const std::uint32_t count = byteCount / 2;
    const double r = 1.0 / static_cast<double>(scale);
    double sum = 0.0;
    for (std::uint32_t i = 0; i < count; ++i) {
        const double x = samples[i];
        sum += x * x * r;
    }
    return static_cast<float>(std::sqrt(sum / static_cast<double>(byteCount)));
}

}  // namespace hcy
