// A window system that exists only in memory: it records what the core asks
// for and lets a test play the user (clicks, drags, the cursor) and the
// clock. The unit tests drive the form and the knob through it.
//
// Thread: whichever thread the test runs on.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Platform.h"

namespace orvo {

// Keeps the knob's drawing as text, one command per entry, e.g. "line 6 28".
class RecordingCanvas : public Canvas {
public:
    std::vector<std::string> commands;
    void setPen(Colour c) override;
    void setBrush(Colour c) override;
    void ellipse(int l, int t, int r, int b) override;
    void arc(int l, int t, int r, int b, int x1, int y1, int x2, int y2) override;
    void moveTo(int x, int y) override;
    void lineTo(int x, int y) override;
};

const char* colourName(Colour c);

class HeadlessPlatform : public Platform {
public:
    enum class Kind { Form, Group, Label, Slider, Radio, Memo, Picture, Knob };
    struct Node {
        Kind kind;
        Node* parent = nullptr;
        void* hostWindow = nullptr;  // forms: the window given by the host
        Scale scale;                 // forms: as asked for
        int fontPixels = 0;          // forms: the font's pixel height
        Box box;
        std::string text;
        std::vector<std::string> items;
        int value = 0;  // slider position or radio selection
        ControlSink* sink = nullptr;
        FormSink* formSink = nullptr;
        int invalidations = 0;
        int shows = 0;
        bool destroyed = false;
    };

    Widget createForm(void* parentWindow, int width, int height, const FontStyle& font, Scale scale,
                      FormSink* sink) override;
    double screenScale(void*) override { return screen; }
    void showForm(Widget form) override;
    void destroyForm(Widget form) override;
    void startTimer(Widget form, int milliseconds) override;
    void repaintNow(Widget widget) override;
    void invalidate(Widget widget) override;
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
    void setCapture(Widget widget) override;
    void releaseCapture() override;
    Point cursorPos() override { return cursor; }

    // --- the test's side ---
    static Node* node(Widget w) { return static_cast<Node*>(w); }
    // Runs the timer of every live form once (one 100 ms tick).
    void tick();
    int liveForms() const;
    int liveWidgets() const;
    // The user: drags a slider, clicks a radio item, presses/moves/releases
    // the mouse over a knob. Capture rules as on a desktop: input goes to
    // the captured widget while there is one.
    void userSlide(Widget slider, int position);
    void userClick(Widget group, int item);
    void press(Widget knob);
    void moveCursor(Point to);
    void release();
    // Another window takes the mouse away.
    void stealCapture();

    Point cursor{500, 500};
    double screen = 1.0;  // what screenScale answers
    Widget captured = nullptr;
    int timerInterval = 0;
    int paintsRun = 0;

    // Every widget ever made; shared so a test can still look after the
    // platform itself has gone with its editor.
    using Nodes = std::vector<std::unique_ptr<Node>>;
    std::shared_ptr<Nodes> allNodes() const { return nodes; }
    static int liveForms(const Nodes& nodes);
    static int liveWidgets(const Nodes& nodes);

private:
    Node* add(Kind kind, Widget parent, Box box);
    std::shared_ptr<Nodes> nodes = std::make_shared<Nodes>();
};

}  // namespace orvo
