// How large the form is drawn. The form is designed at 1x; every pixel
// quantity on screen is derived from its 1x value through this one rule, so
// that s = 1 reproduces the designed pixels exactly and every other size is
// rounded once, never accumulated.
#pragma once

#include <algorithm>
#include <cmath>

namespace orvo {

struct Box;

class Scale {
public:
    static constexpr double kMin = 1.0;
    static constexpr double kMax = 3.0;

    Scale() = default;
    // Out-of-range and non-finite requests land on the nearest size we draw.
    explicit Scale(double s) : s_(std::isfinite(s) ? std::clamp(s, kMin, kMax) : kMin) {}

    double factor() const { return s_; }
    bool unity() const { return s_ == 1.0; }
    // A 1x length or coordinate at this scale.
    int px(int v) const { return static_cast<int>(std::lround(v * s_)); }
    // Edges are scaled, not the width, so neighbouring boxes still meet.
    template <class B>
    B box(B b) const {
        const int l = px(b.left), t = px(b.top);
        return B{l, t, px(b.left + b.width) - l, px(b.top + b.height) - t};
    }
    // Pen width of the 1-pixel lines of the design.
    int line() const { return std::max(1, static_cast<int>(std::lround(s_))); }

    bool operator==(const Scale&) const = default;

private:
    double s_ = 1.0;
};

}  // namespace orvo
