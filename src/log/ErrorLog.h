// ErrorLog: the log tree under a Logger: the root context "VantryLog" and the stack of open
// contexts (the root at the bottom, the current context on top; the stack never empties).
#pragma once
#include <memory>
#include <vector>

namespace vantry {

class LogEntry2;
class StringBuffer;

class ErrorLog {
public:
    ErrorLog();
    ~ErrorLog();
    ErrorLog(const ErrorLog &) = delete;
    ErrorLog &operator=(const ErrorLog &) = delete;

    // Deletes the whole tree and starts again with an empty root as the only open context.
    void Clear();
    // Appends an entry to the current context (the log takes ownership).
    void Add(LogEntry2 *entry);
    void EnterContext(const char *name);
    void LeaveContext(); // nothing when only the root is open
    int OpenContexts() const { return static_cast<int>(m_open.size()); }
    const LogEntry2 &Root() const { return *m_root; }

    void RenderXml(StringBuffer &out) const;
    void RenderHtml(StringBuffer &out) const;
    void RenderText(StringBuffer &out) const;

private:
    std::unique_ptr<LogEntry2> m_root;
    // The open contexts; they belong to the tree, not to this stack.
    std::vector<LogEntry2 *> m_open;
};

} // namespace vantry
