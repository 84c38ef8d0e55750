// The editor on Linux: the form as an X window inside the host's window, the
// controls drawn with Xlib and Xft to look and behave like the Windows ones.
// The plug-in has its own X connection and no thread: it reads its events
// and runs the 100 ms poll when the host calls effEditIdle.
//
// Thread: UI. Every call, including idle(), comes from the host's GUI thread;
// the connection is never touched from anywhere else.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "Platform.h"

namespace orvo {

class X11Platform : public Platform {
public:
    X11Platform();
    ~X11Platform() override;

    Widget createForm(void* parentWindow, int width, int height, const FontStyle& font, Scale scale,
                      FormSink* sink) override;
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
    Point cursorPos() override;
    void idle() override;
    std::uintptr_t nativeWindow(Widget widget) const override;
    // Xft.dpi / 96, or GDK_SCALE where set.
    double screenScale(void* parentWindow) override;

    struct Node;
    struct Connection;

private:
    Node* add(int kind, Widget parent, Box box, unsigned long background);
    void dispatch(void* event);
    void paint(Node* n);
    void paintDirty();
    void focus(Node* n);
    void keyPress(Node* n, void* event);
    void editMemo(Node* n, void* event);

    std::unique_ptr<Connection> x;  // present while a form exists
    std::vector<std::unique_ptr<Node>> nodes;
    std::unordered_map<unsigned long, Node*> byWindow;
    FormSink* formSink = nullptr;
    Scale scale;
    Node* form = nullptr;
    std::chrono::milliseconds interval{0};
    std::chrono::steady_clock::time_point nextTick;
    Node* slideDrag = nullptr;  // slider whose thumb the user holds
    int slideGrabOffset = 0;
    Node* knobDrag = nullptr;   // knob that holds the capture
    Node* focused = nullptr;    // slider or radio group with the keyboard
    bool inEvent = false;       // cursorPos answers from the event being handled
    Point eventPointer;
};

}  // namespace orvo
