// CookieFile: reading and writing one XML domain file of the cookie store. The root element
// "cookies" holds one "cookie" element per cookie: "key" (domain with a leading "." unless host-only,
// a comma, the path) and the attributes below, and one child whose tag is the cookie's name and whose
// text is its value (a name that cannot be a tag goes in a "pair" child's "name" attribute). Files
// written before the store knew host-only cookies and time stamps (several pairs per element, no
// stamps) still load: their cookies are domain cookies, older than any cookie set since.
#pragma once
#include <cstddef>

namespace vantry {

class CookieJar;
class LogBase;

class CookieFile {
public:
    enum class LoadStatus {
        Missing,   // no file: an empty jar
        Loaded,    // the jar holds the file's usable cookies
        Unreadable // the file exists but cannot be read or parsed: it must not be overwritten
    };
    // A domain file larger than this is not read.
    static constexpr size_t kMaxFileBytes = 16u * 1024u * 1024u;

    // Reads the file into jar (emptied first). Elements that do not make a usable cookie are skipped.
    static LoadStatus Load(const char *path, CookieJar &jar);
    // The same from the bytes of a file; false when they are not an XML document with a root element.
    static bool ReadDocument(const char *bytes, size_t size, CookieJar &jar);
    // Writes the jar's cookies (a temporary file beside it, renamed into place); false on failure.
    static bool Save(const char *path, const CookieJar &jar, LogBase &log);
};

} // namespace vantry
