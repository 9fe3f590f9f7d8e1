// StringTable: append-only pool of texts without separators, indexed by start offset and length.
#include "core/StringTable.h"

#include <cstring>

namespace vantry {

void StringTable::Append(const char *text) {
    if (text == nullptr || *text == '\0')
        return;
    const int32_t length = static_cast<int32_t>(std::strlen(text));
    const int32_t start = m_pool.Length();
    if (!m_pool.AppendBytes(text, length))
        return;
    m_offsets.Append(start);
    m_lengths.Append(length);
    ++m_count;
}

bool StringTable::GetString(int32_t index, StringBuffer &out) const {
    if (index < 0 || index >= m_count)
        return false;
    out.Clear();
    return out.AppendBytes(m_pool.Text() + m_offsets.ElementAt(index), m_lengths.ElementAt(index));
}

} // namespace vantry
