// Platform files: the POSIX calls behind the file routines (open, read, write, stat, unlink, mkdir,
// chdir, getcwd, readdir). Names are passed to the system as their bytes; each failing call reports its
// errno.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vantry {

namespace platform {

constexpr int kInvalidFile = -1;

// Opens an existing file for reading. A directory is refused with EISDIR, as the original file
// functions refuse it; opening never blocks on a FIFO.
int OpenForRead(const char *name, int *err);
// Creates or truncates a file for writing.
int CreateForWrite(const char *name, int *err);
// Opens a file for appending, creating it when absent.
int OpenForAppend(const char *name, int *err);
void CloseFile(int fd);

// Reads up to count bytes, retrying short reads until count bytes or the end of the file.
// False on an I/O error (err set); *got holds what was read either way.
bool ReadFile(int fd, void *buffer, uint32_t count, uint32_t *got, int *err);
// Writes count bytes, retrying short writes. False on an error (err set); *written holds the count.
bool WriteFile(int fd, const void *bytes, uint32_t count, uint32_t *written, int *err);
bool FileSizeOf(int fd, uint64_t *size, int *err);

// Opens an existing file for reading and writing, without truncating it.
int OpenForUpdate(const char *name, int *err);
// Creates a new file for writing; fails with EEXIST when anything is already at the name.
int CreateExclusive(const char *name, int *err);
// Writes count bytes at an offset (pwrite), retrying short writes.
bool WriteFileAt(int fd, uint64_t offset, const void *bytes, uint32_t count, uint32_t *written, int *err);
// Renames a file, replacing whatever file is at the new name in one step (rename(2)).
bool RenameFile(const char *from, const char *to, int *err);

// Durable files: the file's data on the disk (fdatasync), the file cut to a size (ftruncate), and the
// directory that holds a name synced so that a rename or a new file in it survives a power loss.
bool SyncFile(int fd, int *err);
bool TruncateFile(int fd, uint64_t size, int *err);
bool SyncDirectoryOf(const char *name, int *err);

// True when anything (file, directory, link) is at that path.
bool PathExists(const char *name);
// True when the path names something other than a regular file or a directory (a device such as
// /dev/null, a FIFO, a socket), following links.
bool IsSpecialFile(const char *name);
bool DeleteFile(const char *name, int *err);
bool MakeDir(const char *name, int *err);
bool ChangeDir(const char *name, int *err);
bool GetCurrentDir(std::string &out, int *err);

// A handle on the current directory that stays valid even when its path is long or renamed;
// RestoreCurrentDir changes back to it and closes it.
int SaveCurrentDir(int *err);
bool RestoreCurrentDir(int handle);

// The names of the entries of a directory ("." and ".." left out), in no particular order.
bool ListDirectory(const char *name, std::vector<std::string> &names, int *err);

} // namespace platform

} // namespace vantry
