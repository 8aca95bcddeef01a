#include "adkasa_sdk_ios/AdkasaData.h"

#include <glib.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <nlohmann/json.hpp>

#include "adkasa_sdk_ios/ADKSBase64Util.h"
#include "adkasa_sdk_ios/ADKSPatterns.h"
#include "adkasa_sdk_ios/AdkasaEnvironment.h"

using nlohmann::json;

namespace {

constexpr const char* kDeviceIdKey = "AdkasaSDK_Device_Id";
constexpr const char* kArchiveFormat = "adkasa-config-cache";
constexpr int kArchiveVersion = 1;

// A string, or a number written as its decimal text.
std::optional<std::string> textOf(const json& v) {
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number_integer()) return v.dump();
    if (v.is_number_float()) {
        double d = v.get<double>();
        if (std::isfinite(d) && d == std::floor(d) && std::fabs(d) < 1e15) return std::to_string(static_cast<long long>(d));
        return v.dump();
    }
    return std::nullopt;
}

std::optional<std::string> stringOf(const json& v) {
    if (v.is_string()) return v.get<std::string>();
    return std::nullopt;
}

std::optional<double> numberOf(const json& v) {
    if (v.is_number()) return v.get<double>();
    return std::nullopt;
}

int32_t int32Of(const json& v) {
    if (v.is_number_integer()) {
        if (v.is_number_unsigned()) {
            auto u = v.get<uint64_t>();
            return u > static_cast<uint64_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(u);
        }
        auto i = v.get<int64_t>();
        if (i > INT32_MAX) return INT32_MAX;
        if (i < INT32_MIN) return INT32_MIN;
        return static_cast<int32_t>(i);
    }
    if (v.is_number_float()) {
        double d = v.get<double>();
        if (!std::isfinite(d)) return 0;
        if (d >= 2147483647.0) return INT32_MAX;
        if (d <= -2147483648.0) return INT32_MIN;
        return static_cast<int32_t>(d);
    }
    return 0;
}

json optionalText(const std::optional<std::string>& v) { return v ? json(*v) : json(nullptr); }

// Builds the document as the library does, but stops at the first array or
// object past the nesting bound instead of building millions of levels.
class BoundedDom : public nlohmann::detail::json_sax_dom_parser<json> {
public:
    explicit BoundedDom(json& root) : json_sax_dom_parser(root, false) {}
    bool start_object(std::size_t n) { return ++depth_ <= AdkasaData::kMaxNesting && json_sax_dom_parser::start_object(n); }
    bool start_array(std::size_t n) { return ++depth_ <= AdkasaData::kMaxNesting && json_sax_dom_parser::start_array(n); }
    bool end_object() { return --depth_, json_sax_dom_parser::end_object(); }
    bool end_array() { return --depth_, json_sax_dom_parser::end_array(); }

private:
    int depth_ = 0;
};

// The document, or a discarded value when the text is no JSON or nests too
// deep.
json parseBounded(const std::string& bytes) {
    json root;
    BoundedDom sax(root);
    if (!json::sax_parse(bytes, &sax)) return json(json::value_t::discarded);
    return root;
}

}  // namespace

std::shared_ptr<ADKSJSAdEntity> ADKSJSAdEntity::initWithObject(const json& object, std::string* errorDomain,
                                                               int* errorCode) {
    auto fail = [&]() -> std::shared_ptr<ADKSJSAdEntity> {
        if (errorDomain) *errorDomain = kADKManagerErrorDomain;
        if (errorCode) *errorCode = kADKManagerErrorIncompleteAd;
        return nullptr;
    };
    if (!object.is_object()) return fail();
    auto id = object.find("user_ad_id");
    if (id == object.end() || !id->is_string()) return fail();
    auto weight = object.find("weight");
    if (weight == object.end() || !weight->is_object()) return fail();
    auto html = object.find("html");
    if (html == object.end() || !html->is_string()) return fail();
    auto decoded = ADKSBase64Util::stringFromBase64String(html->get<std::string>());
    if (!decoded) return fail();

    auto e = std::make_shared<ADKSJSAdEntity>();
    e->userAdId_ = id->get<std::string>();
    for (auto it = weight->begin(); it != weight->end(); ++it) {
        if (auto n = numberOf(it.value())) e->weightList_[it.key()] = *n;
    }
    e->adString_ = std::move(*decoded);
    if (auto k = object.find("adnetwork_key"); k != object.end()) e->adNetworkKey_ = stringOf(*k);
    if (auto w = object.find("wall_type"); w != object.end()) e->wallType_ = textOf(*w);
    if (auto p = object.find("param"); p != object.end() && p->is_object()) {
        auto take = [&](const char* key, std::optional<std::string>& into) {
            if (auto v = p->find(key); v != p->end()) into = textOf(*v);
        };
        take("placement_apid", e->placementApid_);
        take("u", e->uaId_);
        take("site_id", e->siteId_);
        take("api_key", e->apiKey_);
    }
    return e;
}

std::optional<double> ADKSJSAdEntity::weightForLang(int32_t) const {
    auto it = weightList_.find(AdkasaEnvironment::shared().countryCode());
    if (it == weightList_.end()) return std::nullopt;
    return it->second;
}

std::string ADKSJSAdEntity::description() const {
    char address[32];
    std::snprintf(address, sizeof address, "%08X", static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)));
    json weights(weightList_);
    return "\n<ADKSJSAdEntity = " + std::string(address) + " | UserAdId = " + userAdId_ +
           " | AdNetworkKey = " + adNetworkKey_.value_or("(null)") + " | WeightList = " + weights.dump() +
           " | HtmlString = " + adString_ + ">\n\n";
}

json ADKSJSAdEntity::encode() const {
    return json{{"_valid", valid_},
                {"_adString", adString_},
                {"_userAdId", userAdId_},
                {"_weightList", weightList_},
                {"_adNetworkKey", optionalText(adNetworkKey_)},
                {"_wallType", optionalText(wallType_)},
                {"_placementApid", optionalText(placementApid_)},
                {"_uaId", optionalText(uaId_)},
                {"_siteId", optionalText(siteId_)},
                {"_apiKey", optionalText(apiKey_)}};
}

std::shared_ptr<ADKSJSAdEntity> ADKSJSAdEntity::decode(const json& a) {
    if (!a.is_object()) return nullptr;
    auto e = std::make_shared<ADKSJSAdEntity>();
    auto str = [&](const char* key) -> std::optional<std::string> {
        auto it = a.find(key);
        return it == a.end() ? std::nullopt : stringOf(*it);
    };
    if (auto v = a.find("_valid"); v != a.end() && v->is_boolean()) e->valid_ = v->get<bool>();
    e->adString_ = str("_adString").value_or("");
    // HTML we will hand to a web view must be text.
    if (!g_utf8_validate(e->adString_.data(), static_cast<gssize>(e->adString_.size()), nullptr)) return nullptr;
    e->userAdId_ = str("_userAdId").value_or("");
    if (auto w = a.find("_weightList"); w != a.end() && w->is_object()) {
        for (auto it = w->begin(); it != w->end(); ++it) {
            if (auto n = numberOf(it.value())) e->weightList_[it.key()] = *n;
        }
    }
    e->adNetworkKey_ = str("_adNetworkKey");
    e->wallType_ = str("_wallType");
    e->placementApid_ = str("_placementApid");
    e->uaId_ = str("_uaId");
    e->siteId_ = str("_siteId");
    e->apiKey_ = str("_apiKey");
    return e;
}

AdkasaData::AdkasaData() {
    auto saved = AdkasaEnvironment::shared().defaults()->stringForKey(kDeviceIdKey);
    if (saved) deviceID = *saved;
}

float AdkasaData::sanitizedCycleTime(std::optional<double> seconds) {
    if (!seconds || !std::isfinite(*seconds) || *seconds <= 0) return kDefaultCycleTime;
    if (*seconds < kMinCycleTime) return kMinCycleTime;
    if (*seconds > std::numeric_limits<float>::max()) return kDefaultCycleTime;
    return static_cast<float>(*seconds);
}

bool AdkasaData::parseJsonData(const std::string& bytes) {
    if (bytes.size() > kMaxAnswerBytes) return false;
    json root = parseBounded(bytes);
    if (root.is_discarded()) return false;
    return parseJsonObject(root);
}

bool AdkasaData::parseJsonObject(const json& root) {
    if (!root.is_object()) return false;
    auto result = root.find("result");
    if (result == root.end() || !result->is_string() || result->get<std::string>() != "ok") return false;

    if (!deviceID || deviceID->empty()) {
        if (auto id = root.find("device_id"); id != root.end() && id->is_string()) {
            deviceID = id->get<std::string>();
            auto defaults = AdkasaEnvironment::shared().defaults();
            defaults->setString(kDeviceIdKey, *deviceID);
            defaults->synchronize();
        }
    }
    if (auto c = root.find("bg_color"); c != root.end() && c->is_string() && adks::isHexColor(c->get<std::string>())) {
        bgColor = c->get<std::string>();
    } else {
        bgColor.clear();
    }
    auto cycle = root.find("cycle_time");
    updateCycleTime = sanitizedCycleTime(cycle == root.end() ? std::nullopt : numberOf(*cycle));
    adList.clear();
    if (auto s = root.find("settings"); s != root.end() && s->is_array()) {
        // An incomplete ad is left out; the others still count.
        for (const auto& ad : *s) {
            if (auto e = ADKSJSAdEntity::initWithObject(ad)) adList.push_back(std::move(e));
        }
    }
    auto ta = root.find("ta_off");
    ta_off = ta == root.end() ? 0 : int32Of(*ta);
    return true;
}

std::string AdkasaData::archive() const {
    json list = json::array();
    for (const auto& e : adList) list.push_back(e->encode());
    json root{{"deviceID", optionalText(deviceID)},
              {"bgColor", bgColor},
              {"updateCycleTime", updateCycleTime},
              {"adList", list},
              {"ta_off", ta_off}};
    return json{{"format", kArchiveFormat}, {"version", kArchiveVersion}, {"root", root}}.dump();
}

std::shared_ptr<AdkasaData> AdkasaData::unarchive(const std::string& bytes) {
    if (bytes.size() > kMaxArchiveBytes) return nullptr;
    json doc = parseBounded(bytes);
    if (doc.is_discarded() || !doc.is_object()) return nullptr;
    auto format = doc.find("format");
    if (format == doc.end() || *format != kArchiveFormat) return nullptr;
    auto version = doc.find("version");
    if (version == doc.end() || !version->is_number_integer() || *version != kArchiveVersion) return nullptr;
    auto r = doc.find("root");
    if (r == doc.end() || !r->is_object()) return nullptr;

    auto data = std::make_shared<AdkasaData>();
    data->deviceID.reset();
    if (auto v = r->find("deviceID"); v != r->end()) data->deviceID = stringOf(*v);
    data->bgColor.clear();
    if (auto v = r->find("bgColor"); v != r->end() && v->is_string() && adks::isHexColor(v->get<std::string>())) {
        data->bgColor = v->get<std::string>();
    }
    auto cycle = r->find("updateCycleTime");
    data->updateCycleTime = sanitizedCycleTime(cycle == r->end() ? std::nullopt : numberOf(*cycle));
    if (auto v = r->find("adList"); v != r->end()) {
        if (!v->is_array()) return nullptr;
        for (const auto& a : *v) {
            auto e = ADKSJSAdEntity::decode(a);
            if (!e) return nullptr;
            data->adList.push_back(std::move(e));
        }
    }
    auto ta = r->find("ta_off");
    data->ta_off = (ta != r->end() && ta->is_number()) ? int32Of(*ta) : 0;
    return data;
}
