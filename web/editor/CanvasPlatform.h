// The editor's window system in a web page: one <canvas> the size of the
// form. Controls are boxes in a tree kept here; the whole form is painted
// into a DisplayList whenever something changed, and the page's pointer
// events come back in as presses, moves and releases at form pixels. The
// page drives the form's timer itself, so startTimer only notes it.
//
// Thread: the page's main thread, through the exports in EditorApi.cc.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "DisplayList.h"
#include "Platform.h"

namespace orvo::web {

enum class Kind { Form, Group, Label, Slider, Radio, Memo, Picture, Knob };

struct CanvasNode {
    Kind kind = Kind::Form;
    Box box;        // in the parent's coordinates, as the form gave it
    Point origin;   // the box's top-left in form pixels
    std::string text;
    std::vector<std::string> items;
    bool alignBottom = false;
    int value = 0;  // slider position, radio selection
    int max = 0;    // slider range
    int tickEvery = 5;
    ControlSink* sink = nullptr;
    Image image;    // the pixels stay the form's (TForm1 keeps them)

    bool contains(Point p) const {
        return p.x >= origin.x && p.x < origin.x + box.width && p.y >= origin.y && p.y < origin.y + box.height;
    }
};

// One node's own pixels (not its children's), in its own coordinates.
void paintNode(const CanvasNode& n, DisplayList& list, Scale scale, int fontPixels);

enum class Pointer { Press = 0, Move = 1, Release = 2 };

class CanvasPlatform final : public Platform {
public:
    // The page's pointer at form pixel (x, y); `held` says whether the main
    // button is down, so a release that happened outside the page is seen.
    void pointer(Pointer what, int x, int y, bool held);
    void tick();
    // The form painted afresh when anything changed since the last call;
    // null when nothing did.
    const DisplayList* paintIfChanged();
    const DisplayList& painted() const { return list; }

    Widget createForm(void* parentWindow, int width, int height, const FontStyle& font, Scale scale,
                      FormSink* sink) override;
    void showForm(Widget) override { changed = true; }
    void destroyForm(Widget) override;
    void startTimer(Widget, int) override {}
    void repaintNow(Widget widget) override;
    void invalidate(Widget) override { changed = true; }
    Widget createGroup(Widget parent, Box box, std::string_view caption) override;
    Widget createLabel(Widget parent, Box box, std::string_view text, bool alignBottom) override;
    Widget createSlider(Widget parent, Box box, const SliderStyle& style, int position, ControlSink* sink) override;
    void setSliderPosition(Widget slider, int position) override;
    Widget createRadioGroup(Widget parent, Box box, std::string_view caption, std::span<const std::string_view> items,
                            int selected, ControlSink* sink) override;
    void setRadioSelection(Widget group, int item) override;
    Widget createMemo(Widget parent, Box box, std::span<const std::string_view> lines) override;
    Widget createPicture(Widget parent, Box box, const Image& image) override;
    Widget createKnob(Widget parent, Box box, ControlSink* sink) override;
    void setCapture(Widget widget) override { captured = static_cast<CanvasNode*>(widget); }
    void releaseCapture() override { captured = nullptr; }
    Point cursorPos() override { return mouse; }

private:
    CanvasNode* add(Kind kind, Widget parent, Box box, ControlSink* sink = nullptr);
    CanvasNode* under(Point p);
    void slider(CanvasNode& n, Pointer what, Point local);

    std::vector<std::unique_ptr<CanvasNode>> nodes;  // creation order: parents first, later siblings on top
    FormSink* formSink = nullptr;
    Scale scale;
    int fontPixels = 12;
    DisplayList list;
    bool changed = true;
    Point mouse;
    CanvasNode* captured = nullptr;  // the knob holding the mouse
    CanvasNode* pressed = nullptr;   // gets every event until release, as a window system's implicit grab
    CanvasNode* sliding = nullptr;   // a slider whose thumb is being dragged
    int grabOffset = 0;
};

}  // namespace orvo::web
