#pragma once
// The TCP plumbing the RTSP, HTTP and control servers share: a listener, request heads
// read with a bound, and the threads of the open connections.
#include <netinet/in.h>

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A listening socket on address:port (port 0: any free one); -1 with *error set.
int ListenTcp(in_addr address, uint16_t port, uint16_t* bound, std::string* error);

enum class HeadResult { Ok, Closed, TooLong, Stopped };
// Reads until a blank line ends a message head; bytes after it stay in *buffer.
HeadResult ReadHead(const std::atomic<bool>& stopping, int socket, std::string* buffer, std::string* head,
                    size_t limit);
// Reads `length` more bytes of a body (dropped); false when the peer is gone.
bool SkipBody(const std::atomic<bool>& stopping, int socket, std::string* buffer, size_t length);
bool WriteAll(int socket, const std::string& text);

// A request head split into its parts.
struct MessageHead {
    std::string method, target, version;
    std::vector<std::pair<std::string, std::string>> headers;
    // The value of the first header of that name (any case), or "".
    std::string Get(const std::string& name) const;
    bool Has(const std::string& name) const;
};
bool ParseHead(const std::string& head, MessageHead* message);

// Waits for connections and runs `serve` for each on a thread of its own; every thread
// ends once stopping is set, and Stop joins them.
class TcpServer {
public:
    using Serve = std::function<void(int socket, const sockaddr_in& peer)>;
    TcpServer(const std::atomic<bool>& stopping, Serve serve) : stopping_(stopping), serve_(std::move(serve)) {}
    ~TcpServer() { Stop(); }
    bool Start(in_addr address, uint16_t port, std::string* error);
    uint16_t Port() const { return port_; }
    void Stop();

private:
    struct Connection {
        std::thread thread;
        std::atomic<bool> done{false};
    };
    void AcceptLoop();

    const std::atomic<bool>& stopping_;
    Serve serve_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::thread acceptor_;
    std::mutex mutex_;
    std::list<Connection> connections_;
};

// Sleeps up to ms, in short steps so that a stopping server does not wait.
void SleepUnlessStopping(const std::atomic<bool>& stopping, unsigned ms);
