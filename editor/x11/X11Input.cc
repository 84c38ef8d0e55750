// Input on X11: pointer, keyboard and focus as the Windows controls take
// them, and the memo's caret editing.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdlib>

#include "Layout.h"
#include "SliderLook.h"
#include "x11/X11Detail.h"

namespace orvo {

using namespace x11;

void X11Platform::dispatch(void* event) {
    XEvent& ev = *static_cast<XEvent*>(event);
    auto it = byWindow.find(ev.xany.window);
    Node* n = it == byWindow.end() ? nullptr : it->second;
    if (!n) return;
    switch (ev.type) {
        case Expose:
            n->dirty = true;
            return;
        case DestroyNotify:
            // The host destroyed its window under us: nothing of ours is
            // left on the server to draw into.
            if (n == form && ev.xdestroywindow.window == form->window) {
                for (auto& m : nodes) m->window = 0;
                byWindow.clear();
            }
            return;
        case FocusIn:
        case FocusOut:
            if (ev.type == FocusIn) {
                if (focused && focused != n) focused->dirty = true;
                focused = n;
            } else if (focused == n) {
                focused = nullptr;
            }
            n->dirty = true;
            return;
        case KeyPress:
            keyPress(n, &ev);
            return;
        default: break;
    }
    if (ev.type != ButtonPress && ev.type != ButtonRelease && ev.type != MotionNotify) return;
    if (ev.type == ButtonPress && ev.xbutton.button == Button1 &&
        (n->kind == kSlider || n->kind == kRadio || n->kind == kMemo) && !knobDrag)
        focus(n);
    inEvent = true;
    if (ev.type == MotionNotify) {
        eventPointer = {ev.xmotion.x_root, ev.xmotion.y_root};
    } else {
        eventPointer = {ev.xbutton.x_root, ev.xbutton.y_root};
    }
    // While a knob holds the capture every pointer event is its own.
    if (knobDrag) n = knobDrag;
    if (n->kind == kKnob && n->sink) {
        if (ev.type == ButtonPress && ev.xbutton.button == Button1) {
            n->sink->leftPress();
        } else if (ev.type == ButtonRelease && ev.xbutton.button == Button1) {
            n->sink->leftRelease();
        } else if (ev.type == MotionNotify) {
            // A move without the button means the release went elsewhere:
            // the capture was lost.
            if (knobDrag == n && !(ev.xmotion.state & Button1Mask)) {
                knobDrag = nullptr;
                n->sink->captureLost();
            } else {
                n->sink->mouseMove();
            }
        }
    } else if (n->kind == kSlider && n->sink) {
        SliderGeometry g(n->box, n->max, scale);
        const int y = ev.type == MotionNotify ? ev.xmotion.y : ev.xbutton.y;
        if (ev.type == ButtonPress && (ev.xbutton.button == Button4 || ev.xbutton.button == Button5)) {
            // The wheel steps one position, up towards the top.
            const int p = std::clamp(n->value + (ev.xbutton.button == Button4 ? -1 : 1), 0, n->max);
            if (p != n->value) n->sink->userPosition(p);
        } else if (ev.type == ButtonPress && ev.xbutton.button == Button1) {
            const int c = g.centre(n->value);
            if (y >= c - g.above - scale.px(1) && y <= c + g.below + scale.px(1)) {
                slideDrag = n;
                slideGrabOffset = y - c;
            } else {
                // A click on the channel moves one page (one position here)
                // towards the pointer.
                n->sink->userPosition(std::clamp(n->value + (y < c ? -1 : 1), 0, n->max));
            }
        } else if (ev.type == MotionNotify && slideDrag == n) {
            const int p = g.positionAt(y - slideGrabOffset);
            if (p != n->value) n->sink->userPosition(p);
        } else if (ev.type == ButtonRelease && ev.xbutton.button == Button1) {
            slideDrag = nullptr;
        }
    } else if (n->kind == kMemo && ev.type == ButtonPress && ev.xbutton.button == Button1 && x->font &&
               !n->items.empty()) {
        // The caret goes to the character boundary nearest the click.
        const int lineHeight = x->font->ascent + x->font->descent;
        const int li = std::clamp((ev.xbutton.y - scale.px(2)) / std::max(lineHeight, 1), 0, int(n->items.size()) - 1);
        const std::string& l = n->items[static_cast<std::size_t>(li)];
        std::size_t best = 0;
        int bestDistance = std::abs(ev.xbutton.x - scale.px(3));
        for (std::size_t i = 1; i <= l.size(); ++i) {
            if (i < l.size() && (static_cast<unsigned char>(l[i]) & 0xC0) == 0x80) continue;
            XGlyphInfo gi;
            XftTextExtentsUtf8(x->display, x->font, reinterpret_cast<const FcChar8*>(l.data()), static_cast<int>(i), &gi);
            const int distance = std::abs(ev.xbutton.x - scale.px(3) - gi.xOff);
            if (distance < bestDistance) best = i, bestDistance = distance;
        }
        n->caretLine = li;
        n->caretByte = best;
        n->dirty = true;
    } else if (n->kind == kRadio && n->sink) {
        if (ev.type == ButtonRelease && ev.xbutton.button == Button1) {
            const int count = static_cast<int>(n->items.size());
            for (int i = 0; i < count; ++i) {
                Box b = radioItemBox(n->box.width, n->box.height, count, i, scale);
                if (ev.xbutton.x >= b.left && ev.xbutton.x < b.left + b.width && ev.xbutton.y >= b.top &&
                    ev.xbutton.y < b.top + b.height) {
                    n->sink->userSelect(i);
                    break;
                }
            }
        }
    }
    inEvent = false;
}

void X11Platform::focus(Node* n) {
    if (!x || !n->window) return;
    XSetInputFocus(x->display, n->window, RevertToParent, CurrentTime);
    if (focused && focused != n) focused->dirty = true;
    focused = n;
    n->dirty = true;
}

// The keys of the native controls: arrows, page keys, Home and End move a
// slider by one position or to an end; arrows choose the neighbouring radio
// item; Tab and Shift+Tab walk the controls in keyboard order.
void X11Platform::keyPress(Node* n, void* event) {
    XKeyEvent& key = static_cast<XEvent*>(event)->xkey;
    const KeySym sym = XLookupKeysym(&key, 0);
    if (sym == XK_Tab || sym == XK_ISO_Left_Tab) {
        std::vector<Node*> order;
        for (auto& m : nodes)
            if ((m->kind == kSlider || m->kind == kRadio || m->kind == kMemo) && m->window) order.push_back(m.get());
        auto it = std::find(order.begin(), order.end(), n);
        if (it == order.end() || order.empty()) return;
        std::ptrdiff_t i = it - order.begin();
        const std::ptrdiff_t count = static_cast<std::ptrdiff_t>(order.size());
        const bool back = sym == XK_ISO_Left_Tab || (key.state & ShiftMask);
        focus(order[static_cast<std::size_t>((i + (back ? count - 1 : 1)) % count)]);
        return;
    }
    if (n->kind == kMemo) {
        editMemo(n, event);
        return;
    }
    if (!n->sink) return;
    if (n->kind == kSlider) {
        int p = n->value;
        switch (sym) {
            case XK_Up: case XK_Left: case XK_Prior: case XK_KP_Up: case XK_KP_Left: case XK_KP_Prior: --p; break;
            case XK_Down: case XK_Right: case XK_Next: case XK_KP_Down: case XK_KP_Right: case XK_KP_Next: ++p; break;
            case XK_Home: case XK_KP_Home: p = 0; break;
            case XK_End: case XK_KP_End: p = n->max; break;
            default: return;
        }
        p = std::clamp(p, 0, n->max);
        if (p != n->value) n->sink->userPosition(p);
    } else if (n->kind == kRadio) {
        const int last = static_cast<int>(n->items.size()) - 1;
        int i = n->value;
        switch (sym) {
            case XK_Up: case XK_Left: case XK_KP_Up: case XK_KP_Left: i = i < 0 ? 0 : i - 1; break;
            case XK_Down: case XK_Right: case XK_KP_Down: case XK_KP_Right: i = i < 0 ? 0 : i + 1; break;
            default: return;
        }
        i = std::clamp(i, 0, last);
        if (i != n->value) n->sink->userSelect(i);
    }
}

// The about text can be edited like any text box, to no effect: typing,
// Backspace, Delete, Return and the caret keys.
void X11Platform::editMemo(Node* n, void* event) {
    XKeyEvent& key = static_cast<XEvent*>(event)->xkey;
    char buf[16] = {};
    KeySym sym = 0;
    const int len = XLookupString(&key, buf, sizeof buf, &sym, nullptr);
    if (n->items.empty()) n->items.emplace_back();
    auto& lines = n->items;
    int& line = n->caretLine;
    std::size_t& at = n->caretByte;
    line = std::clamp(line, 0, static_cast<int>(lines.size()) - 1);
    std::string* cur = &lines[static_cast<std::size_t>(line)];
    at = std::min(at, cur->size());
    auto isCont = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    auto prev = [&](const std::string& t, std::size_t i) {
        while (i > 0 && isCont(t[--i])) {
        }
        return i;
    };
    auto next = [&](const std::string& t, std::size_t i) {
        if (i < t.size()) ++i;
        while (i < t.size() && isCont(t[i])) ++i;
        return i;
    };
    switch (sym) {
        case XK_Left:
            if (at > 0) at = prev(*cur, at);
            else if (line > 0) at = lines[static_cast<std::size_t>(--line)].size();
            break;
        case XK_Right:
            if (at < cur->size()) at = next(*cur, at);
            else if (line + 1 < static_cast<int>(lines.size())) ++line, at = 0;
            break;
        case XK_Up: if (line > 0) --line; break;
        case XK_Down: if (line + 1 < static_cast<int>(lines.size())) ++line; break;
        case XK_Home: at = 0; break;
        case XK_End: at = cur->size(); break;
        case XK_BackSpace:
            if (at > 0) {
                std::size_t from = prev(*cur, at);
                cur->erase(from, at - from);
                at = from;
            } else if (line > 0) {
                std::string rest = *cur;
                lines.erase(lines.begin() + line);
                --line;
                at = lines[static_cast<std::size_t>(line)].size();
                lines[static_cast<std::size_t>(line)] += rest;
            }
            break;
        case XK_Delete:
            if (at < cur->size()) {
                cur->erase(at, next(*cur, at) - at);
            } else if (line + 1 < static_cast<int>(lines.size())) {
                *cur += lines[static_cast<std::size_t>(line + 1)];
                lines.erase(lines.begin() + line + 1);
            }
            break;
        case XK_Return:
        case XK_KP_Enter: {
            std::string rest = cur->substr(at);
            cur->erase(at);
            lines.insert(lines.begin() + line + 1, rest);
            ++line;
            at = 0;
            break;
        }
        default: {
            if (len <= 0 || (key.state & ControlMask)) return;
            // XLookupString answers in Latin-1; the lines are UTF-8.
            std::string text;
            for (int i = 0; i < len; ++i) {
                unsigned char c = static_cast<unsigned char>(buf[i]);
                if (c < 0x20 || c == 0x7F) continue;
                if (c < 0x80) {
                    text += static_cast<char>(c);
                } else {
                    text += static_cast<char>(0xC0 | (c >> 6));
                    text += static_cast<char>(0x80 | (c & 0x3F));
                }
            }
            cur->insert(at, text);
            at += text.size();
            break;
        }
    }
    cur = &lines[static_cast<std::size_t>(line)];
    at = std::min(at, cur->size());
    while (at > 0 && at < cur->size() && isCont((*cur)[at])) --at;
    n->dirty = true;
}

}  // namespace orvo
