#include "net/HttpStream.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/CurlGlobal.h"

namespace {

constexpr long kSuccessLow = 200;
constexpr long kSuccessHigh = 299;

}  // namespace

HttpStream::HttpStream() {
    EnsureCurlGlobalInit();
    curl_ = curl_easy_init();
}

HttpStream::~HttpStream() {
    if (curl_) curl_easy_cleanup(static_cast<CURL*>(curl_));
}

void HttpStream::Abort() {
    std::lock_guard guard(socketLock_);
    aborted_ = true;
    if (socket_ >= 0) ::shutdown(socket_, SHUT_RDWR);
}

int HttpStream::OnOpenSocket(void* self, int /*purpose*/, void* address) {
    auto* stream = static_cast<HttpStream*>(self);
    const auto* declared = static_cast<curl_sockaddr*>(address);
    std::lock_guard guard(stream->socketLock_);
    if (stream->aborted_) return CURL_SOCKET_BAD;
    const int s = ::socket(declared->family, declared->socktype | SOCK_CLOEXEC, declared->protocol);
    stream->socket_ = s;
    return s;
}

int HttpStream::OnCloseSocket(void* self, int s) {
    auto* stream = static_cast<HttpStream*>(self);
    std::lock_guard guard(stream->socketLock_);
    if (stream->socket_ == s) stream->socket_ = -1;
    return ::close(s);
}

size_t HttpStream::OnHeader(char* data, size_t size, size_t count, void* self) {
    auto* stream = static_cast<HttpStream*>(self);
    const size_t length = size * count;
    // The blank line ends a header block; an interim 1xx block is followed by another.
    if (length <= 2 && (length == 0 || data[0] == '\r' || data[0] == '\n')) {
        long status = 0;
        curl_easy_getinfo(static_cast<CURL*>(stream->curl_), CURLINFO_RESPONSE_CODE, &status);
        if (status >= 100 && status < 200) return length;
        stream->status_ = status;
        stream->reported_ = true;
        if (stream->handlers_->connected) stream->handlers_->connected(status);
        if (status < kSuccessLow || status > kSuccessHigh) return 0;
    }
    return length;
}

size_t HttpStream::OnBody(char* data, size_t size, size_t count, void* self) {
    auto* stream = static_cast<HttpStream*>(self);
    const size_t length = size * count;
    if (!stream->handlers_->data(reinterpret_cast<const uint8_t*>(data), length)) return 0;
    return length;
}

HttpStreamEnd HttpStream::Run(const std::string& url, const std::string& userAgent, const Handlers& handlers,
                              long connectTimeoutMs) {
    CURL* curl = static_cast<CURL*>(curl_);
    handlers_ = &handlers;
    reported_ = false;
    status_ = 0;
    errorText_.clear();
    auto report = [&](HttpStreamEnd end) {
        if (!reported_ && handlers.connected) handlers.connected(0);
        handlers_ = nullptr;
        return end;
    };
    if (!curl) {
        errorText_ = "out of memory";
        return report(HttpStreamEnd::ConnectFailed);
    }
    char error[CURL_ERROR_SIZE] = {};
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &HttpStream::OnHeader);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &HttpStream::OnBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETFUNCTION, &HttpStream::OnOpenSocket);
    curl_easy_setopt(curl, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, &HttpStream::OnCloseSocket);
    curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, this);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    errorText_ = error[0] ? error : (result == CURLE_OK ? "" : curl_easy_strerror(result));
    bool aborted;
    {
        std::lock_guard guard(socketLock_);
        aborted = aborted_;
    }
    if (reported_ && (status_ < kSuccessLow || status_ > kSuccessHigh)) return report(HttpStreamEnd::Refused);
    if (aborted) return report(HttpStreamEnd::Aborted);
    if (result == CURLE_OK) return report(HttpStreamEnd::BodyEnded);
    return report(reported_ ? HttpStreamEnd::Failed : HttpStreamEnd::ConnectFailed);
}
