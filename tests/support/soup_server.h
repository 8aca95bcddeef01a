// test-links: PkgConfig::SOUP PkgConfig::GIO
// A small HTTP server on 127.0.0.1 for tests, over libsoup's server: an
// ephemeral port, handlers by path, a log of the requests. It runs either
// on a thread of its own with its own main context (start: for tests whose
// clients block on other threads) or on the caller's thread-default
// context (startHere: for tests that pump that context themselves).
// libsoup frames every answer; a handler may answer now, later, when the
// test releases a gate, or badly (a body cut short, a connection dropped
// inside a chunk). Every wait is bounded.
#pragma once

#include <gio/gio.h>
#include <libsoup/soup.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

namespace souptest {

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

inline Request readRequest(SoupServerMessage* msg, const char* path) {
    Request req;
    req.method = soup_server_message_get_method(msg);
    req.path = path ? path : "/";
    if (const char* q = g_uri_get_query(soup_server_message_get_uri(msg))) req.query = q;
    req.target = req.query.empty() ? req.path : req.path + "?" + req.query;
    SoupMessageHeadersIter it;
    const char *name, *value;
    soup_message_headers_iter_init(&it, soup_server_message_get_request_headers(msg));
    while (soup_message_headers_iter_next(&it, &name, &value)) {
        gchar* lower = g_ascii_strdown(name, -1);
        req.headers[lower] = value;
        g_free(lower);
    }
    SoupMessageBody* body = soup_server_message_get_request_body(msg);
    if (body && body->data) req.body.assign(body->data, static_cast<size_t>(body->length));
    return req;
}

using Headers = std::vector<std::pair<std::string, std::string>>;

// One message being answered, kept alive until it is answered or the
// server goes. Used on the server's context only.
class Exchange : public std::enable_shared_from_this<Exchange> {
public:
    explicit Exchange(SoupServerMessage* msg) : msg_(SOUP_SERVER_MESSAGE(g_object_ref(msg))) {
        g_signal_connect(msg_, "finished", G_CALLBACK(+[](SoupServerMessage*, gpointer data) {
                             auto* self = static_cast<Exchange*>(data);
                             self->finished_ = true;
                             auto last = std::move(self->keepAlive_);  // may be the last reference
                         }),
                         this);
    }
    ~Exchange() {
        g_signal_handlers_disconnect_by_data(msg_, this);
        g_object_unref(msg_);
    }
    Exchange(const Exchange&) = delete;
    Exchange& operator=(const Exchange&) = delete;

    // The server goes: nothing keeps this exchange alive any more.
    void forget() { keepAlive_.reset(); }
    void pause() {
        if (!paused_) soup_server_message_pause(msg_);
        paused_ = true;
    }
    void respond(int status, std::string_view body, const Headers& headers) {
        if (finished_) return;
        head(status, headers);
        SoupMessageBody* b = soup_server_message_get_response_body(msg_);
        soup_message_body_append(b, SOUP_MEMORY_COPY, body.data(), body.size());
        soup_message_body_complete(b);
        resume();
    }
    // A head promising `length` bytes and `part` of them, with no end; the
    // connection then stays open or is dropped.
    void respondPart(int status, size_t length, std::string_view part, bool drop) {
        SoupMessageHeaders* h = head(status, {});
        soup_message_headers_set_content_length(h, static_cast<goffset>(length));
        stream(part, drop);
    }
    // A chunked head from libsoup, then `raw` bytes of body as they are
    // (say, a chunk cut short), then the connection dropped.
    void respondChunkedThenRaw(int status, std::string raw) {
        SoupMessageHeaders* h = head(status, {});
        soup_message_headers_set_encoding(h, SOUP_ENCODING_CHUNKED);
        keepAlive_ = shared_from_this();  // until the drop
        raw_ = std::move(raw);
        // Held before libsoup would end the chunked body on its own.
        g_signal_connect(msg_, "wrote-headers", G_CALLBACK(+[](SoupServerMessage* msg, gpointer self) {
                             soup_server_message_pause(msg);
                             static_cast<Exchange*>(self)->dropSoon();
                         }),
                         this);
        resume();
    }

private:
    SoupMessageHeaders* head(int status, const Headers& headers) {
        soup_server_message_set_status(msg_, static_cast<guint>(status), nullptr);
        SoupMessageHeaders* h = soup_server_message_get_response_headers(msg_);
        for (const auto& [name, value] : headers) soup_message_headers_append(h, name.c_str(), value.c_str());
        return h;
    }
    void resume() {
        if (paused_) soup_server_message_unpause(msg_);
        paused_ = false;
    }
    void stream(std::string_view part, bool drop) {
        SoupMessageBody* body = soup_server_message_get_response_body(msg_);
        soup_message_body_append(body, SOUP_MEMORY_COPY, part.data(), part.size());
        if (drop) {
            keepAlive_ = shared_from_this();  // until the drop
            dropAfter_ = part.size();
            g_signal_connect(msg_, "wrote-body-data", G_CALLBACK(&Exchange::wroteBody), this);
            if (part.empty()) dropSoon();
        }
        // No end is appended: libsoup sends what it has, then waits.
        resume();
    }
    static void wroteBody(SoupServerMessage*, guint size, gpointer data) {
        auto* self = static_cast<Exchange*>(data);
        self->written_ += size;
        if (self->written_ >= self->dropAfter_) self->dropSoon();
    }
    // Once libsoup has paused for more body, take the connection and close it.
    void dropSoon() {
        if (dropping_) return;
        dropping_ = true;
        auto keep = new std::shared_ptr<Exchange>(shared_from_this());
        GSource* idle = g_idle_source_new();
        g_source_set_callback(
            idle,
            [](gpointer data) -> gboolean {
                Exchange& self = **static_cast<std::shared_ptr<Exchange>*>(data);
                if (!self.finished_) {
                    GIOStream* io = soup_server_message_steal_connection(self.msg_);
                    if (io) {
                        g_output_stream_write_all(g_io_stream_get_output_stream(io), self.raw_.data(),
                                                  self.raw_.size(), nullptr, nullptr, nullptr);
                        g_io_stream_close(io, nullptr, nullptr);
                        g_object_unref(io);
                    }
                }
                self.keepAlive_.reset();
                return G_SOURCE_REMOVE;
            },
            keep, [](gpointer data) {
                auto* self = static_cast<std::shared_ptr<Exchange>*>(data);
                (*self)->forget();
                delete self;
            });
        g_source_attach(idle, g_main_context_get_thread_default());
        g_source_unref(idle);
    }

    SoupServerMessage* msg_;
    bool paused_ = false;
    bool finished_ = false;
    bool dropping_ = false;
    size_t dropAfter_ = 0;
    size_t written_ = 0;
    std::shared_ptr<Exchange> keepAlive_;
    std::string raw_;  // written after the drop's take-over, before the close
};

class Server;

// The handler's way to answer one request. It answers now or later; the
// later answers run on the server's context.
class Reply {
public:
    Reply(Server& server, std::shared_ptr<Exchange> exchange) : server_(server), exchange_(std::move(exchange)) {}

    void respond(int status, std::string_view body, const Headers& headers = {}) {
        exchange_->respond(status, body, headers);
    }
    void respondPart(int status, size_t length, std::string_view part, bool drop) {
        exchange_->respondPart(status, length, part, drop);
    }
    void respondChunkedThenRaw(int status, std::string raw) { exchange_->respondChunkedThenRaw(status, std::move(raw)); }
    // Answers after `ms` (nothing, when the server stops first).
    inline void respondAfter(int ms, int status, std::string body);
    // Answers once the test calls release(name) (at once when it already has).
    inline void respondWhenReleased(const std::string& name, int status, std::string body);

private:
    Server& server_;
    std::shared_ptr<Exchange> exchange_;
};

class Server {
public:
    using Handler = std::function<void(const Request&, Reply&)>;

    Server() = default;
    ~Server() { stop(); }
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Handlers are added before start; a path without one answers 404.
    void on(const std::string& path, Handler handler) { handlers_[path] = std::move(handler); }

    // On a thread of its own.
    bool start() {
        std::unique_lock<std::mutex> lock(mutex_);
        thread_ = std::thread([this] { run(); });
        wake_.wait(lock, [&] { return started_; });
        return port_ > 0;
    }
    // On the caller's thread-default context, served while the caller pumps it.
    bool startHere() {
        context_ = g_main_context_ref_thread_default();
        std::lock_guard<std::mutex> lock(mutex_);
        port_ = listen();
        started_ = true;
        return port_ > 0;
    }

    void stop() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_ || !started_) return;
            stopping_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable()) {
            g_main_context_invoke(
                context_,
                [](gpointer loop) -> gboolean {
                    g_main_loop_quit(static_cast<GMainLoop*>(loop));
                    return G_SOURCE_REMOVE;
                },
                loop_);
            thread_.join();
        } else {
            close();
            g_main_context_unref(context_);
        }
    }

    int port() const { return port_; }
    std::string url(const std::string& target) const { return "http://127.0.0.1:" + std::to_string(port_) + target; }

    // Opens the gate `name` (from any thread).
    void release(const std::string& name) {
        auto* job = new std::pair<Server*, std::string>(this, name);
        g_main_context_invoke_full(
            context_, G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                auto* j = static_cast<std::pair<Server*, std::string>*>(data);
                j->first->opened(j->second);
                return G_SOURCE_REMOVE;
            },
            job, [](gpointer data) { delete static_cast<std::pair<Server*, std::string>*>(data); });
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
    friend class Reply;

    int listen() {
        server_ = soup_server_new(nullptr, nullptr);
        soup_server_add_handler(server_, nullptr, &Server::handle, this, nullptr);
        GError* error = nullptr;
        int port = 0;
        if (soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &error)) {
            GSList* uris = soup_server_get_uris(server_);
            if (uris) port = g_uri_get_port(static_cast<GUri*>(uris->data));
            g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
        } else if (error) {
            g_error_free(error);
        }
        return port;
    }

    void run() {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GMainLoop* loop = g_main_loop_new(context, FALSE);
        int port = listen();
        bool run;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            port_ = port;
            context_ = context;
            loop_ = loop;
            started_ = true;
            run = port > 0 && !stopping_;
        }
        wake_.notify_all();
        if (run) g_main_loop_run(loop);
        close();
        g_main_loop_unref(loop);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    // On the server's context: the connections go, then whatever still
    // waits to answer (timers and gates never run).
    void close() {
        if (server_) {
            soup_server_disconnect(server_);
            g_object_unref(server_);
            server_ = nullptr;
        }
        for (auto& weak : exchanges_) {
            if (auto e = weak.lock()) e->forget();
        }
        exchanges_.clear();
        gates_.clear();
        for (GSource* s : timers_) {
            g_source_destroy(s);
            g_source_unref(s);
        }
        timers_.clear();
    }

    static void handle(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable*, gpointer data) {
        auto* self = static_cast<Server*>(data);
        Request req = readRequest(msg, path);
        Handler handler;
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->log_.push_back(req);
            auto h = self->handlers_.find(req.path);
            if (h != self->handlers_.end()) handler = h->second;
        }
        self->wake_.notify_all();
        auto exchange = std::make_shared<Exchange>(msg);
        self->exchanges_.push_back(exchange);
        Reply reply(*self, exchange);
        if (handler) {
            handler(req, reply);
        } else {
            reply.respond(404, "not found");
        }
    }

    void later(int ms, std::function<void()> fn) {
        GSource* timer = g_timeout_source_new(static_cast<guint>(ms));
        g_source_set_callback(
            timer,
            [](gpointer data) -> gboolean {
                (*static_cast<std::function<void()>*>(data))();
                return G_SOURCE_REMOVE;
            },
            new std::function<void()>(std::move(fn)),
            [](gpointer data) { delete static_cast<std::function<void()>*>(data); });
        g_source_attach(timer, context_);
        timers_.push_back(timer);
    }
    void whenOpen(const std::string& name, std::function<void()> fn) {
        if (opened_.count(name)) {
            fn();
        } else {
            gates_.emplace(name, std::move(fn));
        }
    }
    void opened(const std::string& name) {
        opened_.insert(name);
        auto range = gates_.equal_range(name);
        std::vector<std::function<void()>> due;
        for (auto it = range.first; it != range.second; ++it) due.push_back(std::move(it->second));
        gates_.erase(range.first, range.second);
        for (auto& fn : due) fn();
    }

    std::map<std::string, Handler> handlers_;
    int port_ = 0;
    std::thread thread_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    SoupServer* server_ = nullptr;
    bool started_ = false;
    bool stopping_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<Request> log_;
    // Used on the server's context only.
    std::multimap<std::string, std::function<void()>> gates_;
    std::set<std::string> opened_;
    std::vector<GSource*> timers_;
    std::vector<std::weak_ptr<Exchange>> exchanges_;
};

void Reply::respondAfter(int ms, int status, std::string body) {
    exchange_->pause();
    auto exchange = exchange_;
    server_.later(ms, [exchange, status, body = std::move(body)] { exchange->respond(status, body, {}); });
}

void Reply::respondWhenReleased(const std::string& name, int status, std::string body) {
    exchange_->pause();
    auto exchange = exchange_;
    server_.whenOpen(name, [exchange, status, body = std::move(body)] { exchange->respond(status, body, {}); });
}

}  // namespace souptest
