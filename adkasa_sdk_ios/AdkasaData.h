// A configuration from the ad service (AdkasaData) and its ads
// (ADKSJSAdEntity): parsed from the getinfo JSON, archived to and read
// back from the configuration cache file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kADKManagerErrorDomain = "ADKManagerErrorDomain";
constexpr int kADKManagerErrorIncompleteAd = 4;

class ADKSJSAdEntity {
public:
    // An ad object of "settings"; null (with the error's domain and code)
    // unless "user_ad_id" and "html" are strings, "weight" is an object and
    // the HTML decodes to UTF-8 text.
    static std::shared_ptr<ADKSJSAdEntity> initWithObject(const nlohmann::json& object, std::string* errorDomain = nullptr,
                                                          int* errorCode = nullptr);

    bool isValid() const { return valid_; }
    const std::string& adString() const { return adString_; }
    const std::string& htmlString() const { return adString_; }
    const std::string& userAdId() const { return userAdId_; }
    const std::map<std::string, double>& weightList() const { return weightList_; }
    const std::optional<std::string>& adNetworkKey() const { return adNetworkKey_; }
    const std::optional<std::string>& wallType() const { return wallType_; }
    const std::optional<std::string>& placementApid() const { return placementApid_; }
    const std::optional<std::string>& uaId() const { return uaId_; }
    const std::optional<std::string>& siteId() const { return siteId_; }
    const std::optional<std::string>& apiKey() const { return apiKey_; }

    // The weight for the current country code (the locale type is not
    // used), or none.
    std::optional<double> weightForLang(int32_t localeType) const;
    std::string description() const;

    nlohmann::json encode() const;
    static std::shared_ptr<ADKSJSAdEntity> decode(const nlohmann::json& archived);

private:
    bool valid_ = false;
    std::string adString_;
    std::string userAdId_;
    std::map<std::string, double> weightList_;
    std::optional<std::string> adNetworkKey_, wallType_, placementApid_, uaId_, siteId_, apiKey_;
};

class AdkasaData {
public:
    static constexpr float kDefaultCycleTime = 30.0f;
    static constexpr float kMinCycleTime = 1.0f;
    // What an answer may be: a real configuration is a few kilobytes and
    // four levels deep. Anything past these is refused whole.
    static constexpr size_t kMaxAnswerBytes = 4u << 20;
    static constexpr int kMaxNesting = 64;
    // The cache file's bound, for its writer and its reader alike.
    static constexpr size_t kMaxArchiveBytes = 8u << 20;

    // deviceID comes from the saved device id.
    AdkasaData();

    std::optional<std::string> deviceID;
    std::string bgColor;  // six hex digits, or empty
    float updateCycleTime = kDefaultCycleTime;
    std::vector<std::shared_ptr<ADKSJSAdEntity>> adList;
    int32_t ta_off = 0;

    // False unless the bytes are a JSON object whose "result" is "ok".
    bool parseJsonData(const std::string& bytes);
    bool parseJsonObject(const nlohmann::json& root);

    // The cache file's bytes, and back; null when they are not an archive
    // of ours or longer than the bound (an archive can be longer than its
    // answer: the HTML is escaped, not base64).
    std::string archive() const;
    static std::shared_ptr<AdkasaData> unarchive(const std::string& bytes);

    // Seconds as given: missing, zero, negative or not finite -> 30, below
    // one second -> 1.
    static float sanitizedCycleTime(std::optional<double> seconds);
};
