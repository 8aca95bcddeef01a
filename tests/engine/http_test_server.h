// A small HTTP/1.1 server on 127.0.0.1 for the request tests: an ephemeral
// port, one thread per connection, one request per connection, handlers by
// path. Handlers write raw bytes, so they can also answer badly (stall,
// break off mid-body). Every socket wait is bounded.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace httptest {

struct Request {
    std::string method;
    std::string target;  // path and query
    std::string path;    // without the query
    std::string query;
    std::map<std::string, std::string> headers;  // lower-case names
    std::string body;

    std::string header(const std::string& name) const {
        auto it = headers.find(name);
        return it == headers.end() ? std::string() : it->second;
    }
    // Integer query parameter "name=value", or fallback.
    long queryInt(const std::string& name, long fallback) const {
        std::string key = name + "=";
        size_t at = query.find(key);
        if (at == std::string::npos) return fallback;
        return std::strtol(query.c_str() + at + key.size(), nullptr, 10);
    }
};

class Connection {
public:
    explicit Connection(int fd) : fd_(fd) {}

    bool send(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(static_cast<size_t>(n));
        }
        return true;
    }
    bool respond(int status, std::string_view body, std::string_view extraHeaders = {}) {
        return send(head(status, body.size(), extraHeaders)) && send(body);
    }
    static std::string head(int status, size_t contentLength, std::string_view extraHeaders = {}) {
        std::string h = "HTTP/1.1 " + std::to_string(status) + " " + reason(status) + "\r\n";
        h += "Content-Length: " + std::to_string(contentLength) + "\r\n";
        h += "Connection: close\r\n";
        h += extraHeaders;
        h += "\r\n";
        return h;
    }

private:
    static const char* reason(int status) {
        switch (status) {
        case 200: return "OK";
        case 201: return "Created";
        case 204: return "No Content";
        case 302: return "Found";
        case 404: return "Not Found";
        case 500: return "Internal Server Error";
        default: return "Status";
        }
    }
    int fd_;
};

class Server {
public:
    using Handler = std::function<void(const Request&, Connection&)>;

    Server() = default;
    ~Server() { stop(); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Handlers are added before start.
    void on(const std::string& path, Handler handler) { handlers_[path] = std::move(handler); }

    bool start() {
        listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (listenFd_ < 0) return false;
        int one = 1;
        ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = 0;
        if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return false;
        if (::listen(listenFd_, 64) != 0) return false;
        socklen_t len = sizeof addr;
        if (::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return false;
        port_ = ntohs(addr.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
        return true;
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            stopping_ = true;
        }
        wake_.notify_all();
        if (acceptor_.joinable()) acceptor_.join();
        std::vector<std::thread> workers;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            workers.swap(connections_);
        }
        for (auto& t : workers) t.join();
        if (listenFd_ >= 0) ::close(listenFd_);
        listenFd_ = -1;
    }

    int port() const { return port_; }
    std::string url(const std::string& target) const {
        return "http://127.0.0.1:" + std::to_string(port_) + target;
    }

    // Sleeps up to ms, or until the server stops or release(name) is called.
    // True when woken by release.
    bool wait(const std::string& name, int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return wake_.wait_for(lock, std::chrono::milliseconds(ms),
                              [&] { return stopping_ || released_.count(name) != 0; }) &&
               released_.count(name) != 0;
    }
    void pause(int ms) { wait("", ms); }
    void release(const std::string& name) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            released_[name] = true;
        }
        wake_.notify_all();
    }

    std::vector<Request> requests() {
        std::lock_guard<std::mutex> lock(mutex_);
        return log_;
    }
    // Waits (bounded) until count requests have arrived.
    bool waitForRequests(size_t count, int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        return wake_.wait_for(lock, std::chrono::milliseconds(ms), [&] { return log_.size() >= count; });
    }

private:
    void acceptLoop() {
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stopping_) return;
            }
            pollfd p{listenFd_, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0) continue;
            int fd = ::accept(listenFd_, nullptr, nullptr);
            if (fd < 0) continue;
            std::lock_guard<std::mutex> lock(mutex_);
            connections_.emplace_back([this, fd] { serve(fd); });
        }
    }

    static void setTimeouts(int fd, int ms) {
        timeval tv{ms / 1000, (ms % 1000) * 1000};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    }

    static bool readRequest(int fd, Request& req) {
        std::string data;
        char buf[4096];
        size_t end;
        while ((end = data.find("\r\n\r\n")) == std::string::npos) {
            if (data.size() > 65536) return false;
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return false;
            data.append(buf, static_cast<size_t>(n));
        }
        std::string head = data.substr(0, end);
        std::string rest = data.substr(end + 4);
        size_t lineEnd = head.find("\r\n");
        std::string line = head.substr(0, lineEnd);
        size_t sp1 = line.find(' ');
        size_t sp2 = line.find(' ', sp1 + 1);
        if (sp1 == std::string::npos || sp2 == std::string::npos) return false;
        req.method = line.substr(0, sp1);
        req.target = line.substr(sp1 + 1, sp2 - sp1 - 1);
        size_t q = req.target.find('?');
        req.path = req.target.substr(0, q);
        req.query = q == std::string::npos ? std::string() : req.target.substr(q + 1);
        size_t at = lineEnd == std::string::npos ? head.size() : lineEnd + 2;
        while (at < head.size()) {
            size_t e = head.find("\r\n", at);
            if (e == std::string::npos) e = head.size();
            std::string h = head.substr(at, e - at);
            size_t colon = h.find(':');
            if (colon != std::string::npos) {
                std::string name = h.substr(0, colon);
                for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                size_t v = h.find_first_not_of(' ', colon + 1);
                req.headers[name] = v == std::string::npos ? std::string() : h.substr(v);
            }
            at = e + 2;
        }
        if (req.header("expect") == "100-continue") {
            const char cont[] = "HTTP/1.1 100 Continue\r\n\r\n";
            ::send(fd, cont, sizeof cont - 1, MSG_NOSIGNAL);
        }
        size_t want = static_cast<size_t>(std::strtoul(req.header("content-length").c_str(), nullptr, 10));
        if (want > (16u << 20)) return false;
        while (rest.size() < want) {
            ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return false;
            rest.append(buf, static_cast<size_t>(n));
        }
        req.body = rest.substr(0, want);
        return true;
    }

    void serve(int fd) {
        setTimeouts(fd, 3000);
        Request req;
        if (readRequest(fd, req)) {
            Handler handler;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                log_.push_back(req);
                auto it = handlers_.find(req.path);
                if (it != handlers_.end()) handler = it->second;
            }
            wake_.notify_all();
            Connection conn(fd);
            if (handler) {
                handler(req, conn);
            } else {
                conn.respond(404, "not found");
            }
        }
        // Close our side first and let the client finish reading, so that
        // unread input does not turn the close into a reset.
        ::shutdown(fd, SHUT_WR);
        setTimeouts(fd, 500);
        char buf[1024];
        while (::recv(fd, buf, sizeof buf, 0) > 0) {
        }
        ::close(fd);
    }

    std::map<std::string, Handler> handlers_;
    int listenFd_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::map<std::string, bool> released_;
    std::vector<Request> log_;
    std::vector<std::thread> connections_;
};

}  // namespace httptest
