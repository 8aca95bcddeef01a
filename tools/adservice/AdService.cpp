#include "tools/adservice/AdService.h"

#include <libsoup/soup.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>

#include <sys/socket.h>
#include <cerrno>

#ifndef ADSERVICE_HOUSE_DIR
#define ADSERVICE_HOUSE_DIR "tools/adservice/house"
#endif

namespace adservice {

namespace {

using nlohmann::json;

const std::string kJson = "application/json";
const std::string kHtml = "text/html; charset=utf-8";

// The slot colour of our configurations; the house pages stand on it too.
const char* const kBgColor = "1a3c78";

// Millennial Media placements that hold a 300 x 250 box (the others, banners).
const char* const kBoxPlacementApid = "203889";

std::string base64(const std::string& bytes) {
    gchar* b = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string out = b;
    g_free(b);
    return out;
}

// The path's segments, each decoded once. Empty segments stay (a report may
// carry an empty value); nullopt when an escape is malformed or decodes to NUL.
std::optional<std::vector<std::string>> decodedSegments(const std::string& rawPath) {
    std::vector<std::string> out;
    size_t from = rawPath.empty() || rawPath[0] != '/' ? 0 : 1;
    while (from <= rawPath.size()) {
        size_t to = rawPath.find('/', from);
        if (to == std::string::npos) to = rawPath.size();
        std::string part = rawPath.substr(from, to - from);
        gchar* decoded = g_uri_unescape_string(part.c_str(), nullptr);
        if (!decoded) return std::nullopt;
        out.emplace_back(decoded);
        g_free(decoded);
        from = to + 1;
    }
    if (!out.empty() && out.back().empty()) out.pop_back();  // a trailing "/"
    return out;
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

// An art file name that stays inside the house folder.
bool isArtName(const std::string& name) {
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".svg") == 0 && name.find('/') == std::string::npos &&
           name.find('\\') == std::string::npos && name.find("..") == std::string::npos;
}

void reply(SoupServerMessage* msg, int status, const std::string& type, const std::string& body) {
    soup_server_message_set_status(msg, static_cast<guint>(status), nullptr);
    soup_server_message_set_response(msg, type.c_str(), SOUP_MEMORY_COPY, body.data(), body.size());
}

bool isApi(const std::vector<std::string>& s, size_t at, const char* what) {
    return s.size() > at + 2 && s[at] == "adkasa" && s[at + 1] == "api" && s[at + 2] == what;
}
bool pathIs(const std::vector<std::string>& s, std::initializer_list<const char*> parts) {
    return s.size() == parts.size() && std::equal(parts.begin(), parts.end(), s.begin());
}

// The sample networks' ad formats: the banner strip and the 300 x 250 box.
std::string formatForInmobi(const std::string& body) {
    int size = 15;
    try {
        size = json::parse(body, nullptr, false).at(json::json_pointer("/imp/0/banner/adsize")).get<int>();
    } catch (const json::exception&) {
    }
    return size == 15 ? "banner" : "box";
}

std::string formatForSize(const std::map<std::string, std::string>& params) {
    auto number = [&](const char* key) {
        auto it = params.find(key);
        return it == params.end() ? 0L : std::strtol(it->second.c_str(), nullptr, 10);
    };
    return number("width") >= 300 && number("height") >= 250 ? "box" : "banner";
}

// A request's body as it arrives, never more than the routes need.
struct BodySoFar {
    std::string bytes;
    bool refused = false;
};

const char* const kBodyKey = "adservice-body";

void refuseBody(SoupServerMessage* msg, BodySoFar* body) {
    body->refused = true;
    std::string().swap(body->bytes);
    reply(msg, 413, "text/plain", "request body too large");
    // The rest of the body is read and dropped; the connection ends after.
    soup_message_headers_replace(soup_server_message_get_response_headers(msg), "Connection", "close");
}

}  // namespace

struct AdService::Exchange {
    SoupServerMessage* msg;
    Request req;
    std::vector<std::string> seg;  // decoded once
};

bool parseFault(const std::string& text, FaultSpec* out) {
    FaultSpec f;
    if (text == "none") f.kind = Fault::None;
    else if (text == "stall") f.kind = Fault::Stall;
    else if (text == "garbage") f.kind = Fault::Garbage;
    else if (text == "truncated") f.kind = Fault::Truncated;
    else if (text == "brokenoff") f.kind = Fault::BrokenOff;
    else if (text == "noad") f.kind = Fault::NoAd;
    else {
        std::string n = startsWith(text, "status:") ? text.substr(7) : text;
        char* end = nullptr;
        long v = std::strtol(n.c_str(), &end, 10);
        if (n.empty() || *end || v < 100 || v > 599) return false;
        f.kind = Fault::Status;
        f.status = static_cast<int>(v);
    }
    *out = f;
    return true;
}

AdService::AdService(std::string houseDir) : houseDir_(houseDir.empty() ? ADSERVICE_HOUSE_DIR : std::move(houseDir)) {
    // Raw paths: the service splits and decodes them itself, so that an
    // escaped "/" in a value stays inside its segment.
    server_ = SOUP_SERVER(g_object_new(SOUP_TYPE_SERVER, "raw-paths", TRUE, nullptr));
    soup_server_add_handler(server_, nullptr, &AdService::handle, this, nullptr);
    g_signal_connect(server_, "request-started", G_CALLBACK(&AdService::requestStarted), this);
    interstitials_.insert("3f9c1d20b7e4a85c6d0e2f35");
}

AdService::~AdService() {
    releaseStalled();
    soup_server_disconnect(server_);
    g_object_unref(server_);
}

bool AdService::listen(int port) {
    GError* error = nullptr;
    GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    GSocketAddress* address = g_inet_socket_address_new(loopback, static_cast<guint16>(port));
    g_object_unref(loopback);
    gboolean ok = soup_server_listen(server_, address, static_cast<SoupServerListenOptions>(0), &error);
    g_object_unref(address);
    if (!ok) {
        if (error) {
            std::fprintf(stderr, "adkasa-service: %s\n", error->message);
            g_error_free(error);
        }
        return false;
    }
    GSList* uris = soup_server_get_uris(server_);
    port_ = uris ? g_uri_get_port(static_cast<GUri*>(uris->data)) : 0;
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    return port_ > 0;
}

std::string AdService::origin() const { return "http://127.0.0.1:" + std::to_string(port_); }

void AdService::setFault(const std::string& route, FaultSpec fault) { faults_[route] = fault; }
void AdService::clearFaults() { faults_.clear(); }
void AdService::setConfiguration(const std::string& appId, std::string body) { configurations_[appId] = std::move(body); }
void AdService::addInterstitialPlacement(const std::string& appId) { interstitials_.insert(appId); }

int AdService::count(const std::string& route) const {
    auto it = counts_.find(route);
    return it == counts_.end() ? 0 : it->second;
}

std::vector<Request> AdService::requests(const std::string& route) const {
    std::vector<Request> out;
    for (const auto& r : log_) {
        if (r.route == route) out.push_back(r);
    }
    return out;
}

int AdService::impressions(const std::string& id) const {
    auto it = impressions_.find(id);
    return it == impressions_.end() ? 0 : it->second;
}

int AdService::clicks(const std::string& id) const {
    auto it = clicks_.find(id);
    return it == clicks_.end() ? 0 : it->second;
}

void AdService::releaseStalled() {
    auto stalled = std::move(stalled_);
    stalled_.clear();
    for (auto& s : stalled) {
        g_source_destroy(s.watch);
        g_source_unref(s.watch);
        soup_server_message_set_status(s.msg, 503, nullptr);
        soup_server_message_unpause(s.msg);
        g_object_unref(s.msg);
    }
}

// A paused message reads nothing, so libsoup would not see its client go;
// the watch does, and the message is let go with its connection.
bool AdService::stalledClientEvent(SoupServerMessage* msg, bool readable) {
    auto it = std::find_if(stalled_.begin(), stalled_.end(), [&](const Stalled& s) { return s.msg == msg; });
    if (it == stalled_.end()) return false;
    GSocket* socket = soup_server_message_get_socket(msg);
    char byte;
    ssize_t n = readable && socket ? ::recv(g_socket_get_fd(socket), &byte, 1, MSG_PEEK | MSG_DONTWAIT) : 0;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return true;
    GSource* watch = it->watch;
    stalled_.erase(it);
    if (n > 0) {
        // More requests behind the stalled one: watch for the hang-up alone,
        // so that unread bytes do not wake us again and again.
        GSource* hup = g_socket_create_source(socket, static_cast<GIOCondition>(G_IO_HUP | G_IO_ERR), nullptr);
        watchStalled(msg, hup);
        g_source_unref(watch);
        return false;
    }
    g_source_unref(watch);
    // Nobody to answer: the connection is taken from libsoup and closed.
    if (GIOStream* io = soup_server_message_steal_connection(msg)) {
        g_io_stream_close(io, nullptr, nullptr);
        g_object_unref(io);
    }
    g_object_unref(msg);
    return false;
}

void AdService::watchStalled(SoupServerMessage* msg, GSource* watch) {
    stalled_.push_back({msg, watch});
    struct Ctx {
        AdService* self;
        SoupServerMessage* msg;
    };
    g_source_set_callback(
        watch,
        G_SOURCE_FUNC(+[](GSocket*, GIOCondition condition, gpointer data) -> gboolean {
            auto* c = static_cast<Ctx*>(data);
            return c->self->stalledClientEvent(c->msg, (condition & G_IO_IN) != 0);
        }),
        new Ctx{this, msg}, [](gpointer data) { delete static_cast<Ctx*>(data); });
    g_source_attach(watch, g_main_context_get_thread_default());
}

std::string AdService::houseFile(const std::string& name) const {
    std::ifstream in(houseDir_ + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string AdService::houseAd(const std::string& name) const {
    std::string s = houseFile(name);
    if (s.empty()) s = "<html><body style='margin:0;background:#2b6fd6;color:#fff'>mekko</body></html>";
    return s;
}

// A sample network's creative in the given format, linking to our landing page.
std::string AdService::sampleAd(const std::string& format) const {
    std::string o = origin();
    if (format == "box") {
        return "<a href=\"" + o + "/house/network?format=box\"><img src=\"" + o +
               "/img/network_box.svg\" width=\"300\" height=\"250\"></a>";
    }
    return "<a href=\"" + o + "/house/network\"><img src=\"" + o + "/img/network.svg\" width=\"320\" height=\"50\"></a>";
}

std::string AdService::configurationFor(const std::string& appId) const {
    auto it = configurations_.find(appId);
    if (it != configurations_.end()) return it->second;
    bool pop = interstitials_.count(appId) != 0;
    std::string kind = pop ? "interstitial" : "banner";
    std::string o = origin();
    json settings = json::array();
    auto add = [&](const std::string& id, const char* key, const std::string& html, json weight = {{"ja", 1}, {"en", 1}},
                   json extra = json::object()) {
        json ad = {{"user_ad_id", kind + "-" + id}, {"weight", weight}, {"html", base64(html)}};
        if (key) ad["adnetwork_key"] = key;
        for (auto& [k, v] : extra.items()) ad[k] = v;
        settings.push_back(ad);
    };
    add("house-en", nullptr, houseAd(kind + "_en.html"), {{"ja", 0}, {"en", 6}});
    add("house-ja", nullptr, houseAd(kind + "_ja.html"), {{"ja", 6}, {"en", 0}});
    add("inmobi", "1003",
        "<script src=\"" + o + "/inmobi/ad/inmobi.js\"></script>"
        "<script>var inmobi_conf = { siteid : \"4028cb8b2c3a0b45012c406824e800ba\", slot : \"15\" };</script>");
    add("leadbolt", "1058", houseAd("leadbolt_" + kind + ".html"));
    add("leadbolt-icons", "1061", houseAd("leadbolt_icons_" + kind + ".html"));
    add("mmedia", "1060", "<div></div>", {{"ja", 1}, {"en", 1}},
        {{"param", {{"placement_apid", pop ? kBoxPlacementApid : "203888"}}}});
    add("gamefeat", "1065", "<div></div>", {{"ja", 1}, {"en", 1}},
        {{"wall_type", 1}, {"param", {{"site_id", 1234}, {"u", "GameFeatSample/1.0"}}}});
    // The interstitial's way of saying "no ad this time".
    if (pop) add("none", "default", "");
    json config = {{"result", "ok"},    {"device_id", "local-device-0001"},
                   {"bg_color", kBgColor}, {"cycle_time", 30},
                   {"ta_off", 0},         {"settings", settings}};
    return config.dump();
}

std::string AdService::stats() const {
    json routes = json::object();
    for (const auto& [route, n] : counts_) routes[route] = n;
    return json{{"requests", routes}, {"impressions", impressions_}, {"clicks", clicks_}}.dump();
}

// Each request's body is kept here, not by libsoup, so that one larger
// than any route needs is refused as it comes and never held.
void AdService::requestStarted(SoupServer*, SoupServerMessage* msg, void*) {
    soup_message_body_set_accumulate(soup_server_message_get_request_body(msg), FALSE);
    g_object_set_data_full(G_OBJECT(msg), kBodyKey, new BodySoFar,
                           [](gpointer body) { delete static_cast<BodySoFar*>(body); });
    g_signal_connect(msg, "got-headers", G_CALLBACK(+[](SoupServerMessage* m, gpointer) {
                         auto* body = static_cast<BodySoFar*>(g_object_get_data(G_OBJECT(m), kBodyKey));
                         auto* headers = soup_server_message_get_request_headers(m);
                         if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH &&
                             soup_message_headers_get_content_length(headers) > static_cast<goffset>(kMaxBody)) {
                             refuseBody(m, body);
                         }
                     }),
                     nullptr);
    g_signal_connect(msg, "got-chunk", G_CALLBACK(+[](SoupServerMessage* m, GBytes* chunk, gpointer) {
                         auto* body = static_cast<BodySoFar*>(g_object_get_data(G_OBJECT(m), kBodyKey));
                         if (body->refused) return;
                         gsize n = 0;
                         const char* data = static_cast<const char*>(g_bytes_get_data(chunk, &n));
                         if (body->bytes.size() + n > kMaxBody) refuseBody(m, body);
                         else body->bytes.append(data, n);
                     }),
                     nullptr);
}

void AdService::handle(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable* query, void* self) {
    static_cast<AdService*>(self)->serve(msg, path ? path : "/", query);
}

void AdService::answer(SoupServerMessage* msg, const std::string& route, int status, const std::string& type,
                       const std::string& body) {
    FaultSpec fault;
    auto it = faults_.find(route);
    if (it != faults_.end()) fault = it->second;
    switch (fault.kind) {
    case Fault::Status:
        reply(msg, fault.status, "text/plain", "failed");
        return;
    case Fault::Stall: {
        GSocket* socket = soup_server_message_get_socket(msg);
        if (!socket) {
            reply(msg, 503, "text/plain", "failed");
            return;
        }
        g_object_ref(msg);
        soup_server_message_pause(msg);
        ++stalledTotal_;
        watchStalled(msg, g_socket_create_source(socket, static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR),
                                                 nullptr));
        return;
    }
    case Fault::Garbage: {
        static const char junk[] = "\x89PNG\x00\xff{{\"result\":<<]]\x01garbage";
        reply(msg, 200, "application/octet-stream", std::string(junk, sizeof junk - 1));
        return;
    }
    case Fault::Truncated:
        reply(msg, 200, type, body.substr(0, body.size() / 2));
        return;
    case Fault::BrokenOff: {
        GIOStream* io = soup_server_message_steal_connection(msg);
        std::string head = "HTTP/1.1 200 OK\r\nContent-Type: " + type +
                           "\r\nContent-Length: " + std::to_string(body.size() + 16) + "\r\n\r\n" +
                           body.substr(0, body.size() / 2);
        GOutputStream* out = g_io_stream_get_output_stream(io);
        g_output_stream_write_all(out, head.data(), head.size(), nullptr, nullptr, nullptr);
        g_io_stream_close(io, nullptr, nullptr);
        g_object_unref(io);
        return;
    }
    case Fault::None:
    case Fault::NoAd:
        break;
    }
    reply(msg, status, type, body);
}

void AdService::log(Exchange& ex, const char* route) {
    ex.req.route = route;
    counts_[ex.req.route]++;
    log_.push_back(ex.req);
    while (log_.size() > kLogSize) log_.pop_front();
}

std::string AdService::answerFor(const std::string& route, const std::string& fallback) const {
    auto it = answers_.find(route);
    return it != answers_.end() ? it->second : fallback;
}

bool AdService::noAd(const std::string& route) const {
    auto it = faults_.find(route);
    return it != faults_.end() && it->second.kind == Fault::NoAd;
}

// In the order they are tried; the last one takes every path.
const AdService::Route AdService::kRoutes[] = {
    {[](const auto& s) { return pathIs(s, {"control"}); }, &AdService::serveControl},
    {[](const auto& s) { return pathIs(s, {"stats"}); }, &AdService::serveStats},
    {[](const auto& s) { return s.size() == 2 && s[0] == "img"; }, &AdService::serveArt},
    {[](const auto& s) {
         size_t at = !s.empty() && s[0] == "cdn" ? 1 : 0;
         return isApi(s, at, "getinfo") && s.size() >= at + 5 && s[at + 3] == "app_id";
     },
     &AdService::serveGetinfo},
    {[](const auto& s) { return s.size() == 3 && isApi(s, 0, "rec-impression"); }, &AdService::serveImpression},
    {[](const auto& s) { return isApi(s, 0, "rec-click"); }, &AdService::serveClick},
    {[](const auto& s) { return pathIs(s, {"relay", "ua.php"}); }, &AdService::serveRelay},
    {[](const auto& s) {
         return pathIs(s, {"inmobi", "ad", "inmobi.js"}) || pathIs(s, {"mmedia", "mmadlib", "v1", "mmadlib.js"});
     },
     &AdService::serveScript},
    {[](const auto& s) { return pathIs(s, {"inmobi", "showad", "v2"}); }, &AdService::serveInmobi},
    {[](const auto& s) { return pathIs(s, {"leadbolt", "api", "ad_feed"}); }, &AdService::serveLeadbolt},
    {[](const auto& s) { return pathIs(s, {"gamefeat", "webapi", "v1", "requestCustomAds"}); },
     &AdService::serveGamefeat},
    {[](const auto& s) { return pathIs(s, {"mmedia", "getAd"}); }, &AdService::serveMmedia},
    {[](const auto&) { return true; }, &AdService::serveLanding},
};

void AdService::serve(SoupServerMessage* msg, const char* rawPath, GHashTable* query) {
    auto* body = static_cast<BodySoFar*>(g_object_get_data(G_OBJECT(msg), kBodyKey));
    if (body && body->refused) return;  // answered already
    auto seg = decodedSegments(rawPath);
    if (!seg) {
        reply(msg, 400, "text/plain", "bad path");
        return;
    }
    Exchange ex{msg, {}, std::move(*seg)};
    Request& req = ex.req;
    req.method = soup_server_message_get_method(msg);
    req.path = rawPath;
    if (const char* q = g_uri_get_query(soup_server_message_get_uri(msg))) req.query = q;
    if (query) {
        GHashTableIter iter;
        gpointer k, v;
        g_hash_table_iter_init(&iter, query);
        while (g_hash_table_iter_next(&iter, &k, &v)) {
            req.params[static_cast<const char*>(k)] = v ? static_cast<const char*>(v) : "";
        }
    }
    SoupMessageHeadersIter hi;
    const char *name, *value;
    soup_message_headers_iter_init(&hi, soup_server_message_get_request_headers(msg));
    while (soup_message_headers_iter_next(&hi, &name, &value)) {
        gchar* lower = g_ascii_strdown(name, -1);
        req.headers[lower] = value;
        g_free(lower);
    }
    if (body) req.body = body->bytes;
    for (const Route& route : kRoutes) {
        if (route.matches(ex.seg)) {
            (this->*route.serve)(ex);
            return;
        }
    }
}

void AdService::serveControl(Exchange& ex) {
    auto& p = ex.req.params;
    FaultSpec f;
    std::string route = p.count("route") ? p["route"] : "";
    std::string kind = p.count("fault") ? p["fault"] : "";
    if (p.count("status")) kind = "status:" + p["status"];
    bool ok = !route.empty() && parseFault(kind, &f);
    if (ok) setFault(route, f);
    reply(ex.msg, ok ? 200 : 400, "text/plain", ok ? "ok" : "bad");
}

void AdService::serveStats(Exchange& ex) { reply(ex.msg, 200, kJson, stats()); }

void AdService::serveArt(Exchange& ex) {
    const std::string& name = ex.seg[1];
    std::string data = isArtName(name) ? houseFile(name) : "";
    reply(ex.msg, data.empty() ? 404 : 200, "image/svg+xml", data);
}

void AdService::serveGetinfo(Exchange& ex) {
    bool cdn = ex.seg[0] == "cdn";
    log(ex, cdn ? "cdn" : "api");
    answer(ex.msg, ex.req.route, 200, kJson, configurationFor(ex.seg[cdn ? 5 : 4]));
}

void AdService::serveImpression(Exchange& ex) {
    log(ex, "impression");
    std::string id = ex.req.params.count("user_ad_id") ? ex.req.params["user_ad_id"] : "";
    impressions_[id]++;
    if (verbose_) std::fprintf(stderr, "adkasa-service: impression %s\n", id.c_str());
    answer(ex.msg, ex.req.route, 200, "text/plain", "ok");
}

void AdService::serveClick(Exchange& ex) {
    // /adkasa/api/rec-click/app_id/A/user_ad_id/U/device_id/D/locale/L. A
    // value runs from its key to the next key, so one that came with a bare
    // "/" in it arrives whole as well.
    static const char* const keys[] = {"app_id", "user_ad_id", "device_id", "locale"};
    const auto& s = ex.seg;
    size_t at = 3;
    for (size_t k = 0; k < 4; ++k) {
        auto key = std::find(s.begin() + static_cast<long>(at), s.end(), keys[k]);
        if (key == s.end()) continue;
        auto end = s.end();
        for (size_t n = k + 1; n < 4 && end == s.end(); ++n) end = std::find(key + 1, s.end(), keys[n]);
        std::string value;
        for (auto it = key + 1; it != end; ++it) value += (it == key + 1 ? "" : "/") + *it;
        ex.req.params[keys[k]] = value;
        at = static_cast<size_t>(end - s.begin());
    }
    log(ex, "click");
    std::string id = ex.req.params["user_ad_id"];
    clicks_[id]++;
    if (verbose_) std::fprintf(stderr, "adkasa-service: click %s\n", id.c_str());
    answer(ex.msg, ex.req.route, 200, "text/plain", "ok");
}

void AdService::serveRelay(Exchange& ex) {
    log(ex, "relay");
    answer(ex.msg, ex.req.route, 200, kJson, answerFor("relay", "{\"ip\":\"127.0.0.1\"}"));
}

void AdService::serveScript(Exchange& ex) { reply(ex.msg, 200, "text/javascript", "/* sample network script */"); }

void AdService::serveInmobi(Exchange& ex) {
    log(ex, "inmobi");
    std::string body = noAd("inmobi") ? "<!-- mKhoj: No advt for this position -->" : sampleAd(formatForInmobi(ex.req.body));
    answer(ex.msg, ex.req.route, 200, kHtml, answerFor("inmobi", body));
}

void AdService::serveLeadbolt(Exchange& ex) {
    log(ex, "leadbolt");
    auto& p = ex.req.params;
    bool icons = p.count("format") && p["format"] == "json";
    if (!icons) {
        std::string body = noAd("leadbolt") ? "" : sampleAd(formatForSize(p));
        answer(ex.msg, ex.req.route, 200, kHtml, answerFor("leadbolt", body));
        return;
    }
    static const char* const games[][2] = {{"Coin Rush", "icon.svg"},        {"Chest Quest", "icon_chest.svg"},
                                           {"Jewel Drop", "icon_jewel.svg"}, {"Bell Dodge", "icon_bell.svg"},
                                           {"Bill Catch", "icon_bill.svg"},  {"Gold Stage", "icon_stage.svg"}};
    long wanted = p.count("max_ads") ? std::strtol(p["max_ads"].c_str(), nullptr, 10) : 2;
    size_t n = noAd("leadbolt") ? 0 : static_cast<size_t>(std::clamp(wanted, 1L, 6L));
    json list = json::array();
    for (size_t i = 0; i < n; ++i) {
        list.push_back({{"clk_url", origin() + "/house/network?icon=" + std::to_string(i + 1)},
                        {"title", games[i][0]},
                        {"src_url", origin() + "/img/" + games[i][1]}});
    }
    answer(ex.msg, ex.req.route, 200, kJson, answerFor("leadbolt", list.dump()));
}

void AdService::serveGamefeat(Exchange& ex) {
    log(ex, "gamefeat");
    bool box = ex.req.params.count("adsize") && ex.req.params["adsize"] != "15";
    std::string o = origin();
    std::string body = noAd("gamefeat") ? "{}"
                       : box ? json{{"url", o + "/house/network?format=box"}, {"img", o + "/img/network_box.svg"}}.dump()
                             : json{{"url", o + "/house/network"}, {"img", o + "/img/network.svg"}}.dump();
    answer(ex.msg, ex.req.route, 200, kJson, answerFor("gamefeat", body));
}

void AdService::serveMmedia(Exchange& ex) {
    log(ex, "mmedia");
    bool box = ex.req.params.count("apid") && ex.req.params["apid"] == kBoxPlacementApid;
    std::string body;
    if (!noAd("mmedia")) {
        // Shown in the network's white page: the banner spans the slot.
        body = box ? sampleAd("box")
                   : "<a href=\"" + origin() + "/house/network\"><img src=\"" + origin() +
                         "/img/network.svg\" width=\"100%\" height=\"50\"></a>";
    }
    answer(ex.msg, ex.req.route, 200, kHtml, answerFor("mmedia", body));
}

void AdService::serveLanding(Exchange& ex) {
    if (!ex.seg.empty() && ex.seg[0] != "house") {
        reply(ex.msg, 404, "text/plain", "not found");
        return;
    }
    reply(ex.msg, 200, kHtml, "<html><body><h1>mekko</h1><p>Thanks for looking at our house ad.</p></body></html>");
}

}  // namespace adservice
