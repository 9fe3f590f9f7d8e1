// Helpers shared by the unit tests: a temporary directory that removes itself, file helpers.
#pragma once
#include <string>

namespace testsupport {

// A fresh directory under /tmp, removed with its contents when the object goes away.
class TempDir {
public:
    TempDir();
    ~TempDir();
    const std::string &Path() const { return m_path; }
    std::string File(const std::string &name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

std::string ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);

} // namespace testsupport
