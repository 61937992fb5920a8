#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "net/HttpStream.h"
#include "net/Sockets.h"
#include "tests/support/ScriptedTcpServer.h"
#include "tests/support/WaitUntil.h"

namespace {

// Sends the reply to the first request; a held connection stays open until the server goes.
class OneShotServer : public ScriptedTcpServer {
public:
    OneShotServer(std::string reply, bool hold)
        : ScriptedTcpServer([reply = std::move(reply), hold](const std::string&, int) { return Reply{reply, !hold}; }) {}
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(NetAddressPort(Address())) + path;
    }
    std::string Request() const {
        WaitUntil([&] { return !Requests().empty(); });
        return Requests().empty() ? "" : Requests()[0];
    }
};

std::string Body(size_t size) {
    std::string body(size, '\0');
    for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 131 + i / 977) & 0xFF);
    return body;
}

std::string Chunked(const std::string& body, size_t piece) {
    std::string out;
    char size[16];
    for (size_t at = 0; at < body.size(); at += piece) {
        const size_t n = std::min(piece, body.size() - at);
        std::snprintf(size, sizeof size, "%zx\r\n", n);
        out += size + body.substr(at, n) + "\r\n";
    }
    return out + "0\r\n\r\n";
}

struct Outcome {
    HttpStreamEnd end;
    std::vector<long> statuses;
    std::string data;
};

Outcome Fetch(HttpStream& stream, const std::string& url, long connectMs = 2000) {
    Outcome outcome;
    HttpStream::Handlers handlers;
    handlers.connected = [&](long status) { outcome.statuses.push_back(status); };
    handlers.data = [&](const uint8_t* data, size_t length) {
        outcome.data.append(reinterpret_cast<const char*>(data), length);
        return true;
    };
    outcome.end = stream.Run(url, "agent-x/1.0", handlers, connectMs);
    return outcome;
}

TEST(HttpStream, HandsOnTheBodyAsSentPlainOrChunked) {
    const std::string body = Body(300000);
    struct Case {
        const char* what;
        std::string reply;
    } cases[] = {
        {"plain", "HTTP/1.1 200 OK\r\nContent-Type: video/mp2t\r\n\r\n" + body},
        {"with length", "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body},
        {"chunked", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" + Chunked(body, 1316)},
        {"after an interim reply", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\n\r\n" + body},
    };
    for (const Case& c : cases) {
        OneShotServer server(c.reply, false);
        HttpStream stream;
        const Outcome outcome = Fetch(stream, server.Url("/?src=1&freq=11836&pids=all"));
        EXPECT_EQ(outcome.end, HttpStreamEnd::BodyEnded) << c.what;
        EXPECT_EQ(outcome.statuses, std::vector<long>{200}) << c.what;
        EXPECT_TRUE(outcome.data == body) << c.what << ": " << outcome.data.size() << " bytes";
        const std::string request = server.Request();
        EXPECT_EQ(request.rfind("GET /?src=1&freq=11836&pids=all HTTP/1.1\r\n", 0), 0u) << request;
        EXPECT_NE(request.find("\r\nUser-Agent: agent-x/1.0\r\n"), std::string::npos) << request;
        EXPECT_NE(request.find("\r\nHost: 127.0.0.1:"), std::string::npos) << request;
    }
}

TEST(HttpStream, RefusalsAndBadRepliesEndItWithoutData) {
    struct Case {
        const char* what;
        std::string reply;
        HttpStreamEnd end;
        long status;
    } cases[] = {
        {"not found", "HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found", HttpStreamEnd::Refused, 404},
        {"unavailable", "HTTP/1.1 503 Service Unavailable\r\n\r\n", HttpStreamEnd::Refused, 503},
        {"redirect", "HTTP/1.1 302 Found\r\nLocation: /else\r\n\r\n", HttpStreamEnd::Refused, 302},
        {"garbage", "SAT/9 all fine\r\n\r\nxx", HttpStreamEnd::ConnectFailed, 0},
        {"closed at once", "", HttpStreamEnd::ConnectFailed, 0},
    };
    for (const Case& c : cases) {
        OneShotServer server(c.reply, false);
        HttpStream stream;
        const Outcome outcome = Fetch(stream, server.Url("/?x"));
        EXPECT_EQ(outcome.end, c.end) << c.what;
        EXPECT_EQ(outcome.statuses, std::vector<long>{c.status}) << c.what;
        EXPECT_TRUE(outcome.data.empty()) << c.what;
    }
}

TEST(HttpStream, NoServerIsAConnectFailure) {
    const SocketHandle s = SocketCreate(kNetFamilyIPv4, SOCK_STREAM);
    SocketBind(s, MakeIPv4Address(0x7F000001, 0));
    NetAddress local{};
    SocketLocalAddress(s, local);
    HttpStream stream;
    // Bound but not listening: refused at once.
    const Outcome outcome = Fetch(stream, "http://127.0.0.1:" + std::to_string(NetAddressPort(local)) + "/");
    SocketClose(s);
    EXPECT_EQ(outcome.end, HttpStreamEnd::ConnectFailed);
    EXPECT_EQ(outcome.statuses, std::vector<long>{0});
    EXPECT_FALSE(stream.ErrorText().empty());
}

TEST(HttpStream, AbortEndsAStalledBodyPromptly) {
    OneShotServer server("HTTP/1.1 200 OK\r\n\r\n" + Body(5000), true);
    HttpStream stream;
    std::atomic<size_t> received{0};
    HttpStream::Handlers handlers;
    handlers.connected = [](long) {};
    handlers.data = [&](const uint8_t*, size_t length) {
        received += length;
        return true;
    };
    HttpStreamEnd end{};
    std::thread runner([&] { end = stream.Run(server.Url("/"), "agent", handlers, 2000); });
    EXPECT_TRUE(WaitUntil([&] { return received.load() >= 5000; })) << received.load();
    EXPECT_EQ(received.load(), 5000u);
    const auto before = std::chrono::steady_clock::now();
    stream.Abort();
    runner.join();
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(500));
    EXPECT_EQ(end, HttpStreamEnd::Aborted);
}

TEST(HttpStream, AHandlerThatRefusesMoreEndsTheStream) {
    OneShotServer server("HTTP/1.1 200 OK\r\n\r\n" + Body(50000), true);
    HttpStream stream;
    HttpStream::Handlers handlers;
    handlers.connected = [](long) {};
    handlers.data = [](const uint8_t*, size_t) { return false; };
    EXPECT_EQ(stream.Run(server.Url("/"), "agent", handlers, 2000), HttpStreamEnd::Failed);
}

}  // namespace
