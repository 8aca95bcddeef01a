// The one description of the device screen: size in points, scale and
// whether it is a pad. The application's screen size, the pad and
// small-screen flags, the letterbox, the touch mapping and the host's frame
// size are all derived from it.
#pragma once

#include <cstdint>

namespace KelpaPlatform {

struct ScreenProfile {
    const char* name;       // e.g. "375x667@2"
    int32_t widthPoints;    // portrait width
    int32_t heightPoints;   // portrait height
    uint32_t scale;         // pixels per point
    bool isPad;

    int32_t pixelWidth() const { return widthPoints * int32_t(scale); }
    int32_t pixelHeight() const { return heightPoints * int32_t(scale); }
    // Screens less than 568 points high use the wider drawing space too.
    bool isSmallScreen() const { return double(heightPoints) < 568.0; }
};

// The named profiles: "320x480@2", "320x568@2", "375x667@2", "414x736@3",
// "768x1024@2" (the pad).
int screenProfileCount();
const ScreenProfile* screenProfileAt(int index);
// By name; null when there is no such profile.
const ScreenProfile* findScreenProfile(const char* name);
const ScreenProfile& defaultScreenProfile();  // "375x667@2"

// The profile of this process's screen: the default until set. The host
// sets it before the game thread starts; the GL set-up reads it.
ScreenProfile currentScreenProfile();
void setCurrentScreenProfile(const ScreenProfile& profile);

// Where the virtual drawing space lands on the screen, in points.
struct Letterbox {
    int32_t virtualWidth, virtualHeight;  // 640 x 960 on pads and small screens
    int32_t offsetX, offsetY;
    int32_t width, height;
};

// The virtual size the drawing space takes on this screen, given the design size.
void virtualSizeFor(const ScreenProfile& profile, int32_t designWidth, int32_t designHeight,
                    int32_t* virtualWidth, int32_t* virtualHeight);
// The letterbox of a vw x vh space on a W x H point screen: the space is
// scaled to fit the width, or the height when the screen is relatively wider,
// and centred.
Letterbox letterboxFor(int32_t screenWidth, int32_t screenHeight, int32_t virtualWidth,
                       int32_t virtualHeight);
// Both of the above for a profile.
Letterbox letterboxFor(const ScreenProfile& profile, int32_t designWidth, int32_t designHeight);

}  // namespace KelpaPlatform
