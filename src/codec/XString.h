// XString: one text with lazily converted ANSI (code page 1252), UTF-8 and UTF-16LE views.
#pragma once
#include <cstdint>

#include "core/DataBuffer.h"
#include "core/StringBuffer.h"
#include "core/VantryObject.h"

namespace vantry {

class XString : public VantryObject {
public:
    XString();
    void Clear();
    void SetAnsi(const char *text);
    void SetUtf8(const char *text);
    void SetUtf16(const uint16_t *text);
    const char *GetAnsi();
    const char *GetUtf8();
    const uint16_t *GetUtf16();
    int32_t AnsiLength();
    int32_t Length();
    bool IsAnsiExact();
    StringBuffer &Utf8Buffer() { return m_utf8; }

private:
    StringBuffer m_ansi;
    StringBuffer m_utf8;
    DataBuffer m_utf16;
    bool m_ansiValid;
    bool m_utf8Valid;
    bool m_utf16Valid;
    int m_ansiState; // 0 unknown, 1 exact, 2 lossy
};

} // namespace vantry
