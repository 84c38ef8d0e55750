// Opens the plug-in's editor the way a Windows host does and checks what a
// user and the host see: the window, a screenshot, a knob drag and a radio
// click turning into audioMasterAutomate, outside automation moving a
// slider, the form at 1.5x and 2x (asked for as a content scale) matching
// the 1x one and turning a knob per 4 pixels at 2x, and no window left
// behind after close. Then the same program, run again with the desktop
// at 144 dpi, must find the form at 1.5x on its own.
//
//   orvo-editor-wintest OrvoSwitch.dll screenshot.png
//   orvo-editor-wintest OrvoSwitch.dll screenshot.png --at-dpi 144   (the second run)
// Exit 0 when every check passes, 77 when the plug-in has no editor.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "DAEffectX.h"
#include "Downscale.h"
#include "PngWriter.h"
#include "WinUser.h"

namespace {

struct Automation {
    int index;
    float value;
};
std::vector<Automation> automations;

VstIntPtr VSTCALLBACK host(AEffect*, VstInt32 opcode, VstInt32 index, VstIntPtr, void*, float opt) {
    if (opcode == audioMasterAutomate) automations.push_back({index, opt});
    return opcode == audioMasterVersion ? 2400 : 0;
}

int passed = 0, failed = 0;
void check(bool ok, const char* what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    ++(ok ? passed : failed);
}

AEffect* fx = nullptr;
VstIntPtr dispatch(VstInt32 op, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr) {
    return fx->dispatcher(fx, op, index, value, ptr, 0.0f);
}

using orvo::test::children;
using orvo::test::className;
using orvo::test::findAt;
using orvo::test::inForm;
using orvo::test::text;

void pump(int ms) {
    orvo::test::pump(ms, [] { dispatch(effEditIdle); });
}

std::vector<std::uint32_t> grab(HWND window, int w, int h) {
    HDC dc = GetDC(window);
    HDC mem = CreateCompatibleDC(dc);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bmp = CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, dc, 0, 0, SRCCOPY);
    std::vector<std::uint32_t> px(static_cast<std::size_t>(w) * static_cast<std::size_t>(h));
    const auto* src = static_cast<const std::uint32_t*>(bits);
    for (std::size_t i = 0; i < px.size(); ++i) px[i] = src[i] & 0xFFFFFF;
    SelectObject(mem, old);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(window, dc);
    return px;
}

bool screenshot(HWND window, int w, int h, const std::string& path) {
    return orvo::test::writePng(path, w, h, grab(window, w, h));
}

// The content scale a front end asks for, as effVendorSpecific carries it.
bool askScale(float scale) {
    constexpr VstInt32 kScaleTag = ('P' << 24) | ('r' << 16) | ('e' << 8) | 'S';
    constexpr VstIntPtr kScaleValue = ('A' << 24) | ('e' << 16) | ('C' << 8) | 's';
    return fx->dispatcher(fx, effVendorSpecific, kScaleTag, kScaleValue, nullptr, scale) == 1;
}

// "shots/editor-win64.png" with "-2x" gives "shots/editor-win64-2x.png".
std::string suffixed(std::string path, const char* suffix) {
    const std::size_t dot = path.rfind(".png");
    return dot == std::string::npos ? path + suffix : path.insert(dot, suffix);
}

int atDpi(const std::string& png);
int runAtDpi(const wchar_t* self, const wchar_t* dll, const std::wstring& png, DWORD dpi);

bool lastAutomation(int index, float value) {
    return !automations.empty() && automations.back().index == index && automations.back().value == value;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: orvo-editor-wintest OrvoSwitch.dll screenshot.png\n");
        return 2;
    }
    std::wstring wpng = argv[2];
    std::string png(wpng.begin(), wpng.end());
    const bool dpiRun = argc >= 5 && std::wstring(argv[3]) == L"--at-dpi";
    // A host that is aware of per-monitor DPI, as current hosts are.
    if (dpiRun) {
        using SetFn = BOOL(WINAPI*)(HANDLE);
        if (auto set = reinterpret_cast<SetFn>(
                reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext"))))
            set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));
    }

    HMODULE dll = LoadLibraryW(argv[1]);
    if (!dll) {
        std::fprintf(stderr, "cannot load the plug-in\n");
        return 1;
    }
    using Main = AEffect* (*)(audioMasterCallback);
    auto entry = reinterpret_cast<Main>(reinterpret_cast<void*>(GetProcAddress(dll, "main")));
    fx = entry ? entry(host) : nullptr;
    if (!fx) {
        std::fprintf(stderr, "no effect\n");
        return 1;
    }
    if (!(fx->flags & effFlagsHasEditor)) {
        std::printf("SKIP the plug-in advertises no editor\n");
        return 77;
    }
    dispatch(effOpen);
    if (dpiRun) return atDpi(png);

    HWND hostWindow = orvo::test::openHostWindow(L"Editor test host", 520, 330);
    pump(100);

    ERect* rect = nullptr;
    check(dispatch(effEditGetRect, 0, 0, &rect) == 1 && rect && rect->bottom == 0 && rect->right == 0,
          "effEditGetRect before open answers an empty rectangle");
    check(dispatch(effEditOpen, 0, 0, hostWindow) == 1, "effEditOpen answers 1");
    rect = nullptr;
    dispatch(effEditGetRect, 0, 0, &rect);
    check(rect && rect->top == 0 && rect->left == 0 && rect->bottom == 281 && rect->right == 465,
          "effEditGetRect while open answers 0,0,281,465");

    pump(400);  // a few timer ticks
    HWND form = FindWindowExW(hostWindow, nullptr, L"OrvoSwitchForm", nullptr);
    check(form && IsWindowVisible(form), "the form is a visible child of the host's window");
    if (!form) return 1;
    check(inForm(hostWindow, form).x == 0 && inForm(hostWindow, form).y == 0, "the form sits at the top-left");
    check(!(GetWindowLongW(form, GWL_STYLE) & (WS_CAPTION | WS_BORDER | WS_THICKFRAME)), "the form has no border");
    RECT fr;
    GetClientRect(form, &fr);
    check(fr.right == 465 && fr.bottom == 281, "the form is 465 x 281");

    int knobs = 0, sliders = 0, radios = 0;
    for (HWND h : children(form)) {
        std::wstring c = className(h);
        knobs += c == L"OrvoSwitchKnob";
        sliders += c == TRACKBAR_CLASSW;
        radios += lstrcmpiW(c.c_str(), L"Button") == 0 && (GetWindowLongW(h, GWL_STYLE) & 0xF) == BS_RADIOBUTTON;
    }
    check(knobs == 5 && sliders == 4 && radios == 11, "five knobs, four sliders, eleven radio items");

    HWND slider = findAt(form, TRACKBAR_CLASSW, 320, 32);  // A
    check(slider && SendMessageW(slider, TBM_GETPOS, 0, 0) == 45 && SendMessageW(slider, TBM_GETRANGEMAX, 0, 0) == 50,
          "slider A shows 0.1 as position 45 of 0..50");
    check(screenshot(hostWindow, 520, 330, png), "screenshot saved");
    // Knob Mix (264,96 in the form) at 50: the pointer's highlight, black and
    // shadow strokes are the columns 14, 15 and 16 of the knob.
    {
        HDC dc = GetDC(form);
        COLORREF hi = GetPixel(dc, 264 + 14, 96 + 5), black = GetPixel(dc, 264 + 15, 96 + 5),
                 shadow = GetPixel(dc, 264 + 16, 96 + 5);
        ReleaseDC(form, dc);
        check(hi == GetSysColor(COLOR_BTNHIGHLIGHT) && black == RGB(0, 0, 0) && shadow == GetSysColor(COLOR_BTNSHADOW),
              "knob Mix draws its upright pointer as highlight, black and shadow columns");
    }

    // Drag knob Drag (Tsumami1) 20 pixels up: ten steps, 0.5 -> 0.6.
    HWND knob = findAt(form, L"OrvoSwitchKnob", 216, 96);
    check(knob != nullptr, "knob Drag found at 216,96");
    if (knob) {
        automations.clear();
        orvo::test::dragKnobUp20(knob, [](int ms) { pump(ms); });
        check(lastAutomation(10, 0.6f), "dragging knob Drag 20 pixels up automates Drag = 0.6");
        check(fx->getParameter(fx, 10) == 0.6f, "the synthesizer holds Drag = 0.6");
        check(GetCapture() == nullptr, "the release gave the mouse back");
    }

    // Click "BandPass".
    HWND bandPass = nullptr;
    for (HWND h : children(form))
        if (text(h) == L"BandPass") bandPass = h;
    check(bandPass != nullptr, "radio item BandPass found");
    if (bandPass) {
        automations.clear();
        PostMessageW(bandPass, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(6, 6));
        PostMessageW(bandPass, WM_LBUTTONUP, 0, MAKELPARAM(6, 6));
        pump(150);
        check(automations.size() == 1 && lastAutomation(6, 0.5f), "clicking BandPass automates Type = 0.5");
        check(SendMessageW(bandPass, BM_GETCHECK, 0, 0) == BST_CHECKED, "BandPass is checked");
    }

    // The host automates A; the slider follows within a tick, nothing echoes.
    automations.clear();
    fx->setParameter(fx, 0, 0.123f);
    pump(250);
    check(slider && SendMessageW(slider, TBM_GETPOS, 0, 0) == 44, "host A = 0.123 moves slider A to 44");
    pump(500);
    check(automations.empty(), "an idle editor sends nothing");
    check(fx->getParameter(fx, 0) == 0.123f, "the synthesizer keeps 0.123");

    // The same form at 1.5x and 2x, rebuilt in place; each box-filtered
    // back to 1x matches the 1x form in at least 90% of its pixels.
    const std::vector<std::uint32_t> form1x = grab(form, 465, 281);
    {
        RECT frame{0, 0, 960, 600};
        AdjustWindowRect(&frame, WS_OVERLAPPEDWINDOW, FALSE);
        SetWindowPos(hostWindow, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                     SWP_NOMOVE | SWP_NOZORDER);
    }
    for (const auto& [scale, suffix] : {std::pair{1.5f, "-1.5x"}, std::pair{2.0f, "-2x"}}) {
        const int w = static_cast<int>(std::lround(465 * scale)), h = static_cast<int>(std::lround(281 * scale));
        check(askScale(scale), "a content scale is taken");
        rect = nullptr;
        dispatch(effEditGetRect, 0, 0, &rect);
        pump(300);
        form = FindWindowExW(hostWindow, nullptr, L"OrvoSwitchForm", nullptr);
        RECT sr{};
        if (form) GetClientRect(form, &sr);
        check(rect && rect->bottom == h && rect->right == w && sr.right == w && sr.bottom == h &&
                  !FindWindowExW(hostWindow, form, L"OrvoSwitchForm", nullptr),
              "effEditGetRect and the one form have the scaled size");
        const std::vector<std::uint32_t> big = form ? grab(form, w, h) : std::vector<std::uint32_t>{};
        const double match = orvo::test::downscaledMatch(big, w, h, form1x, 465, 281);
        std::printf("     %s: %.1f%% of the pixels match 1x\n", suffix, 100.0 * match);
        check(orvo::test::writePng(suffixed(png, suffix), w, h, big) && match >= 0.9,
              "the scaled screenshot, box-filtered to 1x, matches the 1x one in 90% of its pixels");
    }
    // At 2x a knob turns one position per 4 pixels: Drag, 20 pixels right.
    if (HWND knob2x = form ? findAt(form, L"OrvoSwitchKnob", 432, 192) : nullptr) {
        automations.clear();
        RECT kr;
        GetWindowRect(knob2x, &kr);
        SetCursorPos(kr.left + 33, kr.top + 33);
        pump(50);
        PostMessageW(knob2x, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(33, 33));
        pump(50);
        SetCursorPos(kr.left + 53, kr.top + 33);
        PostMessageW(knob2x, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(53, 33));
        pump(50);
        PostMessageW(knob2x, WM_LBUTTONUP, 0, MAKELPARAM(53, 33));
        pump(150);
        check(lastAutomation(10, 0.65f), "at 2x dragging knob Drag 20 pixels right automates Drag = 0.65");
    } else {
        check(false, "knob Drag found at 432,192 at 2x");
    }
    check(askScale(1.0f), "back to 1x");
    pump(150);
    form = FindWindowExW(hostWindow, nullptr, L"OrvoSwitchForm", nullptr);

    // Nested open/close keeps the form; the balancing close removes it.
    dispatch(effEditOpen, 0, 0, hostWindow);
    dispatch(effEditClose);
    check(IsWindow(form), "open, open, close keeps the form");
    dispatch(effEditClose);
    pump(50);
    check(!IsWindow(form) && children(hostWindow).empty(), "effEditClose leaves no child window behind");
    rect = nullptr;
    dispatch(effEditGetRect, 0, 0, &rect);
    check(rect && rect->bottom == 0 && rect->right == 0, "effEditGetRect after close answers an empty rectangle");

    // Reopen, then close the plug-in with the editor open.
    dispatch(effEditOpen, 0, 0, hostWindow);
    pump(150);
    form = FindWindowExW(hostWindow, nullptr, L"OrvoSwitchForm", nullptr);
    check(form != nullptr, "the editor opens again");
    dispatch(effClose);
    fx = nullptr;
    check(children(hostWindow).empty(), "effClose with the editor open destroys it");

    DestroyWindow(hostWindow);
    if (!failed) check(runAtDpi(argv[0], argv[1], wpng, 144) == 0, "at 144 dpi the editor opens at 1.5x on its own");
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}

namespace {

// The second run: nothing asked for, the form follows the desktop's DPI.
int atDpi(const std::string& png) {
    HWND hostWindow = orvo::test::openHostWindow(L"Editor test host at 144 dpi", 720, 440);
    pump(100);
    dispatch(effEditOpen, 0, 0, hostWindow);
    pump(300);
    ERect* rect = nullptr;
    dispatch(effEditGetRect, 0, 0, &rect);
    HWND form = FindWindowExW(hostWindow, nullptr, L"OrvoSwitchForm", nullptr);
    RECT fr{};
    if (form) GetClientRect(form, &fr);
    std::printf("     rect %d x %d, form %ld x %ld\n", rect ? rect->right : -1, rect ? rect->bottom : -1, fr.right,
                fr.bottom);
    check(rect && rect->right == 698 && rect->bottom == 422 && fr.right == 698 && fr.bottom == 422,
          "effEditGetRect and the form are 698 x 422");
    if (form) check(screenshot(form, 698, 422, suffixed(png, "-dpi144")), "screenshot at 144 dpi saved");
    dispatch(effEditClose);
    dispatch(effClose);
    DestroyWindow(hostWindow);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed ? 1 : 0;
}

// Runs this program again with the desktop's LogPixels at `dpi`, read by
// a process when it starts; the setting before is put back afterwards.
int runAtDpi(const wchar_t* self, const wchar_t* dll, const std::wstring& png, DWORD dpi) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return -1;
    DWORD before = 0, size = sizeof before, type = 0;
    const bool had = RegQueryValueExW(key, L"LogPixels", nullptr, &type, reinterpret_cast<BYTE*>(&before), &size) ==
                         ERROR_SUCCESS && type == REG_DWORD;
    RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof dpi);
    std::wstring command = L"\"" + std::wstring(self) + L"\" \"" + dll + L"\" \"" + png + L"\" --at-dpi " + std::to_wstring(dpi);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    DWORD code = 1;
    if (CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) {
        WaitForSingleObject(pi.hProcess, 120000);
        GetExitCodeProcess(pi.hProcess, &code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    if (had)
        RegSetValueExW(key, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&before), sizeof before);
    else
        RegDeleteValueW(key, L"LogPixels");
    RegCloseKey(key);
    return static_cast<int>(code);
}

}  // namespace
