#include "adkasa_sdk_ios/AdkasaPopupView.h"

AdkasaPopupView::AdkasaPopupView() : AdkasaBaseView(KelpaPlatform::CGRect()) {}

AdkasaPopupView::~AdkasaPopupView() = default;

void AdkasaPopupView::setDelegate(AdkasaPopupViewDelegate* delegate) { delegate_ = delegate; }
void AdkasaPopupView::setSchedule(int32_t every) { schedule_ = every; }
void AdkasaPopupView::setScheduleFirst(int32_t first) { scheduleFirst_ = first; }
void AdkasaPopupView::setDisplayCount(int32_t count) { displayCount_ = count; }
void AdkasaPopupView::startShowAd() {}
void AdkasaPopupView::preloadAd() {}
void AdkasaPopupView::preloadShowAd() {}
