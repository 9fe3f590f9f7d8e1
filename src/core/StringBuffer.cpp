// StringBuffer: growable zero-terminated 8-bit text with its editing, search and split operations.
// Blocks are std::malloc'd; every operation first checks the validity marker.
#include "core/StringBuffer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "core/AsciiText.h"
#include "core/DataBuffer.h"
#include "core/ExtPtrArray.h"
#include "platform/OsError.h"

namespace vantry {

namespace {

constexpr unsigned char kValidMarker = 0xAA;
constexpr int32_t kDefaultIncrement = 200;
constexpr int32_t kMaxIncrement = 500000;
constexpr int64_t kMaxCapacity = std::numeric_limits<int32_t>::max();

int32_t ClampCount(size_t n) {
    return n > static_cast<size_t>(kMaxCapacity) ? static_cast<int32_t>(kMaxCapacity)
                                                 : static_cast<int32_t>(n);
}

char *AllocateBlock(int64_t size) {
    char *block = static_cast<char *>(std::malloc(static_cast<size_t>(size)));
    if (block == nullptr) {
        std::fprintf(stderr, "StringBuffer: out of memory allocating %lld bytes\n",
                     static_cast<long long>(size));
        std::abort();
    }
    return block;
}

// Length of the text up to its first zero byte (never beyond length).
int32_t TextLength(const char *data, int32_t length) {
    const void *zero = std::memchr(data, 0, static_cast<size_t>(length));
    return zero == nullptr ? length : static_cast<int32_t>(static_cast<const char *>(zero) - data);
}

// Case-sensitive search in the first n bytes of haystack.
const char *FindBytes(const char *haystack, int32_t n, const char *needle, int32_t needleLen) {
    if (needleLen <= 0 || needleLen > n) {
        return nullptr;
    }
    const char first = needle[0];
    const char *last = haystack + (n - needleLen);
    for (const char *p = haystack; p <= last; ++p) {
        p = static_cast<const char *>(std::memchr(p, first, static_cast<size_t>(last - p + 1)));
        if (p == nullptr) {
            return nullptr;
        }
        if (std::memcmp(p, needle, static_cast<size_t>(needleLen)) == 0) {
            return p;
        }
    }
    return nullptr;
}

// Case-insensitive (ASCII letters only) search in the first n bytes of haystack.
const char *FindBytesNoCase(const char *haystack, int32_t n, const char *needle, int32_t needleLen) {
    if (needleLen <= 0 || needleLen > n) {
        return nullptr;
    }
    for (int32_t start = 0; start + needleLen <= n; ++start) {
        int32_t i = 0;
        while (i < needleLen && ascii::ToUpper(static_cast<unsigned char>(haystack[start + i])) ==
                                    ascii::ToUpper(static_cast<unsigned char>(needle[i]))) {
            ++i;
        }
        if (i == needleLen) {
            return haystack + start;
        }
    }
    return nullptr;
}

using Finder = const char *(*)(const char *, int32_t, const char *, int32_t);

} // namespace

const char *FindNoCase(const char *haystack, const char *needle) {
    if (haystack == nullptr || needle == nullptr || needle[0] == '\0') {
        return nullptr;
    }
    return FindBytesNoCase(haystack, ClampCount(std::strlen(haystack)), needle,
                           ClampCount(std::strlen(needle)));
}

// ---------------------------------------------------------------------------------------------
// Construction and lifetime

StringBuffer::StringBuffer()
    : m_valid(kValidMarker), m_data(AllocateBlock(kDefaultIncrement)), m_capacity(kDefaultIncrement),
      m_length(0), m_increment(kDefaultIncrement) {
    m_data[0] = '\0';
}

StringBuffer::StringBuffer(const char *text)
    : m_valid(kValidMarker), m_length(0), m_increment(kDefaultIncrement) {
    if (text == nullptr) {
        m_capacity = 4;
        m_data = AllocateBlock(m_capacity);
        m_data[0] = '\0';
        return;
    }
    size_t n = std::strlen(text);
    if (static_cast<int64_t>(n) + 1 > kMaxCapacity) {
        std::fprintf(stderr, "StringBuffer: text of %zu bytes is too long\n", n);
        std::abort();
    }
    m_length = static_cast<int32_t>(n);
    m_capacity = m_length + 1;
    m_data = AllocateBlock(m_capacity);
    std::memcpy(m_data, text, n + 1);
}

StringBuffer::StringBuffer(const StringBuffer &other)
    : VantryObject(other), m_valid(kValidMarker), m_length(0), m_increment(kDefaultIncrement) {
    other.CheckValid();
    m_length = other.m_length;
    m_capacity = m_length + 1;
    m_data = AllocateBlock(m_capacity);
    std::memcpy(m_data, other.m_data, static_cast<size_t>(m_length) + 1);
}

StringBuffer::StringBuffer(const void *bytes, int32_t count, int32_t increment)
    : m_valid(kValidMarker), m_length(0), m_increment(increment > 0 ? increment : kDefaultIncrement) {
    if (bytes == nullptr || count < 0) {
        count = 0;
    }
    if (count == std::numeric_limits<int32_t>::max()) {
        --count; // keep room for the terminator
    }
    m_capacity = count + 1;
    m_data = AllocateBlock(m_capacity);
    if (count > 0) {
        std::memcpy(m_data, bytes, static_cast<size_t>(count));
    }
    m_length = count;
    m_data[m_length] = '\0';
}

StringBuffer::StringBuffer(Increment increment)
    : m_valid(kValidMarker), m_length(0),
      m_increment(increment.value > 0 ? increment.value : kDefaultIncrement) {
    m_capacity = m_increment;
    m_data = AllocateBlock(m_capacity);
    m_data[0] = '\0';
}

StringBuffer &StringBuffer::operator=(const StringBuffer &other) {
    SetBuffer(other);
    return *this;
}

StringBuffer::~StringBuffer() {
    CheckValid();
    std::free(m_data);
    // Volatile stores: the marker and fill must survive the end of the object's lifetime so that a
    // later use of the dead object is caught.
    *reinterpret_cast<volatile unsigned char *>(&m_valid) = 0;
    volatile unsigned char *fill = reinterpret_cast<volatile unsigned char *>(&m_data);
    for (size_t i = 0; i < sizeof(m_data); ++i) {
        fill[i] = 0xDD;
    }
    volatile int32_t *fields[] = {&m_capacity, &m_length, &m_increment};
    for (volatile int32_t *f : fields) {
        *f = static_cast<int32_t>(0xDDDDDDDDu);
    }
}

void StringBuffer::CheckValid() const {
    if (*reinterpret_cast<const volatile unsigned char *>(&m_valid) != kValidMarker) {
        std::fprintf(stderr,
                     "StringBuffer: operation on a destroyed or corrupted buffer (marker 0x%02X at %p)\n",
                     static_cast<unsigned>(m_valid), static_cast<const void *>(this));
        std::fflush(stderr);
        std::abort();
    }
}

bool StringBuffer::GrowTo(int32_t newCapacity) {
    if (newCapacity <= m_capacity) {
        return true;
    }
    char *block = static_cast<char *>(std::realloc(m_data, static_cast<size_t>(newCapacity)));
    if (block == nullptr) {
        std::fprintf(stderr, "StringBuffer: out of memory growing to %d bytes\n", newCapacity);
        std::abort();
    }
    m_data = block;
    m_capacity = newCapacity;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Access and size

const char *StringBuffer::Text() const {
    CheckValid();
    return m_data;
}

char *StringBuffer::MutableText() {
    CheckValid();
    return m_data;
}

int32_t StringBuffer::Length() const {
    CheckValid();
    return m_length;
}

std::string_view StringBuffer::View() const {
    CheckValid();
    return std::string_view(m_data, static_cast<size_t>(m_length));
}

unsigned char StringBuffer::CharAt(int32_t index) const {
    CheckValid();
    if (index < 0 || index >= m_length) {
        return 0;
    }
    return static_cast<unsigned char>(m_data[index]);
}

unsigned char StringBuffer::LastChar() const {
    CheckValid();
    return m_length > 0 ? static_cast<unsigned char>(m_data[m_length - 1]) : 0;
}

int32_t StringBuffer::Capacity() const {
    CheckValid();
    return m_capacity;
}

bool StringBuffer::IsInsideBlock(const void *p) const {
    CheckValid();
    const uintptr_t offset = reinterpret_cast<uintptr_t>(p) - reinterpret_cast<uintptr_t>(m_data);
    return p != nullptr && offset < static_cast<uintptr_t>(m_capacity);
}

int32_t StringBuffer::GrowthIncrement() const {
    CheckValid();
    return m_increment;
}

void StringBuffer::Clear() {
    CheckValid();
    m_length = 0;
    m_data[0] = '\0';
}

bool StringBuffer::EnsureRoom(int32_t n) {
    CheckValid();
    if (n <= 0) {
        return true;
    }
    if (static_cast<int64_t>(m_length) + n < m_capacity) {
        return true;
    }
    int64_t wanted = static_cast<int64_t>(m_length) + n + m_increment + 1;
    if (static_cast<int64_t>(m_length) + n + 1 > kMaxCapacity) {
        return false;
    }
    return GrowTo(static_cast<int32_t>(std::min(wanted, kMaxCapacity)));
}

void StringBuffer::ShrinkToFit() {
    CheckValid();
    if (m_length + 4 < m_capacity) {
        char *block = static_cast<char *>(std::realloc(m_data, static_cast<size_t>(m_length) + 1));
        if (block != nullptr) {
            m_data = block;
            m_capacity = m_length + 1;
        }
    }
}

char *StringBuffer::TakeData(int32_t *length) {
    CheckValid();
    char *block = m_data;
    if (length != nullptr) {
        *length = m_length;
    }
    m_capacity = m_increment;
    m_data = AllocateBlock(m_capacity);
    m_data[0] = '\0';
    m_length = 0;
    return block;
}

// ---------------------------------------------------------------------------------------------
// Appending and setting

bool StringBuffer::AppendBytes(const void *bytes, int32_t count) {
    CheckValid();
    if (bytes == nullptr || count <= 0) {
        return true;
    }
    const char *src = static_cast<const char *>(bytes);
    if (static_cast<int64_t>(m_length) + count + 1 > kMaxCapacity) {
        return false;
    }
    if (static_cast<int64_t>(m_length) + count >= m_capacity) {
        // The source may lie inside our own block; keep its offset across the move.
        const uintptr_t offset = reinterpret_cast<uintptr_t>(src) - reinterpret_cast<uintptr_t>(m_data);
        const bool inside = offset < static_cast<uintptr_t>(m_capacity);
        int64_t newCapacity = static_cast<int64_t>(m_length) + count + m_increment;
        newCapacity = std::max<int64_t>(newCapacity, static_cast<int64_t>(m_length) + count + 1);
        GrowTo(static_cast<int32_t>(std::min(newCapacity, kMaxCapacity)));
        if (inside) {
            src = m_data + offset;
        }
        if (m_increment < m_capacity && m_increment < kMaxIncrement) {
            m_increment = std::min(m_capacity / 2, kMaxIncrement);
        }
    }
    std::memmove(m_data + m_length, src, static_cast<size_t>(count));
    m_length += count;
    m_data[m_length] = '\0';
    return true;
}

bool StringBuffer::Append(const char *text) {
    CheckValid();
    if (text == nullptr || text[0] == '\0') {
        return true;
    }
    const size_t len = std::strlen(text);
    if (static_cast<int64_t>(m_length) + static_cast<int64_t>(len) + 1 > kMaxCapacity) {
        return false;
    }
    const int32_t n = static_cast<int32_t>(len);
    if (static_cast<int64_t>(m_length) + n >= m_capacity) {
        const uintptr_t offset = reinterpret_cast<uintptr_t>(text) - reinterpret_cast<uintptr_t>(m_data);
        const bool inside = offset < static_cast<uintptr_t>(m_capacity);
        const int64_t newCapacity = static_cast<int64_t>(m_length) + n + m_increment + 1;
        GrowTo(static_cast<int32_t>(std::min(newCapacity, kMaxCapacity)));
        if (inside) {
            text = m_data + offset;
        }
        if (m_increment < m_capacity && m_increment < kMaxIncrement) {
            m_increment = std::min(m_capacity / 2, kMaxIncrement);
        }
    }
    std::memmove(m_data + m_length, text, static_cast<size_t>(n));
    m_length += n;
    m_data[m_length] = '\0';
    return true;
}

bool StringBuffer::AppendBuffer(const StringBuffer &other) {
    CheckValid();
    other.CheckValid();
    return AppendBytes(other.m_data, other.m_length);
}

bool StringBuffer::AppendChar(char c) {
    CheckValid();
    if (static_cast<int64_t>(m_length) + 2 > kMaxCapacity) {
        return false;
    }
    if (m_length + 1 >= m_capacity) {
        const int64_t newCapacity = static_cast<int64_t>(m_length) + m_increment + 1;
        GrowTo(static_cast<int32_t>(std::min(newCapacity, kMaxCapacity)));
        if (m_increment < m_capacity && m_increment < kMaxIncrement) {
            m_increment = std::min(m_capacity / 2, kMaxIncrement);
        }
    }
    m_data[m_length++] = c;
    m_data[m_length] = '\0';
    return true;
}

bool StringBuffer::AppendCharN(char c, int32_t n) {
    CheckValid();
    if (n <= 0) {
        return true;
    }
    if (static_cast<int64_t>(m_length) + n + 1 > kMaxCapacity) {
        return false;
    }
    if (static_cast<int64_t>(m_length) + n >= m_capacity) {
        const int64_t newCapacity = static_cast<int64_t>(m_length) + n + m_increment;
        GrowTo(static_cast<int32_t>(std::min(newCapacity, kMaxCapacity)));
        if (m_increment < m_capacity && m_increment < kMaxIncrement) {
            m_increment = std::min(m_capacity / 2, kMaxIncrement);
        }
    }
    std::memset(m_data + m_length, static_cast<unsigned char>(c), static_cast<size_t>(n));
    m_length += n;
    m_data[m_length] = '\0';
    return true;
}

bool StringBuffer::AppendInt(int32_t value) {
    CheckValid();
    char digits[16];
    std::snprintf(digits, sizeof(digits), "%d", value);
    return Append(digits);
}

bool StringBuffer::AppendData(const DataBuffer &data) {
    CheckValid();
    const uint32_t n = data.Length();
    if (n == 0) {
        return true;
    }
    if (n > static_cast<uint32_t>(kMaxCapacity)) {
        return false;
    }
    return AppendBytes(data.Data(), static_cast<int32_t>(n));
}

bool StringBuffer::Prepend(const char *text) {
    CheckValid();
    if (text == nullptr || text[0] == '\0') {
        return true;
    }
    // Copy first: the text may point into this buffer.
    StringBuffer front(text);
    const int32_t n = front.m_length;
    if (!EnsureRoom(n)) {
        return false;
    }
    std::memmove(m_data + n, m_data, static_cast<size_t>(m_length) + 1);
    std::memcpy(m_data, front.m_data, static_cast<size_t>(n));
    m_length += n;
    return true;
}

bool StringBuffer::SetString(const char *text) {
    CheckValid();
    if (text == nullptr || text[0] == '\0') {
        Clear();
        return true;
    }
    // Through a temporary: the text may point into this buffer.
    StringBuffer copy(text);
    Clear();
    return AppendBytes(copy.m_data, copy.m_length);
}

bool StringBuffer::SetBuffer(const StringBuffer &other) {
    CheckValid();
    other.CheckValid();
    if (&other == this) {
        return true;
    }
    Clear();
    return AppendBytes(other.m_data, other.m_length);
}

void StringBuffer::AppendHexDump(const void *bytes, int32_t count) {
    CheckValid();
    if (bytes == nullptr || count <= 0) {
        return;
    }
    static const char kHex[] = "0123456789ABCDEF";
    const unsigned char *p = static_cast<const unsigned char *>(bytes);
    // Bytes of our own block would move with the first growth: dump a copy of them.
    std::string copy;
    if (IsInsideBlock(bytes)) {
        copy.assign(reinterpret_cast<const char *>(p), static_cast<size_t>(count));
        p = reinterpret_cast<const unsigned char *>(copy.data());
    }
    // Appended one byte at a time so the buffer grows by the usual rule (no EnsureRoom, which would
    // leave the increment unchanged and make repeated dumps grow linearly).
    for (int32_t i = 0; i < count; ++i) {
        AppendChar(kHex[p[i] >> 4]);
        AppendChar(kHex[p[i] & 0x0F]);
        if ((i + 1) % 2 == 0) {
            AppendChar(' ');
        }
        if ((i + 1) % 16 == 0) {
            AppendChar('\n');
        }
    }
}

void StringBuffer::AppendOsErrorText(int errorCode) {
    CheckValid();
    char message[512];
    platform::OsErrorText(errorCode, message, sizeof(message));
    Append(message);
    Trim();
}

void StringBuffer::AppendLastOsErrorText() {
    CheckValid();
    AppendOsErrorText(platform::LastOsError());
}

// ---------------------------------------------------------------------------------------------
// Editing in place

void StringBuffer::Trim() {
    CheckValid();
    int32_t end = m_length;
    while (end > 0 && ascii::IsTrimmedSpace(static_cast<unsigned char>(m_data[end - 1]))) {
        --end;
    }
    int32_t start = 0;
    while (start < end && ascii::IsTrimmedSpace(static_cast<unsigned char>(m_data[start]))) {
        ++start;
    }
    if (start > 0) {
        std::memmove(m_data, m_data + start, static_cast<size_t>(end - start));
    }
    m_length = end - start;
    m_data[m_length] = '\0';
}

void StringBuffer::Shorten(int32_t n) {
    CheckValid();
    if (n <= 0) {
        return;
    }
    m_length = n >= m_length ? 0 : m_length - n;
    m_data[m_length] = '\0';
}

void StringBuffer::RemoveRange(int32_t start, int32_t n) {
    CheckValid();
    if (start < 0 || n <= 0 || start >= m_length || static_cast<int64_t>(start) + n > m_length) {
        return;
    }
    std::memmove(m_data + start, m_data + start + n, static_cast<size_t>(m_length - start - n) + 1);
    m_length -= n;
}

int32_t StringBuffer::TruncateAtChar(char c) {
    CheckValid();
    const int32_t textLen = TextLength(m_data, m_length);
    if (c == '\0') {
        m_length = textLen;
        return m_length;
    }
    const void *hit = std::memchr(m_data, static_cast<unsigned char>(c), static_cast<size_t>(textLen));
    if (hit != nullptr) {
        m_length = static_cast<int32_t>(static_cast<const char *>(hit) - m_data);
        m_data[m_length] = '\0';
    }
    return m_length;
}

void StringBuffer::RemoveChar(char c) {
    CheckValid();
    RemoveCharFrom(c, 0);
}

void StringBuffer::RemoveCharFrom(char c, int32_t start) {
    CheckValid();
    if (start < 0) {
        start = 0;
    }
    if (start >= m_length) {
        return;
    }
    int32_t out = start;
    for (int32_t i = start; i < m_length; ++i) {
        if (m_data[i] != c) {
            m_data[out++] = m_data[i];
        }
    }
    m_length = out;
    m_data[m_length] = '\0';
}

void StringBuffer::ReplaceChar(char from, char to) {
    CheckValid();
    for (int32_t i = 0; i < m_length; ++i) {
        if (m_data[i] == from) {
            m_data[i] = to;
        }
    }
}

void StringBuffer::ReplaceAnyChar(const char set[5], char to) {
    CheckValid();
    if (set == nullptr) {
        return;
    }
    for (int32_t i = 0; i < m_length; ++i) {
        const char c = m_data[i];
        if (c == set[0] || c == set[1] || c == set[2] || c == set[3] || c == set[4]) {
            m_data[i] = to;
        }
    }
}

namespace {
// Rebuilds the text with every (or the first) match of find replaced; the bytes after an embedded
// zero byte are outside the searched text and are kept as they are. Returns the number of replacements.
int32_t ReplaceMatches(StringBuffer &sb, const char *find, const char *replacement, Finder finder,
                       bool firstOnly) {
    if (find == nullptr || find[0] == '\0') {
        return 0;
    }
    if (replacement == nullptr) {
        replacement = "";
    }
    const int32_t findLen = ClampCount(std::strlen(find));
    const int32_t replLen = ClampCount(std::strlen(replacement));
    const char *data = sb.Text();
    const int32_t length = sb.Length();
    const int32_t textLen = TextLength(data, length);
    const char *hit = finder(data, textLen, find, findLen);
    if (hit == nullptr) {
        return 0;
    }
    StringBuffer result(StringBuffer::Increment{length + 1});
    int32_t count = 0;
    int32_t pos = 0;
    while (hit != nullptr) {
        const int32_t at = static_cast<int32_t>(hit - data);
        result.AppendBytes(data + pos, at - pos);
        result.AppendBytes(replacement, replLen);
        pos = at + findLen;
        ++count;
        if (firstOnly) {
            break;
        }
        hit = finder(data + pos, textLen - pos, find, findLen);
    }
    result.AppendBytes(data + pos, length - pos);
    sb.SetBuffer(result);
    return count;
}
} // namespace

int32_t StringBuffer::ReplaceAll(const char *find, const char *replacement) {
    CheckValid();
    return ReplaceMatches(*this, find, replacement, FindBytes, false);
}

int32_t StringBuffer::ReplaceAllNoCase(const char *find, const char *replacement) {
    CheckValid();
    return ReplaceMatches(*this, find, replacement, FindBytesNoCase, false);
}

bool StringBuffer::ReplaceFirst(const char *find, const char *replacement) {
    CheckValid();
    return ReplaceMatches(*this, find, replacement, FindBytes, true) > 0;
}

void StringBuffer::ToLower() {
    CheckValid();
    for (int32_t i = 0; i < m_length && m_data[i] != '\0'; ++i) {
        m_data[i] = static_cast<char>(ascii::ToLowerLatin1(static_cast<unsigned char>(m_data[i])));
    }
}

void StringBuffer::ToUpper() {
    CheckValid();
    for (int32_t i = 0; i < m_length && m_data[i] != '\0'; ++i) {
        m_data[i] = static_cast<char>(ascii::ToUpperLatin1(static_cast<unsigned char>(m_data[i])));
    }
}

void StringBuffer::EncodeEntities() {
    CheckValid();
    ReplaceAll("&", "&amp;");
    ReplaceAll("<", "&lt;");
    ReplaceAll(">", "&gt;");
    ReplaceAll("\"", "&quot;");
}

void StringBuffer::ToCrlf() {
    CheckValid();
    RemoveChar('\r');
    const int32_t lfCount = static_cast<int32_t>(std::count(m_data, m_data + m_length, '\n'));
    if (lfCount == 0) {
        return;
    }
    StringBuffer result(StringBuffer::Increment{m_length + lfCount + 1});
    for (int32_t i = 0; i < m_length; ++i) {
        if (m_data[i] == '\n') {
            result.AppendChar('\r');
        }
        result.AppendChar(m_data[i]);
    }
    SetBuffer(result);
}

void StringBuffer::ToLf() {
    CheckValid();
    int32_t out = 0;
    for (int32_t i = 0; i < m_length; ++i) {
        if (m_data[i] == '\r' && i + 1 < m_length && m_data[i + 1] == '\n') {
            continue;
        }
        m_data[out++] = m_data[i];
    }
    m_length = out;
    m_data[m_length] = '\0';
}

// ---------------------------------------------------------------------------------------------
// Searching and comparing

bool StringBuffer::ContainsChar(char c) const {
    CheckValid();
    if (c == '\0') {
        return false;
    }
    return std::memchr(m_data, static_cast<unsigned char>(c),
                       static_cast<size_t>(TextLength(m_data, m_length))) != nullptr;
}

int32_t StringBuffer::CountChar(char c) const {
    CheckValid();
    if (c == '\0') {
        return 0;
    }
    const int32_t textLen = TextLength(m_data, m_length);
    return static_cast<int32_t>(std::count(m_data, m_data + textLen, c));
}

bool StringBuffer::Contains(const char *text) const {
    CheckValid();
    if (text == nullptr) {
        return false;
    }
    if (text[0] == '\0') {
        return true;
    }
    return FindBytes(m_data, TextLength(m_data, m_length), text, ClampCount(std::strlen(text))) != nullptr;
}

bool StringBuffer::ContainsNoCase(const char *text) const {
    CheckValid();
    if (text == nullptr || text[0] == '\0') {
        return false;
    }
    return FindBytesNoCase(m_data, TextLength(m_data, m_length), text, ClampCount(std::strlen(text))) !=
           nullptr;
}

bool StringBuffer::BeginsWith(const char *text) const {
    CheckValid();
    if (text == nullptr) {
        return false;
    }
    const size_t n = std::strlen(text);
    return n <= static_cast<size_t>(TextLength(m_data, m_length)) && std::memcmp(m_data, text, n) == 0;
}

bool StringBuffer::EndsWith(const char *text) const {
    CheckValid();
    if (text == nullptr) {
        return false;
    }
    const size_t n = std::strlen(text);
    const size_t textLen = static_cast<size_t>(TextLength(m_data, m_length));
    return n <= textLen && std::memcmp(m_data + (textLen - n), text, n) == 0;
}

bool StringBuffer::Equals(const char *text) const {
    CheckValid();
    if (text == nullptr) {
        return m_data[0] == '\0';
    }
    return std::strcmp(m_data, text) == 0;
}

bool StringBuffer::EqualsNoCase(const char *text) const {
    CheckValid();
    if (text == nullptr) {
        return m_data[0] == '\0';
    }
    const unsigned char *a = reinterpret_cast<const unsigned char *>(m_data);
    const unsigned char *b = reinterpret_cast<const unsigned char *>(text);
    while (*a != 0 && ascii::ToUpper(*a) == ascii::ToUpper(*b)) {
        ++a;
        ++b;
    }
    return *a == 0 && *b == 0;
}

bool StringBuffer::EqualsBufferNoCase(const StringBuffer &other) const {
    CheckValid();
    other.CheckValid();
    if (m_length != other.m_length) {
        return false;
    }
    return EqualsNoCase(other.m_data);
}

bool StringBuffer::Is7Bit() const {
    CheckValid();
    const int32_t textLen = TextLength(m_data, m_length);
    for (int32_t i = 0; i < textLen; ++i) {
        if (static_cast<unsigned char>(m_data[i]) >= 0x80) {
            return false;
        }
    }
    return true;
}

int32_t StringBuffer::ToInt() const {
    CheckValid();
    // As "%d" reads: optional leading whitespace, an optional sign, then digits; clamped to 32 bits.
    const char *p = m_data;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r')) {
        ++p;
    }
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    int64_t value = 0;
    while (*p >= '0' && *p <= '9') {
        value = value * 10 + (*p - '0');
        if (value > static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1) {
            value = static_cast<int64_t>(std::numeric_limits<int32_t>::max()) + 1;
        }
        ++p;
    }
    if (negative) {
        value = -value;
    }
    value =
        std::clamp<int64_t>(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(value);
}

// ---------------------------------------------------------------------------------------------
// Splitting

void StringBuffer::SplitOnChar(char delimiter, bool quoteAware, bool escapeAware, ExtPtrArray &out) const {
    CheckValid();
    const int32_t textLen = TextLength(m_data, m_length);
    if (textLen == 0) {
        return;
    }
    StringBuffer *piece = new StringBuffer();
    bool quoted = false;
    for (int32_t i = 0; i < textLen; ++i) {
        const char c = m_data[i];
        if (escapeAware && c == '\\') {
            piece->AppendChar(c);
            if (i + 1 < textLen) {
                piece->AppendChar(m_data[++i]);
            }
            continue;
        }
        if (quoteAware && c == '"') {
            quoted = !quoted;
            piece->AppendChar(c);
            continue;
        }
        if (c == delimiter && !quoted) {
            piece->ShrinkToFit();
            out.Append(piece);
            piece = new StringBuffer();
            continue;
        }
        piece->AppendChar(c);
    }
    piece->ShrinkToFit();
    out.Append(piece);
}

void StringBuffer::SplitOnText(const char *separator, ExtPtrArray &out, int32_t maxPieces) const {
    CheckValid();
    const StringBuffer copy(*this);
    const char *data = copy.m_data;
    const int32_t textLen = TextLength(data, copy.m_length);
    const int32_t sepLen = separator == nullptr ? 0 : ClampCount(std::strlen(separator));
    if (sepLen == 0) {
        // No separator to cut on: the whole text is the one piece.
        if (textLen > 0 && maxPieces != 0) {
            out.Append(new StringBuffer(data, textLen, 0));
        }
        return;
    }
    int32_t produced = 0;
    int32_t pos = 0;
    while (pos < textLen) {
        while (pos + sepLen <= textLen &&
               std::memcmp(data + pos, separator, static_cast<size_t>(sepLen)) == 0) {
            pos += sepLen;
        }
        if (pos >= textLen) {
            break;
        }
        if (maxPieces > 0 && produced >= maxPieces) {
            break;
        }
        const char *next = FindBytes(data + pos, textLen - pos, separator, sepLen);
        const int32_t end = next == nullptr ? textLen : static_cast<int32_t>(next - data);
        out.Append(new StringBuffer(data + pos, end - pos, 0));
        ++produced;
        pos = next == nullptr ? textLen : end + sepLen;
    }
}

void StringBuffer::SplitNameValue(StringBuffer &name, StringBuffer &value) const {
    CheckValid();
    name.Clear();
    value.Clear();
    const int32_t textLen = TextLength(m_data, m_length);
    int32_t pos = 0;
    while (pos < textLen && ascii::IsTrimmedSpace(static_cast<unsigned char>(m_data[pos]))) {
        ++pos;
    }
    const void *eq = std::memchr(m_data + pos, '=', static_cast<size_t>(textLen - pos));
    if (eq == nullptr) {
        name.AppendBytes(m_data + pos, textLen - pos);
        name.Trim();
        return;
    }
    const int32_t eqPos = static_cast<int32_t>(static_cast<const char *>(eq) - m_data);
    name.AppendBytes(m_data + pos, eqPos - pos);
    name.Trim();
    pos = eqPos + 1;
    while (pos < textLen && ascii::IsTrimmedSpace(static_cast<unsigned char>(m_data[pos]))) {
        ++pos;
    }
    if (pos < textLen && m_data[pos] == '"') {
        ++pos;
    }
    value.AppendBytes(m_data + pos, textLen - pos);
    value.Trim();
    if (value.LastChar() == '"') {
        value.Shorten(1);
    }
}

} // namespace vantry
