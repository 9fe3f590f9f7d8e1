// LogBase: the log interface every fallible operation writes into (passed as its last argument).
// The base implements every operation as doing nothing; LogNull is that behaviour by name.
#pragma once
#include <cstdint>

namespace vantry {

class StringBuffer;

class LogBase {
public:
    virtual ~LogBase() = default;
    virtual void GetLogXml(StringBuffer & /*out*/) {}
    virtual void GetLogHtml(StringBuffer & /*out*/) {}
    virtual void GetLogText(StringBuffer & /*out*/) {}
    virtual bool LogError(const char * /*text*/) { return true; }
    virtual bool LogInfo(const char * /*text*/) { return true; }
    virtual bool LogRaw(const char * /*text*/) { return true; }
    virtual bool ClearLog() { return true; }
    virtual bool EnterContext(const char * /*name*/) { return true; }
    virtual bool LeaveContext() { return true; }
    virtual bool LogData(const char * /*name*/, const char * /*value*/) { return true; }
    virtual bool LogDataInt(const char * /*name*/, int32_t /*value*/) { return true; }
    // A 64-bit count: as an integer when it fits in 32 bits, else as its decimal text.
    bool LogDataUint64(const char *name, uint64_t value) {
        if (value <= 0x7FFFFFFFu)
            return LogDataInt(name, static_cast<int32_t>(value));
        char text[24];
        char *p = text + sizeof text;
        *--p = '\0';
        do {
            *--p = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value != 0);
        return LogData(name, p);
    }
    virtual void LogTickCount(const char * /*name*/) {}
    virtual bool SaveLogXml(const char * /*path*/) { return true; }
};

// Opens a named context on construction and closes it when the scope ends, on every path.
class LogContext {
public:
    LogContext(LogBase &log, const char *name) : m_log(log) { m_log.EnterContext(name); }
    ~LogContext() { m_log.LeaveContext(); }
    LogContext(const LogContext &) = delete;
    LogContext &operator=(const LogContext &) = delete;

private:
    LogBase &m_log;
};

} // namespace vantry
