// Platform clock: the 32-bit millisecond tick counter (wraps like the original) and sleeping.
#pragma once
#include <cstdint>

namespace platform {
// Milliseconds from CLOCK_MONOTONIC, truncated to 32 bits.
uint32_t GetTickCount();
void SleepMs(uint32_t ms);
} // namespace platform
