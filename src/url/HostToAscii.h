// HostToAscii: turns a host name with bytes beyond ASCII (UTF-8) into its ASCII form by UTS #46
// processing (libidn2), so that every later step looks up, compares and writes one spelling.
#pragma once

namespace vantry {

class StringBuffer;

// Leaves an all-ASCII host as it is and gives true. Otherwise replaces the host with its ASCII form
// ("bücher.de" becomes "xn--bcher-kva.de") and gives true, or leaves it and gives false when it has no
// ASCII form (invalid UTF-8, disallowed code points, a mapping to characters a host cannot hold).
bool HostToAscii(StringBuffer &host);

} // namespace vantry
