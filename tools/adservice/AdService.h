// The local ad service: one small HTTP server on 127.0.0.1 that answers the
// ad client's configuration requests with our own house ads, counts
// impression and click reports, answers the address relay and stands in
// for each outside ad network with sample answers. Every route can be told
// to fail. It runs on the thread-default GLib main context of its creator.
//
// Routes (one origin; endpoints differ by path prefix):
//   /cdn/adkasa/api/getinfo/...   content delivery ("cdn")
//   /adkasa/api/getinfo/...       main API ("api")
//   /adkasa/api/rec-impression    impression reports ("impression")
//   /adkasa/api/rec-click/...     click reports ("click")
//   /relay/ua.php                 address relay ("relay")
//   /inmobi/...  /leadbolt/...  /gamefeat/...  /mmedia/...  outside networks
//   /img/...                      art for the sample answers
//   /control?route=R&fault=F[&status=N]   sets a fault (for scripts)
//   /stats                        counts as JSON
// A request body larger than kMaxBody is refused with 413 as it arrives, and
// only the last kLogSize requests are kept; the counts cover every request.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

typedef struct _SoupServer SoupServer;
typedef struct _SoupServerMessage SoupServerMessage;
typedef struct _GHashTable GHashTable;
typedef struct _GSource GSource;

namespace adservice {

enum class Fault {
    None,
    Status,     // answers with the given status and a short body
    Stall,      // never answers (until the service ends or the client hangs up)
    Garbage,    // 200 with bytes that are no JSON, HTML or anything
    Truncated,  // 200 with the first half of the right body, well framed
    BrokenOff,  // promises the whole body, sends half and hangs up
    NoAd,       // the network's "no ad" answer (outside networks only)
};

struct FaultSpec {
    Fault kind = Fault::None;
    int status = 500;
};

// Parses "none", "stall", "garbage", "truncated", "brokenoff", "noad" or
// "status:N" (also a bare number); false when it is none of them.
bool parseFault(const std::string& text, FaultSpec* out);

struct Request {
    std::string route;
    std::string method;
    std::string path;   // as sent, still escaped
    std::string query;  // raw, without "?"
    std::map<std::string, std::string> params;  // decoded query parameters
    std::map<std::string, std::string> headers;  // lower-case names
    std::string body;
};

class AdService {
public:
    static constexpr size_t kMaxBody = 64 * 1024;
    static constexpr size_t kLogSize = 1000;

    // `houseDir` holds the house ads' HTML; empty: the folder in the
    // source tree.
    explicit AdService(std::string houseDir = "");
    ~AdService();
    AdService(const AdService&) = delete;
    AdService& operator=(const AdService&) = delete;

    // Listens on 127.0.0.1 (port 0: any free port). False on failure.
    bool listen(int port = 0);
    int port() const { return port_; }
    std::string origin() const;  // http://127.0.0.1:PORT

    // The endpoint bases for the client, all on this service.
    std::string contentDeliveryBase() const { return origin() + "/cdn"; }
    std::string mainApiBase() const { return origin(); }
    std::string impressionBase() const { return origin(); }
    std::string siteRoot() const { return origin(); }
    std::string addressRelayBase() const { return origin() + "/relay"; }
    std::string inmobiScriptBase() const { return origin() + "/inmobi"; }
    std::string inmobiApiBase() const { return origin() + "/inmobi"; }
    std::string leadboltApiBase() const { return origin() + "/leadbolt"; }
    std::string gamefeatApiBase() const { return origin() + "/gamefeat"; }
    std::string mmediaScriptBase() const { return origin() + "/mmedia"; }
    std::string mmediaAdBase() const { return origin() + "/mmedia"; }

    void setFault(const std::string& route, FaultSpec fault);
    void clearFaults();
    // Answers getinfo for this placement with `body` as it is.
    void setConfiguration(const std::string& appId, std::string body);
    // Answers an outside network's (or the relay's) requests with `body`.
    void setAnswer(const std::string& route, std::string body) { answers_[route] = std::move(body); }
    // Placements that get the interstitial house ads (others get banners).
    void addInterstitialPlacement(const std::string& appId);
    // The default configuration for a placement, as served.
    std::string configurationFor(const std::string& appId) const;

    // Every request of the route so far.
    int count(const std::string& route) const;
    // The route's requests among the last kLogSize.
    std::vector<Request> requests(const std::string& route) const;
    int impressions(const std::string& userAdId) const;
    int clicks(const std::string& userAdId) const;
    int stalledCount() const { return static_cast<int>(stalled_.size()); }
    // Requests stalled so far, those let go included: it only grows.
    int stalledTotal() const { return stalledTotal_; }
    // Lets every stalled request go (with a 503).
    void releaseStalled();
    // Log lines on stderr for each report.
    void setVerbose(bool verbose) { verbose_ = verbose; }

private:
    struct Exchange;
    using Handler = void (AdService::*)(Exchange&);
    struct Route {
        // Matches the decoded path segments.
        bool (*matches)(const std::vector<std::string>& segments);
        Handler serve;
    };
    static const Route kRoutes[];

    struct Stalled {
        SoupServerMessage* msg;
        GSource* watch;  // the client hanging up
    };
    static void requestStarted(SoupServer*, SoupServerMessage* msg, void* self);
    // False when the stalled message's watch is done with.
    bool stalledClientEvent(SoupServerMessage* msg, bool readable);
    void watchStalled(SoupServerMessage* msg, GSource* watch);
    static void handle(SoupServer*, SoupServerMessage* msg, const char* path, GHashTable* query, void* self);
    void serve(SoupServerMessage* msg, const char* rawPath, GHashTable* query);
    void answer(SoupServerMessage* msg, const std::string& route, int status, const std::string& type,
                const std::string& body);
    void log(Exchange& ex, const char* route);
    std::string answerFor(const std::string& route, const std::string& fallback) const;
    bool noAd(const std::string& route) const;

    void serveControl(Exchange& ex);
    void serveStats(Exchange& ex);
    void serveArt(Exchange& ex);
    void serveGetinfo(Exchange& ex);
    void serveImpression(Exchange& ex);
    void serveClick(Exchange& ex);
    void serveRelay(Exchange& ex);
    void serveScript(Exchange& ex);
    void serveInmobi(Exchange& ex);
    void serveLeadbolt(Exchange& ex);
    void serveGamefeat(Exchange& ex);
    void serveMmedia(Exchange& ex);
    void serveLanding(Exchange& ex);

    std::string houseFile(const std::string& name) const;
    std::string houseAd(const std::string& name) const;
    std::string sampleAd(const std::string& format) const;
    std::string stats() const;

    std::string houseDir_;
    SoupServer* server_ = nullptr;
    int port_ = 0;
    bool verbose_ = false;
    std::map<std::string, FaultSpec> faults_;
    std::map<std::string, std::string> configurations_;
    std::map<std::string, std::string> answers_;
    std::set<std::string> interstitials_;
    std::deque<Request> log_;
    std::map<std::string, int> counts_;
    std::map<std::string, int> impressions_, clicks_;
    std::vector<Stalled> stalled_;
    int stalledTotal_ = 0;
};

}  // namespace adservice
