#include "adkasa_sdk_ios/ADKSGameFeatAPIManger.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "adkasa_sdk_ios/ADKSPatterns.h"

using namespace KelpaPlatform;

namespace {

// The site id's integer value, as far as it reads as one.
int32_t integerValue(const std::string& text) {
    errno = 0;
    long long v = std::strtoll(text.c_str(), nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// A header value must stay on one line.
std::string headerValue(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7F) out += c;
    }
    return out;
}

}  // namespace

void ADKSGameFeatAPIManger::mmediaLoadApi() {
    if (loadCheckFlg_) return;
    beginLoad();
    // Nothing to ask for: the caller still hears back, with no page.
    std::string api = endpointOrFail(AdkasaEnvironment::shared().endpoints.gamefeatApi, "No GameFeat endpoint");
    if (api.empty()) return;
    if (!entity_ || !entity_->siteId()) {
        fail("No GameFeat site id");
        return;
    }
    adid_ = integerValue(*entity_->siteId());
    NSURLRequest request = networkRequest(api + "/webapi/v1/requestCustomAds/?adid=" + std::to_string(adid_) +
                                          "&adsize=" + std::to_string(adsize_) + "&os=ios");
    if (entity_->uaId()) request.setValueForHTTPHeaderField(headerValue(*entity_->uaId()), "User-Agent");
    request.setValueForHTTPHeaderField("application/x-www-form-urlencoded", "Content-Type");
    send(std::move(request));
}

std::string ADKSGameFeatAPIManger::pageForAnswer(const std::string& body) {
    nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    std::string link, image;
    if (answer.is_object()) {
        if (auto u = answer.find("url"); u != answer.end() && u->is_string()) link = u->get<std::string>();
        if (auto i = answer.find("img"); i != answer.end() && i->is_string()) image = i->get<std::string>();
    }
    return adks::whitePage("<a href=\"" + adks::htmlEscape(link) + "\"><img src=\"" + adks::htmlEscape(image) +
                           "\" width=\"100%\">");
}

void ADKSGameFeatAPIManger::handleBody(const std::string& body) {
    apiHtmlTag_ = body.empty() ? std::string() : pageForAnswer(body);
}
