// The shared audio session: the category the app plays in. Sound output here
// mixes with other programs whatever the category, so it is only kept.
#pragma once

#include <string>

namespace KelpaPlatform {

class AVAudioSession {
public:
    static AVAudioSession& sharedInstance();
    bool setCategory(const std::string& category);
    bool setActive(bool active);
    std::string category() const;
    bool isActive() const;

private:
    std::string category_;
    bool active_ = false;
};

}  // namespace KelpaPlatform
