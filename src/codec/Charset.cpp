// Charset: name <-> code page resolution over the tables in CharsetNames.
// The free name lookups live with the tables in CharsetNames.cpp.
#include "codec/Charset.h"

#include <cstring>

#include "codec/CharsetNames.h"
#include "core/AsciiText.h"
#include "platform/CodePages.h"

namespace vantry {

bool NameForCodePage(int32_t codePage, StringBuffer &out) {
    out.Clear();
    const char *name = charset_names::CanonicalNameFor(codePage);
    if (name == nullptr)
        return false;
    out.Append(name);
    return true;
}

Charset::Charset() = default;
Charset::~Charset() = default;

void Charset::SetByCodePage(int32_t codePage) {
    const char *name = charset_names::CanonicalNameFor(codePage);
    if (name == nullptr) {
        Clear();
        return;
    }
    m_codePage = codePage;
    m_name.SetString(name);
    m_name.ShrinkToFit();
}

void Charset::SetByName(const char *name) {
    if (name == nullptr)
        return;
    if (std::strcmp(name, "default") == 0 || std::strcmp(name, "x-user-defined") == 0) {
        Clear();
        return;
    }
    if (ascii::EqualsNoCase(name, "ansi")) {
        SetByCodePage(platform::kAnsiCodePage);
        return;
    }
    if (ascii::EqualsNoCase(name, "oem")) {
        SetByCodePage(platform::kOemCodePage);
        return;
    }
    int32_t codePage = CodePageForName(name);
    if (codePage == 0) {
        Clear();
        return;
    }
    // Code pages without a canonical name keep the number and an empty name.
    m_codePage = codePage;
    const char *canonical = charset_names::CanonicalNameFor(codePage);
    m_name.SetString(canonical != nullptr ? canonical : "");
    m_name.ShrinkToFit();
}

void Charset::Clear() {
    m_codePage = 0;
    m_name.Clear();
    m_name.ShrinkToFit();
}

void Charset::CopyFrom(const Charset &other) {
    m_codePage = other.m_codePage;
    m_name.SetBuffer(other.m_name);
    m_name.ShrinkToFit();
}

} // namespace vantry
