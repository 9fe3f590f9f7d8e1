// Name lookups beside VantrySocket: a host name to its dotted IPv4 text, and a dotted IPv4 text back to
// the host name registered for it. Used by the connection pool and the address neighbourhood scan.
#pragma once

namespace vantry {

class StringBuffer;

// Appends the first IPv4 address of host as "%d.%d.%d.%d". Blank or "localhost" means 127.0.0.1.
// Writes no log and does not start the socket library.
bool ResolveDottedIp(const char *host, StringBuffer &out);

// Sets out to the host name registered for the dotted IPv4 address (port as given, the spider uses 80).
// An answer that is the address itself or any other dotted quad counts as no name: out stays empty.
bool ReverseLookup(const char *ip, int port, StringBuffer &out);

// True when text, after optional blanks, begins with four decimal integers separated by sep
// (the way a "%d.%d.%d.%d" scan reads it; the rest of the text is not looked at).
bool ReadsAsFourIntegers(const char *text, char sep);

} // namespace vantry
