// vantry-get's -w: variables, escapes, and what an unknown variable becomes.
#include <gtest/gtest.h>

#include "tools/GetWriteOut.h"

using namespace vantry;

TEST(GetWriteOut, VariablesAndEscapesAreReplaced) {
    TransferFacts f;
    f.httpCode = 200;
    f.urlEffective = "http://h/final";
    f.sizeDownload = 6442450944ull; // 6 GiB: counts are 64-bit
    f.sizeHeader = 123;
    f.timeTotal = 1.5;
    f.contentType = "text/html; charset=utf-8";
    f.exitCode = 0;
    EXPECT_EQ(ExpandWriteOut("%{http_code} %{response_code}\\n%{url_effective}\\t%{size_download} "
                             "%{size_header} %{time_total} %{speed_download} [%{content_type}] %{exitcode} "
                             "100%% \\\\ \\q",
                             f),
              "200 200\nhttp://h/final\t6442450944 123 1.500000 4294967296 [text/html; charset=utf-8] 0 100% "
              "\\ \\q");
}

TEST(GetWriteOut, NoResponseIsCode000AndUnknownVariablesBecomeNothing) {
    TransferFacts f;
    f.exitCode = 7;
    f.errorMessage = "could not connect";
    std::vector<std::string> unknown;
    EXPECT_EQ(ExpandWriteOut("%{http_code}|%{time_connect}|%{errormsg}|%{exitcode}|%{unclosed", f, &unknown),
              "000||could not connect|7|%{unclosed");
    EXPECT_EQ(unknown, std::vector<std::string>{"time_connect"});
}
