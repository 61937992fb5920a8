#pragma once
// The RTSP side: sessions with their streams, keep-alive and time-out, and the replies,
// well-formed or malformed on request.
#include <netinet/in.h>

#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "tools/satip-sim/Messages.h"
#include "tools/satip-sim/SimState.h"
#include "tools/satip-sim/Stream.h"
#include "tools/satip-sim/Tcp.h"

struct RtspOptions {
    in_addr address{};            // the server's own address in URLs and multicast sending
    unsigned sessionTimeout = 60;  // seconds
    unsigned maxHeadBytes = 16384;
};

class RtspServer {
public:
    RtspServer(SimState& state, Frontends& frontends, const RtspOptions& options);
    ~RtspServer();
    bool Start(uint16_t port, std::string* error);
    uint16_t Port() const { return tcp_.Port(); }
    // After state.stopping is set: ends every session and joins every thread.
    void Stop();

    struct Reply {
        int status = 200;
        std::vector<std::pair<std::string, std::string>> headers;
        std::string body, contentType;
        std::string session;  // the session the reply names, if any
    };
    Reply Handle(const MessageHead& request, const sockaddr_in& peer);

private:
    struct Session {
        std::string id;
        unsigned streamId = 0;
        std::shared_ptr<StreamShared> shared = std::make_shared<StreamShared>();
        RtpTarget target;
        std::string transport;  // the Transport header of the reply
        std::unique_ptr<RtpStreamer> streamer;
        std::chrono::steady_clock::time_point lastSeen;
    };
    using Clock = std::chrono::steady_clock;

    void Serve(int socket, const sockaddr_in& peer);
    std::string Render(const Reply& reply, const MessageHead& request) const;
    void SweepLoop();
    void EndSession(std::map<std::string, std::unique_ptr<Session>>::iterator it, const char* why);
    Session* FindSession(const MessageHead& request, Reply* reply);

    Reply Options(const MessageHead& request);
    Reply Describe(const MessageHead& request, unsigned streamId);
    Reply Setup(const MessageHead& request, const sockaddr_in& peer, unsigned streamId, const QueryUpdate& query);
    Reply Play(const MessageHead& request, unsigned streamId, const QueryUpdate& query);
    Reply Teardown(const MessageHead& request, unsigned streamId);

    SimState& state_;
    Frontends& frontends_;
    RtspOptions options_;
    std::string address_;
    TcpServer tcp_;
    std::thread sweeper_;
    std::mutex mutex_;
    std::map<std::string, std::unique_ptr<Session>> sessions_;
    unsigned nextStreamId_ = 1;
};

// "rtsp://host:port/stream=3?freq=..." → stream 3 (0 when none) and the query; false
// for a target that is no SAT>IP resource.
bool ParseRtspTarget(const std::string& target, unsigned* streamId, std::string* query);
