// Helpers for the GET engine tests: canned responses, URLs on a scripted server, scripts that answer
// one request.
#pragma once
#include <string>

#include "core/DataBuffer.h"
#include "support/ScriptedServer.h"

namespace enginetest {

inline std::string Ok(const std::string &body, const std::string &extra = "") {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extra + "\r\n" +
           body;
}

inline std::string Redirect(int status, const std::string &location) {
    return "HTTP/1.1 " + std::to_string(status) + " Moved\r\nLocation: " + location +
           "\r\nContent-Length: 5\r\n\r\nmoved";
}

inline std::string Url(const testsupport::ScriptedServer &s, const std::string &path) {
    return "http://127.0.0.1:" + std::to_string(s.Port()) + path;
}

// Reads one request head, sends the reply, then keeps the connection until the peer closes.
inline testsupport::ConnectionScript Answer(const std::string &reply) {
    return testsupport::ConnectionScript().ReadUntil("\r\n\r\n").Send(reply).HoldOpen();
}

// Reads one request head, sends the reply, closes.
inline testsupport::ConnectionScript AnswerAndClose(const std::string &reply) {
    return testsupport::ConnectionScript().ReadUntil("\r\n\r\n").Send(reply).Close();
}

inline std::string Text(const vantry::DataBuffer &b) {
    return std::string(reinterpret_cast<const char *>(b.Data()), b.Length());
}

} // namespace enginetest
