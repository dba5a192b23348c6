#pragma once
// The C library's pseudo-random numbers, reproduced exactly: 15-bit results
// (0 to kRandMax = 0x7FFF), state per thread, x = x * 214013 + 2531011,
// result (x >> 16) & 0x7FFF; each thread starts with seed 1.
//
// The largest result is kRandMax, not RAND_MAX: RAND_MAX is the system C
// library's macro (2^31 - 1 here) and no other name can be spelt like it.
namespace plat {

constexpr int kRandMax = 0x7FFF;

int rand();
void srand(unsigned int seed);

}  // namespace plat
