// The rotary knob: an integer Position 0..100 turned by dragging with the
// left button (one position per 2 design pixels, so per 2s screen pixels), drawn as a bevelled dial with a pointer and three tick marks.
// It knows nothing of parameters; the form converts positions to values.
//
// Thread: UI (messages of the knob's window, via the platform layer).
#pragma once

#include <array>
#include <functional>

#include "Platform.h"

namespace orvo {

class TTsumami : public ControlSink {
public:
    using ChangeEvent = std::function<void(TTsumami& sender)>;

    // Creates the knob's window; `platform` must outlive the knob. `box` is
    // already scaled; `scale` sizes the strokes inside it and the drag.
    TTsumami(Platform& platform, Widget parent, Box box, Scale scale = {});

    int getPosition() const { return position; }
    // Stores any value, repaints later and always notifies: the form relies on
    // being told even when the value did not change.
    void setPosition(int newPosition);

    ChangeEvent OnChange;
    // A drag starts (true) or ends (false): by release or lost capture.
    std::function<void(TTsumami& sender, bool starts)> OnDrag;
    bool Dragging = false;

    int width() const { return box.width; }
    int height() const { return box.height; }
    Widget widget() const { return handle; }

    // Pointer tip offsets per position, in units of the radius (y grows down).
    float pointerX(int p) const { return fPointerX[static_cast<std::size_t>(p)]; }
    float pointerY(int p) const { return fPointerY[static_cast<std::size_t>(p)]; }

    // ControlSink
    void leftPress() override;
    void mouseMove() override;
    void leftRelease() override;
    void captureLost() override;
    void paint(Canvas& canvas) override;

private:
    void endDrag();

    Platform& platform;
    Box box;
    Scale scale;
    Widget handle = nullptr;
    Point fStartPoint;
    Point fCurrentPoint;
    int fStartPosition = 0;
    int position = 0;
    std::array<float, 101> fPointerY{};
    std::array<float, 101> fPointerX{};
};

// The nearest int, ties to even, saturating at the int range (NaN gives 0):
// control positions from values and geometry, so that no parameter value,
// however odd, makes a conversion undefined.
int nearestInt(long double x);

}  // namespace orvo
