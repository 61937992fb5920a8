#include "tools/satip-sim/HttpServer.h"

#include "tools/satip-sim/Stream.h"

namespace {

constexpr size_t kMaxHead = 16384;
constexpr char kPresentationPage[] =
    "<html><head><title>satip-sim</title></head><body>SAT&gt;IP server simulator</body></html>\n";

std::string SimpleReply(const std::string& status, const std::string& type, const std::string& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

}  // namespace

HttpServer::HttpServer(SimState& state, Frontends& frontends, const DeviceIdentity& device, bool chunked)
    : state_(state),
      frontends_(frontends),
      device_(device),
      chunked_(chunked),
      tcp_(state.stopping, [this](int s, const sockaddr_in& peer) { Serve(s, peer); }) {}

bool HttpServer::Start(uint16_t port, std::string* error) {
    return tcp_.Start(in_addr{htonl(INADDR_ANY)}, port, error);
}

void HttpServer::Serve(int socket, const sockaddr_in&) {
    std::string buffer, head;
    const HeadResult read = ReadHead(state_.stopping, socket, &buffer, &head, kMaxHead);
    if (read == HeadResult::TooLong) {
        WriteAll(socket, SimpleReply("431 Request Header Fields Too Large", "text/plain", ""));
        return;
    }
    if (read != HeadResult::Ok) return;
    MessageHead request;
    if (!ParseHead(head, &request) || request.version.rfind("HTTP/1.", 0) != 0) {
        WriteAll(socket, SimpleReply("400 Bad Request", "text/plain", ""));
        return;
    }
    state_.Log("http: " + request.method + " " + request.target);
    SleepUnlessStopping(state_.stopping, state_.replyDelayMs);
    if (request.method != "GET") {
        WriteAll(socket, SimpleReply("405 Method Not Allowed", "text/plain", ""));
        return;
    }
    const std::string& target = request.target;
    if (target == kDescriptionPath) {
        std::unique_lock lock(deviceMutex_);
        const std::string xml = DescriptionXml(device_);
        lock.unlock();
        WriteAll(socket, SimpleReply("200 OK", "text/xml; charset=\"utf-8\"", xml));
        return;
    }
    if (target == "/") {
        WriteAll(socket, SimpleReply("200 OK", "text/html", kPresentationPage));
        return;
    }
    if (target.rfind("/?", 0) != 0) {
        WriteAll(socket, SimpleReply("404 Not Found", "text/plain", ""));
        return;
    }
    QueryUpdate query;
    std::string error;
    if (!ParseQuery(target.substr(2), &query, &error) || !query.values.count("freq")) {
        WriteAll(socket, SimpleReply("400 Bad Request", "text/plain", error.empty() ? "no freq\n" : error + "\n"));
        return;
    }
    auto shared = std::make_shared<StreamShared>();
    ApplyQuery(query, &shared->tuning);
    const std::string fe = shared->tuning.Get("fe");
    shared->frontend = frontends_.Acquire(shared->tuning.FrontendKind(), fe.empty() ? 0 : std::stoul(fe));
    if (!shared->frontend) {
        WriteAll(socket, SimpleReply("503 Service Unavailable", "text/plain", "no free front end\n"));
        return;
    }
    // HTTP/1.0 has no chunked bodies: such a client gets the plain one.
    const bool chunked = chunked_ && request.version == "HTTP/1.1";
    if (WriteAll(socket, std::string("HTTP/1.1 200 OK\r\nContent-Type: video/MP2T\r\n") +
                             (chunked ? "Transfer-Encoding: chunked\r\n" : "") + "Connection: close\r\n\r\n"))
        ServeHttpBody(state_, socket, shared, chunked);
    frontends_.Release(shared->frontend);
    state_.Log("http: stream on front end " + std::to_string(shared->frontend) + " ends");
}
