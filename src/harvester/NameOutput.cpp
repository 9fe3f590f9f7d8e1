// NameOutput: append-only output of host names, each once, none lost or torn.
#include "harvester/NameOutput.h"

#include <vector>

#include "core/StringSeen.h"
#include "platform/Files.h"

namespace lanternfold {

using namespace vantry;

namespace {
constexpr uint32_t kReadChunk = 1u << 20;
} // namespace

uint64_t NameOutput::Open(const char *path, bool &repaired) {
    SetPath(path);
    repaired = false;
    int err = 0;
    const int fd = platform::OpenForUpdate(m_path.Text(), &err);
    if (fd < 0)
        return 0;
    std::vector<char> chunk(kReadChunk);
    std::string line;
    uint64_t total = 0, complete = 0, count = 0;
    for (;;) {
        uint32_t got = 0;
        if (!platform::ReadFile(fd, chunk.data(), kReadChunk, &got, &err) || got == 0)
            break;
        for (uint32_t i = 0; i < got; ++i) {
            const char c = chunk[i];
            if (c != '\n') {
                line.push_back(c);
                continue;
            }
            complete = total + i + 1;
            while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
                line.pop_back();
            if (!line.empty()) {
                m_written.Add(line.data(), line.size());
                ++count;
            }
            line.clear();
        }
        total += got;
        if (got < kReadChunk)
            break;
    }
    if (complete < total) {
        // A line without its end: a write that a crash cut short. Its name is written again, whole,
        // when the journal still has it waiting.
        repaired = platform::TruncateFile(fd, complete, &err);
        platform::SyncFile(fd, &err);
    }
    platform::CloseFile(fd);
    m_loadedCount += count;
    return count;
}

bool NameOutput::Knows(std::string_view name) const {
    return m_written.Contains(name.data(), name.size()) || m_pendingSet.count(std::string(name)) != 0;
}

void NameOutput::Write(std::string_view name) {
    if (name.empty() || Knows(name))
        return;
    std::string text(name);
    m_pendingSet.insert(text);
    m_pending.push_back(std::move(text));
    WritePending();
}

bool NameOutput::WritePending() {
    while (!m_pending.empty()) {
        const std::string &name = m_pending.front();
        if (!AppendLine(name))
            return false;
        m_written.Add(name.data(), name.size());
        ++m_writtenCount;
        m_pendingSet.erase(name);
        m_pending.pop_front();
    }
    return true;
}

NameOutput::~NameOutput() {
    Close();
}

bool NameOutput::AppendLine(const std::string &name) {
    int err = 0;
    if (m_fd < 0) {
        m_fd = platform::OpenForAppend(m_path.Text(), &err);
        if (m_fd < 0) {
            m_lastError = err;
            return false;
        }
    }
    std::string line(name);
    line.push_back('\n');
    uint32_t written = 0;
    // One write of the whole line; the platform call completes a short one.
    if (platform::WriteFile(m_fd, line.data(), static_cast<uint32_t>(line.size()), &written, &err)) {
        m_lastError = 0;
        return true;
    }
    m_lastError = err;
    if (written > 0) {
        // The part that got there comes off again, so the file holds no piece of a name.
        uint64_t size = 0;
        if (platform::FileSizeOf(m_fd, &size, &err) && size >= written)
            platform::TruncateFile(m_fd, size - written, &err);
    }
    Close();
    return false;
}

bool NameOutput::Sync() {
    if (m_fd < 0)
        return true;
    int err = 0;
    const bool ok = platform::SyncFile(m_fd, &err);
    Close();
    return ok;
}

void NameOutput::Close() {
    if (m_fd >= 0)
        platform::CloseFile(m_fd);
    m_fd = -1;
}

} // namespace lanternfold
