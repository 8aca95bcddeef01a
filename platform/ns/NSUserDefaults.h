// A small key store kept in one file (by default in the user's XDG config
// folder). Values are strings, dates (seconds since the Unix epoch) and
// integers. synchronize writes the whole store atomically: a new file is
// written and renamed over the old one, so a crash leaves either.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

typedef struct _GKeyFile GKeyFile;

namespace KelpaPlatform {

class NSUserDefaults {
public:
    // A store kept in the file at `path` (read now when it exists).
    explicit NSUserDefaults(std::string path);
    ~NSUserDefaults();
    NSUserDefaults(const NSUserDefaults&) = delete;
    NSUserDefaults& operator=(const NSUserDefaults&) = delete;

    // $XDG_CONFIG_HOME/<program name>/defaults.ini unless replaced.
    static std::shared_ptr<NSUserDefaults> standardUserDefaults();
    static void setStandardUserDefaults(std::shared_ptr<NSUserDefaults> defaults);

    std::optional<std::string> stringForKey(const std::string& key) const;
    void setString(const std::string& key, const std::string& value);
    std::optional<double> dateForKey(const std::string& key) const;
    void setDate(const std::string& key, double secondsSince1970);
    std::optional<int64_t> integerForKey(const std::string& key) const;
    void setInteger(const std::string& key, int64_t value);
    void removeObjectForKey(const std::string& key);

    // Writes the store; false when the file could not be written.
    bool synchronize();
    const std::string& path() const { return path_; }

private:
    std::string path_;
    mutable std::mutex lock_;
    GKeyFile* file_ = nullptr;
};

}  // namespace KelpaPlatform
