// CacheControl: the cache switches and freshness numbers carried inside the request settings
// (HttpControl). The GET engine reads three switches; the cache steps read the rest.
#pragma once
#include <cstdint>

namespace vantry {

class CacheControl {
public:
    virtual ~CacheControl() = default;

    uint8_t SkipInvalidDomains = 1;           // refuse a host whose DNS entry says the name does not resolve
    uint8_t QuietNegativeHits = 0;            // a negative hit of the ".caf" store is not logged
    uint8_t UpdateCache = 1;                  // store responses, negative entries and DNS entries
    uint8_t FetchFromCache = 1;               // look requests up in the cache
    uint8_t IgnoreNoCacheDirectives = 0;      // store even when the response forbids it
    uint8_t UnusedFlag = 0;                   // kept for the record's layout; nothing reads it
    uint32_t DefaultFreshnessMinutes = 10080; // freshness when the response gives none (7 days)
    uint32_t FreshnessAlgorithm = 1;          // 1: derive freshness from Last-Modified
    uint32_t LastModifiedPercent = 25;        // share of the document's age used as freshness
    uint32_t UnusedValue1 = 525600;           // kept for the record's layout; nothing reads it
    uint32_t UnusedValue2 = 30;               // kept for the record's layout; nothing reads it
};

} // namespace vantry
