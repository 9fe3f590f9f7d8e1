// NameOutput: append-only output of host names, each once, none lost while the file cannot be opened.
#include "harvester/NameOutput.h"

#include "core/DataBuffer.h"
#include "core/FileSys.h"
#include "core/LogNull.h"
#include "core/StringSeen.h"

namespace lanternfold {

using namespace vantry;

void NameOutput::Write(const char *name) {
    if (name == nullptr || *name == 0)
        return;
    std::string text(name);
    if (m_written.Contains(text.data(), text.size()) || m_pendingSet.count(text) != 0)
        return;
    m_pendingSet.insert(text);
    m_pending.push_back(std::move(text));
    WritePending();
}

void NameOutput::WritePending() {
    std::string line;
    while (!m_pending.empty()) {
        const std::string &name = m_pending.front();
        line.assign(name);
        line.append("\r\n");
        if (!FileSys::AppendToFile(m_path.Text(), line.data(), static_cast<uint32_t>(line.size()), nullptr))
            return;
        m_written.Add(name.data(), name.size());
        ++m_writtenCount;
        m_pendingSet.erase(name);
        m_pending.pop_front();
    }
}

int32_t NameOutput::LoadWrittenNames() {
    LogNull log;
    if (!FileSys::FileExists(m_path.Text(), &log))
        return 0;
    DataBuffer bytes;
    if (!bytes.LoadFile(m_path.Text(), log))
        return 0;
    const char *p = reinterpret_cast<const char *>(bytes.Data());
    const char *end = p + bytes.Length();
    int32_t count = 0;
    while (p < end) {
        const char *lineEnd = p;
        while (lineEnd < end && *lineEnd != '\n')
            ++lineEnd;
        const char *nameEnd = lineEnd;
        while (nameEnd > p && (nameEnd[-1] == '\r' || nameEnd[-1] == ' '))
            --nameEnd;
        if (nameEnd > p) {
            m_written.Add(p, static_cast<size_t>(nameEnd - p));
            ++count;
        }
        p = lineEnd + 1;
    }
    m_loadedCount += static_cast<uint64_t>(count);
    return count;
}

} // namespace lanternfold
