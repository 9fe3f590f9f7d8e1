// Fuzz target: HtmlHelp::GetAttributeValue; the input is an attribute name, a newline, a tag.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/StringBuffer.h"
#include "spider/HtmlHelp.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    size_t nl = text.find('\n');
    std::string name = nl == std::string::npos ? "href" : text.substr(0, nl);
    std::string tag = nl == std::string::npos ? text : text.substr(nl + 1);
    StringBuffer value, cleaned;
    HtmlHelp::GetAttributeValue(tag.c_str(), name.c_str(), value);
    if (value.ContainsChar('\\'))
        std::abort();
    HtmlHelp::CleanTag(tag.c_str(), cleaned);
    HtmlHelp::GetAttributeValue(cleaned.Text(), name.c_str(), value);
    return 0;
}
