// POSIX layer for the process itself: the idle priority the harvester runs at.
#pragma once

namespace vantry {

namespace platform {
// The lowest scheduling class (SCHED_IDLE), then nice 19; failures are ignored.
void SetIdlePriority();
} // namespace platform

} // namespace vantry
