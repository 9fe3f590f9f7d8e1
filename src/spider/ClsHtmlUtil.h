// ClsHtmlUtil: the application-facing HTML helper; lists a page's http links (the harvester's
// seed pages go through it). It keeps its own log of the last operation.
#pragma once
#include "log/Logger.h"

namespace vantry {

class ClsStringArray;

class ClsHtmlUtil {
public:
    ClsHtmlUtil();
    virtual ~ClsHtmlUtil();
    ClsHtmlUtil(const ClsHtmlUtil &) = delete;
    ClsHtmlUtil &operator=(const ClsHtmlUtil &) = delete;

    // Puts `links` into unique mode and appends every anchor href of the page that begins with "http".
    void GetHttpLinks(const char *page, ClsStringArray &links);

    LogBase &LastLog() { return m_log; }

private:
    Logger m_log;
};

} // namespace vantry
