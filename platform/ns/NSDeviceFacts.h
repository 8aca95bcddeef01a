// What the ad client asks of the device: locale and languages, the app's
// bundle values, the OS version, the web user agent, the advertising
// identifier (there is none on Linux) and a random source. Each is a seam
// that tests replace.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace KelpaPlatform {

class DeviceFacts {
public:
    virtual ~DeviceFacts() = default;
    // The process locale as a locale identifier ("ja_JP", "en_US@euro"),
    // without its codeset.
    virtual std::string currentLocaleIdentifier() const;
    // The user's languages, most preferred first ("ja", "en").
    virtual std::vector<std::string> preferredLanguages() const;
    virtual std::optional<std::string> bundleShortVersionString() const { return shortVersion_; }
    virtual std::optional<std::string> bundleIdentifier() const { return identifier_; }
    virtual std::string systemVersion() const;
    virtual std::string webUserAgent() const;
    // Null when the device has no advertising identifier.
    virtual std::optional<std::string> advertisingIdentifier() const { return std::nullopt; }
    virtual bool advertisingTrackingEnabled() const { return false; }

    void setBundleShortVersionString(std::optional<std::string> v) { shortVersion_ = std::move(v); }
    void setBundleIdentifier(std::optional<std::string> v) { identifier_ = std::move(v); }

    static std::shared_ptr<DeviceFacts> current();
    static void setCurrent(std::shared_ptr<DeviceFacts> facts);

private:
    std::optional<std::string> shortVersion_;
    std::optional<std::string> identifier_;
};

class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual uint32_t next() = 0;  // uniform over 32 bits

    static std::shared_ptr<RandomSource> current();
    static void setCurrent(std::shared_ptr<RandomSource> source);
};

// Digests of a text's UTF-8 bytes, as lowercase hex.
std::string md5Hex(const std::string& text);
std::string sha1Hex(const std::string& text);

// Percent-escapes every byte but ASCII letters, digits and "-._~" (so also
// "!*'();:@&=+$,/?%#[]" and all non-ASCII bytes).
std::string percentEscape(const std::string& text);

// The user agent a new web view gets (WebKitGTK's unless replaced); empty
// while GTK has no display and none was set.
std::string defaultWebUserAgent();
// Replaces the user agent of web views made from now on.
void setDefaultWebUserAgent(const std::string& agent);

}  // namespace KelpaPlatform
