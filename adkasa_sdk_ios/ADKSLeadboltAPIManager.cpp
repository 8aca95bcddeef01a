#include "adkasa_sdk_ios/ADKSLeadboltAPIManager.h"

#include <glib.h>

#include <cstdio>
#include <nlohmann/json.hpp>
#include <utility>

#include "adkasa_sdk_ios/ADKSPatterns.h"

using namespace KelpaPlatform;

const std::vector<std::string>& ADKSLeadboltAPIManager::feedKeys() {
    static const std::vector<std::string> keys{"section_id", "secret_key", "width",    "height",   "scr_w",
                                               "scr_h",      "lang",       "ad_type", "category", "max_ads"};
    return keys;
}

void ADKSLeadboltAPIManager::setAdTag(const std::string& tag) {
    adTag_ = tag;
    dataTag_ = adks::leadboltBlock(adTag_);
}

void ADKSLeadboltAPIManager::leadboltLoadApi() {
    if (loadCheckFlg_) return;
    // The previous ad's answer must not be shown for this one, even when the
    // lookup completes on the spot.
    iconFlg_ = false;
    loadWithAddress();
}

std::optional<std::string> ADKSLeadboltAPIManager::feedQuery(ADKSIpApiManager& ip) {
    std::vector<std::pair<std::string, std::string>> params;
    char osVersion[32];
    std::snprintf(osVersion, sizeof osVersion, "%.1f",
                  static_cast<float>(g_ascii_strtod(AdkasaEnvironment::shared().device()->systemVersion().c_str(), nullptr)));
    params.emplace_back("os_ver", osVersion);
    params.emplace_back("dev_mnf", "Apple");
    params.emplace_back("client_ip", *ip.ip());
    params.emplace_back("user_agent", *ip.ua());
    std::optional<std::string> width, height;
    for (const auto& key : feedKeys()) {
        auto value = adks::quotedValueForKey(*dataTag_, key);
        if (!value) continue;
        if (key == "width") width = value;
        if (key == "height") height = value;
        params.emplace_back(key, *value);
    }
    if (!width || !height) return std::nullopt;
    iconFlg_ = *width == *height;
    params.emplace_back("format", iconFlg_ ? "json" : "xhtml");
    std::string query;
    for (const auto& [key, value] : params) {
        if (!value.empty()) query += "&" + key + "=" + percentEscape(value);
    }
    if (auto ida = AdkasaEnvironment::shared().advertisingId()) query += "&devad_id=" + *ida;
    return query;
}

void ADKSLeadboltAPIManager::requestWithAddress(ADKSIpApiManager& ip) {
    if (!dataTag_) {
        fail("No Leadbolt block in the tag");
        return;
    }
    if (!usableAddress(ip)) return;
    std::string api = endpointOrFail(AdkasaEnvironment::shared().endpoints.leadboltApi, "No Leadbolt API endpoint");
    if (api.empty()) return;
    auto query = feedQuery(ip);
    if (!query) {
        fail("No width or height in the Leadbolt block");
        return;
    }
    NSURLRequest request = networkRequest(api + "/api/ad_feed?pf=1" + *query);
    request.setValueForHTTPHeaderField("application/json", "Content-Type");
    send(std::move(request));
}

void ADKSLeadboltAPIManager::handleBody(const std::string& body) { apiHtmlTag_ = adks::utf8OrEmpty(body); }

std::string ADKSLeadboltAPIManager::displayHTML() const { return pageForAnswer(adTag_, dataTag_, iconFlg_, apiHtmlTag_); }

std::string ADKSLeadboltAPIManager::pageForAnswer(const std::string& adTag, const std::optional<std::string>& dataTag,
                                                  bool icons, const std::string& body) {
    std::string block = dataTag.value_or("");
    if (!icons) return adks::replaceAll(adTag, block, body);
    nlohmann::json answer = nlohmann::json::parse(body, nullptr, false);
    if (!answer.is_array()) return {};
    auto text = [](const nlohmann::json& o, const char* key) {
        auto it = o.find(key);
        return adks::htmlEscape(it != o.end() && it->is_string() ? it->get<std::string>() : std::string());
    };
    std::string links;
    for (const auto& icon : answer) {
        if (!icon.is_object()) continue;
        std::string title = text(icon, "title");
        links += "<a class=\"adk_icon\" target=\"_blank\" href=\"" + text(icon, "clk_url") + "\"><img title=\"" + title +
                 "\" alt=\"\" src=\"" + text(icon, "src_url") + "\"><span class=\"adk_icon_title\"> " + title +
                 " </span></a>";
    }
    return adks::replaceAll(adTag, block, links);
}
