// CodePageTables: the process-wide registry of code-page mapping tables. Each table is built the
// first time its code page is used (once, whichever thread comes first) and kept until exit; the built
// tables are read-only, so any number of threads convert with them at once.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class SingleByteTable;
class MultiByteTable;
class LogBase;

enum class CodePageKind {
    None,       // cannot be converted
    Utf16LE,    // 1200
    Utf16BE,    // 1201
    Utf7,       // 65000
    Utf8,       // 65001
    Utf32LE,    // 65005
    Utf32BE,    // 65006
    SingleByte, // 256-entry table
    MultiByte,  // stored multi-byte table
    Iso2022Jp,  // 50220..50222, through 932
    Iso2022Kr,  // 50225, through 949
};

class CodePageTables {
public:
    static CodePageKind KindOf(int32_t codePage);
    static bool IsConvertible(int32_t codePage) { return KindOf(codePage) != CodePageKind::None; }
    // The table of a page, built on first use; null when the page has none (or a stored table is bad).
    static const SingleByteTable *SingleByte(int32_t codePage);
    static const MultiByteTable *MultiByte(int32_t codePage);
    // Heap bytes held by the tables built so far.
    static size_t MemoryUsed();
};

} // namespace vantry
