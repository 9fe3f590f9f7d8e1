// Fuzz target: HtmlHelp::CleanTag on arbitrary bytes; the cleaned form starts with '<' and holds
// no CR or LF.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/StringBuffer.h"
#include "spider/HtmlHelp.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    StringBuffer cleaned;
    HtmlHelp::CleanTag(text.c_str(), cleaned);
    if (cleaned.Length() != 0 && cleaned.CharAt(0) != '<')
        std::abort();
    if (cleaned.ContainsChar('\r') || cleaned.ContainsChar('\n'))
        std::abort();
    // Cleaning a cleaned tag must not crash either.
    StringBuffer again;
    HtmlHelp::CleanTag(cleaned.Text(), again);
    return 0;
}
