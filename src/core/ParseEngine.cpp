// ParseEngine: a generic text cursor (HTML scanning, the meta-charset sniff); seeks and captures over its
// own copy.
#include "core/ParseEngine.h"

#include "core/AsciiText.h"

#include <cstring>

namespace vantry {

namespace {

struct FoldTable {
    unsigned char v[256];
    constexpr FoldTable() : v() {
        for (int i = 0; i < 256; ++i)
            v[i] = ascii::ToUpper(static_cast<unsigned char>(i));
    }
};
constexpr FoldTable kFold;

// First position in [p, end) where the marker starts, compared case-insensitively, or null.
const char *FindNoCaseIn(const char *p, const char *end, const char *marker, size_t len) {
    if (len == 0 || static_cast<size_t>(end - p) < len)
        return nullptr;
    const char *last = end - len; // last possible start
    unsigned char first = static_cast<unsigned char>(marker[0]);
    if (!ascii::IsLetter(static_cast<char>(first))) {
        // memchr on the exact first byte is much faster than a folded scan.
        while (p <= last) {
            const char *hit =
                static_cast<const char *>(std::memchr(p, first, static_cast<size_t>(last - p) + 1));
            if (hit == nullptr)
                return nullptr;
            size_t i = 1;
            while (i < len && kFold.v[static_cast<unsigned char>(hit[i])] ==
                                  kFold.v[static_cast<unsigned char>(marker[i])])
                ++i;
            if (i == len)
                return hit;
            p = hit + 1;
        }
        return nullptr;
    }
    unsigned char f = kFold.v[first];
    for (; p <= last; ++p) {
        if (kFold.v[static_cast<unsigned char>(*p)] != f)
            continue;
        size_t i = 1;
        while (i < len &&
               kFold.v[static_cast<unsigned char>(p[i])] == kFold.v[static_cast<unsigned char>(marker[i])])
            ++i;
        if (i == len)
            return p;
    }
    return nullptr;
}

const char *FindExactIn(const char *p, const char *end, const char *marker, size_t len) {
    if (len == 0 || static_cast<size_t>(end - p) < len)
        return nullptr;
    const char *last = end - len;
    while (p <= last) {
        const char *hit =
            static_cast<const char *>(std::memchr(p, marker[0], static_cast<size_t>(last - p) + 1));
        if (hit == nullptr)
            return nullptr;
        if (std::memcmp(hit, marker, len) == 0)
            return hit;
        p = hit + 1;
    }
    return nullptr;
}

} // namespace

ParseEngine::ParseEngine() : start(text.Text()), pos(0), m_end(0) {}

ParseEngine::~ParseEngine() = default;

void ParseEngine::Load(const char *src) {
    text.Clear();
    if (src != nullptr)
        text.AppendBytes(src, static_cast<int32_t>(std::strlen(src)));
    start = text.Text();
    pos = 0;
    m_end = text.Length();
    ForgetScans();
}

void ParseEngine::Load(const StringBuffer &src) {
    text.Clear();
    text.AppendBuffer(src);
    start = text.Text();
    pos = 0;
    m_end = static_cast<int32_t>(std::strlen(start));
    ForgetScans();
}

void ParseEngine::ForgetScans() {
    m_reach.clear();
    m_seekFrom = -1;
    m_examined = 0;
}

void ParseEngine::SetPos(int32_t p) {
    pos = p < 0 ? 0 : (p > m_end ? m_end : p);
}

void ParseEngine::Step(int32_t n) {
    SetPos(pos + n);
}

char ParseEngine::SkipChars(const char *chars) {
    if (chars == nullptr || chars[0] == '\0')
        return start[pos];
    const int32_t from = pos;
    while (pos < m_end && std::strchr(chars, start[pos]) != nullptr)
        ++pos;
    m_examined += static_cast<uint64_t>(pos - from) + 1;
    return start[pos];
}

bool ParseEngine::AdvanceTo(char c) {
    const int32_t from = pos;
    const char *hit =
        static_cast<const char *>(std::memchr(start + pos, c, static_cast<size_t>(m_end - pos)));
    pos = hit == nullptr || c == '\0' ? m_end : static_cast<int32_t>(hit - start);
    m_examined += static_cast<uint64_t>(pos - from) + 1;
    return pos < m_end;
}

bool ParseEngine::AdvanceToUnless(char c, char stop) {
    for (; pos < m_end; ++pos, ++m_examined) {
        char b = start[pos];
        if (b == c)
            return true;
        if (b == stop)
            return false;
    }
    return false;
}

void ParseEngine::CaptureUntilAny(const char *set, StringBuffer &out) {
    int32_t from = pos;
    if (set == nullptr || set[0] == '\0') {
        pos = m_end;
    } else {
        pos += static_cast<int32_t>(std::strcspn(start + pos, set));
    }
    m_examined += static_cast<uint64_t>(pos - from) + 1;
    out.AppendBytes(start + from, pos - from);
}

void ParseEngine::CaptureUntilChar(char c, StringBuffer &out) {
    int32_t from = pos;
    AdvanceTo(c);
    out.AppendBytes(start + from, pos - from);
}

namespace {
enum : uint8_t { kOutside = 1, kJustClosed = 2, kInDouble = 4, kInSingle = 8 };
}

void ParseEngine::BuildQuotedReach(char c, bool strict) {
    // One backward pass: the bits at i say from which scan states, entered at i, the scan meets
    // `c` outside quotes before the end.
    m_reach.assign(static_cast<size_t>(m_end) + 1, 0);
    m_examined += static_cast<uint64_t>(m_end);
    m_reachChar = c;
    m_reachStrict = strict;
    for (int32_t i = m_end - 1; i >= 0; --i) {
        char b = start[i];
        uint8_t next = m_reach[static_cast<size_t>(i) + 1];
        auto has = [next](uint8_t state) { return (next & state) != 0; };
        uint8_t here = 0;
        if (b == c) {
            here |= kOutside | kJustClosed;
        } else {
            if (b == '"' ? has(kInDouble) : b == '\'' ? has(kInSingle) : has(kOutside))
                here |= kOutside;
            if (has(kOutside))
                here |= kJustClosed;
        }
        uint8_t afterClose = strict ? kJustClosed : kOutside;
        if (b == '"' ? has(afterClose) : has(kInDouble))
            here |= kInDouble;
        if (b == '\'' ? has(afterClose) : has(kInSingle))
            here |= kInSingle;
        m_reach[static_cast<size_t>(i)] = here;
    }
}

void ParseEngine::CaptureQuoted(char c, bool strict, StringBuffer &out) {
    int32_t from = pos;
    // Once one scan has met the end, the table answers in one step whether this one would.
    bool known = !m_reach.empty() && m_reachChar == c && m_reachStrict == strict;
    if (known && (m_reach[static_cast<size_t>(pos)] & kOutside) == 0) {
        CaptureUntilChar(c, out);
        return;
    }
    bool justClosed = false; // the previous byte closed a run (strict mode only)
    for (int32_t i = from; i < m_end; ++i) {
        char b = start[i];
        if (b == c) {
            pos = i;
            m_examined += static_cast<uint64_t>(i - from) + 1;
            out.AppendBytes(start + from, pos - from);
            return;
        }
        if (ascii::IsQuote(b) && !justClosed) {
            // Inside a run only the same quote matters; jump to it.
            const void *close = std::memchr(start + i + 1, b, static_cast<size_t>(m_end - i - 1));
            if (close == nullptr)
                break;
            i = static_cast<int32_t>(static_cast<const char *>(close) - start);
            justClosed = strict;
            continue;
        }
        justClosed = false;
    }
    // The end came first: capture to the first occurrence regardless of quotes.
    m_examined += static_cast<uint64_t>(m_end - from);
    if (!known)
        BuildQuotedReach(c, strict);
    pos = from;
    CaptureUntilChar(c, out);
}

void ParseEngine::CaptureUntilCharQuoted(char c, StringBuffer &out) {
    CaptureQuoted(c, false, out);
}

void ParseEngine::CaptureUntilCharQuotedStrict(char c, StringBuffer &out) {
    CaptureQuoted(c, true, out);
}

int32_t ParseEngine::FindMarker(const char *marker, size_t len, bool noCase) {
    const bool remembered = m_seekFrom >= 0 && m_seekNoCase == noCase && pos >= m_seekFrom &&
                            (m_seekHit < 0 || pos <= m_seekHit) && m_seekMarker == marker;
    if (remembered)
        return m_seekHit;
    const char *end = start + m_end;
    const char *hit =
        noCase ? FindNoCaseIn(start + pos, end, marker, len) : FindExactIn(start + pos, end, marker, len);
    const int32_t at = hit == nullptr ? -1 : static_cast<int32_t>(hit - start);
    m_examined += static_cast<uint64_t>((at < 0 ? m_end : at + static_cast<int32_t>(len)) - pos);
    m_seekMarker = marker;
    m_seekNoCase = noCase;
    m_seekFrom = pos;
    m_seekHit = at;
    return at;
}

bool ParseEngine::Seek(const char *marker, bool noCase, bool past, StringBuffer *passedOver) {
    if (marker == nullptr || marker[0] == '\0')
        return false;
    const size_t len = std::strlen(marker);
    const int32_t at = FindMarker(marker, len, noCase);
    if (at < 0)
        return false;
    int32_t target = at + (past ? static_cast<int32_t>(len) : 0);
    if (passedOver != nullptr)
        passedOver->AppendBytes(start + pos, target - pos);
    pos = target;
    return true;
}

bool ParseEngine::SeekTo(const char *marker) {
    return Seek(marker, true, false, nullptr);
}

bool ParseEngine::SeekPast(const char *marker) {
    return Seek(marker, true, true, nullptr);
}

bool ParseEngine::SeekPast(const char *marker, StringBuffer &passedOver) {
    return Seek(marker, true, true, &passedOver);
}

bool ParseEngine::SeekPastExact(const char *marker) {
    return Seek(marker, false, true, nullptr);
}

bool ParseEngine::CaptureBalanced(char open, char close, int32_t depth, StringBuffer &out) {
    int32_t from = pos;
    while (depth > 0 && pos < m_end) {
        ++m_examined;
        char b = start[pos++];
        if (b == close)
            --depth;
        else if (b == open)
            ++depth;
    }
    out.AppendBytes(start + from, pos - from);
    return depth <= 0;
}

void ParseEngine::CaptureRest(StringBuffer &out) {
    m_examined += static_cast<uint64_t>(m_end - pos);
    out.AppendBytes(start + pos, m_end - pos);
    pos = m_end;
}

} // namespace vantry
