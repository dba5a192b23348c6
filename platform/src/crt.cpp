// The C library's linear congruential generator, kept bit for bit: noise
// and garble levels are computed from its 15-bit range.
#include "hcyplat/crt.h"

namespace plat {
namespace {

thread_local unsigned int t_seed = 1;

}  // namespace

int rand() {
    t_seed = t_seed * 214013u + 2531011u;  // wraps modulo 2^32
    return static_cast<int>((t_seed >> 16) & 0x7FFFu);
}

void srand(unsigned int seed) { t_seed = seed; }

}  // namespace plat
