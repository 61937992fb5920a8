#pragma once
// A GET whose response body is a stream without end: the body is handed on as it
// arrives (chunked bodies decoded) until the server ends it, the connection fails or
// the owner aborts. libcurl does the protocol work.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

enum class HttpStreamEnd {
    BodyEnded,      // the server ended the response
    Refused,        // the status was not 2xx
    ConnectFailed,  // no connection, or no response
    Aborted,        // Abort() was called
    Failed,         // the connection broke while the body came
};

class HttpStream {
public:
    struct Handlers {
        // Once, when the status line is known (0 when none came): before any data.
        std::function<void(long status)> connected;
        // Body bytes as they arrive; false aborts.
        std::function<bool(const uint8_t* data, size_t length)> data;
    };

    HttpStream();
    ~HttpStream();
    HttpStream(const HttpStream&) = delete;
    HttpStream& operator=(const HttpStream&) = delete;

    // Blocks until the stream ends; no connection reuse.
    HttpStreamEnd Run(const std::string& url, const std::string& userAgent, const Handlers& handlers,
                      long connectTimeoutMs);
    // From any thread: ends a Run in progress at once (its socket is shut down), and
    // any Run that starts later.
    void Abort();
    // The library's text for the last failure, empty when none.
    const std::string& ErrorText() const { return errorText_; }

private:
    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    static int OnOpenSocket(void* self, int purpose, void* address);
    static int OnCloseSocket(void* self, int socket);

    void* curl_ = nullptr;
    const Handlers* handlers_ = nullptr;
    bool reported_ = false;
    long status_ = 0;
    std::string errorText_;

    std::mutex socketLock_;
    int socket_ = -1;      // under socketLock_
    bool aborted_ = false; // under socketLock_
};
