// The Win32 layer's windows: the form and knob classes, their message
// procedures, the subclassed group frames and the knob's GDI canvas.
#include <cstdint>

#include "win32/Win32Detail.h"

namespace orvo::win32 {

HINSTANCE moduleInstance() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&moduleInstance), &module);
    return module;
}

std::wstring widen(std::string_view s) {
    if (s.empty()) return {};
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

COLORREF colorRef(Colour c) {
    switch (c) {
        case Colour::BtnFace: return GetSysColor(COLOR_BTNFACE);
        case Colour::BtnHighlight: return GetSysColor(COLOR_BTNHIGHLIGHT);
        case Colour::BtnShadow: return GetSysColor(COLOR_BTNSHADOW);
        default: {
            std::uint32_t rgb = defaultRgb(c);
            return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
        }
    }
}

// Under a host that enables visual styles, themed group boxes and radio
// buttons ignore the red text colour and draw raised, not flat. Switching
// the theme off per control restores both; looked up at run time so the
// plug-in imports nothing beyond the core system DLLs.
void classicLook(HWND hwnd) {
    using SetWindowThemeFn = HRESULT(WINAPI*)(HWND, LPCWSTR, LPCWSTR);
    static SetWindowThemeFn setTheme = [] {
        HMODULE ux = LoadLibraryW(L"uxtheme.dll");
        return ux ? reinterpret_cast<SetWindowThemeFn>(reinterpret_cast<void*>(GetProcAddress(ux, "SetWindowTheme")))
                  : nullptr;
    }();
    if (setTheme && hwnd) setTheme(hwnd, L"", L"");
}

Node* nodeOf(HWND hwnd) { return hwnd ? reinterpret_cast<Node*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)) : nullptr; }

// GDI state for one paint of a knob. Every pen and brush made here is
// deleted here, so a knob repainting every drag step leaks no GDI objects.
class GdiCanvas : public Canvas {
public:
    GdiCanvas(HDC dc, int width) : dc(dc), width(width) {
        oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
        oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    }
    ~GdiCanvas() override {
        SelectObject(dc, oldPen);
        SelectObject(dc, oldBrush);
        if (pen) DeleteObject(pen);
        if (brush) DeleteObject(brush);
    }
    void setPen(Colour c) override {
        HPEN p = CreatePen(PS_SOLID, width, colorRef(c));
        SelectObject(dc, p);
        if (pen) DeleteObject(pen);
        pen = p;
    }
    void setBrush(Colour c) override {
        HBRUSH b = CreateSolidBrush(colorRef(c));
        SelectObject(dc, b);
        if (brush) DeleteObject(brush);
        brush = b;
    }
    void ellipse(int l, int t, int r, int b) override { Ellipse(dc, l, t, r, b); }
    void arc(int l, int t, int r, int b, int x1, int y1, int x2, int y2) override {
        SetArcDirection(dc, AD_COUNTERCLOCKWISE);
        Arc(dc, l, t, r, b, x1, y1, x2, y2);
    }
    void moveTo(int x, int y) override { MoveToEx(dc, x, y, nullptr); }
    void lineTo(int x, int y) override { LineTo(dc, x, y); }

private:
    HDC dc;
    int width;
    HPEN pen = nullptr;
    HBRUSH brush = nullptr;
    HGDIOBJ oldPen, oldBrush;
};

// Notifications of native controls arrive at their parent; forms and panels
// route them to the control's sink and give every control the red text.
bool containerMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    switch (msg) {
        case WM_COMMAND: {
            HWND child = reinterpret_cast<HWND>(lp);
            Node* n = nodeOf(child);
            if (n && n->sink && HIWORD(wp) == BN_CLICKED) {
                n->sink->userSelect(GetDlgCtrlID(child) - 1);
                result = 0;
                return true;
            }
            return false;
        }
        case WM_VSCROLL: {
            HWND child = reinterpret_cast<HWND>(lp);
            Node* n = nodeOf(child);
            if (n && n->sink) {
                n->sink->userPosition(static_cast<int>(SendMessageW(child, TBM_GETPOS, 0, 0)));
                result = 0;
                return true;
            }
            return false;
        }
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORBTN: {
            HDC dc = reinterpret_cast<HDC>(wp);
            SetTextColor(dc, colorRef(Colour::Red));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
            return true;
        }
        case WM_CTLCOLOREDIT: {
            HDC dc = reinterpret_cast<HDC>(wp);
            SetTextColor(dc, colorRef(Colour::Red));
            SetBkColor(dc, GetSysColor(COLOR_WINDOW));
            result = reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            return true;
        }
        default: return false;
    }
}

LRESULT CALLBACK formProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Node* n = nodeOf(hwnd);
    LRESULT result = 0;
    switch (msg) {
        case WM_TIMER:
            if (n && n->formSink && wp == kTimerId) n->formSink->timerTick();
            return 0;
        case kDpiChangedAfterParent:
            // A child window hears of its monitor's DPI only through this
            // (Windows 10 1703 on, per-monitor v2 windows).
            if (n && n->formSink) n->formSink->screenScaleChanged();
            return 0;
        case WM_PAINT: {
            PAINTSTRUCT ps;
            BeginPaint(hwnd, &ps);
            EndPaint(hwnd, &ps);
            if (n && n->formSink) {
                n->painted = true;
                n->formSink->formPaint();
            }
            return 0;
        }
        default:
            if (containerMessage(msg, wp, lp, result)) return result;
            return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

// Group frames are native group boxes that also hold their controls. A
// group box neither routes its children's notifications nor paints its
// inside, so it is subclassed to do both.
LRESULT CALLBACK groupProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Node* n = nodeOf(hwnd);
    LRESULT result = 0;
    if (msg == WM_ERASEBKGND) {
        RECT rc;
        GetClientRect(hwnd, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, GetSysColorBrush(COLOR_BTNFACE));
        return 1;
    }
    if (containerMessage(msg, wp, lp, result)) return result;
    WNDPROC original = n ? n->buttonProc : nullptr;
    if (!original) original = reinterpret_cast<WNDPROC>(GetClassLongPtrW(hwnd, GCLP_WNDPROC));
    return CallWindowProcW(original, hwnd, msg, wp, lp);
}

LRESULT CALLBACK knobProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    Node* n = nodeOf(hwnd);
    ControlSink* sink = n ? n->sink : nullptr;
    switch (msg) {
        case WM_ERASEBKGND: return 1;  // the paint below covers every pixel
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            RECT rc;
            GetClientRect(hwnd, &rc);
            // Drawn off-screen first so a knob turning under the mouse does
            // not flicker.
            HDC mem = CreateCompatibleDC(dc);
            HBITMAP bmp = CreateCompatibleBitmap(dc, rc.right, rc.bottom);
            HGDIOBJ oldBmp = SelectObject(mem, bmp);
            FillRect(mem, &rc, GetSysColorBrush(COLOR_BTNFACE));
            if (sink) {
                GdiCanvas canvas(mem, n->penWidth);
                sink->paint(canvas);
            }
            BitBlt(dc, 0, 0, rc.right, rc.bottom, mem, 0, 0, SRCCOPY);
            SelectObject(mem, oldBmp);
            DeleteObject(bmp);
            DeleteDC(mem);
            EndPaint(hwnd, &ps);
            return 0;
        }
        // No CS_DBLCLKS: a double click arrives as a second press, which
        // starts a drag like any press.
        case WM_LBUTTONDOWN:
            if (sink) sink->leftPress();
            return 0;
        case WM_MOUSEMOVE:
            if (sink) sink->mouseMove();
            return 0;
        case WM_LBUTTONUP:
            if (sink) sink->leftRelease();
            return 0;
        case WM_CAPTURECHANGED:
            if (sink) sink->captureLost();
            return 0;
        default: return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

// The window classes live as long as the module: registered for the first
// form (a function-local static, so forms opened on two UI threads at once
// register them exactly once) and unregistered when the module unloads,
// since classes registered by a DLL outlive it otherwise. A count of forms,
// which unregisters with the last one, would race between one thread's last
// form going and another's first form coming.
struct WindowClasses {
    WindowClasses() {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&icc);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.hInstance = moduleInstance();
        wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpfnWndProc = formProc;
        wc.lpszClassName = kFormClass;
        RegisterClassExW(&wc);
        wc.lpfnWndProc = knobProc;
        wc.lpszClassName = kKnobClass;
        wc.hbrBackground = nullptr;
        RegisterClassExW(&wc);
    }
    ~WindowClasses() {
        HINSTANCE inst = moduleInstance();
        UnregisterClassW(kFormClass, inst);
        UnregisterClassW(kKnobClass, inst);
    }
};

void registerClasses() { static const WindowClasses classes; }

}  // namespace orvo::win32
