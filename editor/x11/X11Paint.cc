// Painting on X11: each control drawn into a pixmap as the Windows
// controls look, then copied to its window in one go.
#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "Layout.h"
#include "SliderLook.h"
#include "x11/X11Detail.h"

namespace orvo {

using namespace x11;

namespace {

// GDI drawing semantics on Xlib: boxes exclude their right and bottom edges,
// lines exclude their end point, arcs run counter-clockwise between rays.
class XCanvas : public Canvas {
public:
    // Wider pens draw with the server's wide lines; 1-pixel ones keep the
    // exact pixels of thin lines and of the point-by-point strokes below.
    XCanvas(X11Platform::Connection& x, Drawable d, int width) : x(x), d(d), width(width) {
        if (width > 1) XSetLineAttributes(x.display, x.gc, static_cast<unsigned>(width), LineSolid, CapRound, JoinRound);
    }
    ~XCanvas() override {
        if (width > 1) XSetLineAttributes(x.display, x.gc, 0, LineSolid, CapButt, JoinMiter);
    }
    void setPen(Colour c) override { pen = x.pixelOf(c); }
    void setBrush(Colour c) override { brush = x.pixelOf(c); }
    void ellipse(int l, int t, int r, int b) override {
        if (r - l < 2 || b - t < 2) return;
        XSetForeground(x.display, x.gc, brush);
        XFillArc(x.display, d, x.gc, l, t, static_cast<unsigned>(r - l - 1), static_cast<unsigned>(b - t - 1), 0,
                 360 * 64);
        XSetForeground(x.display, x.gc, pen);
        XDrawArc(x.display, d, x.gc, l, t, static_cast<unsigned>(r - l - 1), static_cast<unsigned>(b - t - 1), 0,
                 360 * 64);
    }
    void arc(int l, int t, int r, int b, int x1, int y1, int x2, int y2) override {
        if (r - l < 2 || b - t < 2) return;
        const double cx = (l + r) / 2.0, cy = (t + b) / 2.0;
        const double a1 = std::atan2(cy - y1, x1 - cx) * 180.0 / M_PI;
        const double a2 = std::atan2(cy - y2, x2 - cx) * 180.0 / M_PI;
        double extent = a2 - a1;
        while (extent <= 0) extent += 360.0;
        XSetForeground(x.display, x.gc, pen);
        XDrawArc(x.display, d, x.gc, l, t, static_cast<unsigned>(r - l - 1), static_cast<unsigned>(b - t - 1),
                 static_cast<int>(std::lround(a1 * 64)), static_cast<int>(std::lround(extent * 64)));
    }
    void moveTo(int px, int py) override { cur = {px, py}; }
    void lineTo(int px, int py) override {
        if (width > 1) {
            XSetForeground(x.display, x.gc, pen);
            XDrawLine(x.display, d, x.gc, cur.x, cur.y, px, py);
            cur = {px, py};
            return;
        }
        std::vector<XPoint> pts;
        int x0 = cur.x, y0 = cur.y;
        const int dx = std::abs(px - x0), dy = -std::abs(py - y0);
        const int sx = x0 < px ? 1 : -1, sy = y0 < py ? 1 : -1;
        int err = dx + dy;
        while (x0 != px || y0 != py) {
            pts.push_back(XPoint{static_cast<short>(x0), static_cast<short>(y0)});
            const int e2 = 2 * err;
            if (e2 >= dy) {
                err += dy;
                x0 += sx;
            }
            if (e2 <= dx) {
                err += dx;
                y0 += sy;
            }
        }
        XSetForeground(x.display, x.gc, pen);
        if (!pts.empty())
            XDrawPoints(x.display, d, x.gc, pts.data(), static_cast<int>(pts.size()), CoordModeOrigin);
        cur = {px, py};
    }

private:
    X11Platform::Connection& x;
    Drawable d;
    int width;
    unsigned long pen = 0, brush = 0;
    Point cur;
};

}  // namespace

void X11Platform::paintDirty() {
    for (auto& n : nodes)
        if (n->dirty) paint(n.get());
}

void X11Platform::paint(Node* n) {
    n->dirty = false;
    if (!x || !n->window || n->kind == kForm) return;
    Display* d = x->display;
    ErrorTrap trap(d);
    const int w = std::max(n->box.width, 1), h = std::max(n->box.height, 1);
    GC gc = x->gc;
    // Drawn off-screen and copied in one go, so nothing flickers while a
    // knob turns.
    Pixmap pm = XCreatePixmap(d, n->window, static_cast<unsigned>(w), static_cast<unsigned>(h),
                              static_cast<unsigned>(x->depth));
    XftDraw* draw = XftDrawCreate(d, pm, x->visual, x->colormap);
    auto fg = [&](Colour c) { XSetForeground(d, gc, x->pixelOf(c)); };
    auto fill = [&](Colour c, int l, int t, int ww, int hh) {
        fg(c);
        if (ww > 0 && hh > 0) XFillRectangle(d, pm, gc, l, t, static_cast<unsigned>(ww), static_cast<unsigned>(hh));
    };
    auto S = [this](int designPixels) { return scale.px(designPixels); };
    const int lw = scale.line();
    // Lines here are all level or upright; a wider one grows right and down
    // from the 1x line, as a pen of that width would.
    auto line = [&](Colour c, int x1, int y1, int x2, int y2) {
        fg(c);
        if (lw == 1) {
            XDrawLine(d, pm, gc, x1, y1, x2, y2);
            return;
        }
        XFillRectangle(d, pm, gc, std::min(x1, x2), std::min(y1, y2), static_cast<unsigned>(std::abs(x2 - x1) + lw),
                       static_cast<unsigned>(std::abs(y2 - y1) + lw));
    };
    // An outline inside the box (l, t, ww, hh).
    auto outline = [&](Colour c, int l, int t, int ww, int hh) {
        fg(c);
        if (lw == 1) {
            XDrawRectangle(d, pm, gc, l, t, static_cast<unsigned>(ww - 1), static_cast<unsigned>(hh - 1));
            return;
        }
        line(c, l, t, l + ww - lw, t);
        line(c, l, t + hh - lw, l + ww - lw, t + hh - lw);
        line(c, l, t, l, t + hh - lw);
        line(c, l + ww - lw, t, l + ww - lw, t + hh - lw);
    };
    const int ascent = x->font ? x->font->ascent : 11;
    const int descent = x->font ? x->font->descent : 3;
    auto textWidth = [&](const std::string& s) {
        if (!x->font || s.empty()) return 0;
        XGlyphInfo gi;
        XftTextExtentsUtf8(d, x->font, reinterpret_cast<const FcChar8*>(s.data()), static_cast<int>(s.size()), &gi);
        return static_cast<int>(gi.xOff);
    };
    auto text = [&](const std::string& s, int left, int baseline) {
        if (!x->font || !draw || !x->haveTextColour || s.empty()) return;
        XftDrawStringUtf8(draw, &x->textColour, x->font, left, baseline, reinterpret_cast<const FcChar8*>(s.data()),
                          static_cast<int>(s.size()));
    };
    // A flat group frame: one shadow line through the middle of the caption.
    auto frame = [&](const std::string& caption) {
        outline(Colour::BtnShadow, 0, S(kGroupFrameTop), w, h - S(kGroupFrameTop));
        if (!caption.empty()) {
            const int tw = textWidth(caption);
            fill(Colour::BtnFace, S(kGroupCaptionLeft) - S(2), 0, tw + S(4), S(kTextHeight));
            text(caption, S(kGroupCaptionLeft), ascent);
        }
    };

    const Colour background = n->kind == kMemo || n->kind == kPicture ? Colour::White : Colour::BtnFace;
    fill(background, 0, 0, w, h);
    switch (n->kind) {
        case kGroup: frame(n->text); break;
        case kLabel: text(n->text, 0, n->alignBottom ? h - descent : ascent); break;
        case kRadio: {
            frame(n->text);
            const int count = static_cast<int>(n->items.size());
            for (int i = 0; i < count; ++i) {
                Box b = radioItemBox(w, h, count, i, scale);
                const int cy = b.top + b.height / 2;
                const int ring = S(12), dot = S(6);
                // A flat radio button: black ring, white inside, black dot.
                fg(Colour::White);
                XFillArc(d, pm, gc, b.left, cy - ring / 2, static_cast<unsigned>(ring), static_cast<unsigned>(ring), 0,
                         360 * 64);
                fg(Colour::Black);
                if (lw == 1) {
                    XDrawArc(d, pm, gc, b.left, cy - 6, 11, 11, 0, 360 * 64);
                } else {
                    XSetLineAttributes(d, gc, static_cast<unsigned>(lw), LineSolid, CapButt, JoinMiter);
                    XDrawArc(d, pm, gc, b.left + lw / 2, cy - ring / 2 + lw / 2, static_cast<unsigned>(ring - lw),
                             static_cast<unsigned>(ring - lw), 0, 360 * 64);
                    XSetLineAttributes(d, gc, 0, LineSolid, CapButt, JoinMiter);
                }
                if (i == n->value)
                    XFillArc(d, pm, gc, b.left + (ring - dot) / 2, cy - dot / 2, static_cast<unsigned>(dot),
                             static_cast<unsigned>(dot), 0, 360 * 64);
                text(n->items[static_cast<std::size_t>(i)], b.left + S(17), cy + (ascent - descent) / 2);
            }
            break;
        }
        case kSlider: {
            SliderGeometry g(n->box, n->max, scale);
            drawSlider(fill, line, g, n->value, n->tickEvery, scale, lw);
            break;
        }
        case kMemo: {
            outline(Colour::Black, 0, 0, w, h);
            const int lineHeight = ascent + descent;
            for (std::size_t i = 0; i < n->items.size(); ++i)
                text(n->items[i], S(3), S(2) + ascent + static_cast<int>(i) * lineHeight);
            if (n == focused && !n->items.empty()) {
                const std::size_t li = static_cast<std::size_t>(std::clamp(n->caretLine, 0, int(n->items.size()) - 1));
                const std::string& l = n->items[li];
                const int cx = S(3) + textWidth(l.substr(0, std::min(n->caretByte, l.size())));
                const int top = S(2) + static_cast<int>(li) * lineHeight;
                line(Colour::Black, cx, top, cx, top + lineHeight - 1);
            }
            break;
        }
        case kPicture:
            if (n->picture) XCopyArea(d, n->picture, pm, gc, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), 0, 0);
            break;
        case kKnob:
            if (n->sink) {
                XCanvas canvas(*x, pm, scale.line());
                n->sink->paint(canvas);
            }
            break;
        default: break;
    }
    // The focused control shows a dotted rectangle, as on Windows.
    if (n == focused) {
        char dots[] = {static_cast<char>(lw), static_cast<char>(lw)};
        fg(Colour::Black);
        XSetLineAttributes(d, gc, static_cast<unsigned>(lw), LineOnOffDash, CapButt, JoinMiter);
        XSetDashes(d, gc, 0, dots, 2);
        if (n->kind == kSlider) {
            XDrawRectangle(d, pm, gc, 0, 0, static_cast<unsigned>(w - 1), static_cast<unsigned>(h - 1));
        } else if (n->kind == kRadio) {
            const int count = static_cast<int>(n->items.size());
            const int i = std::clamp(n->value, 0, count - 1);
            if (count > 0) {
                Box b = radioItemBox(w, h, count, i, scale);
                const int tw = textWidth(n->items[static_cast<std::size_t>(i)]);
                const int cy = b.top + b.height / 2;
                XDrawRectangle(d, pm, gc, b.left + S(15), cy - S(kTextHeight) / 2 - S(1), static_cast<unsigned>(tw + S(3)),
                               static_cast<unsigned>(S(kTextHeight) + S(1)));
            }
        }
        XSetLineAttributes(d, gc, 0, LineSolid, CapButt, JoinMiter);
    }
    if (draw) XftDrawDestroy(draw);
    XCopyArea(d, pm, n->window, gc, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h), 0, 0);
    XFreePixmap(d, pm);
}

}  // namespace orvo
