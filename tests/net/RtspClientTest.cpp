// The RTSP client against a loopback server whose answers each test scripts: request
// texts and sequence numbers, what responses set, and replies that are late, missing,
// oversized or hostile.
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "net/NetTrace.h"
#include "net/RtspClient.h"
#include "tests/support/ScriptedTcpServer.h"

namespace {

using namespace std::chrono_literals;
using Reply = ScriptedTcpServer::Reply;

constexpr uint32_t kShortWaitMs = 300;
constexpr const char* kUrl = "rtsp://127.0.0.1/?src=1&freq=11836&pids=all";

std::string Ok(int cseq, const std::string& headers = "") {
    return "RTSP/1.0 200 OK\r\nCSeq: " + std::to_string(cseq) + "\r\n" + headers + "\r\n";
}

ScriptedTcpServer::Script AlwaysOk(const std::string& headers = "") {
    return [headers](const std::string&, int cseq) { return Reply{Ok(cseq, headers)}; };
}

// Collects trace lines instead of writing them to standard output.
class TraceCapture {
public:
    TraceCapture() { SetNetTraceSink(&TraceCapture::Sink, this); }
    ~TraceCapture() { SetNetTraceSink(nullptr, nullptr); }
    std::string Text() {
        std::lock_guard<std::mutex> hold(lock_);
        return text_;
    }

private:
    static void Sink(void* self, std::string_view text) {
        auto* capture = static_cast<TraceCapture*>(self);
        std::lock_guard<std::mutex> hold(capture->lock_);
        capture->text_ += text;
    }
    std::mutex lock_;
    std::string text_;
};

class RtspClientTest : public ::testing::Test {
protected:
    void Serve(ScriptedTcpServer::Script script) {
        server_ = std::make_unique<ScriptedTcpServer>(std::move(script));
        client_ = std::make_unique<RtspClient>(server_->Address(), kShortWaitMs);
        ASSERT_TRUE(client_->Connect());
    }
    // Time taken by one call, in milliseconds.
    template <class Call>
    static long long Timed(Call call) {
        const auto start = std::chrono::steady_clock::now();
        call();
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    }

    TraceCapture trace_;
    std::unique_ptr<ScriptedTcpServer> server_;
    std::unique_ptr<RtspClient> client_;
};

TEST_F(RtspClientTest, RequestTextsAndSequenceNumbers) {
    Serve(AlwaysOk("Session: 5C1D;timeout=30\r\ncom.ses.streamID: 7\r\n"));
    EXPECT_EQ(1, client_->NextCSeq());
    EXPECT_EQ(200, client_->Options(kUrl));
    EXPECT_EQ(200, client_->Setup(kUrl, "RTP/AVP;unicast;client_port=5000-5001", nullptr));
    EXPECT_EQ(200, client_->Options(kUrl));
    EXPECT_EQ(200, client_->Play("rtsp://127.0.0.1:554/stream=7", 1.0, nullptr));
    EXPECT_EQ(200, client_->Play("rtsp://127.0.0.1:554/stream=7", 2.0, "0.000-"));
    EXPECT_EQ(200, client_->Teardown(kUrl, nullptr));
    EXPECT_EQ(200, client_->Teardown(kUrl, "user"));
    EXPECT_EQ(200, client_->Pause(kUrl));
    EXPECT_EQ(200, client_->Describe(kUrl));
    EXPECT_EQ(200, client_->GetParameter());
    client_->SetMayNotify(true);
    client_->SetPlayNow(true);
    EXPECT_EQ(200, client_->Setup(kUrl, "RTP/AVP;multicast", "0-"));
    EXPECT_EQ(200, client_->Play(kUrl, 1.0, nullptr));
    EXPECT_EQ(13, client_->NextCSeq());

    const std::string url = kUrl;
    const std::vector<std::string> expected = {
        "OPTIONS " + url + " RTSP/1.0\r\nCSeq: 1\r\n\r\n",
        "SETUP " + url + " RTSP/1.0\r\nTransport: RTP/AVP;unicast;client_port=5000-5001\r\nCSeq: 2\r\n\r\n",
        "OPTIONS " + url + " RTSP/1.0\r\nSession: 5C1D\r\nCSeq: 3\r\n\r\n",
        "PLAY rtsp://127.0.0.1:554/stream=7 RTSP/1.0\r\nSession: 5C1D\r\nCSeq: 4\r\n\r\n",
        "PLAY rtsp://127.0.0.1:554/stream=7 RTSP/1.0\r\nSession: 5C1D\r\nScale: 2.0\r\nRange: npt=0.000-\r\nCSeq: 5\r\n\r\n",
        "TEARDOWN " + url + " RTSP/1.0\r\nSession: 5C1D\r\nCSeq: 6\r\n\r\n",
        "TEARDOWN " + url + " RTSP/1.0\r\nSession: 5C1D\r\nx-reason: user\r\nCSeq: 7\r\n\r\n",
        "PAUSE " + url + " RTSP/1.0\r\nSession: 5C1D\r\nCSeq: 8\r\n\r\n",
        "DESCRIBE " + url + " RTSP/1.0\r\nAccept: application/sdp\r\nCSeq: 9\r\n\r\n",
        "GET_PARAMETER * RTSP/1.0\r\nSession: 5C1D\r\nCSeq: 10\r\nContent-type: text/parameters\r\n"
        "Content-Length: 21\r\n\r\nstream_state position",
        "SETUP " + url + " RTSP/1.0\r\nTransport: RTP/AVP;multicast\r\nx-mayNotify:\r\nx-playNow:\r\nRange: npt=0-\r\n"
        "CSeq: 11\r\n\r\n",
        "PLAY " + url + " RTSP/1.0\r\nSession: 5C1D\r\nx-playNow:\r\nCSeq: 12\r\n\r\n",
    };
    const std::vector<std::string> requests = server_->Requests();
    ASSERT_EQ(expected.size(), requests.size());
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(expected[i], requests[i]) << i;
}

TEST_F(RtspClientTest, TraceLinesOfOneExchange) {
    Serve([](const std::string&, int cseq) {
        return Reply{"RTSP/1.0 200 OK\r\nCSeq: " + std::to_string(cseq) + "\r\nContent-Length: 3\r\n\r\nabc"};
    });
    EXPECT_EQ(200, client_->Options("rtsp://h/"));
    EXPECT_EQ(
        "RTSP Send OPTIONS rtsp://h/ RTSP/1.0\r\nCSeq: 1\r\n\r\n\r\n"
        "----- RTSP incoming:\r\nRTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: 3\r\n\r\n----------------------------\r\n"
        "Content-Length erkannt\r\n"
        "RTSP Response line  200 OK\r\n",
        trace_.Text());
}

struct SetupCase {
    const char* what;
    std::vector<std::string> sessionLines;  // one SETUP response per entry, in order
    const char* session;
    int timeout;
};

TEST_F(RtspClientTest, SessionAndTimeoutFromSetupResponses) {
    const std::vector<SetupCase> cases = {
        {"session and time-out", {"Session: 1A2B3C;timeout=30"}, "1A2B3C", 30},
        {"a time-out below 5 is raised", {"Session: 1A2B3C;timeout=2"}, "1A2B3C", 5},
        {"no time-out keeps 60", {"Session: 77"}, "77", 60},
        {"no blank after the colon", {"Session:ABC;timeout=45"}, "ABC", 45},
        {"a later line without time-out keeps the earlier one", {"Session: A;timeout=30", "Session: B"}, "B", 30},
        {"a huge time-out does not overflow", {"Session: H;timeout=99999999999999999999"}, "H", 2147483},
        {"a negative time-out is raised", {"Session: N;timeout=-40"}, "N", 5},
        {"an empty session leaves none", {"Session: ;timeout=20"}, "", 20},
        {"a line of 256 characters is not read", {"Session: " + std::string(247, 'X')}, "", 60},
        {"a line of 255 characters is", {"Session: " + std::string(246, 'Y')}, nullptr, 60},
        {"header names in any case", {"session: lower;timeout=12"}, "lower", 12},
    };
    for (const SetupCase& c : cases) {
        size_t reply = 0;
        const std::vector<std::string> lines = c.sessionLines;
        Serve([&reply, lines](const std::string&, int cseq) {
            return Reply{Ok(cseq, lines[std::min(reply++, lines.size() - 1)] + "\r\n")};
        });
        for (size_t i = 0; i < c.sessionLines.size(); ++i) EXPECT_EQ(200, client_->Setup(kUrl, "RTP/AVP;multicast", nullptr));
        EXPECT_EQ(c.session ? std::string(c.session) : std::string(246, 'Y'), client_->Session()) << c.what;
        EXPECT_EQ(c.timeout, client_->Timeout()) << c.what;
        client_.reset();
        server_.reset();
    }
}

TEST_F(RtspClientTest, TransportAndStreamIdFromSetup) {
    Serve(AlwaysOk(
        "Transport: RTP/AVP;multicast;destination=239.0.0.9;port=5004-5005;ttl=5 extra\r\n"
        "com.ses.streamID:  12\r\nSession: S\r\n"));
    EXPECT_EQ(-1, client_->StreamId());
    EXPECT_EQ(200, client_->Setup(kUrl, "RTP/AVP;multicast", nullptr));
    EXPECT_EQ("RTP/AVP;multicast;destination=239.0.0.9;port=5004-5005;ttl=5", client_->Transport());
    EXPECT_EQ(12, client_->StreamId());
}

TEST_F(RtspClientTest, BodiesOfDescribeAndGetParameter) {
    Serve([](const std::string& request, int cseq) {
        const std::string body = request.rfind("DESCRIBE", 0) == 0 ? "v=0\r\ns=SatIPServer:1 2\r\n"
                                                                   : "stream_state: playing\r\nposition: 4711\r\n";
        return Reply{"RTSP/1.0 200 OK\r\nCSeq: " + std::to_string(cseq) +
                     "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body};
    });
    EXPECT_EQ(200, client_->Describe(kUrl));
    EXPECT_EQ("v=0\r\ns=SatIPServer:1 2\r\n", client_->Description());
    EXPECT_EQ(200, client_->GetParameter());
    EXPECT_EQ(4711, client_->Position());
    // A body of length 0 completes at the blank line.
    EXPECT_EQ(200, client_->Options(kUrl));
}

TEST_F(RtspClientTest, StatusLinesThatAreNotRtsp) {
    struct Case {
        const char* line;
        int code;
    };
    const Case cases[] = {
        {"HTTP/1.0 200 OK", 0},  {"RTSP/1.0 454 Session Not Found", 454}, {"RTSP/1.0", 0},
        {"RTSP/1.0 abc", 0},     {"RTSP/1.0 99999999999", 2147483647},    {"rtsp/1.0 200 OK", 0},
        {"RTSP/1.0 -1 Odd", -1},
    };
    for (const Case& c : cases) {
        const std::string line = c.line;
        Serve([line](const std::string&, int cseq) {
            return Reply{line + "\r\nCSeq: " + std::to_string(cseq) + "\r\n\r\n"};
        });
        EXPECT_EQ(c.code, client_->Options(kUrl)) << c.line;
    }
}

TEST_F(RtspClientTest, LateAnswerIsNotTakenForTheNextRequest) {
    // The first answer comes only after the client gave up; the second request must
    // get its own answer, not that one.
    Serve([](const std::string&, int cseq) {
        if (cseq == 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(kShortWaitMs + 100));
            return Reply{"RTSP/1.0 404 Not Found\r\nCSeq: 1\r\n\r\n"};
        }
        return Reply{Ok(cseq)};
    });
    EXPECT_EQ(0, client_->Options(kUrl));
    EXPECT_EQ(200, client_->Options(kUrl));
    EXPECT_EQ(3, client_->NextCSeq());
}

struct HostileCase {
    const char* what;
    std::string reply;
    bool close;
};

TEST_F(RtspClientTest, HostileRepliesFailWithoutOverrun) {
    const std::vector<HostileCase> cases = {
        {"64 KiB of header without an end", "RTSP/1.0 200 OK\r\nX-Fill: " + std::string(65536, 'A'), false},
        {"no line ends at all", std::string(40000, 'Z'), false},
        {"binary garbage", std::string(33000, '\xff') + "\r\n\r\n", false},
        {"a body announced far beyond the buffer", "RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: 2000000000\r\n\r\n", false},
        {"a body just beyond the buffer", "RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: 32767\r\n\r\n" + std::string(32767, 'b'), false},
        {"a cut body, then the connection closes", "RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: 100\r\n\r\nshort", true},
        {"the connection closes without a word", "", true},
    };
    for (const HostileCase& c : cases) {
        Serve([&c](const std::string&, int) { return Reply{c.reply, c.close}; });
        int first = -1;
        // The reader gives up on what cannot be a response, and the request fails at
        // once rather than waiting out its time.
        EXPECT_LT(Timed([&] { first = client_->Options(kUrl); }), kShortWaitMs + 200) << c.what;
        EXPECT_EQ(0, first) << c.what;
        EXPECT_EQ(0, client_->Options(kUrl)) << c.what;
        // The reader ends and the client goes without a leak; the server goes before
        // the case its script reads.
        client_.reset();
        server_.reset();
    }
}

TEST_F(RtspClientTest, NegativeContentLengthCountsAsNoBody) {
    Serve([](const std::string&, int cseq) {
        return Reply{"RTSP/1.0 200 OK\r\nCSeq: " + std::to_string(cseq) + "\r\nContent-Length: -5\r\n\r\n"};
    });
    EXPECT_EQ(200, client_->Options(kUrl));
    EXPECT_EQ(200, client_->Options(kUrl));
}

TEST_F(RtspClientTest, LargestResponseThatFitsIsRead) {
    // Headers and body filling the buffer to its last byte but one.
    const std::string head = "RTSP/1.0 200 OK\r\nCSeq: 1\r\nContent-Length: ";
    Serve([head](const std::string&, int) {
        std::string headers = head + "00000\r\n\r\n";
        const size_t body = RtspClient::kReceiveBufferSize - 1 - headers.size();
        char number[6];
        std::snprintf(number, sizeof number, "%05zu", body);
        headers = head + number + "\r\n\r\n";
        return Reply{headers + std::string(body, 'd')};
    });
    EXPECT_EQ(200, client_->Describe(kUrl));
    // The description keeps its own, smaller capacity.
    EXPECT_EQ(std::string(RtspClient::kDescriptionCapacity, 'd'), client_->Description());
}

TEST_F(RtspClientTest, SilentServerTimesOutAfterThreeSeconds) {
    server_ = std::make_unique<ScriptedTcpServer>([](const std::string&, int) { return Reply{}; });
    RtspClient client(server_->Address());
    ASSERT_TRUE(client.Connect());
    int code = -1;
    const long long ms = Timed([&] { code = client.Options(kUrl); });
    EXPECT_EQ(0, code);
    EXPECT_GE(ms, 2950);
    EXPECT_LT(ms, 3800);
    EXPECT_EQ(2, client.NextCSeq());
}

TEST(RtspClientConnect, RefusedOrNoAddress) {
    TraceCapture trace;
    // A port nobody listens on: bind one, learn it, close it.
    const SocketHandle probe = SocketCreate(kNetFamilyIPv4, SOCK_STREAM);
    ASSERT_EQ(0, SocketBind(probe, MakeIPv4Address(INADDR_LOOPBACK, 0)));
    NetAddress unused;
    SocketLocalAddress(probe, unused);
    SocketClose(probe);
    RtspClient refused(unused, kShortWaitMs);
    EXPECT_FALSE(refused.Connect());
    EXPECT_EQ(0, refused.Options(kUrl));  // never sent
    EXPECT_NE(std::string::npos, trace.Text().find("CSeq: 1\r\n\r\n only sent -1 bytes\r\n"));

    RtspClient nowhere(NetAddress{}, kShortWaitMs);
    EXPECT_FALSE(nowhere.Connect());
}

TEST(RtspClientConcurrency, KeepAliveAndSetupFromTwoThreadsNeverInterleave) {
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};
    ScriptedTcpServer server([&](const std::string&, int cseq) {
        if (inside.fetch_add(1) != 0) overlapped = true;
        std::this_thread::sleep_for(1ms);
        inside.fetch_sub(1);
        return Reply{Ok(cseq, "Session: K;timeout=10\r\n")};
    });
    TraceCapture quiet;
    RtspClient client(server.Address(), 2000);
    ASSERT_TRUE(client.Connect());
    std::atomic<int> failures{0};
    auto work = [&](bool setup) {
        for (int i = 0; i < 40; ++i) {
            const int code = setup ? client.Setup(kUrl, "RTP/AVP;multicast", nullptr) : client.Options(kUrl);
            if (code != 200) ++failures;
            (void)client.Session();
            (void)client.Timeout();
        }
    };
    std::thread a(work, true), b(work, false);
    a.join();
    b.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_FALSE(overlapped.load());
    EXPECT_EQ(81, client.NextCSeq());
    // Every request arrived whole and numbered once.
    std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(80u, requests.size());
    std::vector<bool> seen(81, false);
    for (const std::string& r : requests) {
        const int cseq = std::stoi(r.substr(r.find("CSeq: ") + 6));
        ASSERT_TRUE(cseq >= 1 && cseq <= 80 && !seen[cseq]) << r;
        seen[cseq] = true;
    }
}

TEST(RtspStatusText, KnownAndUnknownCodes) {
    const std::pair<int, const char*> cases[] = {
        {100, "Continue"}, {200, "OK"}, {302, "Moved Temporarily"}, {408, "Request Time-out"},
        {454, "Session Not Found"}, {459, "Aggregate operation not allowed"}, {463, "Destination required [C-Cor]"},
        {505, "RTSP Version not supported"}, {551, "Option not supported"}, {0, "Unknown"}, {409, "Unknown"},
        {-1, "Unknown"},
    };
    for (const auto& [code, text] : cases) EXPECT_STREQ(text, RtspStatusText(code)) << code;
}

}  // namespace
