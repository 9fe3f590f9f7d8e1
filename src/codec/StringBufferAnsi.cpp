// StringBuffer's conversions between a code page and the ANSI code page. They need the charset
// converter, so they are defined here in codec rather than with the rest of StringBuffer in core.
#include "codec/EncodingConvert.h"
#include "core/DataBuffer.h"
#include "core/LogNull.h"
#include "core/StringBuffer.h"

namespace vantry {

bool StringBuffer::ConvertToAnsi(int32_t codePage) {
    return ConvertWithAnsi(codePage, true);
}

bool StringBuffer::ConvertFromAnsi(int32_t codePage) {
    return ConvertWithAnsi(codePage, false);
}

// Re-encodes the whole text between a code page and the ANSI code page, in the given direction.
bool StringBuffer::ConvertWithAnsi(int32_t codePage, bool toAnsi) {
    CheckValid();
    if (m_length == 0) {
        return true;
    }
    EncodingConvert converter;
    DataBuffer out;
    LogNull log;
    const uint32_t n = static_cast<uint32_t>(m_length);
    const bool ok = toAnsi ? converter.ToAnsi(codePage, m_data, n, out, log)
                           : converter.FromAnsi(codePage, m_data, n, out, log);
    if (!ok && !converter.ErrorSeen() && out.Length() == 0) {
        return false; // the converter refused (unsupported code page): keep the text rather than lose it
    }
    Clear();
    AppendData(out);
    return ok;
}

} // namespace vantry
