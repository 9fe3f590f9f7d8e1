// vantry-get's -w: one pass over the format, variables looked up by name.
#include "tools/GetWriteOut.h"

#include <cstdio>

namespace vantry {

namespace {

// The value of a variable; false for a name not known here.
bool Variable(const std::string &name, const TransferFacts &f, std::string &out) {
    char text[64];
    if (name == "http_code" || name == "response_code") {
        std::snprintf(text, sizeof text, "%03d", f.httpCode);
        out = text;
    } else if (name == "url_effective") {
        out = f.urlEffective;
    } else if (name == "size_download") {
        out = std::to_string(f.sizeDownload);
    } else if (name == "size_header") {
        out = std::to_string(f.sizeHeader);
    } else if (name == "time_total") {
        std::snprintf(text, sizeof text, "%.6f", f.timeTotal);
        out = text;
    } else if (name == "speed_download") {
        std::snprintf(text, sizeof text, "%.0f", f.timeTotal > 0 ? f.sizeDownload / f.timeTotal : 0.0);
        out = text;
    } else if (name == "content_type") {
        out = f.contentType;
    } else if (name == "exitcode") {
        out = std::to_string(f.exitCode);
    } else if (name == "errormsg") {
        out = f.errorMessage;
    } else {
        return false;
    }
    return true;
}

} // namespace

std::string ExpandWriteOut(const std::string &format, const TransferFacts &facts,
                           std::vector<std::string> *unknown) {
    std::string out;
    for (size_t i = 0; i < format.size(); ++i) {
        char c = format[i];
        if (c == '%' && i + 1 < format.size()) {
            if (format[i + 1] == '%') {
                out.push_back('%');
                ++i;
                continue;
            }
            size_t close = format.find('}', i + 2);
            if (format[i + 1] == '{' && close != std::string::npos) {
                std::string name = format.substr(i + 2, close - i - 2), value;
                if (Variable(name, facts, value))
                    out += value;
                else if (unknown)
                    unknown->push_back(name);
                i = close;
                continue;
            }
        } else if (c == '\\' && i + 1 < format.size()) {
            char e = format[i + 1];
            const char *as = e == 'n' ? "\n" : e == 'r' ? "\r" : e == 't' ? "\t" : e == '\\' ? "\\" : nullptr;
            if (as) {
                out += as;
                ++i;
                continue;
            }
        }
        out.push_back(c);
    }
    return out;
}

} // namespace vantry
