// StableInput: the input of an encoder that appends to a StringBuffer, held still while the appends
// may move the buffer's block: a copy when the input lies inside that block, else the input itself.
#pragma once
#include <cstddef>
#include <string>

#include "core/StringBuffer.h"

namespace vantry {

class StableInput {
public:
    StableInput(const void *bytes, size_t count, const StringBuffer &out) : m_bytes(bytes) {
        if (out.IsInsideBlock(bytes)) {
            m_copy.assign(static_cast<const char *>(bytes), count);
            m_bytes = m_copy.data();
        }
    }
    const char *Chars() const { return static_cast<const char *>(m_bytes); }
    const unsigned char *Bytes() const { return static_cast<const unsigned char *>(m_bytes); }

private:
    const void *m_bytes;
    std::string m_copy;
};

} // namespace vantry
