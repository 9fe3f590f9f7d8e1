// Tests of the scripted loopback server's request loop, as the HTTP tests will use it.
#include "support/ScriptedServer.h"

#include <chrono>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "RecordingLog.h"
#include "core/DataBuffer.h"
#include "net/VantrySocket.h"

using namespace vantry;

using testsupport::ConnectionScript;
using testsupport::ScriptedServer;

TEST(ScriptedServer, AnswersEachRequestOnAKeptConnectionAndRecordsWhatArrived) {
    ScriptedServer server;
    ASSERT_TRUE(server.Ok());
    int served = 0;
    server.AddScript(ConnectionScript().AnswerEach("\r\n\r\n", [&](const std::string &request) {
        ++served;
        std::string body = request.substr(0, request.find("\r\n"));
        return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    }));
    VantrySocket s;
    RecordingLog log;
    bool lookupFailed = false;
    s.SetReadTimeout(5000);
    ASSERT_TRUE(s.Connect("127.0.0.1", server.Port(), lookupFailed, log));
    const std::string requests[] = {"GET /one HTTP/1.1\r\nHost: a\r\n\r\n", "GET /two HTTP/1.1\r\n\r\n"};
    for (const std::string &r : requests) {
        ASSERT_TRUE(s.SendBytes(r.data(), static_cast<uint32_t>(r.size()), log));
        DataBuffer head;
        ASSERT_TRUE(s.ReceiveHeaderBlock(head, log)) << log.Dump();
        std::string body = r.substr(0, r.find("\r\n"));
        DataBuffer got;
        ASSERT_TRUE(s.ReceiveCount(static_cast<uint32_t>(body.size()), got, log));
        EXPECT_EQ(std::string(reinterpret_cast<const char *>(got.Data()), got.Length()), body);
    }
    s.Close();
    ASSERT_TRUE(server.WaitFinished(0, 5000));
    EXPECT_EQ(served, 2);
    EXPECT_EQ(server.Received(0), requests[0] + requests[1]);
    EXPECT_EQ(server.Received(1), "") << "no such connection";
}

TEST(ScriptedServer, StopsWhileAConnectionIsBlockedSendingToAPeerThatDoesNotRead) {
    auto server = std::make_unique<ScriptedServer>();
    server->AddScript(ConnectionScript().Send(std::string(50 * 1024 * 1024, 'b')).HoldOpen());
    VantrySocket s;
    RecordingLog log;
    bool lookupFailed = false;
    ASSERT_TRUE(s.Connect("127.0.0.1", server->Port(), lookupFailed, log));
    ASSERT_TRUE(server->WaitAccepted(1, 5000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the send fills the socket buffers
    // Destroyed on a thread of its own, so a hang shows as a failure instead of a stuck test program.
    // The thread owns all it touches, so even a hung one never reaches into this finished test.
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> destroyed = done->get_future();
    std::thread destroyer([owned = std::move(server), done]() mutable {
        owned.reset();
        done->set_value();
    });
    bool returned = destroyed.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "the server's destructor did not return";
    if (returned)
        destroyer.join();
    else
        destroyer.detach();
}
