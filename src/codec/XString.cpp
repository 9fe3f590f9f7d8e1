// XString: one text held in up to three views (ANSI code page 1252, UTF-8, UTF-16LE); a view is
// produced from a valid one only when asked for, through the library's charset converter.
#include "codec/XString.h"

#include "codec/EncodingConvert.h"
#include "core/LogNull.h"
#include "platform/CodePages.h"

namespace vantry {

namespace {

constexpr int32_t kUtf8CodePage = 65001;
constexpr int32_t kUtf16CodePage = 1200;

// Converts bytes between code pages into a StringBuffer (replacing its contents); returns the
// converter's report of whether every character converted.
bool ConvertInto(int32_t fromCodePage, int32_t toCodePage, const void *bytes, uint32_t count,
                 StringBuffer &out) {
    out.Clear();
    if (count == 0) {
        return true;
    }
    EncodingConvert converter;
    DataBuffer converted;
    LogNull log;
    const bool ok = converter.Convert(fromCodePage, toCodePage, bytes, count, converted, log);
    out.AppendData(converted);
    out.ShrinkToFit();
    return ok;
}

// Bytes of UTF-16 code units in the view, without its two-byte terminator.
uint32_t Utf16Bytes(const DataBuffer &view) {
    return view.Length() >= 2 ? view.Length() - 2 : 0;
}

} // namespace

XString::XString() : m_ansiValid(true), m_utf8Valid(true), m_utf16Valid(true), m_ansiState(0) {
    m_utf16.AppendByte(0);
    m_utf16.AppendByte(0);
}

void XString::Clear() {
    m_ansi.Clear();
    m_utf8.Clear();
    m_utf16.Clear();
    m_utf16.AppendByte(0);
    m_utf16.AppendByte(0);
    m_ansiValid = true;
    m_utf8Valid = true;
    m_utf16Valid = true;
    m_ansiState = 0;
}

void XString::SetAnsi(const char *text) {
    if (text == nullptr || text[0] == '\0') {
        Clear();
        return;
    }
    m_ansi.SetString(text);
    m_ansi.ShrinkToFit();
    m_ansiValid = true;
    m_utf8Valid = false;
    m_utf16Valid = false;
    m_ansiState = 1;
}

void XString::SetUtf8(const char *text) {
    if (text == nullptr || text[0] == '\0') {
        Clear();
        return;
    }
    m_utf8.SetString(text);
    m_utf8.ShrinkToFit();
    m_utf8Valid = true;
    m_ansiValid = false;
    m_utf16Valid = false;
    m_ansiState = 0;
}

void XString::SetUtf16(const uint16_t *text) {
    if (text == nullptr || text[0] == 0) {
        Clear();
        return;
    }
    m_utf16.Clear();
    m_utf16.AppendUtf16(text);
    m_utf16Valid = true;
    m_ansiValid = false;
    m_utf8Valid = false;
    m_ansiState = 0;
}

const uint16_t *XString::GetUtf16() {
    if (!m_utf16Valid) {
        if (!m_utf8Valid && !m_ansiValid) {
            Clear();
        } else {
            EncodingConvert converter;
            LogNull log;
            m_utf16.Clear();
            if (m_utf8Valid) {
                converter.Convert(kUtf8CodePage, kUtf16CodePage, m_utf8.Text(),
                                  static_cast<uint32_t>(m_utf8.Length()), m_utf16, log);
            } else {
                converter.Convert(platform::kAnsiCodePage, kUtf16CodePage, m_ansi.Text(),
                                  static_cast<uint32_t>(m_ansi.Length()), m_utf16, log);
            }
            m_utf16.AppendByte(0);
            m_utf16.AppendByte(0);
            m_utf16Valid = true;
        }
    }
    return reinterpret_cast<const uint16_t *>(m_utf16.Data());
}

const char *XString::GetAnsi() {
    if (!m_ansiValid) {
        if (m_utf8Valid) {
            ConvertInto(kUtf8CodePage, platform::kAnsiCodePage, m_utf8.Text(),
                        static_cast<uint32_t>(m_utf8.Length()), m_ansi);
        } else if (m_utf16Valid) {
            ConvertInto(kUtf16CodePage, platform::kAnsiCodePage, m_utf16.Data(), Utf16Bytes(m_utf16), m_ansi);
        } else {
            Clear();
        }
        m_ansiValid = true;
        m_ansi.ShrinkToFit();
    }
    return m_ansi.Text();
}

const char *XString::GetUtf8() {
    if (!m_utf8Valid) {
        if (m_ansiValid) {
            ConvertInto(platform::kAnsiCodePage, kUtf8CodePage, m_ansi.Text(),
                        static_cast<uint32_t>(m_ansi.Length()), m_utf8);
        } else if (m_utf16Valid) {
            ConvertInto(kUtf16CodePage, kUtf8CodePage, m_utf16.Data(), Utf16Bytes(m_utf16), m_utf8);
        } else {
            Clear();
        }
        m_utf8Valid = true;
        m_utf8.ShrinkToFit();
    }
    return m_utf8.Text();
}

int32_t XString::AnsiLength() {
    GetAnsi();
    return m_ansi.Length();
}

int32_t XString::Length() {
    if (m_ansiValid) {
        return m_ansi.Length();
    }
    GetUtf16();
    return static_cast<int32_t>(Utf16Bytes(m_utf16) / 2);
}

bool XString::IsAnsiExact() {
    if (m_ansiState == 1) {
        return true;
    }
    if (m_ansiState == 2) {
        return false;
    }
    bool exact;
    if (m_utf16Valid) {
        exact =
            ConvertInto(kUtf16CodePage, platform::kAnsiCodePage, m_utf16.Data(), Utf16Bytes(m_utf16), m_ansi);
    } else if (m_utf8Valid) {
        exact = ConvertInto(kUtf8CodePage, platform::kAnsiCodePage, m_utf8.Text(),
                            static_cast<uint32_t>(m_utf8.Length()), m_ansi);
    } else {
        return true;
    }
    m_ansiValid = true;
    m_ansiState = exact ? 1 : 2;
    return exact;
}

} // namespace vantry
