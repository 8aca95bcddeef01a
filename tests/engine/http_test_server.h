// test-links: PkgConfig::SOUP PkgConfig::GIO
// A small HTTP/1.1 server on 127.0.0.1 for the request tests, over
// libsoup's server: an ephemeral port, the server on a thread of its own
// with its own main context, handlers by path. libsoup reads and parses
// each request; the handler then gets the connection itself on a thread of
// its own and writes raw bytes, so it can also answer badly (stall, break
// off mid-body). Every wait is bounded.
#pragma once

#include <gio/gio.h>
#include <libsoup/soup.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
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
    explicit Connection(GIOStream* io) : io_(io) {}

    bool send(std::string_view bytes) {
        GOutputStream* out = g_io_stream_get_output_stream(io_);
        return g_output_stream_write_all(out, bytes.data(), bytes.size(), nullptr, nullptr, nullptr) != FALSE;
    }
    bool respond(int status, std::string_view body, std::string_view extraHeaders = {}) {
        return send(head(status, body.size(), extraHeaders)) && send(body);
    }
    static std::string head(int status, size_t contentLength, std::string_view extraHeaders = {}) {
        const char* reason = soup_status_get_phrase(static_cast<guint>(status));
        std::string h = "HTTP/1.1 " + std::to_string(status) + " " + (reason ? reason : "Status") + "\r\n";
        h += "Content-Length: " + std::to_string(contentLength) + "\r\n";
        h += "Connection: close\r\n";
        h += extraHeaders;
        h += "\r\n";
        return h;
    }

private:
    GIOStream* io_;
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
        std::unique_lock<std::mutex> lock(mutex_);
        loopThread_ = std::thread([this] { serveLoop(); });
        wake_.wait(lock, [&] { return started_; });
        return port_ > 0;
    }

    void stop() {
        GMainContext* context = nullptr;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
            stopping_ = true;
            context = context_;
        }
        wake_.notify_all();
        if (context) {
            g_main_context_invoke(
                context,
                [](gpointer data) -> gboolean {
                    g_main_loop_quit(static_cast<GMainLoop*>(data));
                    return G_SOURCE_REMOVE;
                },
                loop_);
        }
        if (loopThread_.joinable()) loopThread_.join();
        std::vector<std::thread> workers;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            workers.swap(connections_);
        }
        for (auto& t : workers) t.join();
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
    void serveLoop() {
        GMainContext* context = g_main_context_new();
        g_main_context_push_thread_default(context);
        GMainLoop* loop = g_main_loop_new(context, FALSE);
        SoupServer* server = soup_server_new(nullptr, nullptr);
        soup_server_add_handler(server, nullptr, &Server::handle, this, nullptr);
        GError* error = nullptr;
        int port = 0;
        if (soup_server_listen_local(server, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &error)) {
            GSList* uris = soup_server_get_uris(server);
            if (uris) port = g_uri_get_port(static_cast<GUri*>(uris->data));
            g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
        } else if (error) {
            g_error_free(error);
        }
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
        soup_server_disconnect(server);
        g_object_unref(server);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            context_ = nullptr;
        }
        g_main_loop_unref(loop);
        g_main_context_pop_thread_default(context);
        g_main_context_unref(context);
    }

    static void handle(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable*, gpointer data) {
        auto* self = static_cast<Server*>(data);
        Request req;
        req.method = soup_server_message_get_method(msg);
        req.path = path ? path : "/";
        GUri* uri = soup_server_message_get_uri(msg);
        if (const char* q = g_uri_get_query(uri)) req.query = q;
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

        Handler handler;
        {
            std::lock_guard<std::mutex> lock(self->mutex_);
            self->log_.push_back(req);
            auto h = self->handlers_.find(req.path);
            if (h != self->handlers_.end()) handler = h->second;
        }
        self->wake_.notify_all();
        // The handler writes the answer itself, off the server's loop.
        GIOStream* io = soup_server_message_steal_connection(msg);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->connections_.emplace_back([io, req = std::move(req), handler = std::move(handler)] {
            Connection conn(io);
            if (handler) {
                handler(req, conn);
            } else {
                conn.respond(404, "not found");
            }
            finish(io);
        });
    }

    // Close our side first and let the client finish reading, so that
    // unread input does not turn the close into a reset.
    static void finish(GIOStream* io) {
        if (G_IS_SOCKET_CONNECTION(io)) {
            GSocket* socket = g_socket_connection_get_socket(G_SOCKET_CONNECTION(io));
            g_socket_shutdown(socket, FALSE, TRUE, nullptr);
            g_socket_set_timeout(socket, 1);
            char buf[1024];
            while (g_socket_receive(socket, buf, sizeof buf, nullptr, nullptr) > 0) {
            }
        }
        g_io_stream_close(io, nullptr, nullptr);
        g_object_unref(io);
    }

    std::map<std::string, Handler> handlers_;
    int port_ = 0;
    std::thread loopThread_;
    GMainContext* context_ = nullptr;
    GMainLoop* loop_ = nullptr;
    bool started_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    std::map<std::string, bool> released_;
    std::vector<Request> log_;
    std::vector<std::thread> connections_;
};

}  // namespace httptest
