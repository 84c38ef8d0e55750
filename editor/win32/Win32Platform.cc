#include "win32/Win32Platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <commctrl.h>

#include <string>

#include "Layout.h"

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

namespace {

constexpr wchar_t kFormClass[] = L"OrvoSwitchForm";
constexpr wchar_t kKnobClass[] = L"OrvoSwitchKnob";
constexpr UINT_PTR kTimerId = 1;

using Node = Win32Platform::Node;

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

// Looked up at run time: the calls exist from Windows 10 on, and the plug-in
// imports nothing beyond the core system DLLs.
template <class Fn>
Fn user32(const char* name) {
    HMODULE user = GetModuleHandleW(L"user32.dll");
    return user ? reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(user, name))) : nullptr;
}

// Per-monitor DPI awareness for the windows made while it lives, where the
// system offers it; the thread's previous awareness comes back after.
class DpiAwareness {
public:
    DpiAwareness() {
        if (set) before = set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));  // PER_MONITOR_AWARE_V2
    }
    ~DpiAwareness() {
        if (set && before) set(before);
    }
    DpiAwareness(const DpiAwareness&) = delete;
    DpiAwareness& operator=(const DpiAwareness&) = delete;

private:
    using SetFn = HANDLE(WINAPI*)(HANDLE);
    SetFn set = user32<SetFn>("SetThreadDpiAwarenessContext");
    HANDLE before = nullptr;
};

// Honours the requested character set when the face supports it; where the
// mapper would trade Times New Roman for some other face to get Shift-JIS,
// the face wins and the default character set is used.
HFONT makeFont(const FontStyle& style) {
    std::wstring face = widen(style.face);
    auto make = [&](BYTE charset) {
        return CreateFontW(-style.pixelHeight, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                           CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_ROMAN, face.c_str());
    };
    HFONT font = make(style.shiftJis ? SHIFTJIS_CHARSET : DEFAULT_CHARSET);
    if (!style.shiftJis) return font;
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    wchar_t got[LF_FACESIZE] = {};
    GetTextFaceW(dc, LF_FACESIZE, got);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    if (lstrcmpiW(got, face.c_str()) == 0) return font;
    DeleteObject(font);
    return make(DEFAULT_CHARSET);
}

}  // namespace

Win32Platform::Win32Platform() = default;

Win32Platform::~Win32Platform() {
    if (!nodes.empty()) destroyForm(nodes.front().get());
}

Node* Win32Platform::add(void* hwnd, Node* parent) {
    auto n = std::make_unique<Node>();
    n->hwnd = static_cast<HWND>(hwnd);
    n->parent = parent;
    if (n->hwnd) SetWindowLongPtrW(n->hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(n.get()));
    nodes.push_back(std::move(n));
    return nodes.back().get();
}

void* Win32Platform::createChild(Node* parent, const wchar_t* cls, const wchar_t* text, unsigned long style, Box box,
                                 int id, unsigned long exStyle) {
    HWND parentHwnd = parent ? parent->hwnd : nullptr;
    if (!parentHwnd) return nullptr;
    const DpiAwareness aware;  // as the form's window, so the system scales none of them
    HWND hwnd = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, box.left, box.top, box.width, box.height,
                                parentHwnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), moduleInstance(),
                                nullptr);
    if (hwnd) SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return hwnd;
}

Win32Platform::Node* Win32Platform::makeGroup(Node* parent, Box box, std::string_view caption) {
    std::wstring text = widen(caption);
    Node* n = add(createChild(parent, L"BUTTON", text.c_str(), BS_GROUPBOX | BS_FLAT | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                              box, 0, WS_EX_CONTROLPARENT),
                  parent);
    classicLook(n->hwnd);
    if (n->hwnd)
        n->buttonProc = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(n->hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&groupProc)));
    return n;
}

Widget Win32Platform::createForm(void* parentWindow, int width, int height, const FontStyle& style, Scale sc,
                                 FormSink* sink) {
    registerClasses();
    scale = sc;
    // Our windows take the DPI awareness of the thread that makes them;
    // asking for per-monitor awareness while they are made keeps a host
    // that is not DPI-aware from stretching the scaled form a second time.
    const DpiAwareness aware;
    font = makeFont(style);
    // The requested alpha blending is left out: on a child window it would
    // leave the panel nearly invisible.
    HWND hwnd = CreateWindowExW(WS_EX_CONTROLPARENT, kFormClass, L"Form1", WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                0, 0, width, height, static_cast<HWND>(parentWindow), nullptr, moduleInstance(),
                                nullptr);
    Node* n = add(hwnd, nullptr);
    n->formSink = sink;
    return n;
}

void Win32Platform::showForm(Widget form) {
    HWND hwnd = static_cast<Node*>(form)->hwnd;
    if (!hwnd) return;
    ShowWindow(hwnd, SW_SHOW);
    SetWindowPos(hwnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}

void Win32Platform::destroyForm(Widget form) {
    Node* f = static_cast<Node*>(form);
    // Nothing may reach the core while the windows go: the sinks are being
    // destroyed with the form.
    for (auto& n : nodes) {
        if (n->hwnd && IsWindow(n->hwnd)) SetWindowLongPtrW(n->hwnd, GWLP_USERDATA, 0);
        for (HWND item : n->items)
            if (item && IsWindow(item)) SetWindowLongPtrW(item, GWLP_USERDATA, 0);
    }
    if (f && f->hwnd && IsWindow(f->hwnd)) {
        KillTimer(f->hwnd, kTimerId);
        if (GetCapture() && IsChild(f->hwnd, GetCapture())) ReleaseCapture();
        DestroyWindow(f->hwnd);
    }
    for (auto& n : nodes)
        if (n->bitmap) DeleteObject(n->bitmap);
    nodes.clear();
    if (font) DeleteObject(static_cast<HFONT>(font));
    font = nullptr;
}

void Win32Platform::startTimer(Widget form, int milliseconds) {
    HWND hwnd = static_cast<Node*>(form)->hwnd;
    if (hwnd) SetTimer(hwnd, kTimerId, static_cast<UINT>(milliseconds), nullptr);
}

void Win32Platform::repaintNow(Widget widget) {
    Node* n = static_cast<Node*>(widget);
    if (!n->hwnd) return;
    n->painted = false;
    RedrawWindow(n->hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_NOCHILDREN);
    // The form is covered by its controls and clips them, so the window
    // system may find nothing of it to paint; its paint handler must run
    // all the same.
    if (n->formSink && !n->painted) n->formSink->formPaint();
}

void Win32Platform::invalidate(Widget widget) {
    Node* n = static_cast<Node*>(widget);
    if (n && n->hwnd) InvalidateRect(n->hwnd, nullptr, FALSE);
}

Widget Win32Platform::createGroup(Widget parent, Box box, std::string_view caption) {
    return makeGroup(static_cast<Node*>(parent), box, caption);
}

Widget Win32Platform::createLabel(Widget parent, Box box, std::string_view text, bool alignBottom) {
    Node* p = static_cast<Node*>(parent);
    std::wstring w = widen(text);
    return add(createChild(p, L"STATIC", w.c_str(), SS_LEFT | SS_NOPREFIX, labelBox(box, alignBottom, scale)), p);
}

Widget Win32Platform::createSlider(Widget parent, Box box, const SliderStyle& style, int position, ControlSink* sink) {
    Node* p = static_cast<Node*>(parent);
    HWND hwnd = static_cast<HWND>(createChild(
        p, TRACKBAR_CLASSW, L"", WS_TABSTOP | WS_GROUP | TBS_VERT | TBS_BOTH | TBS_AUTOTICKS | TBS_FIXEDLENGTH, box));
    Node* n = add(hwnd, p);
    n->sink = sink;
    classicLook(hwnd);
    if (hwnd) {
        SendMessageW(hwnd, TBM_SETRANGE, FALSE, MAKELPARAM(0, style.max));
        SendMessageW(hwnd, TBM_SETTICFREQ, static_cast<WPARAM>(style.tickEvery), 0);
        SendMessageW(hwnd, TBM_SETLINESIZE, 0, 1);
        SendMessageW(hwnd, TBM_SETPAGESIZE, 0, 1);
        SendMessageW(hwnd, TBM_SETTHUMBLENGTH, static_cast<WPARAM>(style.thumbLength), 0);
        SendMessageW(hwnd, TBM_SETPOS, TRUE, position);
    }
    return n;
}

void Win32Platform::setSliderPosition(Widget slider, int position) {
    HWND hwnd = static_cast<Node*>(slider)->hwnd;
    if (hwnd && SendMessageW(hwnd, TBM_GETPOS, 0, 0) != position) SendMessageW(hwnd, TBM_SETPOS, TRUE, position);
}

Widget Win32Platform::createRadioGroup(Widget parent, Box box, std::string_view caption,
                                       std::span<const std::string_view> items, int selected, ControlSink* sink) {
    Node* n = makeGroup(static_cast<Node*>(parent), box, caption);
    const int count = static_cast<int>(items.size());
    for (int i = 0; i < count; ++i) {
        std::wstring w = widen(items[static_cast<std::size_t>(i)]);
        // Plain (not automatic) radio buttons: the core decides what is checked.
        unsigned long style = BS_RADIOBUTTON | (i == 0 ? WS_GROUP | WS_TABSTOP : 0);
        HWND b = static_cast<HWND>(createChild(n, L"BUTTON", w.c_str(), style,
                                               radioItemBox(box.width, box.height, count, i, scale), i + 1));
        classicLook(b);
        if (b) {
            SetWindowLongPtrW(b, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(n));
            SendMessageW(b, BM_SETCHECK, i == selected ? BST_CHECKED : BST_UNCHECKED, 0);
        }
        n->items.push_back(b);
    }
    n->sink = sink;
    return n;
}

void Win32Platform::setRadioSelection(Widget group, int item) {
    Node* n = static_cast<Node*>(group);
    for (std::size_t i = 0; i < n->items.size(); ++i)
        if (n->items[i])
            SendMessageW(n->items[i], BM_SETCHECK, static_cast<int>(i) == item ? BST_CHECKED : BST_UNCHECKED, 0);
}

Widget Win32Platform::createMemo(Widget parent, Box box, std::span<const std::string_view> lines) {
    Node* p = static_cast<Node*>(parent);
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i) text += "\r\n";
        text += lines[i];
    }
    std::wstring w = widen(text);
    return add(createChild(p, L"EDIT", w.c_str(),
                           WS_TABSTOP | WS_GROUP | WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN | ES_LEFT,
                           box),
               p);
}

Widget Win32Platform::createPicture(Widget parent, Box box, const Image& image) {
    Node* p = static_cast<Node*>(parent);
    Node* n = add(createChild(p, L"STATIC", L"", SS_BITMAP, box), p);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = image.width;
    bi.bmiHeader.biHeight = -image.height;  // top-down, as the pixels are stored
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bmp && bits) {
        // 0x00RRGGBB in memory is the B, G, R, X order of a 32-bit DIB.
        auto* out = static_cast<std::uint32_t*>(bits);
        for (std::size_t i = 0; i < image.pixels.size(); ++i) out[i] = image.pixels[i] | 0xFF000000u;
        n->bitmap = bmp;
        if (n->hwnd) SendMessageW(n->hwnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bmp));
    }
    return n;
}

Widget Win32Platform::createKnob(Widget parent, Box box, ControlSink* sink) {
    Node* p = static_cast<Node*>(parent);
    Node* n = add(createChild(p, kKnobClass, L"", 0, box), p);
    n->sink = sink;
    n->penWidth = scale.line();
    return n;
}

void Win32Platform::setCapture(Widget widget) {
    HWND hwnd = static_cast<Node*>(widget)->hwnd;
    if (hwnd) SetCapture(hwnd);
}

void Win32Platform::releaseCapture() { ReleaseCapture(); }

double Win32Platform::screenScale(void* parentWindow) {
    constexpr double kDesignDpi = 96.0;
    using ForWindowFn = UINT(WINAPI*)(HWND);
    static const ForWindowFn forWindow = user32<ForWindowFn>("GetDpiForWindow");
    UINT dpi = 0;
    if (forWindow && parentWindow) dpi = forWindow(static_cast<HWND>(parentWindow));
    if (!dpi) {
        HDC dc = GetDC(nullptr);
        dpi = dc ? static_cast<UINT>(GetDeviceCaps(dc, LOGPIXELSY)) : 0;
        if (dc) ReleaseDC(nullptr, dc);
    }
    return dpi ? dpi / kDesignDpi : 1.0;
}

Point Win32Platform::cursorPos() {
    POINT p{};
    GetCursorPos(&p);
    return {static_cast<int>(p.x), static_cast<int>(p.y)};
}

}  // namespace orvo
