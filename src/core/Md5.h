// Md5: the MD5 message digest (RFC 1321), used by StringSeen and HashMap and by the HTTP cache.
// One-shot Digest, or Update/Final for data that arrives in pieces.
#pragma once
#include <cstddef>
#include <cstdint>

namespace vantry {

class Md5 {
public:
    Md5() { Reset(); }
    void Reset();
    void Update(const void *data, size_t length);
    // Writes the 16-byte digest and resets the object for a new message.
    void Final(uint8_t digest[16]);

    static void Digest(const void *data, size_t length, uint8_t digest[16]);

private:
    uint32_t m_state[4];
    uint64_t m_length; // bytes fed so far
    uint8_t m_buffer[64];
};

} // namespace vantry
