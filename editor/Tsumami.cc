#include "Tsumami.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <numbers>

namespace orvo {

int nearestInt(long double x) {
    if (std::isnan(x)) return 0;
    if (x >= static_cast<long double>(INT_MAX)) return INT_MAX;
    if (x <= static_cast<long double>(INT_MIN)) return INT_MIN;
    // nearbyint follows the current rounding mode; the host may have changed
    // it, so round explicitly.
    long double f = std::floor(x);
    long double diff = x - f;
    if (diff > 0.5L) return static_cast<int>(f) + 1;
    if (diff < 0.5L) return static_cast<int>(f);
    return std::fmod(f, 2.0L) == 0.0L ? static_cast<int>(f) : static_cast<int>(f) + 1;
}

TTsumami::TTsumami(Platform& platform, Widget parent, Box box, Scale scale)
    : platform(platform), box(box), scale(scale) {
    handle = platform.createKnob(parent, box, this);
    setPosition(50);
    // One step is pi/65, so 0 and 100 sit symmetrically about the bottom gap.
    // Extended precision, then stored as float, keeps the drawn pixels stable
    // across compilers.
    const long double pi = std::numbers::pi_v<long double>;
    for (int i = 0; i <= 50; ++i) {
        long double a = pi / 2 - i * pi / 65;
        fPointerY[50 + i] = static_cast<float>(-std::sin(a));
        fPointerX[50 + i] = static_cast<float>(std::cos(a));
        fPointerY[50 - i] = fPointerY[50 + i];
        fPointerX[50 - i] = -fPointerX[50 + i];
    }
}

void TTsumami::setPosition(int newPosition) {
    position = newPosition;
    platform.invalidate(handle);
    if (OnChange) OnChange(*this);
}

void TTsumami::leftPress() {
    // Whoever held the capture (another knob mid-drag, say) loses it first.
    platform.releaseCapture();
    platform.setCapture(handle);
    fStartPoint = platform.cursorPos();
    fStartPosition = position;
    if (Dragging) return;  // a second press without a release: one drag
    Dragging = true;
    if (OnDrag) OnDrag(*this, true);
}

void TTsumami::mouseMove() {
    if (!Dragging) return;
    fCurrentPoint = platform.cursorPos();
    // Always measured from the press, so moving back undoes the change; the
    // axes are rounded separately so each contributes whole steps. Measured
    // in design pixels, so a drag feels the same at every scale.
    const long double perPixel = 0.5L / scale.factor();
    long long dx = static_cast<long long>(fCurrentPoint.x) - fStartPoint.x;
    long long dy = static_cast<long long>(fStartPoint.y) - fCurrentPoint.y;
    long long n = static_cast<long long>(nearestInt(dx * perPixel)) + nearestInt(dy * perPixel) + fStartPosition;
    n = std::clamp<long long>(n, 0, 100);
    setPosition(static_cast<int>(n));
}

void TTsumami::leftRelease() {
    platform.releaseCapture();
    endDrag();
}

void TTsumami::endDrag() {
    if (!Dragging) return;
    Dragging = false;
    if (OnDrag) OnDrag(*this, false);
}

void TTsumami::captureLost() {
    // Another window took the mouse: no release will come, so the drag ends
    // here rather than leaving the knob deaf to automation.
    endDrag();
}

void TTsumami::paint(Canvas& c) {
    const int W = box.width;
    const int H = box.height;
    // The setter accepts anything; the tables only cover 0..100.
    const std::size_t p = static_cast<std::size_t>(std::clamp(position, 0, 100));
    auto R = [](long double x) { return nearestInt(x); };
    auto S = [this](int designPixels) { return scale.px(designPixels); };
    const long double px = fPointerX[p];
    const long double py = fPointerY[p];

    c.setPen(Colour::Black);
    c.setBrush(Colour::BtnFace);
    c.ellipse(S(2), S(2), W - S(4), H - S(4));

    // The arcs' end rays come from the 1x size's fifths: whole pixels there,
    // so the bevel turns at the same angles at every scale.
    const int fifthW = R(W / static_cast<long double>(scale.factor())) / 5;
    const int fifthH = R(H / static_cast<long double>(scale.factor())) / 5;
    const int ax = S(fifthW), ay = S(fifthH);
    c.setPen(Colour::BtnHighlight);
    c.arc(S(4), S(4), W - S(6), H - S(6), 4 * ax, ay, ax, 4 * ay);
    c.setPen(Colour::BtnShadow);
    c.arc(S(4), S(4), W - S(6), H - S(6), ax, 4 * ay, 4 * ax, ay);

    // Three strokes side by side give the pointer its bevel.
    const int cx = R(W * 0.5L), cy = R(H * 0.5L);
    const int dx = R((W - S(2)) * px * 0.5L), dy = R((H - S(2)) * py * 0.5L);
    c.setPen(Colour::BtnShadow);
    c.moveTo(cx, cy);
    c.lineTo(cx + dx, cy + dy);
    c.setPen(Colour::BtnHighlight);
    c.moveTo(cx - S(2), cy - S(2));
    c.lineTo(cx - S(2) + dx, cy - S(2) + dy);
    c.setPen(Colour::Black);
    c.moveTo(cx - S(1), cy - S(1));
    c.lineTo(cx - S(1) + R((W - S(4)) * px * 0.5L), cy - S(1) + R((H - S(4)) * py * 0.5L));

    c.setPen(Colour::Black);
    for (std::size_t q : {std::size_t{100}, std::size_t{50}, std::size_t{0}}) {
        const long double qx = fPointerX[q], qy = fPointerY[q];
        c.moveTo(R((W - S(6)) * qx * 0.5L + W * 0.5L) - S(1), R((H - S(6)) * qy * 0.5L + H * 0.5L) - S(1));
        c.lineTo(R(W * qx * 0.5L + W * 0.5L), R(H * qy * 0.5L + H * 0.5L));
    }
}

}  // namespace orvo
