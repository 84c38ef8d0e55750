#include "x11/ScreenScale.h"

#include <X11/Xlib.h>
#include <X11/Xresource.h>

#include <cstdlib>
#include <cstring>

namespace orvo {

namespace {
constexpr double kDesignDpi = 96.0;

double positive(const char* text) {
    if (!text || !*text) return 0.0;
    char* end = nullptr;
    const double v = std::strtod(text, &end);
    return end != text && v > 0.0 ? v : 0.0;
}
}  // namespace

double screenScaleOf(Display* display) {
    if (const double gdk = positive(std::getenv("GDK_SCALE")); gdk > 0.0) return gdk;
    if (!display) return 1.0;
    // Xlib's copy from when the connection opened: callers that want a
    // change of the setting to show open a connection of their own.
    const char* resources = XResourceManagerString(display);
    if (!resources) return 1.0;
    XrmInitialize();
    XrmDatabase db = XrmGetStringDatabase(resources);
    if (!db) return 1.0;
    double dpi = 0.0;
    char* type = nullptr;
    XrmValue value{};
    if (XrmGetResource(db, "Xft.dpi", "Xft.Dpi", &type, &value) && value.addr) dpi = positive(value.addr);
    XrmDestroyDatabase(db);
    return dpi > 0.0 ? dpi / kDesignDpi : 1.0;
}

double screenScaleOfDefaultDisplay() {
    Display* d = XOpenDisplay(nullptr);
    if (!d) return 1.0;
    const double s = screenScaleOf(d);
    XCloseDisplay(d);
    return s;
}

}  // namespace orvo
