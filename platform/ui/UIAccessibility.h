// Accessibility traits, as the phone's bits.
#pragma once

#include <cstdint>

namespace KelpaPlatform {

using UIAccessibilityTraits = uint64_t;
constexpr UIAccessibilityTraits UIAccessibilityTraitNone = 0;
constexpr UIAccessibilityTraits UIAccessibilityTraitButton = 1 << 0;
constexpr UIAccessibilityTraits UIAccessibilityTraitLink = 1 << 1;
constexpr UIAccessibilityTraits UIAccessibilityTraitImage = 1 << 2;
constexpr UIAccessibilityTraits UIAccessibilityTraitSelected = 1 << 3;
constexpr UIAccessibilityTraits UIAccessibilityTraitStaticText = 1 << 6;
constexpr UIAccessibilityTraits UIAccessibilityTraitNotEnabled = 1 << 8;

}  // namespace KelpaPlatform
