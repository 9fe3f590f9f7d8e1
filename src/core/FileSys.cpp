// File routines over the platform layer, with the fixed log messages callers and tests rely on.
// Sits in core; DataBuffer's file loads and the log's SaveLogXml use it.
#include "core/FileSys.h"

#include <atomic>
#include <cerrno>
#include <random>
#include <string>

#include "core/LogBase.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "platform/Clock.h"
#include "platform/Files.h"

namespace vantry {

namespace FileSys {
namespace {

bool IsEmptyName(const char *name) {
    return !name || !*name;
}

void OsErrorText(int err, StringBuffer &out) {
    out.AppendOsErrorText(err);
}

// The opening messages: which message and value name depends on the name form.
void LogOpenFailure(LogBase &log, const char *name, int err) {
    bool ansi = UsesAnsiNameForm(name);
    log.LogError(ansi ? "Failed to open file (2)" : "Failed to open file (3)");
    log.LogData(ansi ? "filename" : "utf8Filename", name);
    StringBuffer text;
    OsErrorText(err, text);
    log.LogData("osErrorInfo", text.Text());
}

// Writes one block; on a short write logs "filename" (when asked), the platform text and message.
bool WriteBlock(int fd, const void *bytes, uint32_t count, LogBase &log, const char *name, bool logName,
                const char *message) {
    if (count == 0 || !bytes)
        return true;
    uint32_t written = 0;
    int err = 0;
    if (platform::WriteFile(fd, bytes, count, &written, &err) && written == count)
        return true;
    if (logName)
        log.LogData("filename", name);
    LogOsError(log, err);
    log.LogError(message);
    return false;
}

// The characters the ANSI page (1252) gives to its bytes 0x80 to 0x9F, 0 where it gives none; every
// other byte stands for the character with its own number.
constexpr uint16_t kAnsiHighControls[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                            0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                            0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                            0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool InAnsiPage(uint32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return true;
    for (uint16_t mapped : kAnsiHighControls) {
        if (mapped != 0 && mapped == c)
            return true;
    }
    return false;
}

bool IsContinuation(unsigned char b) {
    return (b & 0xC0) == 0x80;
}

// Numbers the threads' generators, so that two threads starting in the same millisecond differ.
std::atomic<uint32_t> g_generatorsMade{0};

std::minstd_rand &TempNameRandom() {
    // One generator per thread, seeded once from the tick count (names made in the same millisecond by
    // one thread differ) mixed with the thread's generator number.
    thread_local std::minstd_rand rng(
        (platform::GetTickCount() ^
         (g_generatorsMade.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B9u)) |
        1u);
    return rng;
}

} // namespace

bool UsesAnsiNameForm(const char *utf8Name) {
    if (IsEmptyName(utf8Name))
        return true;
    // The UTF-8 reading of the charset converter: a leading byte-order mark is skipped, bytes that do
    // not start a one- to three-byte sequence (characters beyond the BMP among them) are passed over
    // without making the name inexact, and every character read must be in the ANSI page.
    const auto *p = reinterpret_cast<const unsigned char *>(utf8Name);
    if (p[0] == 0xEF && p[1] == 0xBB && p[2] == 0xBF)
        p += 3;
    while (*p != 0) {
        const unsigned char b0 = *p;
        if (b0 < 0x80) {
            ++p;
        } else if (b0 >= 0xC2 && b0 <= 0xDF && IsContinuation(p[1])) {
            if (!InAnsiPage(static_cast<uint32_t>(((b0 & 0x1F) << 6) | (p[1] & 0x3F))))
                return false;
            p += 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF && IsContinuation(p[1]) && IsContinuation(p[2]) &&
                   (b0 != 0xE0 || p[1] >= 0xA0)) {
            if (!InAnsiPage(
                    static_cast<uint32_t>(((b0 & 0x0F) << 12) | ((p[1] & 0x3F) << 6) | (p[2] & 0x3F))))
                return false;
            p += 3;
        } else {
            ++p;
        }
    }
    return true;
}

void LogOsError(LogBase &log, int err) {
    StringBuffer text;
    OsErrorText(err, text);
    log.LogError(text.Text());
}

int OpenFileForRead(const char *name, LogBase *log) {
    if (IsEmptyName(name)) {
        if (log)
            log->LogError("Cannot open file, filename is empty.");
        return kInvalidHandle;
    }
    int err = 0;
    int fd = platform::OpenForRead(name, &err);
    if (fd < 0) {
        if (log)
            LogOpenFailure(*log, name, err);
        return kInvalidHandle;
    }
    return fd;
}

int CreateFileForWrite(const char *name, LogBase *log) {
    if (IsEmptyName(name))
        return kInvalidHandle;
    int err = 0;
    int fd = platform::CreateForWrite(name, &err);
    if (fd < 0) {
        if (log)
            LogOpenFailure(*log, name, err);
        return kInvalidHandle;
    }
    return fd;
}

void CloseFile(int handle) {
    platform::CloseFile(handle);
}

bool FileExists(const char *name, LogBase *log) {
    if (IsEmptyName(name))
        return false;
    int fd = OpenFileForRead(name, log);
    if (fd == kInvalidHandle)
        return false;
    platform::CloseFile(fd);
    return true;
}

uint64_t FileSize(const char *name, bool *success, LogBase *log) {
    if (success)
        *success = false;
    if (IsEmptyName(name))
        return 0;
    int fd = OpenFileForRead(name, log);
    if (fd == kInvalidHandle)
        return 0;
    uint64_t size = 0;
    int err = 0;
    bool ok = platform::FileSizeOf(fd, &size, &err);
    platform::CloseFile(fd);
    if (!ok) {
        if (log) {
            LogOsError(*log, err);
            log->LogData("filename", name);
            log->LogError("Failed to get file size");
        }
        return 0;
    }
    if (success)
        *success = true;
    return size;
}

bool WriteWholeFile(const char *utf8Name, const void *bytes, uint32_t count, LogBase *logPtr) {
    if (IsEmptyName(utf8Name))
        return false;
    LogNull nullLog;
    LogBase &log = logPtr ? *logPtr : nullLog;
    bool ansi = UsesAnsiNameForm(utf8Name);
    int fd = CreateFileForWrite(utf8Name, &log);
    if (fd == kInvalidHandle) {
        log.LogData(ansi ? "filename" : "utf8Filename", utf8Name);
        log.LogError(ansi ? "Failed to write complete file (7)" : "Failed to write complete file (6)");
        return false;
    }
    bool ok = WriteBlock(fd, bytes, count, log, utf8Name, ansi,
                         ansi ? "Failed to write complete file (1)" : "Failed to write complete file (3)");
    platform::CloseFile(fd);
    return ok;
}

bool WriteTwoPartFile(const char *name, const void *first, uint32_t firstCount, const void *second,
                      uint32_t secondCount, LogBase *logPtr) {
    if (IsEmptyName(name))
        return false;
    LogNull nullLog;
    LogBase &log = logPtr ? *logPtr : nullLog;
    int fd = CreateFileForWrite(name, &log);
    if (fd == kInvalidHandle)
        return false;
    bool ok = WriteBlock(fd, first, firstCount, log, name, true, "Failed to write complete file (4)") &&
              WriteBlock(fd, second, secondCount, log, name, true, "Failed to write complete file (5)");
    platform::CloseFile(fd);
    return ok;
}

bool ReplaceFileTwoPart(const char *name, const void *first, uint32_t firstCount, const void *second,
                        uint32_t secondCount, LogBase *logPtr) {
    if (IsEmptyName(name))
        return false;
    LogNull nullLog;
    LogBase &log = logPtr ? *logPtr : nullLog;
    std::string target(name);
    size_t slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    std::string base = (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp";

    // Created exclusively, so two writers never share a temporary file.
    StringBuffer temp;
    int fd = kInvalidHandle;
    int err = 0;
    for (int attempt = 0; attempt < 16 && fd == kInvalidHandle; ++attempt) {
        MakeTempFileName(dir.c_str(), base.c_str(), temp);
        fd = platform::CreateExclusive(temp.Text(), &err);
        if (fd == kInvalidHandle && err != EEXIST)
            break;
    }
    if (fd == kInvalidHandle) {
        LogOpenFailure(log, temp.Text(), err);
        return false;
    }
    bool ok = WriteBlock(fd, first, firstCount, log, name, true, "Failed to write complete file (4)") &&
              WriteBlock(fd, second, secondCount, log, name, true, "Failed to write complete file (5)");
    platform::CloseFile(fd);
    if (ok && !platform::RenameFile(temp.Text(), name, &err)) {
        log.LogData("filename", name);
        LogOsError(log, err);
        ok = false;
    }
    if (!ok)
        platform::DeleteFile(temp.Text(), nullptr);
    return ok;
}

bool AppendToFile(const char *utf8Name, const void *bytes, uint32_t count, LogBase *logPtr) {
    if (IsEmptyName(utf8Name))
        return false;
    LogNull nullLog;
    LogBase &log = logPtr ? *logPtr : nullLog;
    int err = 0;
    int fd = platform::OpenForAppend(utf8Name, &err);
    if (fd < 0) {
        LogOpenFailure(log, utf8Name, err);
        return false;
    }
    bool ok = WriteBlock(fd, bytes, count, log, utf8Name, true, "Failed to append to file");
    platform::CloseFile(fd);
    return ok;
}

bool RemoveFile(const char *utf8Name, LogBase *logPtr) {
    LogNull nullLog;
    LogBase &log = logPtr ? *logPtr : nullLog;
    if (IsEmptyName(utf8Name)) {
        log.LogError("Cannot delete file, filename is null or empty");
        return false;
    }
    if (!FileExists(utf8Name, &log)) {
        log.LogData("delete_filename", utf8Name);
        log.LogInfo("Cannot delete file, file does not exist");
        return false;
    }
    int err = 0;
    if (!platform::DeleteFile(utf8Name, &err)) {
        log.LogInfo("Cannot delete file");
        log.LogData("delete_filename", utf8Name);
        StringBuffer text("DeleteFile: ");
        OsErrorText(err, text);
        log.LogInfo(text.Text());
        return false;
    }
    return true;
}

bool MakeDirectory(const char *name) {
    return platform::MakeDir(name, nullptr);
}

bool ChangeDirectory(const char *name) {
    return platform::ChangeDir(name, nullptr);
}

bool CurrentDirectory(StringBuffer &out) {
    std::string dir;
    bool ok = platform::GetCurrentDir(dir, nullptr);
    out.SetString(dir.c_str());
    return ok;
}

bool TempDirectory(StringBuffer &out) {
    out.SetString("/tmp/");
    return true;
}

void MakeTempFileName(const char *directory, const char *baseName, StringBuffer &out) {
    std::string base = IsEmptyName(baseName) ? std::string("x") : std::string(baseName);
    if (base.find('.') == std::string::npos)
        base += ".tmp";
    size_t dot = base.rfind('.');
    std::string stem = base.substr(0, dot);
    std::string ext = base.substr(dot);

    // An empty directory means the current one (a bare "/" would point at the root).
    std::string dir = directory ? directory : "";
    if (!dir.empty() && dir.back() != '/' && dir.back() != '\\')
        dir += '/';

    static constexpr char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::minstd_rand &rng = TempNameRandom();
    std::string candidate;
    // Bounded so that a directory holding every one of the 36^4 names cannot hang the caller.
    for (int attempt = 0; attempt < 1000000; ++attempt) {
        candidate = dir + stem + "_";
        for (int i = 0; i < 4; ++i)
            candidate += kChars[rng() % 36];
        candidate += ext;
        if (!platform::PathExists(candidate.c_str()))
            break;
    }
    out.SetString(candidate.c_str());
}

bool EnsureDirectory(const char *path, LogBase &log) {
    if (IsEmptyName(path))
        return false;
    int err = 0;
    int saved = platform::SaveCurrentDir(&err);
    if (saved < 0) {
        // Without a way back we would leave the process elsewhere: refuse.
        LogOsError(log, err);
        log.LogError("Cannot remember the current directory");
        return false;
    }

    bool result = [&]() {
        if (platform::ChangeDir(path, nullptr))
            return true;
        std::string rest(path);
        size_t pos = 0;
        if (rest[0] == '/') {
            if (!platform::ChangeDir("/", &err))
                return false;
            pos = 1;
        }
        while (pos <= rest.size()) {
            size_t end = rest.find('/', pos);
            if (end == std::string::npos)
                end = rest.size();
            std::string component = rest.substr(pos, end - pos);
            pos = end + 1;
            if (component.empty())
                continue;
            if (platform::ChangeDir(component.c_str(), nullptr))
                continue;
            if (!platform::MakeDir(component.c_str(), &err) ||
                !platform::ChangeDir(component.c_str(), &err)) {
                log.LogError("Failed to create directory");
                log.LogData("dirName", component.c_str());
                StringBuffer text;
                OsErrorText(err, text);
                log.LogData("osErrorInfo", text.Text());
                return false;
            }
        }
        return true;
    }();

    platform::RestoreCurrentDir(saved);
    return result;
}

} // namespace FileSys

} // namespace vantry
