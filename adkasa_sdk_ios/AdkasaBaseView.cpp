#include "adkasa_sdk_ios/AdkasaBaseView.h"

#include <atomic>

using namespace KelpaPlatform;

namespace {
uint64_t nextNotificationToken() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}
}  // namespace

AdkasaBaseView::AdkasaBaseView(const CGRect& frame) : UIView(frame), notificationToken_(nextNotificationToken()) {
    setBackgroundColor(std::nullopt);
}

AdkasaBaseView::~AdkasaBaseView() = default;

void AdkasaBaseView::setAppID(const std::string& appID) { appID_ = appID; }
