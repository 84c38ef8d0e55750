// What the Win32 layer's files share: the node behind each window, the
// window classes and the small conversions both sides use.
//
// Thread: UI, as the rest of the layer.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <string_view>
#include <vector>

#include "win32/Win32Platform.h"

namespace orvo {

struct Win32Platform::Node {
    HWND hwnd = nullptr;
    Node* parent = nullptr;
    WNDPROC buttonProc = nullptr;  // group frames: the native proc they were subclassed from
    std::vector<HWND> items;     // radio groups: one button per item
    ControlSink* sink = nullptr;
    FormSink* formSink = nullptr;
    HBITMAP bitmap = nullptr;    // pictures own their bitmap
    bool painted = false;        // forms: WM_PAINT ran during repaintNow
    int penWidth = 1;            // knobs: the form's line width
};

namespace win32 {

using Node = Win32Platform::Node;

constexpr wchar_t kFormClass[] = L"OrvoSwitchForm";
constexpr wchar_t kKnobClass[] = L"OrvoSwitchKnob";
constexpr UINT_PTR kTimerId = 1;
// WM_DPICHANGED_AFTERPARENT, which older MinGW headers lack.
constexpr UINT kDpiChangedAfterParent = 0x02E3;

HINSTANCE moduleInstance();
std::wstring widen(std::string_view s);
COLORREF colorRef(Colour c);
// Under a host that enables visual styles, themed group boxes and radio
// buttons ignore the red text colour and draw raised, not flat; this
// switches the theme off for one control.
void classicLook(HWND hwnd);
Node* nodeOf(HWND hwnd);
// Group frames are subclassed to route their children's notifications.
LRESULT CALLBACK groupProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
// The form and knob classes, registered once for the module's life.
void registerClasses();

}  // namespace win32
}  // namespace orvo
