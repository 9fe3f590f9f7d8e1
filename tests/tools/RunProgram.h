// Test helper: runs a program with arguments in a directory, collecting its exit code, standard output and
// standard error; a run that outlives its time limit is killed and reported as exit code -1.
#pragma once
#include <string>
#include <vector>

namespace testsupport {

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

ProgramResult RunProgram(const std::vector<std::string> &args, const std::string &cwd = "",
                         int timeoutSeconds = 30);

std::string MakeTempDirectory();
std::string ReadWholeFile(const std::string &path);
bool PathExists(const std::string &path);
// Names in a directory, without "." and "..", sorted.
std::vector<std::string> DirectoryEntries(const std::string &dir);
void RemoveTree(const std::string &path);

} // namespace testsupport
