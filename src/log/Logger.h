// Logger: the recording log; implements every LogBase operation on an ErrorLog tree it owns.
#pragma once
#include <memory>

#include "core/LogBase.h"

namespace vantry {

class ErrorLog;

class Logger : public LogBase {
public:
    Logger();
    ~Logger() override;
    void GetLogXml(StringBuffer &out) override;
    void GetLogHtml(StringBuffer &out) override;
    void GetLogText(StringBuffer &out) override;
    bool LogError(const char *text) override;
    bool LogInfo(const char *text) override;
    bool LogRaw(const char *text) override;
    bool ClearLog() override;
    bool EnterContext(const char *name) override;
    bool LeaveContext() override;
    bool LogData(const char *name, const char *value) override;
    bool LogDataInt(const char *name, int32_t value) override;
    void LogTickCount(const char *name) override;
    bool SaveLogXml(const char *path) override;

private:
    std::unique_ptr<ErrorLog> m_log;
};

} // namespace vantry
