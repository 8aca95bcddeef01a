#include "tools/adservice/AdService.h"

#include <libsoup/soup.h>

#include <cstdio>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#ifndef ADSERVICE_HOUSE_DIR
#define ADSERVICE_HOUSE_DIR "tools/adservice/house"
#endif

namespace adservice {

namespace {

using nlohmann::json;

std::string base64(const std::string& bytes) {
    gchar* b = g_base64_encode(reinterpret_cast<const guchar*>(bytes.data()), bytes.size());
    std::string out = b;
    g_free(b);
    return out;
}

std::string unescape(const std::string& s) {
    gchar* u = g_uri_unescape_string(s.c_str(), nullptr);
    std::string out = u ? u : s;
    g_free(u);
    return out;
}

std::vector<std::string> segments(const std::string& path) {
    std::vector<std::string> out;
    std::stringstream ss(path);
    std::string part;
    while (std::getline(ss, part, '/')) {
        if (!part.empty()) out.push_back(unescape(part));
    }
    return out;
}

bool startsWith(const std::string& s, const std::string& prefix) { return s.rfind(prefix, 0) == 0; }

}  // namespace

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
    server_ = soup_server_new(nullptr, nullptr);
    soup_server_add_handler(server_, nullptr, &AdService::handle, this, nullptr);
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
    int n = 0;
    for (const auto& r : log_) n += r.route == route;
    return n;
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
    for (auto* msg : stalled) {
        soup_server_message_set_status(msg, 503, nullptr);
        soup_server_message_unpause(msg);
        g_object_unref(msg);
    }
}

std::string AdService::houseAd(const std::string& name) const {
    std::ifstream in(houseDir_ + "/" + name, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string s = ss.str();
    if (s.empty()) s = "<html><body style='margin:0;background:#2b6fd6;color:#fff'>mekko</body></html>";
    return s;
}

std::string AdService::configurationFor(const std::string& appId) const {
    auto it = configurations_.find(appId);
    if (it != configurations_.end()) return it->second;
    bool pop = interstitials_.count(appId) != 0;
    std::string kind = pop ? "interstitial" : "banner";
    std::string o = origin();
    json settings = json::array();
    settings.push_back({{"user_ad_id", kind + "-house-en"},
                        {"weight", {{"ja", 0}, {"en", 6}}},
                        {"html", base64(houseAd(kind + "_en.html"))}});
    settings.push_back({{"user_ad_id", kind + "-house-ja"},
                        {"weight", {{"ja", 6}, {"en", 0}}},
                        {"html", base64(houseAd(kind + "_ja.html"))}});
    std::string inmobiTag = "<script src=\"" + o + "/inmobi/ad/inmobi.js\"></script>"
                            "<script>var inmobi_conf = { siteid : \"4028cb8b2c3a0b45012c406824e800ba\", slot : \"15\" };"
                            "</script>";
    settings.push_back({{"user_ad_id", kind + "-inmobi"},
                        {"adnetwork_key", "1003"},
                        {"weight", {{"ja", 1}, {"en", 1}}},
                        {"html", base64(inmobiTag)}});
    std::string leadbolt = "<html><body style='margin:0'><div class='lb'><leadbolt>"
                           "section_id : \"889012345\", secret_key : \"kS3cr3tKey\",\n"
                           "width : \"320\", height : \"50\", scr_w : \"320\", scr_h : \"480\",\n"
                           "lang : \"en\", ad_type : \"banner\", category : \"games\", max_ads : \"1\""
                           "</leadbolt></div></body></html>";
    settings.push_back({{"user_ad_id", kind + "-leadbolt"},
                        {"adnetwork_key", "1058"},
                        {"weight", {{"ja", 1}, {"en", 1}}},
                        {"html", base64(leadbolt)}});
    std::string icons = "<html><head><style>.adk_icon{display:inline-block;width:60px;font-size:9px}</style></head>"
                        "<body style='margin:0'><leadbolt>section_id : \"889012346\", width : \"50\", "
                        "height : \"50\", max_ads : \"4\", ad_type : \"icon\"</leadbolt></body></html>";
    settings.push_back({{"user_ad_id", kind + "-leadbolt-icons"},
                        {"adnetwork_key", "1061"},
                        {"weight", {{"ja", 1}, {"en", 1}}},
                        {"html", base64(icons)}});
    settings.push_back({{"user_ad_id", kind + "-mmedia"},
                        {"adnetwork_key", "1060"},
                        {"weight", {{"ja", 1}, {"en", 1}}},
                        {"param", {{"placement_apid", "203888"}}},
                        {"html", base64("<div></div>")}});
    settings.push_back({{"user_ad_id", kind + "-gamefeat"},
                        {"adnetwork_key", "1065"},
                        {"wall_type", 1},
                        {"weight", {{"ja", 1}, {"en", 1}}},
                        {"param", {{"site_id", 1234}, {"u", "GameFeatSample/1.0"}}},
                        {"html", base64("<div></div>")}});
    if (pop) {
        // The interstitial's way of saying "no ad this time".
        settings.push_back({{"user_ad_id", kind + "-none"},
                            {"adnetwork_key", "default"},
                            {"weight", {{"ja", 1}, {"en", 1}}},
                            {"html", base64("")}});
    }
    json config = {{"result", "ok"},    {"device_id", "local-device-0001"},
                   {"bg_color", "1a3c78"}, {"cycle_time", 30},
                   {"ta_off", 0},         {"settings", settings}};
    return config.dump();
}

std::string AdService::stats() const {
    json routes = json::object();
    for (const auto& r : log_) routes[r.route] = routes.value(r.route, 0) + 1;
    return json{{"requests", routes}, {"impressions", impressions_}, {"clicks", clicks_}}.dump();
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
        soup_server_message_set_status(msg, static_cast<guint>(fault.status), nullptr);
        soup_server_message_set_response(msg, "text/plain", SOUP_MEMORY_COPY, "failed", 6);
        return;
    case Fault::Stall:
        g_object_ref(msg);
        soup_server_message_pause(msg);
        stalled_.push_back(msg);
        return;
    case Fault::Garbage: {
        static const char junk[] = "\x89PNG\x00\xff{{\"result\":<<]]\x01garbage";
        soup_server_message_set_status(msg, 200, nullptr);
        soup_server_message_set_response(msg, "application/octet-stream", SOUP_MEMORY_COPY, junk, sizeof junk - 1);
        return;
    }
    case Fault::Truncated: {
        std::string half = body.substr(0, body.size() / 2);
        soup_server_message_set_status(msg, 200, nullptr);
        soup_server_message_set_response(msg, type.c_str(), SOUP_MEMORY_COPY, half.data(), half.size());
        return;
    }
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
    soup_server_message_set_status(msg, static_cast<guint>(status), nullptr);
    soup_server_message_set_response(msg, type.c_str(), SOUP_MEMORY_COPY, body.data(), body.size());
}

void AdService::serve(SoupServerMessage* msg, const std::string& path, GHashTable* query) {
    Request req;
    req.method = soup_server_message_get_method(msg);
    req.path = path;
    GUri* uri = soup_server_message_get_uri(msg);
    if (const char* q = g_uri_get_query(uri)) req.query = q;
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
    SoupMessageBody* body = soup_server_message_get_request_body(msg);
    if (body && body->data) req.body.assign(body->data, static_cast<size_t>(body->length));

    const std::string json = "application/json";
    const std::string html = "text/html; charset=utf-8";
    std::vector<std::string> seg = segments(path);
    auto answerFor = [&](const std::string& route, const std::string& fallback) {
        auto it = answers_.find(route);
        return it != answers_.end() ? it->second : fallback;
    };
    auto noAd = [&](const std::string& route) {
        auto it = faults_.find(route);
        return it != faults_.end() && it->second.kind == Fault::NoAd;
    };

    if (path == "/control") {
        FaultSpec f;
        std::string route = req.params.count("route") ? req.params["route"] : "";
        std::string kind = req.params.count("fault") ? req.params["fault"] : "";
        if (req.params.count("status")) kind = "status:" + req.params["status"];
        bool ok = !route.empty() && parseFault(kind, &f);
        if (ok) setFault(route, f);
        soup_server_message_set_status(msg, ok ? 200 : 400, nullptr);
        soup_server_message_set_response(msg, "text/plain", SOUP_MEMORY_COPY, ok ? "ok" : "bad", ok ? 2 : 3);
        return;
    }
    if (path == "/stats") {
        std::string s = stats();
        soup_server_message_set_status(msg, 200, nullptr);
        soup_server_message_set_response(msg, json.c_str(), SOUP_MEMORY_COPY, s.data(), s.size());
        return;
    }
    if (seg.size() == 2 && seg[0] == "img") {
        std::string name = seg[1];
        bool plain = name.find("..") == std::string::npos && name.size() > 4 &&
                     name.compare(name.size() - 4, 4, ".svg") == 0;
        std::string data = plain ? houseAd(name) : "";
        soup_server_message_set_status(msg, plain ? 200 : 404, nullptr);
        soup_server_message_set_response(msg, "image/svg+xml", SOUP_MEMORY_COPY, data.data(), data.size());
        return;
    }

    // getinfo on either endpoint.
    size_t base = (!seg.empty() && seg[0] == "cdn") ? 1 : 0;
    if (seg.size() >= base + 5 && seg[base] == "adkasa" && seg[base + 1] == "api" && seg[base + 2] == "getinfo" &&
        seg[base + 3] == "app_id") {
        req.route = base ? "cdn" : "api";
        log_.push_back(req);
        answer(msg, req.route, 200, json, configurationFor(seg[base + 4]));
        return;
    }
    if (seg.size() == 3 && seg[0] == "adkasa" && seg[1] == "api" && seg[2] == "rec-impression") {
        req.route = "impression";
        log_.push_back(req);
        std::string id = req.params.count("user_ad_id") ? req.params["user_ad_id"] : "";
        impressions_[id]++;
        if (verbose_) std::fprintf(stderr, "adkasa-service: impression %s\n", id.c_str());
        answer(msg, req.route, 200, "text/plain", "ok");
        return;
    }
    if (seg.size() >= 3 && seg[0] == "adkasa" && seg[1] == "api" && seg[2] == "rec-click") {
        req.route = "click";
        // The server hands over the path unescaped, so a value may hold
        // "/": each value runs from its key to the next key.
        static const char* const keys[] = {"app_id", "user_ad_id", "device_id", "locale"};
        std::string rest = path.substr(std::string("/adkasa/api/rec-click").size());
        for (size_t k = 0; k < 4; ++k) {
            std::string open = "/" + std::string(keys[k]) + "/";
            size_t at = rest.find(open);
            if (at == std::string::npos) continue;
            size_t from = at + open.size();
            size_t to = k + 1 < 4 ? rest.find("/" + std::string(keys[k + 1]) + "/", from) : rest.size();
            req.params[keys[k]] = rest.substr(from, to == std::string::npos ? std::string::npos : to - from);
        }
        log_.push_back(req);
        std::string id = req.params["user_ad_id"];
        clicks_[id]++;
        if (verbose_) std::fprintf(stderr, "adkasa-service: click %s\n", id.c_str());
        answer(msg, req.route, 200, "text/plain", "ok");
        return;
    }
    if (path == "/relay/ua.php") {
        req.route = "relay";
        log_.push_back(req);
        answer(msg, req.route, 200, json, answerFor("relay", "{\"ip\":\"127.0.0.1\"}"));
        return;
    }
    if (path == "/inmobi/ad/inmobi.js" || path == "/mmedia/mmadlib/v1/mmadlib.js") {
        const char js[] = "/* sample network script */";
        soup_server_message_set_status(msg, 200, nullptr);
        soup_server_message_set_response(msg, "text/javascript", SOUP_MEMORY_COPY, js, sizeof js - 1);
        return;
    }
    std::string o = origin();
    std::string sample = "<a href=\"" + o + "/house/network\"><img src=\"" + o +
                         "/img/network.svg\" width=\"320\" height=\"50\"></a>";
    if (path == "/inmobi/showad/v2") {
        req.route = "inmobi";
        log_.push_back(req);
        answer(msg, req.route, 200, html,
               answerFor("inmobi", noAd("inmobi") ? "<!-- mKhoj: No advt for this position -->" : sample));
        return;
    }
    if (path == "/leadbolt/api/ad_feed") {
        req.route = "leadbolt";
        log_.push_back(req);
        bool icons = req.params.count("format") && req.params["format"] == "json";
        std::string body;
        if (icons) {
            nlohmann::json list = nlohmann::json::array();
            if (!noAd("leadbolt")) {
                for (int i = 1; i <= 2; ++i) {
                    list.push_back({{"clk_url", o + "/house/network?icon=" + std::to_string(i)},
                                    {"title", i == 1 ? "Coin Rush" : "Chest Quest"},
                                    {"src_url", o + "/img/icon.svg"}});
                }
            }
            body = list.dump();
        } else {
            body = noAd("leadbolt") ? "" : sample;
        }
        answer(msg, req.route, 200, icons ? json : html, answerFor("leadbolt", body));
        return;
    }
    if (path == "/gamefeat/webapi/v1/requestCustomAds/" || path == "/gamefeat/webapi/v1/requestCustomAds") {
        req.route = "gamefeat";
        log_.push_back(req);
        std::string body = noAd("gamefeat")
                               ? "{}"
                               : nlohmann::json{{"url", o + "/house/network"}, {"img", o + "/img/network.svg"}}.dump();
        answer(msg, req.route, 200, json, answerFor("gamefeat", body));
        return;
    }
    if (path == "/mmedia/getAd") {
        req.route = "mmedia";
        log_.push_back(req);
        answer(msg, req.route, 200, html, answerFor("mmedia", noAd("mmedia") ? "" : sample));
        return;
    }
    if (seg.empty() || seg[0] == "house") {
        const char page[] = "<html><body><h1>mekko</h1><p>Thanks for looking at our house ad.</p></body></html>";
        soup_server_message_set_status(msg, 200, nullptr);
        soup_server_message_set_response(msg, html.c_str(), SOUP_MEMORY_COPY, page, sizeof page - 1);
        return;
    }
    soup_server_message_set_status(msg, 404, nullptr);
    soup_server_message_set_response(msg, "text/plain", SOUP_MEMORY_COPY, "not found", 9);
}

}  // namespace adservice
