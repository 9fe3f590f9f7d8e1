// ByteSink: the converter's private growable output block; stages write into it and the public
// operations hand the finished bytes to a DataBuffer in one append.
#pragma once
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace vantry {

class ByteSink {
public:
    ByteSink() = default;
    ByteSink(const ByteSink &) = delete;
    ByteSink &operator=(const ByteSink &) = delete;
    ~ByteSink() { std::free(m_data); }

    const uint8_t *Data() const { return m_data; }
    uint8_t *Data() { return m_data; }
    size_t Size() const { return m_size; }
    void Clear() { m_size = 0; }
    void Truncate(size_t n) {
        if (n < m_size)
            m_size = n;
    }

    // Makes room for n more bytes and returns where they go; Commit(n) then counts them in.
    uint8_t *Reserve(size_t n) {
        if (m_capacity - m_size < n)
            Grow(n);
        return m_data + m_size;
    }
    void Commit(size_t n) { m_size += n; }

    void Put(uint8_t b) {
        if (m_size == m_capacity)
            Grow(1);
        m_data[m_size++] = b;
    }
    void Put(const void *bytes, size_t n) {
        if (n == 0)
            return;
        std::memcpy(Reserve(n), bytes, n);
        m_size += n;
    }

private:
    void Grow(size_t n) {
        size_t want = m_size + n;
        size_t cap = m_capacity < 256 ? 256 : m_capacity;
        while (cap < want)
            cap += cap / 2 + 64;
        void *p = std::realloc(m_data, cap);
        if (p == nullptr)
            std::abort(); // allocation failure is not handled
        m_data = static_cast<uint8_t *>(p);
        m_capacity = cap;
    }

    uint8_t *m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

} // namespace vantry
