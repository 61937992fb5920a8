#pragma once
// A minimal RTSP/1.0 client over one TCP connection: one request at a time, each
// caller blocks until its response arrives or the wait ends. A reader thread collects
// each response (headers and an announced body) and hands it to the waiting caller.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "net/NetAddress.h"
#include "net/Sockets.h"
#include "platform/system/Event.h"

class RtspClient {
public:
    static constexpr int kReceiveBufferSize = 32767;  // one response, headers and body
    static constexpr size_t kDescriptionCapacity = 16384;
    static constexpr size_t kLineLimit = 256;  // longer response lines are not parsed
    static constexpr int kInitialTimeoutSeconds = 60;
    static constexpr int kMinimumTimeoutSeconds = 5;
    static constexpr uint32_t kWaitMs = 3000;  // connection and every response

    // The server with its port. The socket is created here (of the server's family);
    // Connect tells whether that worked. waitMs replaces the 3-second waits (tests).
    explicit RtspClient(const NetAddress& server, uint32_t waitMs = kWaitMs);
    // Closes the connection and waits for the reader thread.
    ~RtspClient();
    RtspClient(const RtspClient&) = delete;
    RtspClient& operator=(const RtspClient&) = delete;

    // Connects within the wait and starts the reader thread.
    bool Connect();

    // Each returns the response's status code, or 0 when the request could not be sent
    // completely, no response came within the wait, the connection ended, or the
    // response did not begin with "RTSP/1.0". Null texts count as absent.
    int Options(const char* url);
    // Records session, time-out, transport and stream id from the response.
    int Setup(const char* url, const char* transport, const char* range);
    int Play(const char* url, double scale, const char* range);
    int Teardown(const char* url, const char* reason);
    // Keeps the response body as the description.
    int Describe(const char* url);
    int Pause(const char* url);
    // Records the "position:" value.
    int GetParameter();

    // What the responses told; safe to read from any thread.
    std::string Session() const;
    int Timeout() const { return timeout_.load(std::memory_order_relaxed); }  // seconds
    int StreamId() const { return streamId_.load(std::memory_order_relaxed); }
    std::string Transport() const;
    int Position() const { return position_.load(std::memory_order_relaxed); }
    std::string Description() const;
    // The sequence number the next request carries.
    int NextCSeq() const { return cseq_.load(); }

    // SETUP adds "x-mayNotify:" / SETUP and PLAY add "x-playNow:" when set.
    void SetMayNotify(bool on) { mayNotify_ = on; }
    void SetPlayNow(bool on) { playNow_ = on; }

    const NetAddress& Server() const { return server_; }

private:
    struct Response;
    static unsigned ReaderThread(void* self);
    void ReadLoop();
    // Sends one request and waits for its response; the status code or 0.
    int Exchange(const std::string& lines, const char* contentType, const std::string& body, Response* response);
    void OnSetupLine(const std::string& line);

    const NetAddress server_;
    const uint32_t waitMs_;
    SocketHandle socket_ = kInvalidSocket;
    std::atomic<bool> connected_{false};

    std::mutex requestLock_;  // held by a caller for the whole exchange
    std::mutex traceOrder_;   // a request is sent and traced before its answer is traced

    // Hand-over between the reader and the waiting caller.
    mutable std::mutex state_;
    std::condition_variable changed_;
    int awaitedCSeq_ = 0;  // 0: nobody waits
    bool responseReady_ = false;
    bool readerEnded_ = false;
    std::string response_;  // headers, then the body
    size_t bodyOffset_ = 0;
    size_t bodyLength_ = 0;
    // Also guarded by state_.

    Event readerDone_{true, true};

    std::atomic<int> cseq_{1};
    std::string session_;
    std::string transport_;
    std::string description_;

    std::atomic<int> timeout_{kInitialTimeoutSeconds};
    std::atomic<int> streamId_{-1};
    std::atomic<int> position_{0};
    bool mayNotify_ = false;
    bool playNow_ = false;
};

// The reason text of an RTSP status code; "Unknown" for a code it does not know.
const char* RtspStatusText(int code);
