// The root view controller: owns the GL view, the two banners and the
// interstitial, starts the game thread once its view has appeared, turns
// touches into pending touches and lifecycle notifications into the
// host's flags, and carries out the game's ad wishes on the main queue.
#pragma once

#include <memory>

#include "adkasa_sdk_ios/AdkasaPopupView.h"
#include "engine/ios/PendingTouch.h"
#include "adkasa_sdk_ios/AdkasaView.h"
#include "platform/ns/NSThread.h"
#include "platform/ui/UIViewController.h"

namespace KelpaHost {

class MainGLView;

// Placement identifiers.
extern const char* const kTopBannerPlacement;
extern const char* const kBottomBannerPlacement;
extern const char* const kInterstitialPlacement;

// How the controller makes its ad views (tests record what it does to them).
class AdViewMaker {
public:
    virtual ~AdViewMaker() = default;
    virtual std::shared_ptr<AdkasaView> makeBanner(const KelpaPlatform::CGRect& frame);
    virtual std::shared_ptr<AdkasaPopupView> makePopup();
};

// A touch at a point of the root view (which fills the screen) as the game
// gets it: in the scene's coordinates. Any thread.
KelpaEngine::iOS::TouchSample touchSampleAt(const KelpaPlatform::CGPoint& inView, int32_t count, int32_t phase);

class ViewController : public KelpaPlatform::UIViewController,
                       public AdkasaViewDelegate,
                       public AdkasaPopupViewDelegate {
public:
    ViewController();
    ~ViewController() override;

    std::shared_ptr<KelpaPlatform::UIView> loadView() override;
    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;

    // The game thread's body (its lifecycle observers are registered
    // when it is started).
    void mThread();

    // Game thread, once per frame: each posts one block to the main queue.
    void adkasaBannerController();
    void adkasaInterController();
    // The blocks (main queue).
    void bannerBlock();
    void interstitialBlock();

    // Ad delegate (main thread); serves all three ad views.
    void adkasaViewDidFinishLoad(AdkasaView* view) override;
    void adkasaViewAdTapped(AdkasaView* view) override;
    void adkasaViewAdFailed(AdkasaView* view) override;
    void adkasaViewDidFinishLoad(AdkasaPopupView* view) override;
    void adkasaViewAdTapped(AdkasaPopupView* view) override;
    void adkasaViewAdFailed(AdkasaPopupView* view) override;
    void adkasaViewAdClose(AdkasaPopupView* view) override;

    // Lifecycle handlers (main thread, from the notifications).
    void applicationWillResignActive();
    void applicationWillEnterForeground();
    void applicationDidBecomeActive();
    void applicationWillTerminate();

    // Touch capture: began, moved, ended; cancelled touches are ignored.
    void touchesBegan(const KelpaPlatform::UITouchSet& touches) override;
    void touchesMoved(const KelpaPlatform::UITouchSet& touches) override;
    void touchesEnded(const KelpaPlatform::UITouchSet& touches) override;
    void touchesCancelled(const KelpaPlatform::UITouchSet& touches) override;

    std::shared_ptr<AdkasaView> adView1;
    std::shared_ptr<AdkasaView> adView2;
    std::shared_ptr<AdkasaPopupView> adPopUp;

    MainGLView* glView() const { return glView_; }
    bool gameThreadStarted() const { return thread_ != nullptr; }
    // Waits at most timeoutMs for the game thread to end; true when it has
    // (or never started).
    bool waitForGameThread(int timeoutMs);

private:
    void capture(const KelpaPlatform::UITouchSet& touches, int32_t phase);
    void clearInterstitialWish();
    void adTapped();

    MainGLView* glView_ = nullptr;
    std::shared_ptr<KelpaPlatform::NSThread> thread_;
    bool appeared_ = false;
    bool pausedByAd_ = false;   // the game waits for the user's return
    bool swallowing_ = false;   // the touch that brought it back
};

}  // namespace KelpaHost
