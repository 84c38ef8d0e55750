#include "CanvasPlatform.h"

#include <algorithm>
#include <cmath>

#include "Layout.h"
#include "SliderLook.h"

namespace orvo::web {

CanvasNode* CanvasPlatform::add(Kind kind, Widget parent, Box box, ControlSink* sink) {
    auto n = std::make_unique<CanvasNode>();
    n->kind = kind;
    n->box = box;
    n->sink = sink;
    const auto* p = static_cast<const CanvasNode*>(parent);
    n->origin = p ? Point{p->origin.x + box.left, p->origin.y + box.top} : Point{box.left, box.top};
    nodes.push_back(std::move(n));
    changed = true;
    return nodes.back().get();
}

Widget CanvasPlatform::createForm(void*, int width, int height, const FontStyle& font, Scale s, FormSink* sink) {
    scale = s;
    fontPixels = font.pixelHeight;
    formSink = sink;
    return add(Kind::Form, nullptr, Box{0, 0, width, height});
}

void CanvasPlatform::destroyForm(Widget) {
    // The controls' sinks die with the form: nothing may reach them after.
    nodes.clear();
    formSink = nullptr;
    captured = pressed = sliding = nullptr;
}

void CanvasPlatform::repaintNow(Widget widget) {
    // The canvas keeps its pixels: the form's paint handler only moves
    // controls, and each move marks the form changed itself, so the timer's
    // repaint redraws nothing when nothing moved.
    if (!nodes.empty() && widget == nodes.front().get()) {
        if (formSink) formSink->formPaint();
        return;
    }
    changed = true;
}

void CanvasPlatform::tick() {
    if (formSink) formSink->timerTick();
}

Widget CanvasPlatform::createGroup(Widget parent, Box box, std::string_view caption) {
    CanvasNode* n = add(Kind::Group, parent, box);
    n->text = caption;
    return n;
}

Widget CanvasPlatform::createLabel(Widget parent, Box box, std::string_view text, bool alignBottom) {
    CanvasNode* n = add(Kind::Label, parent, labelBox(box, alignBottom, scale));
    n->text = text;
    n->alignBottom = alignBottom;
    return n;
}

Widget CanvasPlatform::createSlider(Widget parent, Box box, const SliderStyle& style, int position, ControlSink* sink) {
    CanvasNode* n = add(Kind::Slider, parent, box, sink);
    n->max = style.max;
    n->tickEvery = style.tickEvery > 0 ? style.tickEvery : 1;
    n->value = position;
    return n;
}

void CanvasPlatform::setSliderPosition(Widget slider, int position) {
    static_cast<CanvasNode*>(slider)->value = position;
    changed = true;
}

Widget CanvasPlatform::createRadioGroup(Widget parent, Box box, std::string_view caption,
                                        std::span<const std::string_view> items, int selected, ControlSink* sink) {
    CanvasNode* n = add(Kind::Radio, parent, box, sink);
    n->text = caption;
    for (auto i : items) n->items.emplace_back(i);
    n->value = selected;
    return n;
}

void CanvasPlatform::setRadioSelection(Widget group, int item) {
    static_cast<CanvasNode*>(group)->value = item;
    changed = true;
}

Widget CanvasPlatform::createMemo(Widget parent, Box box, std::span<const std::string_view> lines) {
    CanvasNode* n = add(Kind::Memo, parent, box);
    for (auto l : lines) n->items.emplace_back(l);
    return n;
}

Widget CanvasPlatform::createPicture(Widget parent, Box box, const Image& image) {
    CanvasNode* n = add(Kind::Picture, parent, box);
    n->image = image;
    return n;
}

Widget CanvasPlatform::createKnob(Widget parent, Box box, ControlSink* sink) {
    return add(Kind::Knob, parent, box, sink);
}

CanvasNode* CanvasPlatform::under(Point p) {
    for (auto it = nodes.rbegin(); it != nodes.rend(); ++it)
        if ((*it)->contains(p)) return it->get();
    return nullptr;
}

void CanvasPlatform::pointer(Pointer what, int x, int y, bool held) {
    mouse = {x, y};
    // A button let go outside the page: no release will come.
    if (what == Pointer::Move && !held) {
        pressed = sliding = nullptr;
        if (captured) {
            CanvasNode* knob = captured;
            captured = nullptr;
            if (knob->sink) knob->sink->captureLost();
            return;
        }
    }
    CanvasNode* n = captured ? captured : pressed ? pressed : under(mouse);
    if (what == Pointer::Press) pressed = n;
    if (what == Pointer::Release) pressed = nullptr;
    if (!n || !n->sink) return;
    const Point local{x - n->origin.x, y - n->origin.y};
    switch (n->kind) {
        case Kind::Knob:
            if (what == Pointer::Press) n->sink->leftPress();
            else if (what == Pointer::Release) n->sink->leftRelease();
            else n->sink->mouseMove();
            break;
        case Kind::Slider: slider(*n, what, local); break;
        case Kind::Radio: {
            // Selected on release, over the item the press began in or not.
            if (what != Pointer::Release) break;
            const int count = static_cast<int>(n->items.size());
            for (int i = 0; i < count; ++i) {
                const Box b = radioItemBox(n->box.width, n->box.height, count, i, scale);
                if (local.x >= b.left && local.x < b.left + b.width && local.y >= b.top && local.y < b.top + b.height) {
                    n->sink->userSelect(i);
                    break;
                }
            }
            break;
        }
        default: break;
    }
}

void CanvasPlatform::slider(CanvasNode& n, Pointer what, Point local) {
    const SliderGeometry g(n.box, n.max, scale);
    if (what == Pointer::Press) {
        const int c = g.centre(n.value);
        if (local.y >= c - g.above - scale.px(1) && local.y <= c + g.below + scale.px(1)) {
            sliding = &n;
            grabOffset = local.y - c;
        } else {
            // A press on the channel moves one page (one position here)
            // towards the pointer.
            n.sink->userPosition(std::clamp(n.value + (local.y < c ? -1 : 1), 0, n.max));
        }
    } else if (what == Pointer::Move && sliding == &n) {
        const int p = g.positionAt(local.y - grabOffset);
        if (p != n.value) n.sink->userPosition(p);
    } else if (what == Pointer::Release) {
        sliding = nullptr;
    }
}

const DisplayList* CanvasPlatform::paintIfChanged() {
    if (!changed) return nullptr;
    changed = false;
    list.clear();
    for (const auto& n : nodes) {
        list.op(Op::Begin, {n->origin.x, n->origin.y, n->box.width, n->box.height});
        paintNode(*n, list, scale, fontPixels);
        list.op(Op::End, {});
    }
    return &list;
}

}  // namespace orvo::web
