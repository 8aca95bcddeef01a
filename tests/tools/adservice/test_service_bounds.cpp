// The ad service program stays small whatever its clients send or leave
// behind: a huge body is refused, the request log does not grow without
// end, and a stalled request lets its connection go when its client does.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// adkasa-service as its own process; its port once it listens.
class ServiceProcess {
public:
    explicit ServiceProcess(std::vector<std::string> extra = {}) {
        int out[2];
        if (pipe(out) != 0) return;
        std::vector<std::string> args{KELPA_BINARY_DIR "/tools/adservice/adkasa-service", "--quiet"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::vector<std::string> env;
        std::string asan = "ASAN_OPTIONS=";
        for (char** e = environ; *e; ++e) {
            std::string v = *e;
            if (v.rfind(asan, 0) == 0) asan = v + ":";
            else env.push_back(v);
        }
        // Freed memory held back by a sanitizer would read as growth.
        env.push_back(asan + "quarantine_size_mb=1");
        std::vector<char*> argv, envp;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        std::string line;
        auto until = Clock::now() + std::chrono::seconds(20);
        while (pid_ > 0 && line.find('\n') == std::string::npos && Clock::now() < until) {
            pollfd p{out[0], POLLIN, 0};
            if (poll(&p, 1, 200) <= 0) continue;
            char buf[64];
            ssize_t n = read(out[0], buf, sizeof buf);
            if (n <= 0) break;
            line.append(buf, static_cast<size_t>(n));
        }
        close(out[0]);
        if (line.rfind("port ", 0) == 0) port_ = std::atoi(line.c_str() + 5);
    }
    ~ServiceProcess() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    int port() const { return port_; }
    // Asks it to end; its exit status, or -1 when it did not end in time.
    int stop() {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 2000; ++i) {
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }

    long rssKb() const {
        std::ifstream in("/proc/" + std::to_string(pid_) + "/status");
        std::string key;
        long value = 0;
        while (in >> key) {
            if (key == "VmRSS:") {
                in >> value;
                return value;
            }
            in.ignore(1 << 12, '\n');
        }
        return -1;
    }
    int fds() const {
        DIR* d = opendir(("/proc/" + std::to_string(pid_) + "/fd").c_str());
        if (!d) return -1;
        int n = 0;
        while (readdir(d)) ++n;
        closedir(d);
        return n - 2;
    }

private:
    pid_t pid_ = -1;
    int port_ = 0;
};

int connectTo(int port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

// Sends `head` then `bodyBytes` bytes of body (as chunks when `chunked`),
// stopping early when the answer comes; returns what was answered, read
// until the answer is whole, the service hangs up or 20 s have passed.
std::string talk(int fd, const std::string& head, size_t bodyBytes = 0, bool chunked = false) {
    std::string out = head;
    const std::string block(64 * 1024, 'x');
    char hex[32];
    std::snprintf(hex, sizeof hex, "%zx\r\n", block.size());
    size_t sentBody = 0, at = 0;
    std::string answer;
    auto until = Clock::now() + std::chrono::seconds(20);
    bool sending = true;
    auto whole = [&] {
        size_t end = answer.find("\r\n\r\n");
        if (end == std::string::npos) return false;
        size_t cl = answer.find("Content-Length: ");
        size_t length = cl == std::string::npos || cl > end ? 0 : std::strtoul(answer.c_str() + cl + 16, nullptr, 10);
        return answer.size() >= end + 4 + length;
    };
    while (Clock::now() < until && !whole()) {
        if (sending && at == out.size()) {
            out.clear();
            at = 0;
            if (sentBody < bodyBytes) {
                size_t n = std::min(block.size(), bodyBytes - sentBody);
                if (chunked && n == block.size()) out = hex + block + "\r\n";
                else if (chunked) out = (std::snprintf(hex, sizeof hex, "%zx\r\n", n), hex) + block.substr(0, n) + "\r\n";
                else out = block.substr(0, n);
                sentBody += n;
                if (chunked && sentBody == bodyBytes) out += "0\r\n\r\n";
            } else {
                sending = false;
            }
        }
        pollfd p{fd, static_cast<short>(POLLIN | (sending ? POLLOUT : 0)), 0};
        if (poll(&p, 1, 200) <= 0) continue;
        if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[4096];
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0) break;
            answer.append(buf, static_cast<size_t>(n));
            sending = false;  // answered: the rest of the body is not wanted
            continue;
        }
        ssize_t n = send(fd, out.data() + at, out.size() - at, MSG_NOSIGNAL);
        if (n < 0) sending = false;
        else at += static_cast<size_t>(n);
    }
    return answer;
}

int statusOf(const std::string& answer) {
    return answer.rfind("HTTP/1.1 ", 0) == 0 ? std::atoi(answer.c_str() + 9) : 0;
}

std::string get(int port, const std::string& target) {
    int fd = connectTo(port);
    std::string a = talk(fd, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    close(fd);
    return a;
}

nlohmann::json stats(int port) {
    std::string a = get(port, "/stats");
    size_t end = a.find("\r\n\r\n");
    return nlohmann::json::parse(end == std::string::npos ? "" : a.substr(end + 4), nullptr, false);
}

const char* const kImpression = "/adkasa/api/rec-impression?app_id=a&user_ad_id=u&device_id=d&locale=ja";

}  // namespace

TEST(AdServiceBounds, RefusesBodiesLargerThanAnyRouteNeeds) {
    ServiceProcess service;
    ASSERT_GT(service.port(), 0);
    const long before = service.rssKb();
    struct Case {
        const char* what;
        bool chunked;
        size_t bytes;
        int status;
    } cases[] = {
        {"300 MB announced", false, 300u << 20, 413},
        {"300 MB in chunks", true, 300u << 20, 413},
        {"a report's few bytes", false, 200, 200},
        {"a few chunks", true, 200, 200},
    };
    for (const auto& c : cases) {
        int fd = connectTo(service.port());
        ASSERT_GE(fd, 0);
        std::string head = std::string("POST ") + kImpression + " HTTP/1.1\r\nHost: 127.0.0.1\r\n" +
                           (c.chunked ? "Transfer-Encoding: chunked\r\n"
                                      : "Content-Length: " + std::to_string(c.bytes) + "\r\n") +
                           "Content-Type: text/plain\r\n\r\n";
        std::string answer = talk(fd, head, c.bytes, c.chunked);
        close(fd);
        EXPECT_EQ(statusOf(answer), c.status) << c.what << ": " << answer.substr(0, 200);
        EXPECT_LT(service.rssKb() - before, 64 * 1024) << c.what;
    }
    // Only the answered reports count.
    auto s = stats(service.port());
    ASSERT_TRUE(s.is_object());
    EXPECT_EQ(s["impressions"]["u"], 2);
    EXPECT_EQ(s["requests"]["impression"], 2);
}

TEST(AdServiceBounds, KeepsTheLogBoundedAndTheCountsWhole) {
    ServiceProcess service;
    ASSERT_GT(service.port(), 0);
    int fd = connectTo(service.port());
    ASSERT_GE(fd, 0);
    const std::string body(12 * 1024, 'b');
    const std::string head = std::string("POST ") + kImpression + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
                             std::to_string(body.size()) + "\r\n\r\n" + body;
    auto send = [&](int n) {
        for (int i = 0; i < n; ++i) ASSERT_EQ(statusOf(talk(fd, head)), 200) << i;
    };
    // The first reports fill the log; many more must not grow it.
    send(1500);
    const long filled = service.rssKb();
    send(4000);
    EXPECT_LT(service.rssKb() - filled, 16 * 1024);
    close(fd);
    auto s = stats(service.port());
    ASSERT_TRUE(s.is_object());
    EXPECT_EQ(s["impressions"]["u"], 5500);
    EXPECT_EQ(s["requests"]["impression"], 5500);
}

TEST(AdServiceBounds, StalledRequestsLetTheirConnectionsGoWithTheirClients) {
    ServiceProcess service({"--fault", "impression=stall"});
    ASSERT_GT(service.port(), 0);
    const int before = service.fds();
    const int clients = 300;
    auto waitFds = [&](auto done) {
        auto until = Clock::now() + std::chrono::seconds(30);
        while (!done(service.fds()) && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return service.fds();
    };
    // One at a time, each taken in and stalled before the next comes (a
    // burst would only overflow the listen queue).
    std::vector<int> fds;
    for (int i = 0; i < clients; ++i) {
        int fd = connectTo(service.port());
        ASSERT_GE(fd, 0);
        std::string req = std::string("GET ") + kImpression + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
        ASSERT_EQ(::send(fd, req.data(), req.size(), MSG_NOSIGNAL), static_cast<ssize_t>(req.size()));
        fds.push_back(fd);
        ASSERT_GE(waitFds([&](int n) { return n >= before + i + 1; }), before + i + 1) << i;
    }
    auto stalled = [&] {
        auto s = stats(service.port());
        return s.is_object() ? s["requests"].value("impression", 0) : -1;
    };
    auto until = Clock::now() + std::chrono::seconds(30);
    while (stalled() != clients && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(stalled(), clients);
    for (int fd : fds) close(fd);
    EXPECT_LE(waitFds([&](int n) { return n <= before + 2; }), before + 2);
    // It still answers, and counts every stalled request.
    EXPECT_EQ(stalled(), clients);

    // A client that sent a next request while the first was stalled (its
    // bytes wait unread), then left.
    int fd = connectTo(service.port());
    ASSERT_GE(fd, 0);
    const std::string one = std::string("GET ") + kImpression + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ASSERT_EQ(::send(fd, one.data(), one.size(), MSG_NOSIGNAL), static_cast<ssize_t>(one.size()));
    until = Clock::now() + std::chrono::seconds(30);
    while (stalled() != clients + 1 && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(stalled(), clients + 1);
    ASSERT_EQ(::send(fd, one.data(), one.size(), MSG_NOSIGNAL), static_cast<ssize_t>(one.size()));
    close(fd);
    EXPECT_LE(waitFds([&](int n) { return n <= before + 2; }), before + 2);

    // Those still stalled when it ends are let go with it.
    std::vector<int> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(connectTo(service.port()));
        ASSERT_GE(held.back(), 0);
        ASSERT_EQ(::send(held.back(), one.data(), one.size(), MSG_NOSIGNAL), static_cast<ssize_t>(one.size()));
    }
    until = Clock::now() + std::chrono::seconds(30);
    while (stalled() != clients + 4 && Clock::now() < until) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(stalled(), clients + 4);
    EXPECT_EQ(service.stop(), 0);
    for (int h : held) close(h);
}
