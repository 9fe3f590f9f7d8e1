// vantry-get's output: fd 1, or a temporary file beside the target that is renamed over it on success.
#include "tools/GetOutput.h"

#include <atomic>

#include "core/AsciiText.h"
#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/OsError.h"
#include "platform/Terminal.h"

namespace vantry {

namespace {

std::string OsText(int err) {
    char text[256];
    platform::OsErrorText(err, text, sizeof text);
    return text;
}

// %XX escapes decoded, except those for '/', NUL and other control bytes, which stay as written.
std::string PercentDecodedName(const std::string &segment) {
    std::string out;
    for (size_t i = 0; i < segment.size(); ++i) {
        if (segment[i] == '%' && i + 2 < segment.size() && ascii::HexValue(segment[i + 1]) >= 0 &&
            ascii::HexValue(segment[i + 2]) >= 0) {
            unsigned char byte = static_cast<unsigned char>(ascii::HexValue(segment[i + 1]) * 16 +
                                                            ascii::HexValue(segment[i + 2]));
            if (byte != '/' && byte >= 0x20 && byte != 0x7F) {
                out.push_back(static_cast<char>(byte));
                i += 2;
                continue;
            }
        }
        out.push_back(segment[i]);
    }
    return out;
}

} // namespace

std::string RemoteFileName(const std::string &url) {
    std::string rest = url;
    if (size_t scheme = rest.find("://"); scheme != std::string::npos)
        rest.erase(0, scheme + 3);
    if (size_t cut = rest.find_first_of("?#"); cut != std::string::npos)
        rest.erase(cut);
    std::string name;
    if (size_t slash = rest.find('/'); slash != std::string::npos) {
        std::string path = rest.substr(slash);
        name = PercentDecodedName(path.substr(path.rfind('/') + 1));
    }
    if (name.empty() || name == "." || name == "..")
        return "index.html";
    return name;
}

GetOutput::~GetOutput() {
    Abandon();
}

bool GetOutput::Open(const std::string &path, std::string &error) {
    Abandon();
    m_written = 0;
    if (path.empty() || path == "-") {
        m_fd = 1;
        m_path.clear();
        return true;
    }
    if (platform::IsSpecialFile(path.c_str())) {
        // A device or a pipe (-o /dev/null) is written as it is: a temporary file renamed over it would
        // replace it.
        int err = 0;
        m_fd = platform::CreateForWrite(path.c_str(), &err);
        if (m_fd == platform::kInvalidFile) {
            error = path + ": cannot write: " + OsText(err);
            m_fd = 1;
            return false;
        }
        m_device = true;
        return true;
    }
    m_path = path;
    size_t slash = path.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    if (base.empty()) {
        error = path + ": is a directory name, not a file name";
        m_path.clear();
        return false;
    }
    // A hidden name of its own per process and attempt, in the target's directory (same file system).
    static std::atomic<unsigned> attempt{0};
    m_tempPath = dir + "." + base + ".part-" + std::to_string(platform::ProcessId()) + "-" +
                 std::to_string(platform::GetTickCount()) + "-" + std::to_string(++attempt);
    int err = 0;
    m_fd = platform::CreateExclusive(m_tempPath.c_str(), &err);
    if (m_fd == platform::kInvalidFile) {
        error = path + ": cannot write: " + OsText(err);
        m_tempPath.clear();
        m_path.clear();
        m_fd = 1;
        return false;
    }
    m_open = true;
    platform::RemoveOnSignal(m_tempPath.c_str()); // an interrupted fetch leaves no temporary file either
    return true;
}

bool GetOutput::Write(const void *bytes, size_t count, std::string &error) {
    const char *p = static_cast<const char *>(bytes);
    while (count > 0) {
        uint32_t piece = count > 0x40000000 ? 0x40000000 : static_cast<uint32_t>(count);
        uint32_t written = 0;
        int err = 0;
        if (!platform::WriteFile(m_fd, p, piece, &written, &err)) {
            error =
                (m_path.empty() ? std::string("standard output") : m_path) + ": write failed: " + OsText(err);
            return false;
        }
        p += piece;
        count -= piece;
        m_written += piece;
    }
    return true;
}

bool GetOutput::Restart(std::string &error) {
    if (!m_open)
        return m_written == 0; // standard output or a device cannot take back what it was given
    std::string path = m_path;
    Abandon();
    return Open(path, error);
}

bool GetOutput::Commit(std::string &error) {
    CloseDevice();
    if (!m_open)
        return true;
    platform::CloseFile(m_fd);
    m_fd = 1;
    m_open = false;
    platform::RemoveOnSignal(nullptr);
    int err = 0;
    if (!platform::RenameFile(m_tempPath.c_str(), m_path.c_str(), &err)) {
        error = m_path + ": cannot put the file in place: " + OsText(err);
        platform::DeleteFile(m_tempPath.c_str(), &err);
        m_tempPath.clear();
        return false;
    }
    m_tempPath.clear();
    return true;
}

void GetOutput::CloseDevice() {
    if (!m_device)
        return;
    platform::CloseFile(m_fd);
    m_fd = 1;
    m_device = false;
}

void GetOutput::Abandon() {
    CloseDevice();
    if (!m_open)
        return;
    platform::CloseFile(m_fd);
    platform::RemoveOnSignal(nullptr);
    int err = 0;
    platform::DeleteFile(m_tempPath.c_str(), &err);
    m_fd = 1;
    m_open = false;
    m_tempPath.clear();
}

} // namespace vantry
