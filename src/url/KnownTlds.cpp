// The known top-level domain table and its lookups, used by the URL and domain utilities.
#include "url/KnownTlds.h"

#include <cstring>

namespace vantry {

namespace {

// Fixed order; lookups compare exactly and case-sensitively.
constexpr const char *kKnownTlds[] = {
    "com", "edu",  "gov",  "net",  "org",    "info", "it",   "fr", "au", "jp", "uk", "nl", "us", "biz", "xxx",
    "de",  "ad",   "ae",   "af",   "ag",     "ai",   "al",   "am", "an", "ao", "aq", "ar", "as", "at",  "aw",
    "az",  "ac",   "ba",   "bb",   "bd",     "be",   "bf",   "bg", "bh", "bi", "bj", "bm", "bn", "bo",  "br",
    "bs",  "bt",   "bv",   "bw",   "by",     "bz",   "ca",   "cc", "cf", "cg", "ch", "ci", "ck", "cd",  "cl",
    "cm",  "cn",   "co",   "cr",   "cs",     "cu",   "cv",   "cx", "cy", "cz", "dj", "dk", "dm", "do",  "dz",
    "ec",  "ee",   "eg",   "eh",   "er",     "es",   "et",   "fi", "fj", "fk", "fm", "fo", "fx", "ga",  "gb",
    "gd",  "ge",   "gf",   "gh",   "gi",     "gl",   "gm",   "gn", "gp", "gq", "gr", "gs", "gt", "gu",  "gw",
    "gy",  "hk",   "hm",   "hn",   "hr",     "ht",   "hu",   "id", "ie", "il", "in", "io", "iq", "ir",  "is",
    "jm",  "jo",   "ke",   "kg",   "kh",     "ki",   "km",   "kn", "kp", "kr", "kw", "ky", "kz", "la",  "lb",
    "lc",  "li",   "lk",   "lr",   "ls",     "lt",   "lu",   "lv", "ly", "ma", "mc", "md", "mg", "mh",  "mk",
    "ml",  "mm",   "mn",   "mo",   "mp",     "mq",   "mr",   "ms", "mt", "mu", "mv", "mw", "mx", "my",  "mz",
    "na",  "nc",   "ne",   "nf",   "ng",     "ni",   "no",   "np", "nr", "nt", "nu", "nz", "om", "pa",  "pe",
    "pf",  "pg",   "ph",   "pk",   "pl",     "pm",   "pn",   "pr", "pt", "pw", "py", "qa", "re", "ro",  "ru",
    "rw",  "sa",   "sb",   "sc",   "sd",     "se",   "sg",   "sh", "si", "sj", "sk", "sl", "sm", "sn",  "so",
    "sr",  "st",   "su",   "sv",   "sx",     "sy",   "sz",   "tc", "td", "tf", "tg", "th", "tj", "tk",  "tm",
    "tn",  "to",   "tp",   "tr",   "tt",     "tv",   "tw",   "tz", "ua", "ug", "um", "uy", "uz", "va",  "vc",
    "ve",  "vg",   "vi",   "vn",   "vu",     "wf",   "ws",   "ye", "yt", "yu", "za", "zm", "zr", "zw",  "int",
    "mil", "aero", "coop", "name", "museum", "arpa", "nato",
};
constexpr int32_t kKnownTldCount = static_cast<int32_t>(sizeof(kKnownTlds) / sizeof(kKnownTlds[0]));
static_assert(kKnownTldCount == 262, "the known top-level domain table has 262 labels");

} // namespace

int32_t KnownTldCount() {
    return kKnownTldCount;
}

const char *KnownTldAt(int32_t index) {
    if (index < 0 || index >= kKnownTldCount)
        return nullptr;
    return kKnownTlds[index];
}

bool IsKnownTld(const char *label) {
    if (label == nullptr || label[0] == '\0')
        return false;
    for (const char *tld : kKnownTlds) {
        if (tld[0] == label[0] && std::strcmp(tld, label) == 0)
            return true;
    }
    return false;
}

bool HasKnownTld(const char *name) {
    if (name == nullptr)
        return false;
    const char *dot = std::strrchr(name, '.');
    if (dot == nullptr)
        return false;
    return IsKnownTld(dot + 1);
}

} // namespace vantry
