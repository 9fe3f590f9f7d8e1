// The user information of a URL ("user:password@" before the host): taken out of the URL so that it
// travels only as the request's login, and masked wherever a URL is shown in a log or a message.
#pragma once

namespace vantry {

class StringBuffer;

// Splits the user information off the URL: `bare` is the URL without it, `user` the text before its
// first ':' and `password` the text after (both empty when there is none). The authority follows
// "scheme://", or starts the text when it has none (as ParseUrl reads it); it ends at the first '/',
// '?', '#' or '\', and its last '@' ends the user information. True when there was some.
bool SplitUrlCredentials(const char *url, StringBuffer &bare, StringBuffer &user, StringBuffer &password);

// The URL with the password of its user information (after "scheme://") replaced by "****", the user
// name kept, for log values and messages; other texts are copied as they are.
void MaskUrlCredentials(const char *url, StringBuffer &out);

} // namespace vantry
