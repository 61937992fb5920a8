#include "net/RtspClient.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "net/NamedThread.h"
#include "net/NetTrace.h"

namespace {

constexpr const char* kProtocol = "RTSP/1.0";
constexpr std::string_view kHeaderEnd = "\r\n\r\n";
// Trace lines; "%s" stands for the text they carry.
constexpr const char* kIncomingTrace = "----- RTSP incoming:\r\n%s----------------------------\r\n";
constexpr const char* kContentLengthTrace = "Content-Length erkannt\r\n";
constexpr const char* kSendTrace = "RTSP Send %s\r\n";
constexpr const char* kSendTracePrefix = "RTSP Send ";
constexpr const char* kShortSendTrace = " only sent %d bytes\r\n";
constexpr const char* kStatusTrace = "RTSP Response line %s\r\n";
constexpr const char* kResponseLineTrace = "Response line: %s\r\n";
// Keeps the keep-alive interval (time-out × 1000 / 2 ms) within an int.
constexpr int kLargestTimeoutSeconds = INT_MAX / 1000;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        const auto a = static_cast<unsigned char>(text[i]), b = static_cast<unsigned char>(prefix[i]);
        if (std::tolower(a) != std::tolower(b)) return false;
    }
    return true;
}

std::string_view SkipBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    return text;
}

// A decimal number as " %d" reads it, except that it never overflows: values beyond
// the int range saturate. Nothing when no digit follows.
std::optional<long long> LeadingNumber(std::string_view text) {
    text = SkipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (text.empty() || text.front() < '0' || text.front() > '9') return std::nullopt;
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') break;
        value = std::min<long long>(value * 10 + (c - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    return negative ? -value : value;
}

int ClampToInt(long long value) {
    return static_cast<int>(std::max<long long>(INT_MIN, std::min<long long>(INT_MAX, value)));
}

// Lines split at CR and LF; empty lines fall away.
std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    size_t start = 0;
    for (size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\r' || text[i] == '\n') {
            if (i > start) lines.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

// The value of a header in a header block, by name at the start of a line.
std::optional<std::string_view> HeaderValue(std::string_view headers, std::string_view name) {
    for (std::string_view line : Lines(headers)) {
        if (StartsWithNoCase(line, name)) return line.substr(name.size());
    }
    return std::nullopt;
}

void Trace(const char* format, std::string_view text) {
    std::string line(format);
    const size_t at = line.find("%s");
    line.replace(at, 2, text);
    NetTrace(line);
}

}  // namespace

struct RtspClient::Response {
    std::string text;
    size_t bodyOffset = 0;
    size_t bodyLength = 0;
};

RtspClient::RtspClient(const NetAddress& server, uint32_t waitMs) : server_(server), waitMs_(waitMs) {
    socket_ = SocketCreate(server.family, SOCK_STREAM);
}

RtspClient::~RtspClient() {
    if (socket_ != kInvalidSocket) {
        // Shutting down wakes the reader; the descriptor is closed only once the reader
        // has let go of it, so that it never reads from a number reused meanwhile.
        ::shutdown(socket_, SHUT_RDWR);
        {
            std::lock_guard<std::mutex> hold(state_);
            readerEnded_ = true;
        }
        changed_.notify_all();
        readerDone_.Wait();
        SocketClose(socket_);
    }
}

bool RtspClient::Connect() {
    if (socket_ == kInvalidSocket || connected_.load()) return false;
    const int flags = ::fcntl(socket_, F_GETFL);
    if (flags < 0 || ::fcntl(socket_, F_SETFL, flags | O_NONBLOCK) != 0) return false;
    if (SocketConnect(socket_, server_) != 0 && errno != EINPROGRESS) return false;
    if (::fcntl(socket_, F_SETFL, flags) != 0) return false;

    pollfd writable{socket_, POLLOUT, 0};
    int ready;
    do {
        ready = ::poll(&writable, 1, static_cast<int>(waitMs_));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
    // A refused connection also makes the socket writable here; the error tells.
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        errno = error;
        return false;
    }

    readerDone_.Reset();
    if (CreateNamedThread(&RtspClient::ReaderThread, kThreadLevelNormal, this, "RTSP reader") == kNoThread) {
        readerDone_.Set();
        return false;
    }
    connected_ = true;
    return true;
}

unsigned RtspClient::ReaderThread(void* self) {
    static_cast<RtspClient*>(self)->ReadLoop();
    return 0;
}

void RtspClient::ReadLoop() {
    // One more byte than a response may fill, for the terminator.
    std::vector<char> buffer(kReceiveBufferSize + 1);
    size_t fill = 0;
    auto receiveByte = [&]() -> bool {
        if (fill >= static_cast<size_t>(kReceiveBufferSize)) return false;  // too large a response
        char byte;
        if (SocketRecv(socket_, &byte, 1) != 1) return false;
        buffer[fill++] = byte;
        return true;
    };

    while (receiveByte()) {
        if (fill <= kHeaderEnd.size() || std::string_view(&buffer[fill - 4], 4) != kHeaderEnd) continue;
        const std::string_view headers(buffer.data(), fill);
        {
            std::lock_guard<std::mutex> order(traceOrder_);
            Trace(kIncomingTrace, headers);
        }

        const size_t headerLength = fill;
        size_t bodyLength = 0;
        if (const auto contentLength = HeaderValue(headers, "Content-Length:")) {
            NetTrace(kContentLengthTrace);
            const long long announced = LeadingNumber(*contentLength).value_or(0);
            // A body that cannot fit is never read: the response is lost, as one larger
            // than the buffer is, and the reader ends.
            if (announced > kReceiveBufferSize - static_cast<long long>(headerLength)) break;
            bodyLength = announced > 0 ? static_cast<size_t>(announced) : 0;
        }
        bool complete = true;
        for (size_t i = 0; i < bodyLength && complete; ++i) complete = receiveByte();
        if (!complete) break;

        Response response;
        response.text.assign(buffer.data(), fill);
        response.bodyOffset = headerLength;
        response.bodyLength = bodyLength;
        const auto cseq = HeaderValue(headers, "CSeq:");
        const std::optional<long long> number = cseq ? LeadingNumber(*cseq) : std::nullopt;
        {
            std::lock_guard<std::mutex> hold(state_);
            // A late answer to a request that gave up waiting belongs to nobody.
            if (awaitedCSeq_ != 0 && !responseReady_ && (!number || *number == awaitedCSeq_)) {
                response_ = std::move(response.text);
                bodyOffset_ = response.bodyOffset;
                bodyLength_ = response.bodyLength;
                responseReady_ = true;
            }
        }
        changed_.notify_all();
        fill = 0;
    }

    {
        std::lock_guard<std::mutex> hold(state_);
        readerEnded_ = true;
    }
    changed_.notify_all();
    readerDone_.Set();
}

int RtspClient::Exchange(const std::string& lines, const char* contentType, const std::string& body,
                         Response* response) {
    std::lock_guard<std::mutex> exchange(requestLock_);
    const int cseq = cseq_.fetch_add(1);
    std::string request = lines;
    char number[32];
    std::snprintf(number, sizeof number, "CSeq: %d\r\n", cseq);
    request += number;
    if (contentType) {
        request += "Content-type: ";
        request += contentType;
        request += "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
    } else {
        request += "\r\n";
    }

    {
        std::lock_guard<std::mutex> hold(state_);
        awaitedCSeq_ = cseq;
        responseReady_ = false;
    }
    {
        // The request's trace line comes before the trace of its answer.
        std::lock_guard<std::mutex> order(traceOrder_);
        const int sent = SocketSend(socket_, request.data(), static_cast<int>(request.size()));
        if (sent != static_cast<int>(request.size())) {
            char text[64];
            std::snprintf(text, sizeof text, kShortSendTrace, sent);
            NetTrace(kSendTracePrefix + request + text);
            std::lock_guard<std::mutex> hold(state_);
            awaitedCSeq_ = 0;
            return 0;
        }
        Trace(kSendTrace, request);
    }

    Response answer;
    {
        std::unique_lock<std::mutex> hold(state_);
        changed_.wait_for(hold, std::chrono::milliseconds(waitMs_), [&] { return responseReady_ || readerEnded_; });
        awaitedCSeq_ = 0;
        if (!responseReady_) return 0;
        responseReady_ = false;
        answer.text = std::move(response_);
        answer.bodyOffset = bodyOffset_;
        answer.bodyLength = bodyLength_;
    }

    const std::vector<std::string_view> all = Lines(std::string_view(answer.text).substr(0, answer.bodyOffset));
    if (all.empty() || all.front().substr(0, std::strlen(kProtocol)) != kProtocol) return 0;
    const std::string_view rest = all.front().substr(std::strlen(kProtocol));
    Trace(kStatusTrace, rest);
    const std::optional<long long> code = LeadingNumber(rest);
    if (response) *response = std::move(answer);
    return code ? ClampToInt(*code) : 0;
}

namespace {

std::string RequestLine(const char* method, const char* url) {
    return std::string(method) + " " + (url ? url : "") + " " + kProtocol + "\r\n";
}

std::vector<std::string_view> FollowingLines(const std::string& text) {
    std::vector<std::string_view> lines = Lines(text);
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
}

}  // namespace

int RtspClient::Options(const char* url) {
    std::string lines = RequestLine("OPTIONS", url);
    const std::string session = Session();
    if (!session.empty()) lines += "Session: " + session + "\r\n";
    return Exchange(lines, nullptr, {}, nullptr);
}

int RtspClient::Setup(const char* url, const char* transport, const char* range) {
    std::string lines = RequestLine("SETUP", url);
    lines += std::string("Transport: ") + (transport ? transport : "") + "\r\n";
    if (mayNotify_) lines += "x-mayNotify:\r\n";
    if (playNow_) lines += "x-playNow:\r\n";
    if (range) lines += std::string("Range: npt=") + range + "\r\n";
    Response response;
    const int code = Exchange(lines, nullptr, {}, &response);
    if (code == 0) return 0;
    for (std::string_view line : FollowingLines(response.text)) {
        if (line.size() >= kLineLimit) continue;
        Trace(kResponseLineTrace, line);
        OnSetupLine(std::string(line));
    }
    return code;
}

void RtspClient::OnSetupLine(const std::string& line) {
    std::string_view text = line;
    if (StartsWithNoCase(text, "Session:")) {
        std::string_view value = SkipBlanks(text.substr(8));
        value = value.substr(0, value.find_first_of(" \t;"));
        const size_t timeoutAt = text.find("timeout=");
        int timeout = timeout_.load();
        if (timeoutAt != std::string_view::npos) {
            if (const auto number = LeadingNumber(text.substr(timeoutAt + 8))) timeout = ClampToInt(*number);
        }
        timeout = std::max(kMinimumTimeoutSeconds, std::min(timeout, kLargestTimeoutSeconds));
        timeout_ = timeout;
        if (!value.empty()) {
            std::lock_guard<std::mutex> hold(state_);
            session_ = value;
        }
    } else if (StartsWithNoCase(text, "Transport:")) {
        std::string_view value = SkipBlanks(text.substr(10));
        value = value.substr(0, value.find_first_of(" \t"));
        if (!value.empty()) {
            std::lock_guard<std::mutex> hold(state_);
            transport_ = value;
        }
    } else if (StartsWithNoCase(text, "com.ses.streamID:")) {
        if (const auto number = LeadingNumber(text.substr(17))) streamId_ = ClampToInt(*number);
    }
}

int RtspClient::Play(const char* url, double scale, const char* range) {
    std::string lines = RequestLine("PLAY", url);
    lines += "Session: " + Session() + "\r\n";
    if (scale != 1.0) {
        char text[64];
        std::snprintf(text, sizeof text, "Scale: %1.1f\r\n", scale);
        lines += text;
    }
    if (range) lines += std::string("Range: npt=") + range + "\r\n";
    if (playNow_) lines += "x-playNow:\r\n";
    return Exchange(lines, nullptr, {}, nullptr);
}

int RtspClient::Teardown(const char* url, const char* reason) {
    std::string lines = RequestLine("TEARDOWN", url);
    lines += "Session: " + Session() + "\r\n";
    if (reason) lines += std::string("x-reason: ") + reason + "\r\n";
    return Exchange(lines, nullptr, {}, nullptr);
}

int RtspClient::Describe(const char* url) {
    Response response;
    const int code = Exchange(RequestLine("DESCRIBE", url) + "Accept: application/sdp\r\n", nullptr, {}, &response);
    if (code == 0) return 0;
    const size_t length = std::min(response.bodyLength, kDescriptionCapacity);
    std::lock_guard<std::mutex> hold(state_);
    description_.assign(response.text, response.bodyOffset, length);
    return code;
}

int RtspClient::Pause(const char* url) {
    return Exchange(RequestLine("PAUSE", url) + "Session: " + Session() + "\r\n", nullptr, {}, nullptr);
}

int RtspClient::GetParameter() {
    const std::string lines = std::string("GET_PARAMETER * ") + kProtocol + "\r\nSession: " + Session() + "\r\n";
    Response response;
    const int code = Exchange(lines, "text/parameters", "stream_state position", &response);
    if (code == 0) return 0;
    for (std::string_view line : FollowingLines(response.text)) {
        Trace(kResponseLineTrace, line);
        if (line.substr(0, 10) == "position: ") {
            if (const auto number = LeadingNumber(line.substr(10))) position_ = ClampToInt(*number);
        }
    }
    return code;
}

std::string RtspClient::Session() const {
    std::lock_guard<std::mutex> hold(state_);
    return session_;
}

std::string RtspClient::Transport() const {
    std::lock_guard<std::mutex> hold(state_);
    return transport_;
}

std::string RtspClient::Description() const {
    std::lock_guard<std::mutex> hold(state_);
    return description_;
}

const char* RtspStatusText(int code) {
    static const struct {
        int code;
        const char* text;
    } kTexts[] = {
        {100, "Continue"},
        {200, "OK"},
        {201, "Created"},
        {250, "Low on Storage Space"},
        {300, "Multiple Choices"},
        {301, "Moved Permanently"},
        {302, "Moved Temporarily"},
        {303, "See Other"},
        {304, "Not Modified"},
        {305, "Use Proxy"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {402, "Payment Required"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {406, "Not Acceptable"},
        {407, "Proxy Authentication Required"},
        {408, "Request Time-out"},
        {410, "Gone"},
        {411, "Length Required"},
        {412, "Precondition Failed"},
        {413, "Request Entity Too Large"},
        {414, "Request-URI Too Large"},
        {415, "Unsupported Media Type"},
        {451, "Parameter Not Understood"},
        {452, "Conference Not Found"},
        {453, "Not Enough Bandwidth"},
        {454, "Session Not Found"},
        {455, "Method Not Valid in This State"},
        {456, "Header Field Not Valid for Resource"},
        {457, "Invalid Range"},
        {458, "Parameter Is Read-Only"},
        {459, "Aggregate operation not allowed"},
        {460, "Only aggregate operation allowed"},
        {461, "Unsupported transport"},
        {462, "Destination unreachable"},
        {463, "Destination required [C-Cor]"},
        {464, "Unable to Visual Scan [C-Cor]"},
        {500, "Internal Server Error"},
        {501, "Not Implemented"},
        {502, "Bad Gateway"},
        {503, "Service Unavailable"},
        {504, "Gateway Time-out"},
        {505, "RTSP Version not supported"},
        {551, "Option not supported"},
    };
    for (const auto& entry : kTexts) {
        if (entry.code == code) return entry.text;
    }
    return "Unknown";
}
