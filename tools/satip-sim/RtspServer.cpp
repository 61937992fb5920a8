#include "tools/satip-sim/RtspServer.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <random>

namespace {

constexpr char kPublic[] = "OPTIONS, DESCRIBE, SETUP, PLAY, TEARDOWN";
constexpr size_t kHugeHeaderBytes = 64 * 1024;
constexpr size_t kMaxBody = 64 * 1024;
// Where a multicast SETUP without a destination sends: one group per stream.
constexpr char kDefaultGroupPrefix[] = "239.255.1.";
constexpr unsigned kDefaultMulticastPort = 5000;

const char* StatusText(int status) {
    switch (status) {
        case 200: return "OK";
        case 400: return "Bad Request";
        case 404: return "Not Found";
        case 454: return "Session Not Found";
        case 455: return "Method Not Valid in This State";
        case 461: return "Unsupported Transport";
        case 501: return "Not Implemented";
        case 503: return "Service Unavailable";
        case 505: return "RTSP Version Not Supported";
        default: return "Internal Server Error";
    }
}

RtspServer::Reply Error(int status, const std::string& note = "") {
    RtspServer::Reply reply;
    reply.status = status;
    if (!note.empty()) reply.headers.emplace_back("Note", note);
    return reply;
}

bool ParsePortPair(const std::string& text, unsigned* first, unsigned* second) {
    const size_t dash = text.find('-');
    const std::string a = text.substr(0, dash), b = dash == std::string::npos ? "" : text.substr(dash + 1);
    auto number = [](const std::string& t, unsigned* out) {
        if (t.empty() || t.size() > 5 || t.find_first_not_of("0123456789") != std::string::npos) return false;
        *out = static_cast<unsigned>(std::strtoul(t.c_str(), nullptr, 10));
        return *out >= 1 && *out <= 65535;
    };
    if (!number(a, first)) return false;
    if (dash == std::string::npos) {
        *second = *first + 1;
        return *second <= 65535;
    }
    return number(b, second);
}

std::string NewSessionId() {
    static std::mt19937_64 engine{std::random_device{}()};
    char text[17];
    std::snprintf(text, sizeof text, "%08X", static_cast<unsigned>(engine() & 0xFFFFFFFFu));
    return text;
}

// The Transport header of a SETUP, as a target; false with the reply status otherwise.
bool ParseTransport(const std::string& header, const sockaddr_in& peer, unsigned streamId, in_addr serverAddress,
                    RtpTarget* target, std::string* replyTransport, int* status) {
    *status = 461;
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t semi = header.find(';', start);
        parts.push_back(header.substr(start, semi - start));
        if (semi == std::string::npos) break;
        start = semi + 1;
    }
    if (parts[0] != "RTP/AVP" && parts[0] != "RTP/AVP/UDP") return false;
    bool multicast = false, unicast = false;
    std::string destination;
    unsigned clientA = 0, clientB = 0, portA = 0, portB = 0, ttl = 1;
    for (size_t i = 1; i < parts.size(); ++i) {
        const std::string& p = parts[i];
        const size_t eq = p.find('=');
        const std::string key = p.substr(0, eq), value = eq == std::string::npos ? "" : p.substr(eq + 1);
        if (key == "unicast") unicast = true;
        else if (key == "multicast") multicast = true;
        else if (key == "destination") destination = value;
        else if (key == "client_port" && !ParsePortPair(value, &clientA, &clientB)) return *status = 400, false;
        else if (key == "port" && !ParsePortPair(value, &portA, &portB)) return *status = 400, false;
        else if (key == "ttl") {
            if (value.empty() || value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos)
                return *status = 400, false;
            ttl = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
            if (ttl > 255) return *status = 400, false;
        }
    }
    if (multicast == unicast) return false;
    *target = RtpTarget{};
    target->rtp.sin_family = target->rtcp.sin_family = AF_INET;
    char server[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &serverAddress, server, sizeof server);
    if (unicast) {
        if (!clientA) return false;
        // Only to the client itself: a server that streams wherever a request points is a reflector.
        target->rtp.sin_addr = target->rtcp.sin_addr = peer.sin_addr;
        target->rtp.sin_port = htons(static_cast<uint16_t>(clientA));
        target->rtcp.sin_port = htons(static_cast<uint16_t>(clientB));
        char client[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &peer.sin_addr, client, sizeof client);
        *replyTransport = "RTP/AVP;unicast;destination=" + std::string(client) + ";source=" + server +
                          ";client_port=" + std::to_string(clientA) + "-" + std::to_string(clientB);
        return true;
    }
    if (destination.empty()) destination = kDefaultGroupPrefix + std::to_string(streamId % 250 + 1);
    if (!portA) portA = kDefaultMulticastPort + 2 * (streamId % 1000), portB = portA + 1;
    in_addr group{};
    if (inet_pton(AF_INET, destination.c_str(), &group) != 1 || (ntohl(group.s_addr) >> 28) != 0xE) {
        *status = 400;
        return false;
    }
    target->multicast = true;
    target->ttl = ttl;
    target->interface = serverAddress;
    target->rtp.sin_addr = target->rtcp.sin_addr = group;
    target->rtp.sin_port = htons(static_cast<uint16_t>(portA));
    target->rtcp.sin_port = htons(static_cast<uint16_t>(portB));
    *replyTransport = "RTP/AVP;multicast;destination=" + destination + ";source=" + server +
                      ";port=" + std::to_string(portA) + "-" + std::to_string(portB) + ";ttl=" + std::to_string(ttl);
    return true;
}

}  // namespace

bool ParseRtspTarget(const std::string& target, unsigned* streamId, std::string* query) {
    *streamId = 0;
    query->clear();
    if (target == "*") return true;
    std::string path = target;
    if (path.rfind("rtsp://", 0) == 0) {
        const size_t slash = path.find('/', 7), question = path.find('?', 7);
        if (slash == std::string::npos && question == std::string::npos) return true;
        path = slash == std::string::npos || question < slash ? "/" + path.substr(question) : path.substr(slash);
    }
    if (path.empty() || path[0] != '/') return false;
    const size_t question = path.find('?');
    if (question != std::string::npos) *query = path.substr(question + 1);
    std::string resource = path.substr(1, question == std::string::npos ? std::string::npos : question - 1);
    if (!resource.empty() && resource.back() == '/') resource.pop_back();
    if (resource.empty()) return true;
    if (resource.rfind("stream=", 0) != 0) return false;
    const std::string number = resource.substr(7);
    if (number.empty() || number.size() > 6 || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *streamId = static_cast<unsigned>(std::strtoul(number.c_str(), nullptr, 10));
    return *streamId != 0;
}

RtspServer::RtspServer(SimState& state, Frontends& frontends, const RtspOptions& options)
    : state_(state),
      frontends_(frontends),
      options_(options),
      tcp_(state.stopping, [this](int s, const sockaddr_in& peer) { Serve(s, peer); }) {
    char text[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &options.address, text, sizeof text);
    address_ = text;
}

RtspServer::~RtspServer() { Stop(); }

bool RtspServer::Start(uint16_t port, std::string* error) {
    if (!tcp_.Start(in_addr{htonl(INADDR_ANY)}, port, error)) return false;
    sweeper_ = std::thread([this] { SweepLoop(); });
    return true;
}

void RtspServer::Stop() {
    tcp_.Stop();
    if (sweeper_.joinable()) sweeper_.join();
    std::lock_guard lock(mutex_);
    while (!sessions_.empty()) EndSession(sessions_.begin(), "server stops");
}

void RtspServer::SweepLoop() {
    while (!state_.stopping) {
        SleepUnlessStopping(state_.stopping, 100);
        std::lock_guard lock(mutex_);
        const auto now = Clock::now();
        for (auto it = sessions_.begin(); it != sessions_.end();) {
            auto next = std::next(it);
            if (now - it->second->lastSeen > std::chrono::seconds(options_.sessionTimeout))
                EndSession(it, "timed out");
            it = next;
        }
    }
}

void RtspServer::EndSession(std::map<std::string, std::unique_ptr<Session>>::iterator it, const char* why) {
    Session& s = *it->second;
    if (s.streamer) s.streamer->Stop();
    frontends_.Release(s.shared->frontend);
    state_.Log("rtsp: session " + s.id + " stream=" + std::to_string(s.streamId) + " ends: " + why);
    sessions_.erase(it);
}

void RtspServer::Serve(int socket, const sockaddr_in& peer) {
    std::string buffer, head;
    for (;;) {
        const HeadResult read = ReadHead(state_.stopping, socket, &buffer, &head, options_.maxHeadBytes);
        if (read == HeadResult::TooLong) {
            WriteAll(socket, "RTSP/1.0 400 Bad Request\r\n\r\n");
            return;
        }
        if (read != HeadResult::Ok) return;
        MessageHead request;
        Reply reply;
        if (!ParseHead(head, &request)) {
            WriteAll(socket, "RTSP/1.0 400 Bad Request\r\n\r\n");
            return;
        }
        const std::string length = request.Get("Content-Length");
        if (!length.empty()) {
            const unsigned long bytes = std::strtoul(length.c_str(), nullptr, 10);
            if (bytes > kMaxBody || !SkipBody(state_.stopping, socket, &buffer, bytes)) return;
        }
        if (request.version != "RTSP/1.0")
            reply = Error(505);
        else if (!request.Has("CSeq"))
            reply = Error(400, "CSeq missing");
        else
            reply = Handle(request, peer);
        state_.Log("rtsp: " + request.method + " " + request.target + " -> " + std::to_string(reply.status));
        SleepUnlessStopping(state_.stopping, state_.replyDelayMs);
        if (state_.stopping) return;
        const Malformed fault = state_.MalformedFor(request.method) ? state_.malformed.load() : Malformed::None;
        if (fault == Malformed::Close) return;
        if (fault == Malformed::Silent) continue;
        if (!WriteAll(socket, Render(reply, request))) return;
    }
}

std::string RtspServer::Render(const Reply& reply, const MessageHead& request) const {
    const Malformed fault = state_.MalformedFor(request.method) ? state_.malformed.load() : Malformed::None;
    if (fault == Malformed::Garbage) {
        std::string garbage;
        std::mt19937 engine(reply.status);
        for (int i = 0; i < 512; ++i) garbage += static_cast<char>(engine() & 0xFF);
        return garbage + "\r\n\r\n";
    }
    std::string text = fault == Malformed::BadStatus
                           ? "RTSP/1.0 2x0 Okay-ish\r\n"
                           : "RTSP/1.0 " + std::to_string(reply.status) + " " + StatusText(reply.status) + "\r\n";
    if (fault != Malformed::NoCseq && request.Has("CSeq")) text += "CSeq: " + request.Get("CSeq") + "\r\n";
    if (fault == Malformed::HugeHeader) text += "X-Filler: " + std::string(kHugeHeaderBytes, 'x') + "\r\n";
    if (!reply.session.empty()) {
        text += "Session: " + reply.session;
        if (fault != Malformed::NoTimeout) text += ";timeout=" + std::to_string(options_.sessionTimeout);
        text += "\r\n";
    }
    for (const auto& [name, value] : reply.headers) text += name + ": " + value + "\r\n";
    if (!reply.contentType.empty()) text += "Content-Type: " + reply.contentType + "\r\n";
    if (!reply.body.empty() || !reply.contentType.empty())
        text += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
    return text + "\r\n" + reply.body;
}

RtspServer::Reply RtspServer::Handle(const MessageHead& request, const sockaddr_in& peer) {
    unsigned streamId = 0;
    std::string queryText, error;
    if (!ParseRtspTarget(request.target, &streamId, &queryText)) return Error(404);
    QueryUpdate query;
    if (!ParseQuery(queryText, &query, &error)) return Error(400, error);
    std::lock_guard lock(mutex_);
    if (request.method == "OPTIONS") return Options(request);
    if (request.method == "DESCRIBE") return Describe(request, streamId);
    if (request.method == "SETUP") return Setup(request, peer, streamId, query);
    if (request.method == "PLAY") return Play(request, streamId, query);
    if (request.method == "TEARDOWN") return Teardown(request, streamId);
    return Error(501);
}

RtspServer::Session* RtspServer::FindSession(const MessageHead& request, Reply* reply) {
    std::string id = request.Get("Session");
    id = id.substr(0, id.find(';'));
    auto it = sessions_.find(id);
    if (it == sessions_.end()) {
        *reply = Error(454);
        return nullptr;
    }
    it->second->lastSeen = Clock::now();
    reply->session = id;
    return it->second.get();
}

RtspServer::Reply RtspServer::Options(const MessageHead& request) {
    Reply reply;
    if (request.Has("Session") && !FindSession(request, &reply)) return reply;
    reply.headers.emplace_back("Public", kPublic);
    return reply;
}

RtspServer::Reply RtspServer::Describe(const MessageHead&, unsigned streamId) {
    std::vector<SdpStream> streams;
    for (const auto& [id, s] : sessions_) {
        if (streamId && s->streamId != streamId) continue;
        const Tuning tuning = s->shared->Snapshot();
        const TunerStatus status{s->shared->frontend, state_.level, state_.lock, state_.quality};
        char group[INET_ADDRSTRLEN] = "0.0.0.0";
        if (s->target.multicast) inet_ntop(AF_INET, &s->target.rtp.sin_addr, group, sizeof group);
        streams.push_back({s->streamId, StatusText(tuning, status), s->streamer != nullptr, group,
                           s->target.multicast ? ntohs(s->target.rtp.sin_port) : 0u, s->target.ttl});
    }
    if (streams.empty()) return Error(404);
    Reply reply;
    reply.contentType = "application/sdp";
    reply.headers.emplace_back("Content-Base", "rtsp://" + address_ + ":" + std::to_string(Port()) + "/");
    reply.body = SessionDescription(address_, nextStreamId_, frontends_.Count('s'), frontends_.Count('t'),
                                    frontends_.Count('c'), streams);
    return reply;
}

RtspServer::Reply RtspServer::Setup(const MessageHead& request, const sockaddr_in& peer, unsigned streamId,
                                    const QueryUpdate& query) {
    Reply reply;
    Session* session = nullptr;
    if (request.Has("Session")) {
        session = FindSession(request, &reply);
        if (!session) return reply;
        if (streamId && streamId != session->streamId) return Error(455, "the session owns another stream");
    } else if (streamId) {
        return Error(454, "joining a stream is not offered");
    }
    const unsigned id = session ? session->streamId : nextStreamId_;
    RtpTarget target;
    std::string transport;
    int status = 461;
    if (!ParseTransport(request.Get("Transport"), peer, id, options_.address, &target, &transport, &status))
        return Error(status);
    if (!session) {
        if (!query.values.count("freq")) return Error(400, "no freq");
        auto created = std::make_unique<Session>();
        ApplyQuery(query, &created->shared->tuning);
        const std::string fe = created->shared->tuning.Get("fe");
        created->shared->frontend =
            frontends_.Acquire(created->shared->tuning.FrontendKind(), fe.empty() ? 0 : std::stoul(fe));
        if (!created->shared->frontend) return Error(503, "no free front end");
        do created->id = NewSessionId();
        while (sessions_.count(created->id));
        created->streamId = nextStreamId_++;
        created->lastSeen = Clock::now();
        session = created.get();
        sessions_.emplace(created->id, std::move(created));
        reply.session = session->id;
    } else {
        std::lock_guard lock(session->shared->mutex);
        ApplyQuery(query, &session->shared->tuning);
    }
    // A new transport while streaming takes effect at the next PLAY.
    if (session->streamer) {
        session->streamer->Stop();
        session->streamer.reset();
    }
    session->target = target;
    session->transport = transport;
    reply.headers.emplace_back("Transport", transport);
    reply.headers.emplace_back("com.ses.streamID", std::to_string(session->streamId));
    return reply;
}

RtspServer::Reply RtspServer::Play(const MessageHead& request, unsigned streamId, const QueryUpdate& query) {
    Reply reply;
    Session* session = FindSession(request, &reply);
    if (!session) return reply;
    if (streamId && streamId != session->streamId) return Error(455, "the session owns another stream");
    if (!query.Empty()) {
        std::lock_guard lock(session->shared->mutex);
        ApplyQuery(query, &session->shared->tuning);
    }
    uint16_t sequence;
    if (session->streamer) {
        sequence = session->streamer->NextSequence();
    } else {
        auto streamer = std::make_unique<RtpStreamer>(state_, session->shared, session->target,
                                                      "satip-sim@" + address_);
        sequence = streamer->NextSequence();
        std::string error;
        if (!streamer->Start(&error)) {
            state_.Log("rtsp: cannot stream: " + error);
            return Error(500);
        }
        session->streamer = std::move(streamer);
    }
    reply.headers.emplace_back("Range", "npt=0.000-");
    reply.headers.emplace_back("RTP-Info", "url=rtsp://" + address_ + ":" + std::to_string(Port()) + "/stream=" +
                                               std::to_string(session->streamId) +
                                               ";seq=" + std::to_string(sequence));
    return reply;
}

RtspServer::Reply RtspServer::Teardown(const MessageHead& request, unsigned streamId) {
    Reply reply;
    Session* session = FindSession(request, &reply);
    if (!session) return reply;
    if (streamId && streamId != session->streamId) return Error(455, "the session owns another stream");
    EndSession(sessions_.find(session->id), "torn down");
    return reply;
}
