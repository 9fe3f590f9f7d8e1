// The code pages the original platform reported through GetACP and GetOEMCP; fixed on this build.
#pragma once
#include <cstdint>

namespace vantry {

namespace platform {
constexpr int32_t kAnsiCodePage = 1252;
constexpr int32_t kOemCodePage = 437;
} // namespace platform

} // namespace vantry
