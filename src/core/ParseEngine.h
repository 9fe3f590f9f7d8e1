// ParseEngine: a text cursor over its own copy of a text, which seeks to markers and captures text
// up to delimiters; the spider's HTML scanning and the XML reader are built on it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "core/StringBuffer.h"

namespace vantry {

// The cursor never moves past the terminating zero byte (the text ends at its first zero byte).
// Every capture appends to the caller's buffer and keeps what was there.
class ParseEngine {
public:
    ParseEngine();
    virtual ~ParseEngine();
    ParseEngine(const ParseEngine &) = delete;
    ParseEngine &operator=(const ParseEngine &) = delete;

    // Copies the text and puts the cursor at its start.
    void Load(const char *text);
    void Load(const StringBuffer &text);

    // Steps past every character that is one of `chars` (up to four); gives the character now under
    // the cursor (0 at the end).
    char SkipChars(const char *chars);
    // To the next occurrence of `c` (the cursor's own position included), or to the end.
    bool AdvanceTo(char c);
    // To the next occurrence of `c`; false when `stop` comes first (the cursor stays on it) or
    // when neither occurs (the cursor is then at the end).
    bool AdvanceToUnless(char c, char stop);

    void CaptureUntilAny(const char *set, StringBuffer &out);
    // To the next occurrence of `c` (not consumed) or to the end.
    void CaptureUntilChar(char c, StringBuffer &out);
    // To the next `c` outside single or double quotes; when the end comes first, falls back to
    // CaptureUntilChar from the starting point so that an unbalanced quote cannot swallow the text.
    void CaptureUntilCharQuoted(char c, StringBuffer &out);
    // The same, but a quote directly after the closing quote of a quoted run opens no new run.
    void CaptureUntilCharQuotedStrict(char c, StringBuffer &out);

    // Case-insensitive (ASCII letters only) search from the cursor; false and no move without a hit.
    // Repeated searches for one marker cost no more than one pass over the text in all: the
    // latest search's outcome answers every later one from a position it covers.
    bool SeekTo(const char *marker);
    bool SeekPast(const char *marker);
    bool SeekPast(const char *marker, StringBuffer &passedOver); // captures the marker too
    bool SeekPastExact(const char *marker);                      // case-sensitive
    // Byte by byte, `depth` raised by each `open` and lowered by each `close`, until it reaches 0
    // (the closing byte is consumed); gives true when it did.
    bool CaptureBalanced(char open, char close, int32_t depth, StringBuffer &out);

    // Cursor access.
    char Current() const { return start[pos]; }
    bool AtEnd() const { return pos >= m_end; }
    int32_t Pos() const { return pos; }
    int32_t Length() const { return m_end; }
    void SetPos(int32_t p);   // clamped to 0..Length()
    void Step(int32_t n = 1); // forward or back, clamped
    const char *Remaining() const { return start + pos; }
    const char *Text() const { return start; } // the whole text, zero-terminated at Length()
    void CaptureRest(StringBuffer &out);       // to the end

    // The work done since Load: bytes looked at by the seeks, scans and captures (a byte looked at
    // by two operations counts twice).
    uint64_t BytesExamined() const { return m_examined; }

private:
    void ForgetScans();
    void CaptureQuoted(char c, bool strict, StringBuffer &out);
    void BuildQuotedReach(char c, bool strict);
    bool Seek(const char *marker, bool noCase, bool past, StringBuffer *passedOver);
    // The start of the marker's next occurrence at or after the cursor, or -1.
    int32_t FindMarker(const char *marker, size_t len, bool noCase);

    StringBuffer text;
    const char *start;
    int32_t pos;
    int32_t m_end; // offset of the first zero byte

    // After a quoted capture has met the end, a table tells for every start offset whether a quoted
    // scan for that character finds it, so a page full of unbalanced quotes is not rescanned to the
    // end for every tag (bits: outside quotes, outside right after a closing quote, in "..", in '..').
    std::vector<uint8_t> m_reach;
    char m_reachChar = 0;
    bool m_reachStrict = false;

    // The latest marker search: a search for the same marker from a position between its start
    // and its hit finds the same hit, and after a miss every later start misses too (the text
    // does not change after Load).
    std::string m_seekMarker;
    bool m_seekNoCase = false;
    int32_t m_seekFrom = -1; // -1: nothing remembered
    int32_t m_seekHit = -1;  // -1: no occurrence at or after m_seekFrom

    uint64_t m_examined = 0;
};

} // namespace vantry
