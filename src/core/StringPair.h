// StringPair: a name and a value text (cookie attributes); each side is an owned StringBuffer that
// exists only when it is not empty.
#pragma once
#include <memory>

#include "core/StringBuffer.h"
#include "core/VantryObject.h"

namespace vantry {

class StringPair : public VantryObject {
public:
    StringPair(const char *name, const char *value); // a null or empty text leaves that side absent
    StringPair(const StringPair &) = delete;
    StringPair &operator=(const StringPair &) = delete;
    ~StringPair() override = default;

    const char *Name() const { return m_name ? m_name->Text() : ""; }
    const char *Value() const { return m_value ? m_value->Text() : ""; }
    // The buffers, created empty first when absent (growth increment 50 for the name, 100 for the value).
    StringBuffer &NameBuffer();
    StringBuffer &ValueBuffer();

private:
    std::unique_ptr<StringBuffer> m_name;
    std::unique_ptr<StringBuffer> m_value;
};

} // namespace vantry
