// Fuzz target: HtmlHelp::GetMetaCharset over arbitrary page text, and the anchor listing of Html.
#include <cstdint>
#include <string>

#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"
#include "spider/Html.h"
#include "spider/HtmlHelp.h"

using namespace vantry;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    StringBuffer charset("unchanged");
    HtmlHelp::GetMetaCharset(text.c_str(), charset);
    Html html;
    html.SetHtml(text.c_str());
    ExtPtrArray hrefs, raw;
    html.GetHrefs(hrefs);
    html.GetTags("meta", false, raw);
    return 0;
}
