// LogNull: the log to pass when nothing is to be recorded.
#pragma once
#include "log/LogBase.h"

class LogNull : public LogBase {};
