// Logger: the recording log. Every LogBase operation works on the ErrorLog tree it owns.
#include "log/Logger.h"

#include <cstdio>

#include "core/FileSys.h"
#include "core/StringBuffer.h"
#include "log/ErrorLog.h"
#include "log/LogEntry2.h"
#include "platform/Clock.h"

namespace vantry {

Logger::Logger() : m_log(std::make_unique<ErrorLog>()) {}

Logger::~Logger() = default;

void Logger::GetLogXml(StringBuffer &out) {
    out.Clear();
    m_log->RenderXml(out);
}

void Logger::GetLogHtml(StringBuffer &out) {
    out.Clear();
    m_log->RenderHtml(out);
}

void Logger::GetLogText(StringBuffer &out) {
    out.Clear();
    m_log->RenderText(out);
}

bool Logger::LogError(const char *text) {
    if (text)
        m_log->Add(LogEntry2::NewMessage(LogEntry2::kError, text));
    return true;
}

bool Logger::LogInfo(const char *text) {
    if (text)
        m_log->Add(LogEntry2::NewMessage(LogEntry2::kInfo, text));
    return true;
}

bool Logger::LogRaw(const char *text) {
    if (text)
        m_log->Add(LogEntry2::NewMessage(LogEntry2::kRaw, text));
    return true;
}

bool Logger::ClearLog() {
    m_log->Clear();
    return true;
}

bool Logger::EnterContext(const char *name) {
    m_log->EnterContext(name);
    return true;
}

bool Logger::LeaveContext() {
    m_log->LeaveContext();
    return true;
}

bool Logger::LogData(const char *name, const char *value) {
    if (!name || !value)
        return false;
    // Value names are trimmed and their inner spaces become underscores.
    StringBuffer cleaned(name);
    cleaned.Trim();
    cleaned.ReplaceChar(' ', '_');
    if (cleaned.Length() == 0)
        return false;
    m_log->Add(LogEntry2::NewValue(cleaned.Text(), value));
    return true;
}

bool Logger::LogDataInt(const char *name, int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    return LogData(name, text);
}

void Logger::LogTickCount(const char *name) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", static_cast<unsigned>(platform::GetTickCount()));
    LogData(name, text);
}

bool Logger::SaveLogXml(const char *path) {
    StringBuffer xml;
    m_log->RenderXml(xml);
    return FileSys::WriteWholeFile(path, xml.Text(), static_cast<uint32_t>(xml.Length()), nullptr);
}

} // namespace vantry
