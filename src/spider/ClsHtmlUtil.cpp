// ClsHtmlUtil: http link listing of a page through Html's anchor scan.
#include "spider/ClsHtmlUtil.h"

#include <cstring>

#include "core/ClsStringArray.h"
#include "core/StringConsumer.h"
#include "spider/Html.h"

namespace vantry {

namespace {

// Passes on the texts that begin with "http" (case-sensitive).
class HttpLinkFilter : public StringConsumer {
public:
    explicit HttpLinkFilter(ClsStringArray &links) : m_links(links) {}
    void Consume(const char *text) override {
        if (std::strncmp(text, "http", 4) == 0)
            m_links.Append(text);
    }

private:
    ClsStringArray &m_links;
};

} // namespace

ClsHtmlUtil::ClsHtmlUtil() = default;

ClsHtmlUtil::~ClsHtmlUtil() = default;

void ClsHtmlUtil::GetHttpLinks(const char *page, ClsStringArray &links) {
    // The log holds only the latest operation, so a long-lived object does not grow it without end.
    m_log.ClearLog();
    LogContext ctx(m_log, "GetHttpLinks");
    links.SetUnique(true);
    Html html;
    html.SetHtml(page);
    HttpLinkFilter filter(links);
    html.GetHrefs(filter);
}

} // namespace vantry
