// StringTable: many texts packed back to back into one pool, found by their offsets and lengths.
#pragma once
#include <cstdint>

#include "core/ExtIntArray.h"
#include "core/StringBuffer.h"

namespace vantry {

class StringTable {
public:
    StringTable() = default;
    StringTable(const StringTable &) = delete;
    StringTable &operator=(const StringTable &) = delete;
    virtual ~StringTable() = default;

    // A null or empty text is ignored.
    void Append(const char *text);
    int32_t Count() const { return m_count; }
    // False outside 0..Count-1 (the output is then left as it was); else exactly the stored bytes.
    bool GetString(int32_t index, StringBuffer &out) const;

private:
    int32_t m_count = 0;
    StringBuffer m_pool;
    ExtIntArray m_offsets;
    ExtIntArray m_lengths;
};

} // namespace vantry
