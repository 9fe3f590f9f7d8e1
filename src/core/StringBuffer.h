// StringBuffer: the library's universal growable, always zero-terminated 8-bit text.
// Every operation checks the validity marker; a dead or corrupted buffer stops the process.
#pragma once
#include <cstdint>
#include <string_view>

#include "core/VantryObject.h"

namespace vantry {

class DataBuffer;
class ExtPtrArray;

class StringBuffer : public VantryObject {
public:
    // Growth increment given on its own (avoids confusion with the text constructor).
    struct Increment {
        int32_t value;
    };

    StringBuffer();                          // 200-byte block, increment 200
    explicit StringBuffer(const char *text); // exactly strlen + 1 (4 bytes for null)
    StringBuffer(const StringBuffer &other); // exactly its length + 1
    StringBuffer(const void *bytes, int32_t count, int32_t increment); // count + 1; increment 0 means 200
    explicit StringBuffer(Increment increment);                        // increment bytes; 0 means 200
    StringBuffer &operator=(const StringBuffer &other);                // SetBuffer
    ~StringBuffer() override;

    // Access and size.
    const char *Text() const;
    char *MutableText(); // for in-place edits that keep the length and the terminator
    int32_t Length() const;
    std::string_view View() const; // the bytes by length
    unsigned char CharAt(int32_t index) const;
    unsigned char LastChar() const;
    int32_t Capacity() const;
    // True when p points into this buffer's block, which any growth may move.
    bool IsInsideBlock(const void *p) const;
    int32_t GrowthIncrement() const;
    void Clear();
    bool EnsureRoom(int32_t n);
    void ShrinkToFit();
    // Hands the block (allocated with std::malloc, zero-terminated) to the caller; starts a new empty block.
    char *TakeData(int32_t *length);

    // Appending and setting.
    bool Append(const char *text);
    bool Append(std::string_view text) { return AppendBytes(text.data(), static_cast<int32_t>(text.size())); }
    bool AppendBytes(const void *bytes, int32_t count);
    bool AppendBuffer(const StringBuffer &other);
    bool AppendChar(char c);
    bool AppendCharN(char c, int32_t n);
    bool AppendInt(int32_t value);
    bool AppendData(const DataBuffer &data);
    bool Prepend(const char *text);
    bool SetString(const char *text);
    bool SetBuffer(const StringBuffer &other);
    void AppendHexDump(const void *bytes, int32_t count);
    void AppendOsErrorText(int errorCode);
    void AppendLastOsErrorText();

    // Editing in place.
    void Trim();
    void Shorten(int32_t n);
    void RemoveRange(int32_t start, int32_t n);
    int32_t TruncateAtChar(char c);
    void RemoveChar(char c);
    void RemoveCharFrom(char c, int32_t start);
    void ReplaceChar(char from, char to);
    void ReplaceAnyChar(const char set[5], char to);
    int32_t ReplaceAll(const char *find, const char *replacement);
    int32_t ReplaceAllNoCase(const char *find, const char *replacement);
    bool ReplaceFirst(const char *find, const char *replacement);
    void ToLower();
    void ToUpper();
    void EncodeEntities();
    void ToCrlf();
    void ToLf();
    // Re-encoding between a code page and the ANSI one; defined in codec/ with the charset converter.
    bool ConvertToAnsi(int32_t codePage);
    bool ConvertFromAnsi(int32_t codePage);

    // Searching and comparing (searches treat the text as ending at its first zero byte).
    bool ContainsChar(char c) const;
    int32_t CountChar(char c) const;
    bool Contains(const char *text) const;
    bool ContainsNoCase(const char *text) const;
    bool BeginsWith(const char *text) const;
    bool EndsWith(const char *text) const;
    bool Equals(const char *text) const;
    bool EqualsNoCase(const char *text) const;
    bool EqualsBufferNoCase(const StringBuffer &other) const;
    bool Is7Bit() const;
    int32_t ToInt() const;

    // Splitting: new StringBuffers are appended to the array, which owns them.
    void SplitOnChar(char delimiter, bool quoteAware, bool escapeAware, ExtPtrArray &out) const;
    void SplitOnText(const char *separator, ExtPtrArray &out, int32_t maxPieces) const;
    void SplitNameValue(StringBuffer &name, StringBuffer &value) const;

private:
    void CheckValid() const;
    bool GrowTo(int32_t newCapacity);
    bool ConvertWithAnsi(int32_t codePage, bool toAnsi);

    unsigned char m_valid;
    char *m_data;
    int32_t m_capacity;
    int32_t m_length;
    int32_t m_increment;
};

// The library-wide case-insensitive search: only ASCII letters fold; the first match wins.
// Returns a pointer into haystack or null; a null or empty needle gives null.
const char *FindNoCase(const char *haystack, const char *needle);

} // namespace vantry
