#pragma once
// A loopback TCP server for protocol tests: accepts one client at a time, reads each
// request (headers to the blank line, then an announced body) and sends whatever the
// test's script answers, which may be nothing, garbage, or a closed connection.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/NetAddress.h"
#include "net/Sockets.h"

class ScriptedTcpServer {
public:
    struct Reply {
        std::string bytes;   // sent as they stand (may be empty)
        bool close = false;  // then the connection is closed
    };
    // (request text, its CSeq number or -1) -> reply
    using Script = std::function<Reply(const std::string& request, int cseq)>;

    explicit ScriptedTcpServer(Script script) : script_(std::move(script)) {
        listener_ = SocketCreate(kNetFamilyIPv4, SOCK_STREAM);
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        SocketBind(listener_, MakeIPv4Address(INADDR_LOOPBACK, 0));
        SocketListen(listener_, 4);
        SocketLocalAddress(listener_, address_);
        thread_ = std::thread([this] { Serve(); });
    }
    ~ScriptedTcpServer() {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (client_ != kInvalidSocket) ::shutdown(client_, SHUT_RDWR);
        }
        thread_.join();
        ::close(listener_);
    }

    const NetAddress& Address() const { return address_; }
    std::vector<std::string> Requests() const {
        std::lock_guard<std::mutex> hold(lock_);
        return requests_;
    }

private:
    void Serve() {
        while (!stopping_) {
            NetAddress peer;
            const SocketHandle client = SocketAccept(listener_, peer);
            if (client == kInvalidSocket) return;
            {
                std::lock_guard<std::mutex> hold(lock_);
                client_ = client;
            }
            Talk(client);
            {
                std::lock_guard<std::mutex> hold(lock_);
                client_ = kInvalidSocket;
            }
            ::close(client);
        }
    }

    void Talk(SocketHandle client) {
        std::string pending;
        char chunk[4096];
        for (;;) {
            const size_t end = pending.find("\r\n\r\n");
            if (end == std::string::npos) {
                const int got = SocketRecv(client, chunk, sizeof chunk);
                if (got <= 0) return;
                pending.append(chunk, static_cast<size_t>(got));
                continue;
            }
            size_t length = end + 4;
            const size_t announced = pending.find("Content-Length: ");
            if (announced != std::string::npos && announced < end) length += std::stoul(pending.substr(announced + 16));
            while (pending.size() < length) {
                const int got = SocketRecv(client, chunk, sizeof chunk);
                if (got <= 0) return;
                pending.append(chunk, static_cast<size_t>(got));
            }
            const std::string request = pending.substr(0, length);
            pending.erase(0, length);
            {
                std::lock_guard<std::mutex> hold(lock_);
                requests_.push_back(request);
            }
            const size_t at = request.find("CSeq: ");
            const int cseq = at == std::string::npos ? -1 : std::stoi(request.substr(at + 6));
            const Reply reply = script_(request, cseq);
            if (!reply.bytes.empty()) SocketSend(client, reply.bytes.data(), static_cast<int>(reply.bytes.size()));
            if (reply.close) return;
        }
    }

    Script script_;
    SocketHandle listener_ = kInvalidSocket;
    NetAddress address_{};
    std::atomic<bool> stopping_{false};
    mutable std::mutex lock_;
    SocketHandle client_ = kInvalidSocket;
    std::vector<std::string> requests_;
    std::thread thread_;
};
