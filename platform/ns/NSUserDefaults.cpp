#include "platform/ns/NSUserDefaults.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <cerrno>
#include <cstdlib>

namespace KelpaPlatform {

namespace {

constexpr const char* kStrings = "string";
constexpr const char* kDates = "date";
constexpr const char* kIntegers = "integer";

// GKeyFile keys may not hold "=", "[" or line breaks; the store's keys may.
std::string fileKey(const std::string& key) {
    char* escaped = g_uri_escape_string(key.c_str(), nullptr, FALSE);
    std::string out = escaped ? escaped : "";
    g_free(escaped);
    return out;
}

std::mutex gStandardLock;
std::shared_ptr<NSUserDefaults> gStandard;

}  // namespace

NSUserDefaults::NSUserDefaults(std::string path) : path_(std::move(path)), file_(g_key_file_new()) {
    // A missing or unreadable file starts an empty store.
    g_key_file_load_from_file(file_, path_.c_str(), G_KEY_FILE_NONE, nullptr);
}

NSUserDefaults::~NSUserDefaults() { g_key_file_free(file_); }

std::shared_ptr<NSUserDefaults> NSUserDefaults::standardUserDefaults() {
    std::lock_guard<std::mutex> guard(gStandardLock);
    if (!gStandard) {
        const char* name = g_get_prgname();
        std::string dir = std::string(g_get_user_config_dir()) + "/" + (name && *name ? name : "mekko");
        gStandard = std::make_shared<NSUserDefaults>(dir + "/defaults.ini");
    }
    return gStandard;
}

void NSUserDefaults::setStandardUserDefaults(std::shared_ptr<NSUserDefaults> defaults) {
    std::lock_guard<std::mutex> guard(gStandardLock);
    gStandard = std::move(defaults);
}

std::optional<std::string> NSUserDefaults::stringForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(lock_);
    gchar* value = g_key_file_get_string(file_, kStrings, fileKey(key).c_str(), nullptr);
    if (!value) return std::nullopt;
    std::string out = value;
    g_free(value);
    return out;
}

void NSUserDefaults::setString(const std::string& key, const std::string& value) {
    std::lock_guard<std::mutex> guard(lock_);
    g_key_file_set_string(file_, kStrings, fileKey(key).c_str(), value.c_str());
}

std::optional<double> NSUserDefaults::dateForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(lock_);
    GError* error = nullptr;
    double value = g_key_file_get_double(file_, kDates, fileKey(key).c_str(), &error);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    return value;
}

void NSUserDefaults::setDate(const std::string& key, double secondsSince1970) {
    std::lock_guard<std::mutex> guard(lock_);
    g_key_file_set_double(file_, kDates, fileKey(key).c_str(), secondsSince1970);
}

std::optional<int64_t> NSUserDefaults::integerForKey(const std::string& key) const {
    std::lock_guard<std::mutex> guard(lock_);
    GError* error = nullptr;
    gint64 value = g_key_file_get_int64(file_, kIntegers, fileKey(key).c_str(), &error);
    if (error) {
        g_error_free(error);
        return std::nullopt;
    }
    return value;
}

void NSUserDefaults::setInteger(const std::string& key, int64_t value) {
    std::lock_guard<std::mutex> guard(lock_);
    g_key_file_set_int64(file_, kIntegers, fileKey(key).c_str(), value);
}

void NSUserDefaults::removeObjectForKey(const std::string& key) {
    std::lock_guard<std::mutex> guard(lock_);
    std::string k = fileKey(key);
    for (const char* group : {kStrings, kDates, kIntegers}) g_key_file_remove_key(file_, group, k.c_str(), nullptr);
}

bool NSUserDefaults::synchronize() {
    std::lock_guard<std::mutex> guard(lock_);
    gchar* dir = g_path_get_dirname(path_.c_str());
    g_mkdir_with_parents(dir, 0700);
    g_free(dir);
    // g_key_file_save_to_file writes a temporary file and renames it.
    return g_key_file_save_to_file(file_, path_.c_str(), nullptr) != FALSE;
}

}  // namespace KelpaPlatform
