// POSIX layer for the process itself: the idle priority the harvester runs at, and the environment a
// command-line program reads.
#pragma once

namespace vantry {

namespace platform {
// The lowest scheduling class (SCHED_IDLE), then nice 19; failures are ignored.
void SetIdlePriority();
// The value of an environment variable; null when it is not set.
const char *EnvironmentValue(const char *name);
} // namespace platform

} // namespace vantry
