// What the editor needs from a window system, and nothing more. The form and
// the knob keep all state and decisions; a platform layer only creates
// windows, draws what it is told and forwards input. That split lets the
// same core run on Win32, X11 and the headless layer the unit tests use.
//
// Thread: every call, in both directions, runs on the host's UI thread.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "Scale.h"

namespace orvo {

struct Point {
    int x = 0;
    int y = 0;
    bool operator==(const Point&) const = default;
};

// Left, top, width, height in the parent's client coordinates.
struct Box {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const Box&) const = default;
};

// Colours named by role; each platform maps them to its own palette.
enum class Colour : std::uint8_t { BtnFace, BtnHighlight, BtnShadow, Black, Red, White, Blue };

// 0xRRGGBB, used where the picture or a drawn control needs a fixed value.
std::uint32_t defaultRgb(Colour c);

// The knob paints through this: a solid pen as wide as the form's scale
// makes a 1-pixel line, a solid brush, and the four primitives. Coordinates are the knob's client coordinates; boxes
// exclude their right and bottom edges and lines exclude their end point.
class Canvas {
public:
    virtual ~Canvas() = default;
    virtual void setPen(Colour c) = 0;
    virtual void setBrush(Colour c) = 0;
    // Filled with the brush, outlined with the pen.
    virtual void ellipse(int left, int top, int right, int bottom) = 0;
    // Counter-clockwise from the ray towards (x1, y1) to the ray towards (x2, y2).
    virtual void arc(int left, int top, int right, int bottom, int x1, int y1, int x2, int y2) = 0;
    virtual void moveTo(int x, int y) = 0;
    virtual void lineTo(int x, int y) = 0;
};

// Input and paint requests travel from the platform to the core through these.
// Each control kind overrides the ones it can receive.
class ControlSink {
public:
    virtual ~ControlSink() = default;
    virtual void userPosition(int position) { (void)position; }  // slider moved by the user
    virtual void userSelect(int item) { (void)item; }            // radio item clicked
    virtual void leftPress() {}                                   // knob
    virtual void mouseMove() {}
    virtual void leftRelease() {}
    virtual void captureLost() {}
    virtual void paint(Canvas& canvas) { (void)canvas; }
};

class FormSink {
public:
    virtual ~FormSink() = default;
    virtual void timerTick() = 0;
    virtual void formPaint() = 0;
    // The window system moved the form to a screen of another scale (a
    // monitor of another DPI). Only a front end that took its scale from
    // the screen acts on it, and never from inside the window's own message.
    virtual void screenScaleChanged() {}
};

// An opaque handle the platform gives back for each window it made.
using Widget = void*;

// A picture in 0xRRGGBB pixels, row by row from the top.
struct Image {
    int width = 0;
    int height = 0;
    std::span<const std::uint32_t> pixels;
};

struct SliderStyle {
    int max = 50;        // minimum is 0; position 0 is at the top
    int tickEvery = 5;   // tick marks on both sides
    int thumbLength = 15;
};

// The form's font: "Times New Roman", 12 pixels at 1x, red, Shift-JIS
// character set.
struct FontStyle {
    std::string_view face = "Times New Roman";
    int pixelHeight = 12;
    Colour colour = Colour::Red;
    bool shiftJis = true;
};

class Platform {
public:
    virtual ~Platform() = default;

    // A borderless child window of the host's `parentWindow`, at its top-left.
    // Sizes, boxes and the font reach the platform already scaled; `scale`
    // is for what only the platform draws: line widths and the inner
    // geometry of its controls.
    virtual Widget createForm(void* parentWindow, int width, int height, const FontStyle& font, Scale scale,
                              FormSink* sink) = 0;
    // Visible and in front of its siblings.
    virtual void showForm(Widget form) = 0;
    // Removes the form's window, every control in it and its timer.
    virtual void destroyForm(Widget form) = 0;
    virtual void startTimer(Widget form, int milliseconds) = 0;
    // Invalidate, then run the paint (for the form: FormSink::formPaint)
    // before returning.
    virtual void repaintNow(Widget widget) = 0;
    // Deferred repaint: the paint happens when the window system gets to it.
    virtual void invalidate(Widget widget) = 0;

    // Controls, created in keyboard order. Captions are UTF-8.
    virtual Widget createGroup(Widget parent, Box box, std::string_view caption) = 0;
    virtual Widget createLabel(Widget parent, Box box, std::string_view text, bool alignBottom) = 0;
    virtual Widget createSlider(Widget parent, Box box, const SliderStyle& style, int position, ControlSink* sink) = 0;
    virtual void setSliderPosition(Widget slider, int position) = 0;
    virtual Widget createRadioGroup(Widget parent, Box box, std::string_view caption,
                                    std::span<const std::string_view> items, int selected, ControlSink* sink) = 0;
    virtual void setRadioSelection(Widget group, int item) = 0;
    virtual Widget createMemo(Widget parent, Box box, std::span<const std::string_view> lines) = 0;
    virtual Widget createPicture(Widget parent, Box box, const Image& image) = 0;
    virtual Widget createKnob(Widget parent, Box box, ControlSink* sink) = 0;

    // Mouse capture and the cursor in screen coordinates, for the knob's drag.
    virtual void setCapture(Widget widget) = 0;
    virtual void releaseCapture() = 0;
    virtual Point cursorPos() = 0;

    // The host's idle call (effEditIdle); platforms without a message loop of
    // the host's process their events and timer here.
    virtual void idle() {}

    // The scale the window system asks for where `parentWindow` is shown
    // (its DPI setting), 1 where it says nothing.
    virtual double screenScale(void* parentWindow) {
        (void)parentWindow;
        return 1.0;
    }

    // The window system's own id of `widget` (an X Window, an HWND), for
    // formats whose host embeds or resizes the form by that id; 0 when the
    // widget has no window (no display, or the host's window was gone).
    virtual std::uintptr_t nativeWindow(Widget widget) const {
        (void)widget;
        return 0;
    }
};

}  // namespace orvo
