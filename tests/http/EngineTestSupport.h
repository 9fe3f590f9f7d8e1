// Helpers for the GET engine tests: canned responses, URLs on a scripted server, scripts that answer
// one request, a client with its settings and log.
#pragma once
#include <string>

#include "core/DataBuffer.h"
#include "http/HttpClient.h"
#include "http/HttpControl.h"
#include "http/HttpResult.h"
#include "net/RecordingLog.h"
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

// One client with short time-outs and a recording log; Get runs one request on a one-shot connection.
struct GetFixture {
    vantry::HttpClient client;
    vantry::HttpControl control;
    vantry::HttpResult result;
    vantry::DataBuffer body;
    RecordingLog log;
    GetFixture() {
        control.ConnectTimeout = 2;
        control.ReadTimeout = 3;
    }
    bool Get(const std::string &url) {
        result.Reset();
        return client.HttpGet(url.c_str(), 0, false, control, body, result, log);
    }
};

// Every request the server received, in order, over all its connections.
inline std::string AllReceived(const testsupport::ScriptedServer &server) {
    std::string all;
    for (int i = 0; i < server.Accepted(); ++i)
        all += server.Received(i);
    return all;
}

inline std::string Text(const vantry::DataBuffer &b) {
    return std::string(reinterpret_cast<const char *>(b.Data()), b.Length());
}

} // namespace enginetest
