// Platform files on POSIX: open(2), read(2), write(2), fstat(2), unlink(2), mkdir(2), chdir(2), getcwd(3),
// readdir(3).
#include "platform/Files.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace vantry {

namespace platform {
namespace {

void SetErr(int *err, int value) {
    if (err)
        *err = value;
}

bool ValidName(const char *name, int *err) {
    if (name && *name)
        return true;
    SetErr(err, ENOENT);
    return false;
}

int OpenWithFlags(const char *name, int flags, int *err) {
    SetErr(err, 0);
    if (!ValidName(name, err))
        return kInvalidFile;
    int fd;
    do {
        fd = ::open(name, flags | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        SetErr(err, errno);
    return fd;
}

// Writes all count bytes, at the file position or (offset given) from that offset, retrying on EINTR;
// a write that makes no progress is reported as ENOSPC.
bool WriteAll(int fd, const uint64_t *offset, const void *bytes, uint32_t count, uint32_t *written,
              int *err) {
    SetErr(err, 0);
    uint32_t total = 0;
    auto *p = static_cast<const unsigned char *>(bytes);
    while (total < count) {
        ssize_t n = offset ? ::pwrite(fd, p + total, count - total, static_cast<off_t>(*offset + total))
                           : ::write(fd, p + total, count - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetErr(err, errno);
            break;
        }
        if (n == 0) {
            SetErr(err, ENOSPC);
            break;
        }
        total += static_cast<uint32_t>(n);
    }
    if (written)
        *written = total;
    return total == count;
}

} // namespace

int OpenForRead(const char *name, int *err) {
    // O_NONBLOCK keeps the open from waiting for a writer on a FIFO; it is cleared right after.
    int fd = OpenWithFlags(name, O_RDONLY | O_NONBLOCK, err);
    if (fd < 0)
        return kInvalidFile;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        int e = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        SetErr(err, e);
        return kInvalidFile;
    }
    int fl = ::fcntl(fd, F_GETFL);
    if (fl >= 0)
        ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
    return fd;
}

int CreateForWrite(const char *name, int *err) {
    return OpenWithFlags(name, O_WRONLY | O_CREAT | O_TRUNC, err);
}

int OpenForAppend(const char *name, int *err) {
    return OpenWithFlags(name, O_WRONLY | O_CREAT | O_APPEND, err);
}

int OpenForUpdate(const char *name, int *err) {
    int fd = OpenWithFlags(name, O_RDWR, err);
    if (fd < 0)
        return kInvalidFile;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        SetErr(err, EISDIR);
        return kInvalidFile;
    }
    return fd;
}

int CreateExclusive(const char *name, int *err) {
    return OpenWithFlags(name, O_WRONLY | O_CREAT | O_EXCL, err);
}

bool WriteFileAt(int fd, uint64_t offset, const void *bytes, uint32_t count, uint32_t *written, int *err) {
    return WriteAll(fd, &offset, bytes, count, written, err);
}

bool RenameFile(const char *from, const char *to, int *err) {
    SetErr(err, 0);
    if (!ValidName(from, err) || !ValidName(to, err))
        return false;
    if (::rename(from, to) == 0)
        return true;
    SetErr(err, errno);
    return false;
}

bool SyncFile(int fd, int *err) {
    SetErr(err, 0);
    int r;
    do {
        r = ::fdatasync(fd);
    } while (r != 0 && errno == EINTR);
    if (r != 0)
        SetErr(err, errno);
    return r == 0;
}

bool TruncateFile(int fd, uint64_t size, int *err) {
    SetErr(err, 0);
    int r;
    do {
        r = ::ftruncate(fd, static_cast<off_t>(size));
    } while (r != 0 && errno == EINTR);
    if (r != 0)
        SetErr(err, errno);
    return r == 0;
}

bool SyncDirectoryOf(const char *name, int *err) {
    if (!ValidName(name, err))
        return false;
    std::string directory(name);
    const size_t slash = directory.rfind('/');
    directory = slash == std::string::npos ? "." : slash == 0 ? "/" : directory.substr(0, slash);
    const int fd = OpenWithFlags(directory.c_str(), O_RDONLY | O_DIRECTORY, err);
    if (fd < 0)
        return false;
    int r;
    do {
        r = ::fsync(fd);
    } while (r != 0 && errno == EINTR);
    if (r != 0)
        SetErr(err, errno);
    ::close(fd);
    return r == 0;
}

void CloseFile(int fd) {
    if (fd >= 0)
        ::close(fd);
}

bool ReadFile(int fd, void *buffer, uint32_t count, uint32_t *got, int *err) {
    SetErr(err, 0);
    uint32_t total = 0;
    auto *p = static_cast<unsigned char *>(buffer);
    while (total < count) {
        ssize_t n = ::read(fd, p + total, count - total);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetErr(err, errno);
            if (got)
                *got = total;
            return false;
        }
        if (n == 0)
            break;
        total += static_cast<uint32_t>(n);
    }
    if (got)
        *got = total;
    return true;
}

bool WriteFile(int fd, const void *bytes, uint32_t count, uint32_t *written, int *err) {
    return WriteAll(fd, nullptr, bytes, count, written, err);
}

bool FileSizeOf(int fd, uint64_t *size, int *err) {
    SetErr(err, 0);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        SetErr(err, errno);
        if (size)
            *size = 0;
        return false;
    }
    if (size)
        *size = st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;
    return true;
}

bool IsSpecialFile(const char *name) {
    struct stat st {};
    return name && stat(name, &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
}

bool PathExists(const char *name) {
    if (!name || !*name)
        return false;
    struct stat st {};
    return ::lstat(name, &st) == 0;
}

bool DeleteFile(const char *name, int *err) {
    SetErr(err, 0);
    if (!ValidName(name, err))
        return false;
    if (::unlink(name) == 0)
        return true;
    SetErr(err, errno);
    return false;
}

bool MakeDir(const char *name, int *err) {
    SetErr(err, 0);
    if (!ValidName(name, err))
        return false;
    if (::mkdir(name, 0777) == 0)
        return true;
    SetErr(err, errno);
    return false;
}

bool ChangeDir(const char *name, int *err) {
    SetErr(err, 0);
    if (!ValidName(name, err))
        return false;
    if (::chdir(name) == 0)
        return true;
    SetErr(err, errno);
    return false;
}

bool GetCurrentDir(std::string &out, int *err) {
    SetErr(err, 0);
    std::vector<char> buf(512);
    for (;;) {
        if (::getcwd(buf.data(), buf.size())) {
            out.assign(buf.data());
            return true;
        }
        if (errno != ERANGE || buf.size() >= (1u << 20)) {
            SetErr(err, errno);
            out.clear();
            return false;
        }
        buf.resize(buf.size() * 2);
    }
}

int SaveCurrentDir(int *err) {
    SetErr(err, 0);
    int fd = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        // A directory we may enter but not read still works as a handle with O_PATH.
        fd = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0)
        SetErr(err, errno);
    return fd;
}

bool RestoreCurrentDir(int handle) {
    if (handle < 0)
        return false;
    bool ok = ::fchdir(handle) == 0;
    ::close(handle);
    return ok;
}

bool ListDirectory(const char *name, std::vector<std::string> &names, int *err) {
    names.clear();
    if (!ValidName(name, err))
        return false;
    DIR *dir = ::opendir(name);
    if (!dir) {
        SetErr(err, errno);
        return false;
    }
    SetErr(err, 0);
    // thread-safe: readdir on a stream of this call's own (readdir_r is deprecated; streams are not shared).
    while (const dirent *entry = ::readdir(dir)) {
        std::string entryName(entry->d_name);
        if (entryName != "." && entryName != "..")
            names.push_back(std::move(entryName));
    }
    ::closedir(dir);
    return true;
}

} // namespace platform

} // namespace vantry
