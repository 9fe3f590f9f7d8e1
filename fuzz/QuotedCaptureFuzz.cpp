// Fuzz target: ParseEngine's quoted captures. A shared engine (which answers from its reach table
// after the first unbalanced quote) must agree with a fresh scan from every start offset, and the
// cursor must stay within the text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/ParseEngine.h"
#include "core/StringBuffer.h"

using namespace vantry;

namespace {

// The documented rule, byte by byte: where a quoted capture from `from` stops.
size_t ReferenceStop(const std::string &t, size_t from, char c, bool strict) {
    char open = 0;
    bool justClosed = false;
    for (size_t i = from; i < t.size(); ++i) {
        char b = t[i];
        if (open != 0) {
            if (b == open) {
                open = 0;
                justClosed = strict;
            }
            continue;
        }
        if (b == c)
            return i;
        if ((b == '"' || b == '\'') && !justClosed)
            open = b;
        justClosed = false;
    }
    size_t plain = t.find(c, from);
    return plain == std::string::npos ? t.size() : plain;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1)
        return 0;
    char delimiter = static_cast<char>(data[0]);
    std::string text(reinterpret_cast<const char *>(data) + 1, size - 1);
    text.resize(std::char_traits<char>::length(text.c_str()));
    ParseEngine shared;
    shared.Load(text.c_str());
    int32_t length = shared.Length();
    // Every offset for small inputs; a stride keeps large ones fast.
    int32_t stride = length > 2048 ? length / 512 : 1;
    for (bool strict : {false, true}) {
        for (int32_t from = 0; from <= length; from += stride) {
            ParseEngine fresh;
            fresh.Load(text.c_str());
            fresh.SetPos(from);
            shared.SetPos(from);
            StringBuffer a, b;
            if (strict) {
                fresh.CaptureUntilCharQuotedStrict(delimiter, a);
                shared.CaptureUntilCharQuotedStrict(delimiter, b);
            } else {
                fresh.CaptureUntilCharQuoted(delimiter, a);
                shared.CaptureUntilCharQuoted(delimiter, b);
            }
            if (!a.Equals(b.Text()) || fresh.Pos() != shared.Pos() || shared.Pos() > length)
                std::abort();
            size_t expected = delimiter == '\0'
                                  ? text.size()
                                  : ReferenceStop(text, static_cast<size_t>(from), delimiter, strict);
            if (static_cast<size_t>(fresh.Pos()) != expected)
                std::abort();
        }
    }
    StringBuffer out;
    shared.SetPos(0);
    shared.CaptureBalanced('<', '>', 1, out);
    shared.SeekPast("<a ");
    shared.SkipChars(" \t\r\n");
    if (shared.Pos() > length)
        std::abort();
    return 0;
}
