// DataBuffer: growable byte buffer (owned or borrowed block, validity marker 0xDB) and the
// whole-file loads built on it. Sits in core; reads files through FileSys and the platform layer.
#include "core/DataBuffer.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/FileSys.h"
#include "core/LogBase.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"
#include "platform/Files.h"

namespace vantry {

namespace {
constexpr unsigned char kValid = 0xDB;
constexpr uint32_t kMinGrowth = 20000;
constexpr uint32_t kMaxLength = 0xFFFFFFFFu;

// Closes a file handle when the scope ends.
struct FileCloser {
    int fd;
    ~FileCloser() { FileSys::CloseFile(fd); }
};

// The size of an open file; a failing query logs the platform's text, and a file larger than `limit`
// is refused with the text of EFBIG rather than read in part.
bool SizeWithin(int fd, uint64_t limit, uint64_t &size, LogBase &log) {
    int err = 0;
    if (!platform::FileSizeOf(fd, &size, &err)) {
        FileSys::LogOsError(log, err);
        return false;
    }
    if (size > limit) {
        FileSys::LogOsError(log, EFBIG);
        return false;
    }
    return true;
}
} // namespace

DataBuffer::DataBuffer() : m_valid(kValid), m_borrowed(0), m_data(nullptr), m_length(0), m_capacity(0) {}

DataBuffer::DataBuffer(uint32_t capacity) : DataBuffer() {
    if (capacity == 0)
        return;
    m_data = static_cast<uint8_t *>(std::calloc(capacity, 1));
    if (m_data)
        m_capacity = capacity;
}

DataBuffer::~DataBuffer() {
    CheckValid();
    if (m_data && !m_borrowed)
        std::free(m_data);
    m_data = nullptr;
    m_length = m_capacity = 0;
    // A volatile store: the compiler would otherwise drop writes to an object that is going away.
    *const_cast<volatile unsigned char *>(&m_valid) = 0;
}

void DataBuffer::CheckValid() const {
    if (m_valid != kValid) {
        std::fputs("DataBuffer: operation on a destroyed or corrupted buffer; stopping.\n", stderr);
        std::fflush(stderr);
        std::abort();
    }
}

const uint8_t *DataBuffer::Data() const {
    CheckValid();
    return m_data;
}

uint8_t *DataBuffer::Data() {
    CheckValid();
    return m_data;
}

uint32_t DataBuffer::Length() const {
    CheckValid();
    return m_length;
}

uint32_t DataBuffer::Capacity() const {
    CheckValid();
    return m_capacity;
}

bool DataBuffer::IsBorrowed() const {
    CheckValid();
    return m_borrowed != 0;
}

namespace {
// Resizes an owned block (realloc keeps the contents) or copies a borrowed one's first length bytes into
// a new block, leaving it to its owner. Null when no memory is left; the old block is then untouched.
uint8_t *ResizeBlock(uint8_t *data, uint32_t length, bool borrowed, uint32_t newCapacity) {
    if (data && !borrowed)
        return static_cast<uint8_t *>(std::realloc(data, newCapacity));
    auto *block = static_cast<uint8_t *>(std::malloc(newCapacity));
    if (block && length)
        std::memcpy(block, data, length);
    return block;
}
} // namespace

// Moves the contents into an owned block of exactly newCapacity bytes (at least the length).
bool DataBuffer::GrowTo(uint32_t newCapacity) {
    if (newCapacity < m_length)
        newCapacity = m_length;
    if (newCapacity == 0) {
        Release();
        return true;
    }
    uint8_t *block = ResizeBlock(m_data, m_length, m_borrowed != 0, newCapacity);
    if (!block)
        return false;
    m_data = block;
    m_capacity = newCapacity;
    m_borrowed = 0;
    return true;
}

void DataBuffer::Release() {
    if (m_data && !m_borrowed)
        std::free(m_data);
    m_data = nullptr;
    m_length = 0;
    m_capacity = 0;
    m_borrowed = 0;
}

// Shared by the appends: grows to newCapacity when the bytes do not fit (or the block is
// borrowed, whose owner's memory is never written), then copies. The source may lie inside this
// buffer's own block: it is then found again at its offset in the resized block.
static bool AppendInto(uint8_t *&data, uint32_t &length, uint32_t &capacity, unsigned char &borrowed,
                       const void *bytes, uint32_t count, uint32_t newCapacity) {
    if (count > capacity - length || borrowed) {
        const auto *src = static_cast<const uint8_t *>(bytes);
        // Only an owned block moves under the source; a borrowed one stays where it is.
        bool inside = data && !borrowed && src >= data && src < data + capacity;
        size_t offset = inside ? static_cast<size_t>(src - data) : 0;
        uint8_t *block = ResizeBlock(data, length, borrowed != 0, newCapacity);
        if (!block)
            return false;
        std::memmove(block + length, inside ? block + offset : src, count);
        data = block;
        capacity = newCapacity;
        borrowed = 0;
    } else {
        std::memmove(data + length, bytes, count);
    }
    length += count;
    return true;
}

bool DataBuffer::Append(const void *bytes, uint32_t count) {
    CheckValid();
    if (!bytes || count == 0)
        return true;
    if (count > kMaxLength - m_length)
        return false;
    // Geometric growth: room for the count, and at least 20000 bytes and half the capacity past the length.
    uint32_t step = count > kMinGrowth ? count : kMinGrowth;
    if (step < m_capacity / 2)
        step = m_capacity / 2;
    uint64_t wanted = static_cast<uint64_t>(m_length) + step;
    uint32_t newCapacity = wanted > kMaxLength ? kMaxLength : static_cast<uint32_t>(wanted);
    return AppendInto(m_data, m_length, m_capacity, m_borrowed, bytes, count, newCapacity);
}

bool DataBuffer::AppendByte(uint8_t b) {
    return Append(&b, 1);
}

bool DataBuffer::AppendExact(const void *bytes, uint32_t count) {
    CheckValid();
    if (!bytes || count == 0)
        return true;
    if (count > kMaxLength - m_length)
        return false;
    return AppendInto(m_data, m_length, m_capacity, m_borrowed, bytes, count, m_length + count);
}

bool DataBuffer::AppendString(const StringBuffer &text) {
    CheckValid();
    return Append(text.Text(), static_cast<uint32_t>(text.Length()));
}

bool DataBuffer::AppendData(const DataBuffer &other) {
    CheckValid();
    other.CheckValid();
    return Append(other.m_data, other.m_length);
}

bool DataBuffer::AppendUtf16(const uint16_t *text) {
    CheckValid();
    if (text) {
        uint32_t units = 0;
        while (text[units] != 0)
            ++units;
        if (units > (kMaxLength - 2) / 2)
            return false;
        if (!Append(text, units * 2))
            return false;
    }
    static const uint8_t zeros[2] = {0, 0};
    return Append(zeros, 2);
}

void DataBuffer::Clear() {
    CheckValid();
    m_length = 0;
}

void DataBuffer::Shorten(uint32_t n) {
    CheckValid();
    m_length = n >= m_length ? 0 : m_length - n;
}

void DataBuffer::RemoveFront(uint32_t n) {
    CheckValid();
    if (n == 0)
        return;
    if (n >= m_length) {
        m_length = 0;
        return;
    }
    uint32_t rest = m_length - n;
    if (m_borrowed) {
        // The owner's block stays untouched: keep the remaining bytes in a block of our own.
        auto *block = static_cast<uint8_t *>(std::malloc(rest));
        if (!block)
            return;
        std::memcpy(block, m_data + n, rest);
        m_data = block;
        m_capacity = rest;
        m_borrowed = 0;
    } else {
        std::memmove(m_data, m_data + n, rest);
    }
    m_length = rest;
}

void DataBuffer::SetLength(uint32_t n) {
    CheckValid();
    m_length = n > m_capacity ? m_capacity : n;
}

bool DataBuffer::EnsureCapacity(uint32_t n) {
    CheckValid();
    if (m_capacity >= n)
        return true;
    return GrowTo(n);
}

uint8_t *DataBuffer::PointerAt(uint32_t index) {
    CheckValid();
    if (index >= m_length)
        return nullptr;
    return m_data + index;
}

bool DataBuffer::Is7Bit() const {
    CheckValid();
    for (uint32_t i = 0; i < m_length; ++i) {
        if (m_data[i] & 0x80)
            return false;
    }
    return true;
}

void DataBuffer::Adopt(void *block, uint32_t size) {
    CheckValid();
    if (block == m_data && block) {
        // Adopting our own block again: keep it, and take over ownership of it.
        m_borrowed = 0;
        m_length = m_capacity = size;
        return;
    }
    Release();
    if (!block)
        return;
    m_data = static_cast<uint8_t *>(block);
    m_length = m_capacity = size;
}

void DataBuffer::Borrow(const void *block, uint32_t size) {
    CheckValid();
    if (block != m_data || !block)
        Release();
    if (!block)
        return;
    m_data = static_cast<uint8_t *>(const_cast<void *>(block));
    m_length = m_capacity = size;
    m_borrowed = 1;
}

void DataBuffer::TakeOver(DataBuffer *other) {
    CheckValid();
    if (!other) {
        Clear();
        return;
    }
    other->CheckValid();
    if (other == this)
        return;
    Release();
    m_data = other->m_data;
    m_length = other->m_length;
    m_capacity = other->m_capacity;
    m_borrowed = other->m_borrowed;
    other->m_data = nullptr;
    other->m_length = other->m_capacity = 0;
    other->m_borrowed = 0;
}

bool DataBuffer::LoadFile(const char *utf8Name, LogBase &log) {
    CheckValid();
    Release();
    int fd = FileSys::OpenFileForRead(utf8Name, &log);
    if (fd == FileSys::kInvalidHandle)
        return false;
    FileCloser closer{fd};

    uint64_t size = 0;
    if (!SizeWithin(fd, kMaxLength - 4, size, log))
        return false;
    int err = 0;
    if (size == 0)
        return true;

    auto *block = static_cast<uint8_t *>(std::calloc(size + 4, 1));
    if (!block)
        return false;
    uint32_t got = 0;
    bool readOk = platform::ReadFile(fd, block, static_cast<uint32_t>(size), &got, &err);
    if (!readOk) {
        FileSys::LogOsError(log, err);
        if (FileSys::UsesAnsiNameForm(utf8Name)) {
            log.LogData("filename", utf8Name);
            StringBuffer cwd;
            FileSys::CurrentDirectory(cwd);
            log.LogData("current_dir", cwd.Text());
        }
        std::free(block);
        return false;
    }
    if (got != size) {
        log.LogError("Failed to read the entire file");
        std::free(block);
        return false;
    }
    m_data = block;
    m_capacity = static_cast<uint32_t>(size) + 4;
    m_length = static_cast<uint32_t>(size);
    return true;
}

bool DataBuffer::LoadFileWithHeader(const char *ansiName, DataBuffer &header, uint32_t maxHeaderSize,
                                    LogBase *logPtr) {
    CheckValid();
    LogNull nullLog;
    LogBase &log = logPtr ? *logPtr : nullLog;
    Release();
    int fd = FileSys::OpenFileForRead(ansiName, &log);
    if (fd == FileSys::kInvalidHandle)
        return false;
    FileCloser closer{fd};

    uint64_t size = 0;
    if (!SizeWithin(fd, kMaxLength, size, log))
        return false;
    int err = 0;
    if (size < 4) {
        log.LogError("File is empty or too small");
        return true;
    }

    uint8_t sizeBytes[4] = {0, 0, 0, 0};
    uint32_t got = 0;
    if (!platform::ReadFile(fd, sizeBytes, 4, &got, &err) || got != 4) {
        if (err)
            FileSys::LogOsError(log, err);
        log.LogError("Failed to read the entire header");
        log.LogData("filename", ansiName);
        return false;
    }
    uint32_t headerSize = static_cast<uint32_t>(sizeBytes[0]) | (static_cast<uint32_t>(sizeBytes[1]) << 8) |
                          (static_cast<uint32_t>(sizeBytes[2]) << 16) |
                          (static_cast<uint32_t>(sizeBytes[3]) << 24);
    if (headerSize < 5 || headerSize > maxHeaderSize) {
        log.LogError("Invalid header size");
        log.LogData("filename", ansiName);
        return false;
    }

    // A header longer than the file is a short read; found before anything is allocated for it.
    uint32_t headerBytes = headerSize - 4;
    bool headerRead = headerSize <= size;
    DataBuffer headerIn(headerRead ? headerBytes : 0);
    if (headerRead && headerIn.Capacity() < headerBytes)
        return false;
    err = 0;
    if (headerRead)
        headerRead = platform::ReadFile(fd, headerIn.m_data, headerBytes, &got, &err) && got == headerBytes;
    if (!headerRead) {
        if (err)
            FileSys::LogOsError(log, err);
        log.LogError("Failed to read the entire header");
        log.LogData("filename", ansiName);
        return false;
    }
    headerIn.m_length = headerBytes;
    if (&header != this) {
        header.Clear();
        header.TakeOver(&headerIn);
    }

    uint32_t bodySize = static_cast<uint32_t>(size) - headerSize;
    if (bodySize == 0)
        return true;
    DataBuffer body(bodySize);
    if (body.Capacity() < bodySize)
        return false;
    if (!platform::ReadFile(fd, body.m_data, bodySize, &got, &err)) {
        FileSys::LogOsError(log, err);
        log.LogData("filename", ansiName);
        return false;
    }
    if (got != bodySize) {
        log.LogError("Failed to read the entire file");
        return false;
    }
    body.m_length = bodySize;
    TakeOver(&body);
    return true;
}

} // namespace vantry
