// ClsHtmlUtil: http link listing of a page through Html's anchor scan.
#include "spider/ClsHtmlUtil.h"

#include "core/ClsStringArray.h"
#include "core/ExtPtrArray.h"
#include "core/StringBuffer.h"
#include "spider/Html.h"

ClsHtmlUtil::ClsHtmlUtil() = default;

ClsHtmlUtil::~ClsHtmlUtil() = default;

void ClsHtmlUtil::GetHttpLinks(const char *page, ClsStringArray &links) {
    // The log holds only the latest operation, so a long-lived object does not grow it without end.
    m_log.ClearLog();
    LogContext ctx(m_log, "GetHttpLinks");
    links.SetUnique(true);
    Html html;
    html.SetHtml(page);
    ExtPtrArray hrefs;
    html.GetHrefs(hrefs);
    for (int32_t i = 0; i < hrefs.Count(); ++i) {
        const StringBuffer *href = hrefs.ElementAs<StringBuffer>(i);
        if (href->BeginsWith("http"))
            links.Append(href->Text());
    }
}
