// POSIX layer for the process itself: sched_setscheduler(SCHED_IDLE) and nice 19, and its environment.
#include "platform/Process.h"

#include <cstdlib>

#include <sched.h>
#include <sys/resource.h>

namespace vantry {

namespace platform {
void SetIdlePriority() {
    sched_param param{};
    param.sched_priority = 0;
    (void)sched_setscheduler(0, SCHED_IDLE, &param);
    (void)setpriority(PRIO_PROCESS, 0, 19);
}
const char *EnvironmentValue(const char *name) {
    // thread-safe: nothing in this code base changes the environment (no setenv/putenv), so reads only.
    return std::getenv(name);
}

} // namespace platform

} // namespace vantry
