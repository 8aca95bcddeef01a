#include "platform/ScreenProfile.h"

#include <cstring>
#include <mutex>

namespace KelpaPlatform {

namespace {

const ScreenProfile kProfiles[] = {
    {"320x480@2", 320, 480, 2, false},
    {"320x568@2", 320, 568, 2, false},
    {"375x667@2", 375, 667, 2, false},
    {"414x736@3", 414, 736, 3, false},
    {"768x1024@2", 768, 1024, 2, true},
};
constexpr int kDefaultProfile = 2;

std::mutex& profileMutex() {
    static std::mutex m;
    return m;
}
ScreenProfile& currentProfileSlot() {
    static ScreenProfile current = kProfiles[kDefaultProfile];
    return current;
}

}  // namespace

int screenProfileCount() { return int(sizeof(kProfiles) / sizeof(kProfiles[0])); }

const ScreenProfile* screenProfileAt(int index) {
    if (index < 0 || index >= screenProfileCount()) return nullptr;
    return &kProfiles[index];
}

const ScreenProfile* findScreenProfile(const char* name) {
    if (!name) return nullptr;
    for (const ScreenProfile& p : kProfiles) {
        if (std::strcmp(p.name, name) == 0) return &p;
    }
    return nullptr;
}

const ScreenProfile& defaultScreenProfile() { return kProfiles[kDefaultProfile]; }

ScreenProfile currentScreenProfile() {
    std::lock_guard<std::mutex> lock(profileMutex());
    return currentProfileSlot();
}

void setCurrentScreenProfile(const ScreenProfile& profile) {
    std::lock_guard<std::mutex> lock(profileMutex());
    currentProfileSlot() = profile;
}

void virtualSizeFor(const ScreenProfile& profile, int32_t designWidth, int32_t designHeight,
                    int32_t* virtualWidth, int32_t* virtualHeight) {
    int32_t vw = designWidth;
    int32_t vh = designHeight;
    if (profile.isPad || profile.isSmallScreen()) {
        vw = 640;
        vh = 960;
    }
    if (virtualWidth) *virtualWidth = vw;
    if (virtualHeight) *virtualHeight = vh;
}

Letterbox letterboxFor(int32_t screenWidth, int32_t screenHeight, int32_t virtualWidth,
                       int32_t virtualHeight) {
    Letterbox box{virtualWidth, virtualHeight, 0, 0, 0, 0};
    if (screenWidth <= 0 || screenHeight <= 0 || virtualWidth <= 0 || virtualHeight <= 0) return box;
    double W = screenWidth, H = screenHeight, vw = virtualWidth, vh = virtualHeight;
    double s = W / vw;
    if (H / W < vh / vw) s = H / vh;
    box.width = int32_t(vw * s);
    box.height = int32_t(vh * s);
    box.offsetX = (screenWidth - box.width) / 2;
    box.offsetY = (screenHeight - box.height) / 2;
    return box;
}

Letterbox letterboxFor(const ScreenProfile& profile, int32_t designWidth, int32_t designHeight) {
    int32_t vw = 0, vh = 0;
    virtualSizeFor(profile, designWidth, designHeight, &vw, &vh);
    return letterboxFor(profile.widthPoints, profile.heightPoints, vw, vh);
}

}  // namespace KelpaPlatform
