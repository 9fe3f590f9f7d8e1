// NameOutput: the output file of host names, one a line ending in LF. Each line goes to the file in one
// write of the whole line and its end; a short write is completed, and one that cannot be completed is
// cut off again, so the file never holds part of a name. Names that cannot be written (the file will
// not open, the disk is full) wait in order for the next time the file takes them. A file begun with
// CR LF line ends is read and continued; a last line cut short by a crash is removed at Open. The file
// stays open between lines; Sync closes it after syncing, so a file moved away meanwhile is made anew.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

#include "core/StringBuffer.h"

namespace vantry {
class StringSeen;
} // namespace vantry

namespace lanternfold {

class NameOutput {
public:
    // `written` holds the names known to be in the file; a name joins it once it is there.
    explicit NameOutput(vantry::StringSeen &written) : m_written(written) {}
    ~NameOutput();
    NameOutput(const NameOutput &) = delete;
    NameOutput &operator=(const NameOutput &) = delete;

    void SetPath(const char *path) { m_path.SetString(path != nullptr ? path : ""); }
    const vantry::StringBuffer &Path() const { return m_path; }

    // Sets the path, removes a torn last line (repaired tells whether there was one) and adds every
    // name of the file to the written set; gives the number of names read.
    uint64_t Open(const char *path, bool &repaired);

    // Whether the name is in the file or waiting for it.
    bool Knows(std::string_view name) const;
    // Queues the name unless it is known, then writes what waits.
    void Write(std::string_view name);
    // Writes the waiting names in order; stops at the first that cannot be written. Gives whether
    // none is left waiting.
    bool WritePending();
    // The file's data to the disk; the file is opened afresh for the next line.
    bool Sync();
    void Close();

    size_t PendingCount() const { return m_pending.size(); }
    const std::deque<std::string> &Pending() const { return m_pending; }
    // Names written by this object, and those found in the file when it was opened.
    uint64_t WrittenCount() const { return m_writtenCount; }
    uint64_t LoadedCount() const { return m_loadedCount; }
    // The errno of the latest failed write (0 after a success).
    int LastError() const { return m_lastError; }

private:
    bool AppendLine(const std::string &name);

    vantry::StringSeen &m_written;
    vantry::StringBuffer m_path;
    std::deque<std::string> m_pending;
    std::unordered_set<std::string> m_pendingSet;
    uint64_t m_writtenCount = 0;
    uint64_t m_loadedCount = 0;
    int m_lastError = 0;
    int m_fd = -1;
};

} // namespace lanternfold
