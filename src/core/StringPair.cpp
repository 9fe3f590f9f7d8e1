// StringPair: name/value texts created on demand.
#include "core/StringPair.h"

namespace vantry {

StringPair::StringPair(const char *name, const char *value) {
    if (name != nullptr && *name != '\0')
        m_name = std::make_unique<StringBuffer>(name);
    if (value != nullptr && *value != '\0')
        m_value = std::make_unique<StringBuffer>(value);
}

StringBuffer &StringPair::NameBuffer() {
    if (!m_name)
        m_name = std::make_unique<StringBuffer>(StringBuffer::Increment{50});
    return *m_name;
}

StringBuffer &StringPair::ValueBuffer() {
    if (!m_value)
        m_value = std::make_unique<StringBuffer>(StringBuffer::Increment{100});
    return *m_value;
}

} // namespace vantry
