// File routines: whole-file read and write, exists, size, delete, directories, temporary names.
// Names are UTF-8 and go to the POSIX layer as they are; failures are logged with fixed messages.
#pragma once
#include <cstdint>

namespace vantry {

class LogBase;
class StringBuffer;

namespace FileSys {
constexpr int kInvalidHandle = -1;

// Opening: a failure is logged (when a log is given) as "Failed to open file (2)" with "filename"
// for names the ANSI code page represents exactly, else "Failed to open file (3)" with
// "utf8Filename"; then "osErrorInfo". A directory cannot be opened as a file.
int OpenFileForRead(const char *name, LogBase *log);
int CreateFileForWrite(const char *name, LogBase *log);
void CloseFile(int handle);
bool FileExists(const char *name, LogBase *log);
uint64_t FileSize(const char *name, bool *success, LogBase *log = nullptr);
bool WriteWholeFile(const char *utf8Name, const void *bytes, uint32_t count, LogBase *log);
bool WriteTwoPartFile(const char *name, const void *first, uint32_t firstCount, const void *second,
                      uint32_t secondCount, LogBase *log);
// Opens for append (creating when absent), writes the bytes, closes. Used for the output file.
// Writes both parts to a new temporary file beside the name and renames it into place, so that a
// reader sees either the old file or the whole new one, never a part (the temporary is removed
// on failure). Messages as WriteTwoPartFile's.
bool ReplaceFileTwoPart(const char *name, const void *first, uint32_t firstCount, const void *second,
                        uint32_t secondCount, LogBase *log);
bool AppendToFile(const char *utf8Name, const void *bytes, uint32_t count, LogBase *log);
bool RemoveFile(const char *utf8Name, LogBase *log);
bool MakeDirectory(const char *name);
bool ChangeDirectory(const char *name);
bool CurrentDirectory(StringBuffer &out);
bool TempDirectory(StringBuffer &out); // "/tmp/"
// A name in directory, made of baseName's stem, "_", four random letters or digits and its
// extension (".tmp" when it has none), at which nothing exists yet. The file is not created.
void MakeTempFileName(const char *directory, const char *baseName, StringBuffer &out);
// Makes every component of a '/'-separated path exist; restores the current directory on every path.
bool EnsureDirectory(const char *path, LogBase &log);

// Whether a UTF-8 name is represented exactly in the ANSI code page; selects the message variants.
bool UsesAnsiNameForm(const char *utf8Name);
// Logs the platform's message text for an errno value as an error line.
void LogOsError(LogBase &log, int err);
} // namespace FileSys

} // namespace vantry
