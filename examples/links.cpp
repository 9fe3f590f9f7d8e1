// links: fetches one page with the Vantry library and prints its http links, one a line.
//   links URL
#include <cstdio>

#include "vantry/core/ClsStringArray.h"
#include "vantry/core/StringBuffer.h"
#include "vantry/http/HttpMan.h"
#include "vantry/spider/ClsHtmlUtil.h"

int main(int argc, char **argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: links URL\n");
        return 2;
    }
    vantry::HttpMan http;
    http.SetConnectTimeout(5);
    http.SetReadTimeout(10);
    vantry::StringBuffer page;
    if (!http.QuickGetHtml(argv[1], page)) {
        vantry::StringBuffer log;
        http.GetLogText(log);
        std::fprintf(stderr, "links: cannot fetch %s\n%s", argv[1], log.Text());
        return 1;
    }
    vantry::ClsHtmlUtil html;
    vantry::ClsStringArray links;
    html.GetHttpLinks(page.Text(), links);
    vantry::StringBuffer link;
    for (int i = 0; i < links.Count(); ++i)
        if (links.GetString(i, link))
            std::printf("%s\n", link.Text());
    return 0;
}
