// StateFile: a text file: the line "lanternfold-state 1", the sections "queue N", "crawled N" and
// "scanned N" each followed by N names one a line, and "end XXXXXXXX", the CRC-32 of all before it.
#include "harvester/StateFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/Crc32.h"
#include "core/DataBuffer.h"
#include "core/FileSys.h"
#include "core/LogNull.h"
#include "platform/Files.h"

namespace lanternfold {

using namespace vantry;

namespace {

constexpr const char *kMagic = "lanternfold-state 1\n";

void AppendSection(std::string &out, const char *name, const std::vector<std::string> &names) {
    out.append(name).append(" ").append(std::to_string(names.size())).append("\n");
    for (const std::string &n : names)
        out.append(n).append("\n");
}

// Reads one line from the text at pos; false at the end.
bool NextLine(const std::string &text, size_t &pos, std::string &line) {
    if (pos >= text.size())
        return false;
    size_t end = text.find('\n', pos);
    if (end == std::string::npos)
        return false; // every line of a whole file ends with LF
    line.assign(text, pos, end - pos);
    pos = end + 1;
    return true;
}

bool ReadSection(const std::string &text, size_t &pos, const char *name, std::vector<std::string> &names) {
    std::string line;
    if (!NextLine(text, pos, line))
        return false;
    const size_t nameLen = std::strlen(name);
    if (line.compare(0, nameLen, name) != 0 || line.size() <= nameLen + 1 || line[nameLen] != ' ')
        return false;
    char *end = nullptr;
    unsigned long long count = std::strtoull(line.c_str() + nameLen + 1, &end, 10);
    if (end == nullptr || *end != 0 || count > text.size())
        return false;
    names.reserve(static_cast<size_t>(count));
    for (unsigned long long i = 0; i < count; ++i) {
        if (!NextLine(text, pos, line) || line.empty())
            return false;
        names.push_back(line);
    }
    return true;
}

} // namespace

namespace StateFile {

bool Save(const char *path, const SavedState &state) {
    std::string body(kMagic);
    AppendSection(body, "queue", state.crawlQueue);
    AppendSection(body, "crawled", state.crawledDomains);
    AppendSection(body, "scanned", state.scannedNames);
    char end[32];
    std::snprintf(end, sizeof end, "end %08x\n", Crc32::Compute(body.data(), body.size()));
    body.append(end);

    std::string temp = std::string(path) + ".tmp";
    if (!FileSys::WriteWholeFile(temp.c_str(), body.data(), static_cast<uint32_t>(body.size()), nullptr))
        return false;
    int err = 0;
    if (!platform::RenameFile(temp.c_str(), path, &err)) {
        FileSys::RemoveFile(temp.c_str(), nullptr);
        return false;
    }
    return true;
}

bool Load(const char *path, SavedState &state, std::string &reason) {
    state = SavedState();
    LogNull log;
    if (!FileSys::FileExists(path, &log)) {
        reason = "missing";
        return false;
    }
    DataBuffer bytes;
    if (!bytes.LoadFile(path, log)) {
        reason = "unreadable";
        return false;
    }
    const std::string text(reinterpret_cast<const char *>(bytes.Data()), bytes.Length());
    if (text.compare(0, std::strlen(kMagic), kMagic) != 0) {
        reason = "not a state file";
        return false;
    }
    // The last line holds the CRC of everything before it.
    const size_t endLine = text.rfind("end ");
    char expected[32];
    if (endLine == std::string::npos || text.size() - endLine != 13 || text.back() != '\n') {
        reason = "damaged";
        return false;
    }
    std::snprintf(expected, sizeof expected, "end %08x\n", Crc32::Compute(text.data(), endLine));
    if (text.compare(endLine, std::string::npos, expected) != 0) {
        reason = "damaged";
        return false;
    }
    const std::string body = text.substr(0, endLine);
    size_t pos = std::strlen(kMagic);
    SavedState read;
    if (!ReadSection(body, pos, "queue", read.crawlQueue) ||
        !ReadSection(body, pos, "crawled", read.crawledDomains) ||
        !ReadSection(body, pos, "scanned", read.scannedNames) || pos != body.size()) {
        reason = "damaged";
        return false;
    }
    state = std::move(read);
    return true;
}

} // namespace StateFile

} // namespace lanternfold
