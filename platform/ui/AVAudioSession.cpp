#include "platform/ui/AVAudioSession.h"

namespace KelpaPlatform {

AVAudioSession& AVAudioSession::sharedInstance() {
    static AVAudioSession session;
    return session;
}

bool AVAudioSession::setCategory(const std::string& category) {
    category_ = category;
    return true;
}

bool AVAudioSession::setActive(bool active) {
    active_ = active;
    return true;
}

std::string AVAudioSession::category() const { return category_; }
bool AVAudioSession::isActive() const { return active_; }

}  // namespace KelpaPlatform
