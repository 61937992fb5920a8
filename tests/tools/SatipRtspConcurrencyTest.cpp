// The RTSP server in this process, under many clients at once while sessions time out:
// the session table, the front ends and the streaming threads must stay consistent.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "tools/satip-sim/RtspServer.h"
#include "tests/support/WaitUntil.h"
#include "tests/tools/SatipTestClient.h"

using namespace satip_test;

namespace {

// True once every front end can be taken again (they are given back at once).
bool WaitUntilAllFree(Frontends& frontends, unsigned count) {
    return WaitUntil(
        [&] {
            std::vector<unsigned> taken;
            for (unsigned k = 0; k < count; ++k)
                if (unsigned fe = frontends.Acquire('s', 0)) taken.push_back(fe);
            for (unsigned fe : taken) frontends.Release(fe);
            return taken.size() == count;
        },
        std::chrono::seconds(5));
}

}  // namespace

TEST(SatipRtspConcurrency, ParallelSessionsComeAndGoWithoutLosingFrontends) {
    constexpr unsigned kClients = 6, kRounds = 3;
    SimState state;
    state.verbose = false;
    Frontends frontends;
    // A client's lapsed session holds its front end until the time-out: room for two each.
    ASSERT_TRUE(frontends.Configure("DVBS2-" + std::to_string(2 * kClients)));
    RtspOptions options;
    options.address.s_addr = htonl(INADDR_LOOPBACK);
    options.sessionTimeout = 1;
    RtspServer server(state, frontends, options);
    std::string error;
    ASSERT_TRUE(server.Start(0, &error)) << error;

    std::atomic<unsigned> failures{0}, delivered{0};
    std::atomic<bool> done{false};
    std::vector<std::thread> clients;
    for (unsigned c = 0; c < kClients; ++c)
        clients.emplace_back([&, c] {
            for (unsigned round = 0; round < kRounds; ++round) {
                Udp rtp, rtcp;
                Rtsp rtsp(server.Port());
                const std::string reply =
                    rtsp.Ask("SETUP", std::string(kTune) + "&pids=all", UnicastTransport(rtp, rtcp));
                const std::string id = "Session: " + SessionOf(reply) + "\r\n";
                const std::string stream = "/stream=" + Header(reply, "com.ses.streamID");
                if (reply.substr(0, 15) != "RTSP/1.0 200 OK" ||
                    rtsp.Ask("PLAY", stream, id).substr(0, 15) != "RTSP/1.0 200 OK") {
                    ++failures;
                    continue;
                }
                if (rtp.Next().size() == 12 + 7 * 188) ++delivered;
                // Every other session is left to time out instead of being torn down.
                if ((c + round) % 2 == 0 && rtsp.Ask("TEARDOWN", stream, id).substr(0, 15) != "RTSP/1.0 200 OK")
                    ++failures;
            }
        });
    std::thread describer([&] {
        while (!done) {
            Rtsp rtsp(server.Port());
            const std::string reply = rtsp.Ask("DESCRIBE", "/");
            if (reply.substr(0, 12) != "RTSP/1.0 200" && reply.substr(0, 12) != "RTSP/1.0 404") ++failures;
        }
    });
    for (std::thread& t : clients) t.join();
    done = true;
    describer.join();
    EXPECT_EQ(failures, 0u);
    EXPECT_EQ(delivered, kClients * kRounds);

    // Sessions left alone end by time-out and give their front ends back.
    EXPECT_TRUE(WaitUntilAllFree(frontends, 2 * kClients));
    state.stopping = true;
    server.Stop();
}
