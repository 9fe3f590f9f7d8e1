// Relative-reference resolution by the rules of RFC 3986 section 5: component split, target
// computation, path merge and dot-segment removal, then recomposition.
#include "url/UrlResolver.h"

#include <string>

#include "core/AsciiText.h"
#include "core/StringBuffer.h"

namespace vantry {

namespace {

// The five components of a URI reference; the flags tell an absent component from an empty one.
struct UriParts {
    std::string_view scheme, authority, path, query, fragment;
    bool hasScheme = false, hasAuthority = false, hasQuery = false, hasFragment = false;
};

bool IsSchemeChar(char c) {
    return ascii::IsLetterOrDigit(c) || c == '+' || c == '-' || c == '.';
}

// Splits by the grammar of RFC 3986 (the Appendix B split, with the scheme held to its syntax so that
// a relative path whose first segment holds a ':' after other characters stays a path).
UriParts SplitUri(std::string_view s) {
    UriParts u;
    size_t i = 0;
    if (!s.empty() && ascii::IsLetter(s[0])) {
        size_t j = 1;
        while (j < s.size() && IsSchemeChar(s[j]))
            ++j;
        if (j < s.size() && s[j] == ':') {
            u.scheme = s.substr(0, j);
            u.hasScheme = true;
            i = j + 1;
        }
    }
    if (s.size() - i >= 2 && s[i] == '/' && s[i + 1] == '/') {
        size_t j = s.find_first_of("/?#", i + 2);
        if (j == std::string_view::npos)
            j = s.size();
        u.authority = s.substr(i + 2, j - i - 2);
        u.hasAuthority = true;
        i = j;
    }
    size_t j = s.find_first_of("?#", i);
    if (j == std::string_view::npos)
        j = s.size();
    u.path = s.substr(i, j - i);
    i = j;
    if (i < s.size() && s[i] == '?') {
        j = s.find('#', i + 1);
        if (j == std::string_view::npos)
            j = s.size();
        u.query = s.substr(i + 1, j - i - 1);
        u.hasQuery = true;
        i = j;
    }
    if (i < s.size() && s[i] == '#') {
        u.fragment = s.substr(i + 1);
        u.hasFragment = true;
    }
    return u;
}

// Section 5.2.4: removes "." and ".." segments from a path.
std::string RemoveDotSegments(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    auto dropLastSegment = [&out]() {
        size_t slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./")) {
            in.remove_prefix(2);
        } else if (in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = "/";
        } else if (in.starts_with("/../")) {
            in.remove_prefix(3);
            dropLastSegment();
        } else if (in == "/..") {
            in = "/";
            dropLastSegment();
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            // Move the first segment (with its leading '/', if any) to the output.
            size_t next = in.find('/', in[0] == '/' ? 1 : 0);
            if (next == std::string_view::npos)
                next = in.size();
            out.append(in.substr(0, next));
            in.remove_prefix(next);
        }
    }
    return out;
}

// Section 5.2.3: merges a relative path with the base's path.
std::string MergePaths(const UriParts &base, std::string_view relPath) {
    if (base.hasAuthority && base.path.empty()) {
        std::string merged = "/";
        merged.append(relPath);
        return merged;
    }
    size_t slash = base.path.rfind('/');
    std::string merged(slash == std::string_view::npos ? std::string_view{} : base.path.substr(0, slash + 1));
    merged.append(relPath);
    return merged;
}

} // namespace

bool ResolveUrlReference(std::string_view base, std::string_view reference, StringBuffer &result) {
    result.Clear();
    UriParts b = SplitUri(base);
    if (!b.hasScheme)
        return false;
    UriParts r = SplitUri(reference);

    // Section 5.2.2, strict: a reference with a scheme is taken as it stands.
    std::string_view scheme, authority, query;
    std::string path;
    bool hasAuthority, hasQuery;
    if (r.hasScheme) {
        scheme = r.scheme;
        authority = r.authority;
        hasAuthority = r.hasAuthority;
        path = RemoveDotSegments(r.path);
        query = r.query;
        hasQuery = r.hasQuery;
    } else {
        scheme = b.scheme;
        if (r.hasAuthority) {
            authority = r.authority;
            hasAuthority = true;
            path = RemoveDotSegments(r.path);
            query = r.query;
            hasQuery = r.hasQuery;
        } else {
            authority = b.authority;
            hasAuthority = b.hasAuthority;
            if (r.path.empty()) {
                path = std::string(b.path);
                query = r.hasQuery ? r.query : b.query;
                hasQuery = r.hasQuery || b.hasQuery;
            } else {
                path = RemoveDotSegments(r.path[0] == '/' ? std::string(r.path) : MergePaths(b, r.path));
                query = r.query;
                hasQuery = r.hasQuery;
            }
        }
    }

    // Section 5.3: recomposition.
    std::string out;
    out.reserve(base.size() + reference.size() + 4);
    out.append(scheme);
    out.push_back(':');
    if (hasAuthority) {
        out.append("//");
        out.append(authority);
    }
    out.append(path);
    if (hasQuery) {
        out.push_back('?');
        out.append(query);
    }
    if (r.hasFragment) {
        out.push_back('#');
        out.append(r.fragment);
    }
    result.Append(std::string_view(out));
    return true;
}

} // namespace vantry
