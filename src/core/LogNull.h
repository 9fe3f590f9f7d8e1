// LogNull: the log to pass when nothing is to be recorded.
#pragma once
#include "core/LogBase.h"

namespace vantry {

class LogNull : public LogBase {};

} // namespace vantry
