// The view tree asks its window for a redisplay only when what it shows
// changes: the host re-adds the interstitial every frame while the game
// wishes it, which must not repaint the window (or, headless, render the
// whole view tree again) each time.
#include <gtest/gtest.h>

#include <memory>

#include "platform/ui/UIWindow.h"

using namespace KelpaPlatform;

namespace {

class CountingSurface : public UIWindowSurface {
public:
    explicit CountingSurface(int* asked) : asked_(asked) {}
    void show() override {}
    void setNeedsDisplay() override { ++*asked_; }
    void* nativeWindow() override { return nullptr; }

private:
    int* asked_;
};

TEST(UIViewTree, AddingTheFrontmostSubviewAgainChangesNothingAndAsksForNoRedisplay) {
    int asked = 0;
    auto window = std::make_shared<UIWindow>(CGRectMake(0, 0, 320, 480));
    window->setSurface(std::make_unique<CountingSurface>(&asked));
    auto back = std::make_shared<UIView>(CGRectMake(0, 0, 10, 10));
    auto front = std::make_shared<UIView>(CGRectMake(0, 0, 10, 10));
    window->addSubview(back);
    window->addSubview(front);
    EXPECT_EQ(asked, 2);

    for (int frame = 0; frame < 5; ++frame) window->addSubview(front);
    EXPECT_EQ(asked, 2);
    ASSERT_EQ(window->subviews().size(), 2u);
    EXPECT_EQ(window->subviews().back().get(), front.get());

    // Brought to the front: that is a change.
    window->addSubview(back);
    EXPECT_GT(asked, 2);
    ASSERT_EQ(window->subviews().size(), 2u);
    EXPECT_EQ(window->subviews().back().get(), back.get());
}

}  // namespace
