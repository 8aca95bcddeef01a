#include "platform/ns/NSURLConnection.h"

#include <libsoup/soup.h>

#include <cmath>

namespace KelpaPlatform {

void NSURLRequest::setValueForHTTPHeaderField(const std::string& value, const std::string& field) {
    for (auto& h : headers) {
        if (g_ascii_strcasecmp(h.first.c_str(), field.c_str()) == 0) {
            h.second = value;
            return;
        }
    }
    headers.emplace_back(field, value);
}

// The state of one transfer, shared with the libsoup callbacks in flight so
// that the connection object may go away before they return.
struct NSURLConnection::Transfer {
    NSURLConnection* owner = nullptr;  // null once cancelled or done
    NSURLConnectionDelegate* delegate = nullptr;
    std::shared_ptr<Clock> clock;
    Clock::TimerId timeout = 0;
    SoupSession* session = nullptr;
    SoupMessage* message = nullptr;
    GInputStream* body = nullptr;
    GCancellable* cancellable = nullptr;
    size_t received = 0;
    std::shared_ptr<Transfer> selfKeep;  // for transfers without a delegate

    ~Transfer() {
        if (body) g_object_unref(body);
        if (message) g_object_unref(message);
        if (session) g_object_unref(session);
        if (cancellable) g_object_unref(cancellable);
    }

    bool live() const { return owner != nullptr || selfKeep != nullptr; }

    // Stops everything; no callback reaches the delegate afterwards.
    void end() {
        owner = nullptr;
        delegate = nullptr;
        if (timeout && clock) clock->cancel(timeout);
        timeout = 0;
        if (cancellable) g_cancellable_cancel(cancellable);
        selfKeep.reset();
    }

    void fail(const std::string& description) {
        if (!live()) return;
        NSURLConnection* conn = owner;
        NSURLConnectionDelegate* d = delegate;
        auto keep = selfKeep;
        end();
        if (d && conn) d->connectionDidFailWithError(conn, description);
    }

    void finish() {
        if (!live()) return;
        NSURLConnection* conn = owner;
        NSURLConnectionDelegate* d = delegate;
        auto keep = selfKeep;
        end();
        if (d && conn) d->connectionDidFinishLoading(conn);
    }
};

namespace {

using Transfer = NSURLConnection::Transfer;

std::shared_ptr<Transfer>* holdOf(gpointer data) { return static_cast<std::shared_ptr<Transfer>*>(data); }

void readNext(const std::shared_ptr<Transfer>& t);

void onRead(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::shared_ptr<Transfer>> hold(holdOf(data));
    std::shared_ptr<Transfer> t = *hold;
    GError* error = nullptr;
    GBytes* bytes = g_input_stream_read_bytes_finish(G_INPUT_STREAM(source), result, &error);
    if (!t->live()) {
        if (error) g_error_free(error);
        if (bytes) g_bytes_unref(bytes);
        return;
    }
    if (error) {
        std::string text = error->message ? error->message : "The network connection was lost.";
        g_error_free(error);
        t->fail(text);
        return;
    }
    gsize size = 0;
    const char* p = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    if (size == 0) {
        g_bytes_unref(bytes);
        // libsoup takes the end of a "Connection: close" answer for the end
        // of its body even when fewer bytes came than it announced.
        SoupMessageHeaders* h = soup_message_get_response_headers(t->message);
        goffset announced = soup_message_headers_get_content_length(h);
        bool plain = soup_message_headers_get_one(h, "Content-Encoding") == nullptr;
        if (plain && soup_message_headers_get_encoding(h) == SOUP_ENCODING_CONTENT_LENGTH &&
            static_cast<goffset>(t->received) < announced) {
            t->fail("The network connection was lost.");
            return;
        }
        t->finish();
        return;
    }
    t->received += size;
    if (t->received > NSURLConnection::kMaxBodyBytes) {
        g_bytes_unref(bytes);
        t->fail("The response is too large.");
        return;
    }
    if (t->delegate && t->owner) t->delegate->connectionDidReceiveData(t->owner, p, size);
    g_bytes_unref(bytes);
    if (t->live()) readNext(t);
}

void readNext(const std::shared_ptr<Transfer>& t) {
    g_input_stream_read_bytes_async(t->body, 64 * 1024, G_PRIORITY_DEFAULT, t->cancellable, onRead,
                                    new std::shared_ptr<Transfer>(t));
}

void onSent(GObject* source, GAsyncResult* result, gpointer data) {
    std::unique_ptr<std::shared_ptr<Transfer>> hold(holdOf(data));
    std::shared_ptr<Transfer> t = *hold;
    GError* error = nullptr;
    GInputStream* stream = soup_session_send_finish(SOUP_SESSION(source), result, &error);
    if (!t->live()) {
        if (error) g_error_free(error);
        if (stream) g_object_unref(stream);
        return;
    }
    if (!stream) {
        std::string text = error && error->message ? error->message : "Could not connect to the server.";
        if (error) g_error_free(error);
        t->fail(text);
        return;
    }
    t->body = stream;
    int status = static_cast<int>(soup_message_get_status(t->message));
    if (t->delegate && t->owner) t->delegate->connectionDidReceiveResponse(t->owner, status);
    if (t->live()) readNext(t);
}

bool isLoopback(const char* host) {
    if (!host) return false;
    return g_str_equal(host, "127.0.0.1") || g_str_equal(host, "localhost") || g_str_equal(host, "::1");
}

void begin(const std::shared_ptr<Transfer>& t, const NSURLRequest& request) {
    t->cancellable = g_cancellable_new();
    t->message = soup_message_new(request.httpMethod.c_str(), request.url.c_str());
    if (!t->message) {
        // Reported from the loop, like every other failure.
        std::weak_ptr<Transfer> weak = t;
        auto* hold = new std::weak_ptr<Transfer>(weak);
        g_idle_add_full(
            G_PRIORITY_DEFAULT,
            [](gpointer data) -> gboolean {
                auto* w = static_cast<std::weak_ptr<Transfer>*>(data);
                if (auto s = w->lock()) s->fail("unsupported URL");
                return G_SOURCE_REMOVE;
            },
            hold, [](gpointer data) { delete static_cast<std::weak_ptr<Transfer>*>(data); });
        return;
    }
    t->session = soup_session_new();
    if (isLoopback(g_uri_get_host(soup_message_get_uri(t->message)))) {
        soup_session_set_proxy_resolver(t->session, nullptr);
    }
    SoupMessageHeaders* headers = soup_message_get_request_headers(t->message);
    for (const auto& h : request.headers) {
        soup_message_headers_replace(headers, h.first.c_str(), h.second.c_str());
    }
    if (request.cachePolicy == NSURLRequestCachePolicy::ReloadIgnoringLocalCacheData) {
        soup_message_headers_replace(headers, "Cache-Control", "no-cache");
    }
    if (!request.httpBody.empty()) {
        GBytes* body = g_bytes_new(request.httpBody.data(), request.httpBody.size());
        soup_message_set_request_body_from_bytes(t->message, nullptr, body);
        g_bytes_unref(body);
    }
    double seconds = request.timeoutInterval > 0 ? request.timeoutInterval : 60.0;
    std::weak_ptr<Transfer> weak = t;
    t->timeout = t->clock->schedule(seconds, [weak] {
        if (auto s = weak.lock()) {
            s->timeout = 0;
            s->fail("The request timed out.");
        }
    });
    soup_session_send_async(t->session, t->message, G_PRIORITY_DEFAULT, t->cancellable, onSent,
                            new std::shared_ptr<Transfer>(t));
}

}  // namespace

NSURLConnection::NSURLConnection(NSURLRequest request, NSURLConnectionDelegate* delegate, std::shared_ptr<Clock> clock)
    : request_(std::move(request)), delegate_(delegate), clock_(std::move(clock)) {}

NSURLConnection::~NSURLConnection() { cancel(); }

void NSURLConnection::start() {
    if (transfer_) return;
    transfer_ = std::make_shared<Transfer>();
    transfer_->owner = this;
    transfer_->delegate = delegate_;
    transfer_->clock = clock_;
    begin(transfer_, request_);
}

void NSURLConnection::cancel() {
    if (transfer_) transfer_->end();
}

void NSURLConnection::sendWithoutDelegate(NSURLRequest request, std::shared_ptr<Clock> clock) {
    auto t = std::make_shared<Transfer>();
    t->clock = std::move(clock);
    t->selfKeep = t;
    begin(t, request);
}

}  // namespace KelpaPlatform
