// DataBuffer: growable byte buffer without terminator, owning or borrowing its block, and
// the whole-file load operations built on it.
#pragma once
#include <cstdint>

namespace vantry {

class LogBase;
class StringBuffer;

class DataBuffer {
public:
    DataBuffer();
    explicit DataBuffer(uint32_t capacity); // a zeroed block of that capacity
    DataBuffer(const DataBuffer &) = delete;
    DataBuffer &operator=(const DataBuffer &) = delete;
    virtual ~DataBuffer();

    const uint8_t *Data() const;
    uint8_t *Data();
    uint32_t Length() const;
    uint32_t Capacity() const;
    bool IsBorrowed() const;

    bool Append(const void *bytes, uint32_t count);
    bool AppendByte(uint8_t b);
    bool AppendExact(const void *bytes, uint32_t count);
    bool AppendString(const StringBuffer &text);
    bool AppendData(const DataBuffer &other);
    bool AppendUtf16(const uint16_t *text); // code units plus two zero bytes

    void Clear();
    void Shorten(uint32_t n);
    void RemoveFront(uint32_t n);
    void SetLength(uint32_t n);
    bool EnsureCapacity(uint32_t n);
    uint8_t *PointerAt(uint32_t index);
    bool Is7Bit() const;

    // Blocks handed in or out are allocated with std::malloc and freed with std::free.
    void Adopt(void *block, uint32_t size);
    void Borrow(const void *block, uint32_t size);
    void TakeOver(DataBuffer *other);

    bool LoadFile(const char *utf8Name, LogBase &log);
    bool LoadFileWithHeader(const char *ansiName, DataBuffer &header, uint32_t maxHeaderSize, LogBase *log);

private:
    void CheckValid() const;
    bool GrowTo(uint32_t newCapacity);
    void Release();

    unsigned char m_valid;
    unsigned char m_borrowed;
    uint8_t *m_data;
    uint32_t m_length;
    uint32_t m_capacity;
};

} // namespace vantry
