// The editor on Windows: the form as a borderless WS_CHILD window inside the
// host's window, native controls, the knob as a window class of its own
// painted with GDI. Only windows, drawing and forwarding of input live here.
//
// Thread: UI. Every window is created on, and its messages arrive on, the
// thread that called effEditOpen.
#pragma once

#include <memory>
#include <vector>

#include "Platform.h"

namespace orvo {

class Win32Platform : public Platform {
public:
    Win32Platform();
    ~Win32Platform() override;

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
    // The DPI of the host's window (per monitor where the system knows it,
    // else the system's) over 96.
    double screenScale(void* parentWindow) override;

    struct Node;

private:
    Node* add(void* hwnd, Node* parent);
    void* createChild(Node* parent, const wchar_t* cls, const wchar_t* text, unsigned long style, Box box, int id = 0,
                      unsigned long exStyle = 0);
    Node* makeGroup(Node* parent, Box box, std::string_view caption);

    std::vector<std::unique_ptr<Node>> nodes;
    void* font = nullptr;     // HFONT
    Scale scale;
};

}  // namespace orvo
