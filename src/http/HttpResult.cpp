// HttpResult: the reset done before each request.
#include "http/HttpResult.h"

namespace vantry {

void HttpResult::Reset() {
    WasRedirected = false;
    FinalUrl.Clear();
    EffectiveUrl.Clear();
    CachedRedirectFailed = false;
    CacheStatus = 0;
    FromCache = false;
    ConnectionBroken = false;
    Header.Clear();
}

} // namespace vantry
