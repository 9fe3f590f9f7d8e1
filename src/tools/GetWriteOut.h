// vantry-get's -w/--write-out: the format a curl user writes, its %{variables} filled from what one
// transfer left, and its backslash escapes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace vantry {

// What a transfer left, for the variables of -w.
struct TransferFacts {
    int httpCode = 0;          // %{http_code}, %{response_code}: 000 when no response came
    std::string urlEffective;  // %{url_effective}: the URL that answered (the last redirect's target)
    uint64_t sizeDownload = 0; // %{size_download}: body bytes as they came over the wire
    uint64_t sizeHeader = 0;   // %{size_header}: bytes of the response head
    double timeTotal = 0;      // %{time_total}: seconds, start to end
    std::string contentType;   // %{content_type}
    int exitCode = 0;          // %{exitcode}
    std::string errorMessage;  // %{errormsg}: the failure message, empty on success
};

// FORMAT with %{name} replaced, %% as %, and \n, \r, \t, \\ as their characters. An unknown variable
// becomes nothing and its name is added to unknown (when given).
std::string ExpandWriteOut(const std::string &format, const TransferFacts &facts,
                           std::vector<std::string> *unknown = nullptr);

} // namespace vantry
