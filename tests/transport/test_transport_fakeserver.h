#pragma once
// A scripted line-based server on 127.0.0.1 for the cases the real servers
// cannot show: a server that never answers, stalls in the middle of a mail,
// or does not offer STLS. Runs on its own thread; records every line it got.
#include <QByteArray>
#include <QList>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace korvane::test {

class FakeServer {
public:
    struct Reply {
        QByteArray text;     // sent as it is
        bool stall = false;  // after sending, never answer again on this connection
        bool close = false;  // after sending, close the connection
    };
    // The line, and the number of the connection it came on (from 1).
    using Handler = std::function<Reply(const QByteArray &line, int connection)>;

    // An empty greeting with `stallAtGreeting` keeps quiet from the start.
    FakeServer(QByteArray greeting, Handler handler, bool stallAtGreeting = false)
        : greeting_(std::move(greeting)), handler_(std::move(handler)), stallAtGreeting_(stallAtGreeting)
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM, 0);
        int one = 1;
        ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listen_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        socklen_t len = sizeof a;
        ::getsockname(listen_, reinterpret_cast<sockaddr *>(&a), &len);
        port_ = ntohs(a.sin_port);
        ::listen(listen_, 8);
        thread_ = std::thread([this] { serve(); });
    }
    ~FakeServer()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    int port() const { return port_; }
    QList<QByteArray> received(int connection = 0) const
    {
        std::lock_guard lock(mutex_);
        QList<QByteArray> lines;
        for (const auto &l : lines_)
            if (connection == 0 || l.first == connection)
                lines << l.second;
        return lines;
    }
    int connections() const { return connections_; }

private:
    bool waitReadable(int fd)
    {
        while (!stop_) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0)
                return true;
        }
        return false;
    }
    void send(int fd, const QByteArray &b) { (void)::send(fd, b.constData(), size_t(b.size()), MSG_NOSIGNAL); }
    void serve()
    {
        while (waitReadable(listen_)) {
            const int fd = ::accept(listen_, nullptr, nullptr);
            if (fd < 0)
                continue;
            ++connections_;
            talk(fd);
            ::close(fd);
        }
    }
    void talk(int fd)
    {
        if (stallAtGreeting_) {
            char chunk[4096];
            while (waitReadable(fd))
                if (::recv(fd, chunk, sizeof chunk, 0) <= 0)
                    return;
            return;
        }
        send(fd, greeting_);
        QByteArray buffer;
        bool stalled = false;
        while (waitReadable(fd)) {
            char chunk[4096];
            const ssize_t n = ::recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0)
                return;
            if (stalled)
                continue;
            buffer.append(chunk, n);
            qsizetype nl;
            while ((nl = buffer.indexOf('\n')) >= 0) {
                const QByteArray line = buffer.left(nl).trimmed();
                buffer.remove(0, nl + 1);
                {
                    std::lock_guard lock(mutex_);
                    lines_ << qMakePair(int(connections_), line);
                }
                const Reply r = handler_(line, connections_);
                send(fd, r.text);
                if (r.close)
                    return;
                if (r.stall) {
                    stalled = true;
                    break;
                }
            }
        }
    }
    QByteArray greeting_;
    Handler handler_;
    bool stallAtGreeting_ = false;
    int listen_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    QList<QPair<int, QByteArray>> lines_;
    std::thread thread_;
};

}  // namespace korvane::test
