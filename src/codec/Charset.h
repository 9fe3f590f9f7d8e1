// Charset: a charset name as met in headers and meta tags, resolved to a Windows-style code page
// number and one canonical name; plus the free name lookups the converter and the HTTP layer use.
#pragma once
#include <cstdint>

#include "core/StringBuffer.h"
#include "core/VantryObject.h"

namespace vantry {

class Charset : public VantryObject {
public:
    Charset();
    ~Charset() override;

    // The name from the canonical table; both cleared when the number has no name.
    void SetByCodePage(int32_t codePage);
    // "default" / "x-user-defined" (exact case) clear; "ansi" / "oem" (any case) take the platform's
    // pages; other names go through the alias table. A null name does nothing.
    void SetByName(const char *name);
    void Clear();
    void CopyFrom(const Charset &other);

    int32_t CodePage() const { return m_codePage; }
    const char *Name() const { return m_name.Text(); }

private:
    StringBuffer m_name;
    int32_t m_codePage = 0;
};

// Name -> code page after normalisation (trim, lower-case, "_" -> "-"); 0 when unknown or too short.
int32_t CodePageForName(const char *name);
// Whether CodePageForName gives a code page.
bool IsKnownCharset(const char *name);
// The canonical name of a code page into out (emptied first); false when it has none.
bool NameForCodePage(int32_t codePage, StringBuffer &out);
// The canonical name of a code page, or null (no allocation; for callers without a StringBuffer).
const char *CanonicalCharsetName(int32_t codePage);

} // namespace vantry
