#include "platform/ns/NSDeviceFacts.h"

#include <glib.h>

#include <clocale>
#include <mutex>

namespace KelpaPlatform {

namespace {

std::mutex gLock;
std::shared_ptr<DeviceFacts> gFacts;
std::shared_ptr<RandomSource> gRandom;

class GLibRandom final : public RandomSource {
public:
    GLibRandom() : rand_(g_rand_new()) {}  // seeded from the system's entropy
    ~GLibRandom() override { g_rand_free(rand_); }
    uint32_t next() override {
        std::lock_guard<std::mutex> guard(lock_);
        return g_rand_int(rand_);
    }

private:
    std::mutex lock_;
    GRand* rand_;
};

// "ja_JP.UTF-8@mod" -> "ja_JP@mod"; "C" and "POSIX" -> "en_US_POSIX".
std::string identifierFromPosix(const std::string& name) {
    if (name.empty() || name == "C" || name == "POSIX" || name.rfind("C.", 0) == 0) return "en_US_POSIX";
    std::string out;
    size_t dot = name.find('.');
    size_t at = name.find('@');
    out = name.substr(0, std::min(dot, at));
    if (at != std::string::npos) out += name.substr(at);
    return out;
}

std::string digestHex(GChecksumType type, const std::string& text) {
    gchar* hex = g_compute_checksum_for_string(type, text.c_str(), static_cast<gssize>(text.size()));
    std::string out = hex ? hex : "";
    g_free(hex);
    return out;
}

}  // namespace

std::string DeviceFacts::currentLocaleIdentifier() const {
    const char* name = std::setlocale(LC_MESSAGES, nullptr);
    std::string n = name ? name : "";
    if (n.empty() || n == "C" || n == "POSIX") {
        // The process never called setlocale: take the user's environment.
        const char* const* langs = g_get_language_names();
        if (langs && langs[0]) n = langs[0];
    }
    return identifierFromPosix(n);
}

std::vector<std::string> DeviceFacts::preferredLanguages() const {
    std::vector<std::string> out;
    const char* const* names = g_get_language_names();
    for (size_t i = 0; names && names[i]; ++i) {
        std::string n = names[i];
        if (n == "C" || n == "POSIX" || n.find('.') != std::string::npos || n.find('@') != std::string::npos) continue;
        std::string lang = n.substr(0, n.find('_'));
        bool seen = false;
        for (auto& l : out) seen = seen || l == lang;
        if (!seen && !lang.empty()) out.push_back(lang);
    }
    if (out.empty()) out.push_back("en");
    return out;
}

std::string DeviceFacts::systemVersion() const {
    gchar* v = g_get_os_info(G_OS_INFO_KEY_VERSION_ID);
    std::string out = v ? v : "0";
    g_free(v);
    return out;
}

std::string DeviceFacts::webUserAgent() const { return defaultWebUserAgent(); }

std::shared_ptr<DeviceFacts> DeviceFacts::current() {
    std::lock_guard<std::mutex> guard(gLock);
    if (!gFacts) gFacts = std::make_shared<DeviceFacts>();
    return gFacts;
}

void DeviceFacts::setCurrent(std::shared_ptr<DeviceFacts> facts) {
    std::lock_guard<std::mutex> guard(gLock);
    gFacts = std::move(facts);
}

std::shared_ptr<RandomSource> RandomSource::current() {
    std::lock_guard<std::mutex> guard(gLock);
    if (!gRandom) gRandom = std::make_shared<GLibRandom>();
    return gRandom;
}

void RandomSource::setCurrent(std::shared_ptr<RandomSource> source) {
    std::lock_guard<std::mutex> guard(gLock);
    gRandom = std::move(source);
}

std::string md5Hex(const std::string& text) { return digestHex(G_CHECKSUM_MD5, text); }
std::string sha1Hex(const std::string& text) { return digestHex(G_CHECKSUM_SHA1, text); }

std::string percentEscape(const std::string& text) {
    // Every byte, NUL too: a value must not end early in a URL.
    gchar* escaped = g_uri_escape_bytes(reinterpret_cast<const guint8*>(text.data()), text.size(), nullptr);
    std::string out = escaped ? escaped : "";
    g_free(escaped);
    return out;
}

}  // namespace KelpaPlatform
