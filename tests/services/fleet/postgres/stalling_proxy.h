#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

namespace tev::testing {

// A TCP proxy on 127.0.0.1 to a local port that can stop forwarding without closing anything,
// as a stopped server or a stuck middlebox does: the bytes wait in the sockets' buffers and
// flow on once it forwards again.
class StallingProxy {
  public:
    explicit StallingProxy(int targetPort) : target_(targetPort) {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a = loopback(0);
        socklen_t size = sizeof a;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
            ::listen(listener_, 16) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &size) != 0)
            return;
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~StallingProxy() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        for (const Pair& p : pairs_) {
            ::close(p.client);
            ::close(p.server);
        }
        ::close(listener_);
    }
    StallingProxy(const StallingProxy&) = delete;
    StallingProxy& operator=(const StallingProxy&) = delete;

    int port() const { return port_; }
    void setForwarding(bool on) { forwarding_ = on; }
    // Bytes a client sent that wait while forwarding is off.
    bool clientWaits() const { return clientWaits_; }

  private:
    struct Pair {
        int client;
        int server;
    };
    static sockaddr_in loopback(int port) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(static_cast<std::uint16_t>(port));
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return a;
    }
    static bool pass(int from, int to) {
        char buffer[65536];
        const ssize_t n = ::read(from, buffer, sizeof buffer);
        if (n <= 0) return false;
        for (ssize_t at = 0; at < n;) {
            const ssize_t w = ::write(to, buffer + at, static_cast<std::size_t>(n - at));
            if (w <= 0) return false;
            at += w;
        }
        return true;
    }
    void accept() {
        const int c = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_in a = loopback(target_);
        if (c >= 0 && ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0) {
            pairs_.push_back({c, s});
            return;
        }
        ::close(c);
        ::close(s);
    }
    void run() {
        while (!done_) {
            std::vector<pollfd> fds = {{listener_, POLLIN, 0}};
            const bool on = forwarding_;
            // Held, the sockets are not even watched: what arrives stays in their buffers.
            for (const Pair& p : pairs_) {
                fds.push_back({p.client, POLLIN, 0});
                fds.push_back({p.server, POLLIN, 0});
            }
            const int n = ::poll(fds.data(), on ? fds.size() : 1, 20);
            if (n > 0 && (fds[0].revents & POLLIN) != 0) accept();
            if (!on) {
                bool waits = false;
                for (const Pair& p : pairs_) {
                    int pending = 0;
                    waits = waits || (::ioctl(p.client, FIONREAD, &pending) == 0 && pending > 0);
                }
                clientWaits_ = waits;
                continue;
            }
            clientWaits_ = false;
            for (std::size_t i = 0, f = 1; f + 1 < fds.size(); f += 2) {
                const bool alive =
                    ((fds[f].revents == 0) || pass(pairs_[i].client, pairs_[i].server)) &&
                    ((fds[f + 1].revents == 0) || pass(pairs_[i].server, pairs_[i].client));
                if (alive) {
                    ++i;
                    continue;
                }
                ::close(pairs_[i].client);
                ::close(pairs_[i].server);
                pairs_.erase(pairs_.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }

    int target_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> done_{false};
    std::atomic<bool> forwarding_{true};
    std::atomic<bool> clientWaits_{false};
    std::vector<Pair> pairs_;  // the proxy's thread only
    std::thread thread_;
};

}  // namespace tev::testing
