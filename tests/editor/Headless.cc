#include "Headless.h"

namespace orvo {

const char* colourName(Colour c) {
    switch (c) {
        case Colour::BtnFace: return "BtnFace";
        case Colour::BtnHighlight: return "BtnHighlight";
        case Colour::BtnShadow: return "BtnShadow";
        case Colour::Black: return "Black";
        case Colour::Red: return "Red";
        case Colour::White: return "White";
        case Colour::Blue: return "Blue";
    }
    return "?";
}

namespace {
std::string join(const char* name, std::initializer_list<int> values) {
    std::string s = name;
    for (int v : values) {
        s += ' ';
        s += std::to_string(v);
    }
    return s;
}
}  // namespace

void RecordingCanvas::setPen(Colour c) { commands.push_back(std::string("pen ") + colourName(c)); }
void RecordingCanvas::setBrush(Colour c) { commands.push_back(std::string("brush ") + colourName(c)); }
void RecordingCanvas::ellipse(int l, int t, int r, int b) { commands.push_back(join("ellipse", {l, t, r, b})); }
void RecordingCanvas::arc(int l, int t, int r, int b, int x1, int y1, int x2, int y2) {
    commands.push_back(join("arc", {l, t, r, b, x1, y1, x2, y2}));
}
void RecordingCanvas::moveTo(int x, int y) { commands.push_back(join("move", {x, y})); }
void RecordingCanvas::lineTo(int x, int y) { commands.push_back(join("line", {x, y})); }

HeadlessPlatform::Node* HeadlessPlatform::add(Kind kind, Widget parent, Box box) {
    auto n = std::make_unique<Node>();
    n->kind = kind;
    n->parent = node(parent);
    n->box = box;
    nodes->push_back(std::move(n));
    return nodes->back().get();
}

Widget HeadlessPlatform::createForm(void* parentWindow, int width, int height, const FontStyle& font, Scale scale,
                                    FormSink* sink) {
    Node* n = add(Kind::Form, nullptr, {0, 0, width, height});
    n->scale = scale;
    n->fontPixels = font.pixelHeight;
    n->hostWindow = parentWindow;
    n->formSink = sink;
    return n;
}

void HeadlessPlatform::showForm(Widget form) { ++node(form)->shows; }

void HeadlessPlatform::destroyForm(Widget form) {
    Node* f = node(form);
    for (auto& n : *nodes) {
        for (Node* p = n.get(); p; p = p->parent) {
            if (p == f) {
                n->destroyed = true;
                if (captured == n.get()) captured = nullptr;
                break;
            }
        }
    }
}

void HeadlessPlatform::startTimer(Widget, int milliseconds) { timerInterval = milliseconds; }

void HeadlessPlatform::repaintNow(Widget widget) {
    Node* n = node(widget);
    ++n->invalidations;
    if (n->formSink) n->formSink->formPaint();
    if (n->sink) {
        RecordingCanvas c;
        n->sink->paint(c);
    }
    ++paintsRun;
}

void HeadlessPlatform::invalidate(Widget widget) {
    if (widget) ++node(widget)->invalidations;
}

Widget HeadlessPlatform::createGroup(Widget parent, Box box, std::string_view caption) {
    Node* n = add(Kind::Group, parent, box);
    n->text = caption;
    return n;
}

Widget HeadlessPlatform::createLabel(Widget parent, Box box, std::string_view text, bool) {
    Node* n = add(Kind::Label, parent, box);
    n->text = text;
    return n;
}

Widget HeadlessPlatform::createSlider(Widget parent, Box box, const SliderStyle&, int position, ControlSink* sink) {
    Node* n = add(Kind::Slider, parent, box);
    n->value = position;
    n->sink = sink;
    return n;
}

void HeadlessPlatform::setSliderPosition(Widget slider, int position) { node(slider)->value = position; }

Widget HeadlessPlatform::createRadioGroup(Widget parent, Box box, std::string_view caption,
                                          std::span<const std::string_view> items, int selected, ControlSink* sink) {
    Node* n = add(Kind::Radio, parent, box);
    n->text = caption;
    for (auto i : items) n->items.emplace_back(i);
    n->value = selected;
    n->sink = sink;
    return n;
}

void HeadlessPlatform::setRadioSelection(Widget group, int item) { node(group)->value = item; }

Widget HeadlessPlatform::createMemo(Widget parent, Box box, std::span<const std::string_view> lines) {
    Node* n = add(Kind::Memo, parent, box);
    for (auto l : lines) n->items.emplace_back(l);
    return n;
}

Widget HeadlessPlatform::createPicture(Widget parent, Box box, const Image&) {
    return add(Kind::Picture, parent, box);
}

Widget HeadlessPlatform::createKnob(Widget parent, Box box, ControlSink* sink) {
    Node* n = add(Kind::Knob, parent, box);
    n->sink = sink;
    return n;
}

void HeadlessPlatform::setCapture(Widget widget) {
    Widget old = captured;
    captured = widget;
    if (old && old != widget && node(old)->sink) node(old)->sink->captureLost();
}

void HeadlessPlatform::releaseCapture() {
    Widget old = captured;
    captured = nullptr;
    if (old && node(old)->sink) node(old)->sink->captureLost();
}

void HeadlessPlatform::tick() {
    // By index: a tick may create nodes.
    Nodes& all = *nodes;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (all[i]->kind == Kind::Form && !all[i]->destroyed) all[i]->formSink->timerTick();
}

int HeadlessPlatform::liveForms(const Nodes& nodes) {
    int count = 0;
    for (auto& n : nodes) count += n->kind == Kind::Form && !n->destroyed;
    return count;
}

int HeadlessPlatform::liveWidgets(const Nodes& nodes) {
    int count = 0;
    for (auto& n : nodes) count += !n->destroyed;
    return count;
}

int HeadlessPlatform::liveForms() const { return liveForms(*nodes); }

int HeadlessPlatform::liveWidgets() const { return liveWidgets(*nodes); }

void HeadlessPlatform::userSlide(Widget slider, int position) {
    node(slider)->value = position;
    node(slider)->sink->userPosition(position);
}

void HeadlessPlatform::userClick(Widget group, int item) { node(group)->sink->userSelect(item); }

void HeadlessPlatform::press(Widget knob) { node(knob)->sink->leftPress(); }

void HeadlessPlatform::moveCursor(Point to) {
    cursor = to;
    if (captured) node(captured)->sink->mouseMove();
}

void HeadlessPlatform::release() {
    if (captured) node(captured)->sink->leftRelease();
}

void HeadlessPlatform::stealCapture() { releaseCapture(); }

}  // namespace orvo
