// HostToAscii: IDNA conversion of host names through libidn2, nontransitional first (as browsers do
// today), transitional for the names only that processing accepts.
#include "url/HostToAscii.h"

#include <cstdlib>
#include <idn2.h>
#include <string_view>

#include "core/AsciiText.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace {

bool IsAscii(std::string_view text) {
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x80)
            return false;
    }
    return true;
}

// The bytes a converted host may hold: a mapped character such as a full-width solidus or colon must
// not turn into a separator that splits the URL anew.
bool IsPlainHostText(std::string_view text) {
    for (char c : text) {
        if (!ascii::IsLetterOrDigit(c) && c != '-' && c != '.' && c != '_')
            return false;
    }
    return !text.empty();
}

} // namespace

bool HostToAscii(StringBuffer &host) {
    if (IsAscii(host.View()))
        return true;
    char *ascii = nullptr;
    int rc = idn2_to_ascii_8z(host.Text(), &ascii, IDN2_NFC_INPUT | IDN2_NONTRANSITIONAL);
    if (rc == IDN2_DISALLOWED)
        rc = idn2_to_ascii_8z(host.Text(), &ascii, IDN2_NFC_INPUT | IDN2_TRANSITIONAL);
    bool ok = rc == IDN2_OK && ascii != nullptr && IsPlainHostText(ascii);
    if (ok) {
        host.Clear();
        host.Append(ascii);
    }
    idn2_free(ascii);
    return ok;
}

} // namespace vantry
