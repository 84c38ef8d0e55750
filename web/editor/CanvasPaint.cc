// How each control looks on the page: the flat look the X11 layer draws,
// stroke for stroke, so the form reads the same in a browser as in a host.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "CanvasPlatform.h"
#include "Layout.h"
#include "SliderLook.h"

namespace orvo::web {
namespace {

std::int32_t rgb(Colour c) { return static_cast<std::int32_t>(defaultRgb(c)); }

// GDI's rules for the knob: boxes exclude their right and bottom edges,
// lines exclude their end point, arcs run counter-clockwise between rays.
class ListCanvas final : public Canvas {
public:
    ListCanvas(DisplayList& list, int width) : list(list), width(width) {}
    void setPen(Colour c) override { pen = rgb(c); }
    void setBrush(Colour c) override { brush = rgb(c); }
    void ellipse(int l, int t, int r, int b) override {
        if (r - l < 2 || b - t < 2) return;
        list.op(Op::FillEllipse, {brush, l, t, r - l - 1, b - t - 1});
        list.op(Op::StrokeEllipse, {pen, width, l, t, r - l - 1, b - t - 1});
    }
    void arc(int l, int t, int r, int b, int x1, int y1, int x2, int y2) override {
        if (r - l < 2 || b - t < 2) return;
        const double cx = (l + r) / 2.0, cy = (t + b) / 2.0;
        const double a1 = std::atan2(cy - y1, x1 - cx) * 180.0 / std::numbers::pi;
        const double a2 = std::atan2(cy - y2, x2 - cx) * 180.0 / std::numbers::pi;
        double extent = a2 - a1;
        while (extent <= 0) extent += 360.0;
        list.op(Op::Arc, {pen, width, l, t, r - l - 1, b - t - 1, static_cast<int>(std::lround(a1 * 64)),
                          static_cast<int>(std::lround(extent * 64))});
    }
    void moveTo(int x, int y) override { cur = {x, y}; }
    void lineTo(int x, int y) override {
        if (width > 1) {
            list.op(Op::Line, {pen, width, cur.x, cur.y, x, y});
            cur = {x, y};
            return;
        }
        // One pixel wide: the exact pixels of a thin line, end point left out.
        list.op(Op::Pixels, {pen});
        const std::size_t countAt = static_cast<std::size_t>(list.size());
        list.word(0);
        int count = 0;
        int x0 = cur.x, y0 = cur.y;
        const int dx = std::abs(x - x0), dy = -std::abs(y - y0);
        const int sx = x0 < x ? 1 : -1, sy = y0 < y ? 1 : -1;
        int err = dx + dy;
        while (x0 != x || y0 != y) {
            list.word(x0);
            list.word(y0);
            ++count;
            const int e2 = 2 * err;
            if (e2 >= dy) err += dy, x0 += sx;
            if (e2 <= dx) err += dx, y0 += sy;
        }
        list.patch(countAt, count);
        cur = {x, y};
    }

private:
    DisplayList& list;
    int width;
    std::int32_t pen = 0, brush = 0;
    Point cur;
};

}  // namespace

void paintNode(const CanvasNode& n, DisplayList& list, Scale scale, int fontPixels) {
    const int w = std::max(n.box.width, 1), h = std::max(n.box.height, 1);
    auto S = [scale](int designPixels) { return scale.px(designPixels); };
    const int lw = scale.line();
    // The form's font: 12 pixels at 1x, 11 above the baseline and 3 below.
    const int ascent = S(11), descent = S(3);
    auto fill = [&](Colour c, int l, int t, int ww, int hh) {
        if (ww > 0 && hh > 0) list.op(Op::Rect, {rgb(c), l, t, ww, hh});
    };
    // Lines here are all level or upright; a wider one grows right and down
    // from the 1x line, as a pen of that width would.
    auto line = [&](Colour c, int x1, int y1, int x2, int y2) {
        fill(c, std::min(x1, x2), std::min(y1, y2), std::abs(x2 - x1) + lw, std::abs(y2 - y1) + lw);
    };
    auto outline = [&](Colour c, int l, int t, int ww, int hh) {
        line(c, l, t, l + ww - lw, t);
        line(c, l, t + hh - lw, l + ww - lw, t + hh - lw);
        line(c, l, t, l, t + hh - lw);
        line(c, l + ww - lw, t, l + ww - lw, t + hh - lw);
    };
    // Text in the form's red; a caption first clears its own width of the
    // frame line behind it, which only the page can measure.
    auto text = [&](const std::string& s, int left, int baseline, bool caption = false) {
        if (s.empty()) return;
        list.op(Op::Text, {rgb(Colour::Red), left, baseline, fontPixels, caption ? rgb(Colour::BtnFace) : -1, S(2), 0,
                           S(kTextHeight)});
        list.bytes(s);
    };
    // A flat group frame: one shadow line through the middle of the caption.
    auto frame = [&](const std::string& caption) {
        outline(Colour::BtnShadow, 0, S(kGroupFrameTop), w, h - S(kGroupFrameTop));
        text(caption, S(kGroupCaptionLeft), ascent, true);
    };

    const bool white = n.kind == Kind::Memo || n.kind == Kind::Picture;
    fill(white ? Colour::White : Colour::BtnFace, 0, 0, w, h);
    switch (n.kind) {
        case Kind::Group: frame(n.text); break;
        case Kind::Label: text(n.text, 0, n.alignBottom ? h - descent : ascent); break;
        case Kind::Radio: {
            frame(n.text);
            const int count = static_cast<int>(n.items.size());
            for (int i = 0; i < count; ++i) {
                const Box b = radioItemBox(w, h, count, i, scale);
                const int cy = b.top + b.height / 2;
                const int ring = S(12), dot = S(6);
                // A flat radio button: black ring, white inside, black dot.
                list.op(Op::FillEllipse, {rgb(Colour::White), b.left, cy - ring / 2, ring, ring});
                if (lw == 1)
                    list.op(Op::StrokeEllipse, {rgb(Colour::Black), 1, b.left, cy - 6, 11, 11});
                else
                    list.op(Op::StrokeEllipse, {rgb(Colour::Black), lw, b.left + lw / 2, cy - ring / 2 + lw / 2,
                                                ring - lw, ring - lw});
                if (i == n.value)
                    list.op(Op::FillEllipse, {rgb(Colour::Black), b.left + (ring - dot) / 2, cy - dot / 2, dot, dot});
                text(n.items[static_cast<std::size_t>(i)], b.left + S(17), cy + (ascent - descent) / 2);
            }
            break;
        }
        case Kind::Slider: {
            const SliderGeometry g(n.box, n.max, scale);
            drawSlider(fill, line, g, n.value, n.tickEvery, scale, lw);
            break;
        }
        case Kind::Memo: {
            outline(Colour::Black, 0, 0, w, h);
            for (std::size_t i = 0; i < n.items.size(); ++i)
                text(n.items[i], S(3), S(2) + ascent + static_cast<int>(i) * (ascent + descent));
            break;
        }
        case Kind::Picture:
            if (n.image.width > 0 && n.image.height > 0)
                list.op(Op::Image, {0, 0, n.image.width, n.image.height,
                                    static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(n.image.pixels.data()))});
            break;
        case Kind::Knob:
            if (n.sink) {
                ListCanvas canvas(list, lw);
                n.sink->paint(canvas);
            }
            break;
        default: break;
    }
}

}  // namespace orvo::web
