// The names of real sites that the harvester and the spider's link filter rely on: the seed
// listing sites, the domains never harvested, the search portal's redirectors, the advertising
// network, and the agent string (Base64 of "Lanternfold/1.1 (+<description URL>)").
#pragma once

namespace vantry {

namespace sitevalues {

// Seed listing sites: the first is asked for kFirstSeedPath, the second for its root page.
inline constexpr const char *kFirstSeedHost = "pinboard.in";
inline constexpr const char *kFirstSeedPath = "/furled.jsp";
inline constexpr const char *kSecondSeedHost = "news.ycombinator.com";

// Names containing any of these (letter case ignored) are neither seed links nor crawled.
inline constexpr const char *kExcludedSubstrings[] = {
    "google",          "yahoo", "microsoft", "amazon",
    "pinboard.in",     // the first seed site
    "ycombinator.com", // the second seed site
    "cnn.com",         // news
    "ebay.com",        // auctions
    "blogspot.com",    // blog hosting
    "msn.com",         // web portal
    "about.com",       // topic guides
    "curlie.org",      // search directory
};

// The search portal's redirectors: the target follows the first "/*".
inline constexpr const char *kRedirectorPrefixes[] = {"http://rds.yahoo.com/", "http://srd.yahoo.com/"};

// The advertising network whose links are never followed.
inline constexpr const char *kAdvertisingDomain = "adnxs.com";

// The page that describes the agent to site owners.
inline constexpr const char *kAgentDescriptionUrl = "http://www.tidewell.org/lanternfold.html";

// "Lanternfold/1.1 (+http://www.tidewell.org/lanternfold.html)", Base64-encoded.
inline constexpr const char *kAgentStringBase64 =
    "TGFudGVybmZvbGQvMS4xICgraHR0cDovL3d3dy50aWRld2VsbC5vcmcvbGFudGVybmZvbGQuaHRtbCk=";

} // namespace sitevalues

} // namespace vantry
