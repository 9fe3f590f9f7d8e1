// Test helpers of the program tests: runs a program with arguments in a directory, collecting its exit
// code, standard output and standard error (a run that outlives its time limit is killed and reported as
// exit code -1); temporary directories and files; a closed loopback port; gzip data.
#pragma once
#include <string>
#include <vector>

#include "support/GzipData.h"

namespace testsupport {

struct ProgramResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// env: "NAME=value" entries set for the program only. The proxy variables of the environment the tests
// run in (http_proxy, HTTPS_PROXY, no_proxy ...) are removed from this process when it starts, so that no
// program under test sees them unless a test sets them here.
ProgramResult RunProgram(const std::vector<std::string> &args, const std::string &cwd = "",
                         int timeoutSeconds = 30, const std::vector<std::string> &env = {});

// A loopback port with nothing listening (bound, then closed).
int ClosedPort();

// The proxy variables a client reads, upper and lower case.
const std::vector<std::string> &ProxyVariables();

std::string MakeTempDirectory();
std::string ReadWholeFile(const std::string &path);
bool PathExists(const std::string &path);
// Names in a directory, without "." and "..", sorted.
std::vector<std::string> DirectoryEntries(const std::string &dir);
void RemoveTree(const std::string &path);

} // namespace testsupport
