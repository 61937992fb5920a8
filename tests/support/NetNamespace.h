#pragma once
// A network namespace of a test's own, deleted again when done: multicast and other
// traffic that must not leave this machine is sent only inside it.
#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <thread>

class NetNamespace {
public:
    explicit NetNamespace(const std::string& suffix)
        : name_("kestrel-test-" + std::to_string(getpid()) + "-" + suffix) {
        Ip("netns del " + name_);
        created_ = Ip("netns add " + name_) && Ip("-n " + name_ + " link set lo up");
    }
    ~NetNamespace() {
        if (created_) Ip("netns del " + name_);
    }
    NetNamespace(const NetNamespace&) = delete;
    NetNamespace& operator=(const NetNamespace&) = delete;

    bool Created() const { return created_; }
    const std::string& Name() const { return name_; }
    // "ip -n <name> <arguments>"
    bool In(const std::string& arguments) const { return Ip("-n " + name_ + " " + arguments); }

    // Runs work on a thread inside the namespace; sockets and threads it creates stay
    // there. The work does not run at all when the namespace cannot be entered.
    bool Run(const std::function<void()>& work) const {
        bool entered = false;
        std::thread inside([&] {
            const int fd = open(("/run/netns/" + name_).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) return;
            entered = setns(fd, CLONE_NEWNET) == 0;
            close(fd);
            if (entered) work();
        });
        inside.join();
        return entered;
    }

    static bool Ip(const std::string& arguments) {
        return std::system(("ip " + arguments + " >/dev/null 2>&1").c_str()) == 0;
    }

private:
    std::string name_;
    bool created_ = false;
};
