// A user at a Windows desktop, for the editor test hosts: the message loop
// a host runs, and what a user sees of the host's window (its children, their
// classes, texts and places). Header-only, for each Windows test host.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <string>
#include <vector>

namespace orvo::test {

// Runs the message loop for `ms`, calling `idle` every 40 ms as a host idles
// its editors.
template <class Idle>
void pump(int ms, Idle&& idle) {
    DWORD end = GetTickCount() + static_cast<DWORD>(ms);
    DWORD nextIdle = 0;
    while (static_cast<LONG>(end - GetTickCount()) > 0) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (GetTickCount() >= nextIdle) {
            idle();
            nextIdle = GetTickCount() + 40;
        }
        Sleep(5);
    }
}

// A named CALLBACK function, not a lambda: on i386 the callback must be
// stdcall, which a captureless lambda does not convert to.
inline BOOL CALLBACK collectChild(HWND h, LPARAM lp) {
    reinterpret_cast<std::vector<HWND>*>(lp)->push_back(h);
    return TRUE;
}

inline std::vector<HWND> children(HWND parent) {
    std::vector<HWND> all;
    EnumChildWindows(parent, collectChild, reinterpret_cast<LPARAM>(&all));
    return all;
}

inline std::wstring className(HWND h) {
    wchar_t buf[128] = {};
    GetClassNameW(h, buf, 128);
    return buf;
}

inline std::wstring text(HWND h) {
    wchar_t buf[128] = {};
    GetWindowTextW(h, buf, 128);
    return buf;
}

inline POINT inForm(HWND form, HWND h) {
    RECT r;
    GetWindowRect(h, &r);
    POINT p{r.left, r.top};
    ScreenToClient(form, &p);
    return p;
}

// The child of `form` of class `cls` whose top-left is at (x, y) in the form.
inline HWND findAt(HWND form, const wchar_t* cls, int x, int y) {
    for (HWND h : children(form)) {
        POINT p = inForm(form, h);
        if (className(h) == cls && p.x == x && p.y == y) return h;
    }
    return nullptr;
}

// A visible top-level window of `width` x `height` client pixels for the
// editor to live in.
inline HWND openHostWindow(const wchar_t* title, int width, int height) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(DKGRAY_BRUSH));
    wc.lpszClassName = L"OrvoEditorTestHost";
    RegisterClassW(&wc);
    RECT frame{0, 0, width, height};
    AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
    HWND w = CreateWindowW(L"OrvoEditorTestHost", title, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 40, 40,
                           frame.right - frame.left, frame.bottom - frame.top, nullptr, nullptr, wc.hInstance, nullptr);
    ShowWindow(w, SW_SHOW);
    return w;
}

// Knob Drag's drag as a user makes it: press at the knob's centre, move 20
// pixels up, release (posted, as the window system would deliver them).
template <class Pump>
void dragKnobUp20(HWND knob, Pump&& pumpFor) {
    RECT kr;
    GetWindowRect(knob, &kr);
    POINT c{kr.left + 16, kr.top + 16};
    SetCursorPos(c.x, c.y);
    pumpFor(50);
    PostMessageW(knob, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(16, 16));
    pumpFor(50);
    SetCursorPos(c.x, c.y - 20);
    PostMessageW(knob, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(16, static_cast<WORD>(-4)));
    pumpFor(50);
    PostMessageW(knob, WM_LBUTTONUP, 0, MAKELPARAM(16, static_cast<WORD>(-4)));
    pumpFor(150);
}

}  // namespace orvo::test
