// The spinning wheel: twelve spokes, the brightest one turning a step at a
// time while it animates (on the given clock).
#pragma once

#include <memory>

#include "platform/ui/UIView.h"

namespace KelpaPlatform {

class Clock;

enum class UIActivityIndicatorViewStyle { WhiteLarge, White, Gray };

class UIActivityIndicatorView : public UIView {
public:
    explicit UIActivityIndicatorView(UIActivityIndicatorViewStyle style, std::shared_ptr<Clock> clock);
    ~UIActivityIndicatorView() override;

    void startAnimating();
    void stopAnimating();
    bool isAnimating() const { return animating_; }
    // The spoke that is brightest now (0 to 11).
    int step() const { return step_; }

    void drawRect(cairo_t* cr) override;

private:
    void tick();

    UIActivityIndicatorViewStyle style_;
    std::shared_ptr<Clock> clock_;
    bool animating_ = false;
    int step_ = 0;
    uint64_t timer_ = 0;
};

}  // namespace KelpaPlatform
