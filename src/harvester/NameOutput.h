// NameOutput: the harvester's output file. Each name is appended as one line (CR LF) with the file
// opened and closed for the line; a name is written at most once, and names that cannot be written
// (the file will not open) wait in memory, in order, for the next successful open.
#pragma once
#include <cstdint>
#include <deque>
#include <string>
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

    void SetPath(const char *path) { m_path.SetString(path != nullptr ? path : ""); }
    const vantry::StringBuffer &Path() const { return m_path; }

    // Queues the name unless it is already in the file or waiting, then writes what waits.
    void Write(const char *name);
    // Writes the waiting names in order; stops at the first that cannot be written.
    void WritePending();
    // Adds every line of the file to the written set; gives the number of names read.
    int32_t LoadWrittenNames();

    size_t PendingCount() const { return m_pending.size(); }
    // Names written by this object, and those found in the file when it was loaded.
    uint64_t WrittenCount() const { return m_writtenCount; }
    uint64_t LoadedCount() const { return m_loadedCount; }

private:
    vantry::StringSeen &m_written;
    vantry::StringBuffer m_path;
    std::deque<std::string> m_pending;
    std::unordered_set<std::string> m_pendingSet;
    uint64_t m_writtenCount = 0;
    uint64_t m_loadedCount = 0;
};

} // namespace lanternfold
