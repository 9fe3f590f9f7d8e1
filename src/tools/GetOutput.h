// vantry-get's output: standard output, or a file written under a temporary name beside it and
// renamed into place only when the whole fetch succeeded, so a failed fetch never leaves a partial file.
#pragma once
#include <cstddef>
#include <string>

namespace vantry {

// The file name -O uses: the URL's last path segment without query or fragment, "index.html" when it is
// empty; never a path (no '/'), never "." or "..".
std::string RemoteFileName(const std::string &url);

class GetOutput {
public:
    GetOutput() = default;
    ~GetOutput(); // abandons an uncommitted file
    GetOutput(const GetOutput &) = delete;
    GetOutput &operator=(const GetOutput &) = delete;

    // Standard output (fd 1), or a file at path (created beside it under a temporary name now, so an
    // unwritable place is reported before any network use). False with a one-line reason.
    bool Open(const std::string &path, std::string &error);
    bool Write(const void *bytes, size_t count, std::string &error);
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
    bool m_open = false;
};

} // namespace vantry
