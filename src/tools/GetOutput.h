// vantry-get's output: standard output, or a file written under a temporary name beside it and
// renamed into place only when the whole fetch succeeded, so a failed fetch never leaves a partial file.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantry {

// The file name -O uses: the URL's last path segment without query or fragment, its %XX escapes decoded
// as wget decodes them (except those that would give '/', NUL or another control byte), "index.html"
// when it is empty; never a path (no '/'), never "." or "..".
std::string RemoteFileName(const std::string &url);

class GetOutput {
public:
    GetOutput() = default;
    ~GetOutput(); // abandons an uncommitted file
    GetOutput(const GetOutput &) = delete;
    GetOutput &operator=(const GetOutput &) = delete;

    // Standard output (fd 1; path empty or "-"), or a file at path (created beside it under a temporary
    // name now, so an unwritable place is reported before any network use), or a device or pipe at path
    // (/dev/null), written directly. False with a one-line reason.
    bool Open(const std::string &path, std::string &error);
    bool Write(const void *bytes, size_t count, std::string &error);
    // Starts the output again for a new attempt: a file gets a fresh temporary file; standard output
    // cannot take back what it was given (false when anything was written to it).
    bool Restart(std::string &error);
    // Bytes written since the output was opened or restarted.
    uint64_t Written() const { return m_written; }
    // Puts the file in place (nothing for standard output).
    bool Commit(std::string &error);
    // Removes the temporary file; the target is left as it was.
    void Abandon();

    const std::string &TempPath() const { return m_tempPath; }
    bool ToFile() const { return !m_path.empty(); }

private:
    int m_fd = 1;
    std::string m_path;
    std::string m_tempPath;
    void CloseDevice();

    bool m_open = false;   // a temporary file is open
    bool m_device = false; // a device or pipe named by the path is open
    uint64_t m_written = 0;
};

} // namespace vantry
