// CookieClock: the current time for the cookie store (expiry, creation and last-access stamps), in
// milliseconds since 1970-01-01 UTC. Tests fix "now" through SetCookieClock; by default it is the
// machine's clock.
#pragma once
#include <cstdint>

namespace vantry {

int64_t CookieNowMs();

// Replaces the clock; a null function restores the machine's clock.
void SetCookieClock(int64_t (*nowMs)());

} // namespace vantry
