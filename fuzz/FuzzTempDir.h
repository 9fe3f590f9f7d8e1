// A directory shared by the file-reading fuzz targets for the life of the process (in memory under
// /dev/shm when the machine has it, else under /tmp), removed with its contents at exit.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

inline const std::string &FuzzTempDir() {
    // Never destroyed, so the exit handler can still use it.
    static const std::string *dir = [] {
        std::string base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
        std::string tmpl = base + "/vantry-fuzz-XXXXXX";
        const char *made = mkdtemp(tmpl.data());
        auto *path = new std::string(made ? made : base);
        std::atexit([] {
            std::error_code ec;
            if (FuzzTempDir().find("vantry-fuzz-") != std::string::npos)
                std::filesystem::remove_all(FuzzTempDir(), ec);
        });
        return path;
    }();
    return *dir;
}
