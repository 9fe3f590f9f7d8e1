// ErrorLog: the tree of log entries and its open-context stack.
#include "log/ErrorLog.h"

#include "core/StringBuffer.h"
#include "log/LogEntry2.h"

namespace vantry {

namespace {
constexpr const char *kRootName = "VantryLog";
}

ErrorLog::ErrorLog() {
    Clear();
}

ErrorLog::~ErrorLog() = default;

void ErrorLog::Clear() {
    m_open.clear();
    m_root.reset(LogEntry2::NewContext(kRootName));
    m_open.push_back(m_root.get());
}

void ErrorLog::Add(LogEntry2 *entry) {
    m_open.back()->AddChild(entry);
}

void ErrorLog::EnterContext(const char *name) {
    LogEntry2 *context = LogEntry2::NewContext(name);
    m_open.back()->AddChild(context);
    m_open.push_back(context);
}

void ErrorLog::LeaveContext() {
    if (m_open.size() > 1)
        m_open.pop_back();
}

void ErrorLog::RenderXml(StringBuffer &out) const {
    m_root->AppendXml(out);
}

void ErrorLog::RenderHtml(StringBuffer &out) const {
    m_root->AppendHtml(out);
}

void ErrorLog::RenderText(StringBuffer &out) const {
    m_root->AppendText(out, 0);
}

} // namespace vantry
