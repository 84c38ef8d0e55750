#include "win32/Win32Platform.h"

#include "Layout.h"
#include "win32/Win32Detail.h"

namespace orvo {

using namespace win32;

namespace {

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
