// A directory under /tmp shared by the file-reading fuzz targets for the life of the process, removed
// with its contents at exit.
#pragma once
#include <cstdlib>
#include <filesystem>
#include <string>

inline const std::string &FuzzTempDir() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/vantry-fuzz-XXXXXX";
        const char *made = mkdtemp(tmpl);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(FuzzTempDir(), ec);
        });
        return std::string(made ? made : "/tmp/vantry-fuzz");
    }();
    return dir;
}
