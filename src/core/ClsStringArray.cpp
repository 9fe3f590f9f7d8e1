// ClsStringArray: ordered, owning list of texts with optional Unique, Trim and Crlf rules; a 499-bucket
// HashMap counts how many elements carry each text.
#include "core/ClsStringArray.h"

#include "core/HashMap.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace {
constexpr uint32_t kIndexBuckets = 499;

} // namespace

ClsStringArray::ClsStringArray() : m_index(std::make_unique<HashMap>(kIndexBuckets)) {}

ClsStringArray::~ClsStringArray() {
    m_elements.RemoveAllAndDelete();
}

void ClsStringArray::Normalize(StringBuffer &s) const {
    if (m_trim)
        s.Trim();
    if (m_crlf)
        s.ToCrlf();
    else
        s.ToLf();
}

bool ClsStringArray::Append(const char *text) {
    StringBuffer *element = new StringBuffer(text != nullptr ? text : "");
    Normalize(*element);
    VantryInt *count = static_cast<VantryInt *>(m_index->Lookup(*element));
    if (count != nullptr) {
        if (m_unique) {
            delete element;
            return true;
        }
        element->ShrinkToFit();
        ++count->value;
        m_elements.Append(element);
        return true;
    }
    element->ShrinkToFit();
    m_elements.Append(element);
    m_index->Put(*element, new VantryInt(1));
    return true;
}

void ClsStringArray::Consume(const char *text) {
    Append(text);
}

int32_t ClsStringArray::Count() const {
    return m_elements.Count();
}

bool ClsStringArray::GetString(int32_t index, StringBuffer &out) const {
    out.Clear();
    const StringBuffer *element = m_elements.ElementAs<StringBuffer>(index);
    if (element == nullptr)
        return false;
    out.AppendBuffer(*element);
    Normalize(out);
    return true;
}

bool ClsStringArray::RemoveAt(int32_t index) {
    StringBuffer *element = static_cast<StringBuffer *>(m_elements.RemoveAt(index));
    if (element == nullptr)
        return false;
    if (VantryInt *count = static_cast<VantryInt *>(m_index->Lookup(*element))) {
        if (count->value > 0)
            --count->value;
        if (count->value == 0)
            m_index->Remove(*element);
    }
    delete element;
    return true;
}

bool ClsStringArray::Clear() {
    m_elements.RemoveAllAndDelete();
    m_index = std::make_unique<HashMap>(kIndexBuckets);
    return true;
}

bool ClsStringArray::SetUnique(bool unique) {
    m_unique = unique;
    return true;
}

bool ClsStringArray::SetTrim(bool trim) {
    m_trim = trim;
    return true;
}

bool ClsStringArray::SetCrlf(bool crlf) {
    m_crlf = crlf;
    return true;
}

int32_t ClsStringArray::IndexedCount(const char *text) const {
    const VantryInt *count = static_cast<const VantryInt *>(m_index->Lookup(text != nullptr ? text : ""));
    return count != nullptr ? count->value : 0;
}

} // namespace vantry
