#include "Vst3View.h"

#include <algorithm>
#include <cstring>

#include "NativePlatform.h"
#include "Vst3Synth.h"

namespace orvo::vst3 {
namespace {

constexpr bool kNeedsTimer = kNeedsHostTimer;
constexpr uint64_t kTimerMs = kHostTimerMs;

Vst3View& of(void* self) { return Face<Vst3View>::of(self); }

v3_result V3_API query(void* self, const v3_tuid iid, void** obj) { return of(self).query(iid, obj); }  // main
uint32_t V3_API ref(void* self) { return of(self).ref(); }                                            // main
uint32_t V3_API unref(void* self) { return of(self).unref(); }                                        // main

v3_result V3_API typeSupported(void*, const char* type) {  // main
    return type && !std::strcmp(type, V3_VIEW_PLATFORM_TYPE_NATIVE) ? V3_TRUE : V3_FALSE;
}
v3_result V3_API attached(void* self, void* parent, const char* type) { return of(self).attached(parent, type); }  // main
v3_result V3_API removed(void* self) { return of(self).removed(); }                                             // main
v3_result V3_API onWheel(void*, float) { return V3_FALSE; }                                                     // main
v3_result V3_API onKey(void*, int16_t, int16_t, int16_t) { return V3_FALSE; }                                   // main
v3_result V3_API getSize(void* self, v3_view_rect* rect) { return of(self).size(rect); }                        // main
v3_result V3_API onSize(void* self, v3_view_rect* rect) { return of(self).onSize(rect); }                       // main
v3_result V3_API onFocus(void*, v3_bool) { return V3_OK; }                                                      // main
v3_result V3_API setFrame(void* self, v3_plugin_frame** frame) { return of(self).setFrame(frame); }             // main
// Any size the form can take: it scales from 1 to 3 and keeps its shape.
v3_result V3_API canResize(void*) { return V3_TRUE; }  // main
v3_result V3_API checkSize(void*, v3_view_rect* rect) {  // main
    if (!rect) return V3_INVALID_ARG;
    const double scale = TForm1::scaleToFit(rect->right - rect->left, rect->bottom - rect->top);
    rect->right = rect->left + TForm1::widthAt(scale);
    rect->bottom = rect->top + TForm1::heightAt(scale);
    return V3_OK;
}
v3_result V3_API setContentScale(void* self, float scale) { return of(self).setContentScale(scale); }  // main
void V3_API onTimer(void* self) { of(self).onTimer(); }                                               // main

const v3_plugin_view_cpp kViewTable = {
    {query, ref, unref},
    {typeSupported, attached, removed, onWheel, onKey, onKey, getSize, onSize, onFocus, setFrame, canResize,
     checkSize},
};
const v3_plugin_view_content_scale_cpp kScaleTable = {{query, ref, unref}, {setContentScale}};
const v3_timer_handler_cpp kTimerTable = {{query, ref, unref}, {onTimer}};

}  // namespace

v3_plugin_view** createView(Vst3Synth& synth, const char* name) {  // main
    if (!name || std::strcmp(name, "editor") != 0) return nullptr;
    Vst3View* view = Vst3View::create(synth);
    return view ? view->view() : nullptr;
}

Vst3View* Vst3View::create(Vst3Synth& synth) {
    auto platform = createNativePlatform();
    return platform ? new Vst3View(synth, std::move(platform)) : nullptr;
}

Vst3View::Vst3View(Vst3Synth& synth, std::unique_ptr<Platform> platform)
    : view_{&kViewTable, this},
      contentScale_{&kScaleTable, this},
      timer_{&kTimerTable, this},
      synth_(synth),
      platform_(std::move(platform)) {
    synth_.ref();
}

// The form goes first: a form still open reads values while it closes.
Vst3View::~Vst3View() {
    removed();
    setFrame(nullptr);
    synth_.unref();
}

v3_result Vst3View::query(const v3_tuid iid, void** obj) {
    if (!obj) return V3_INVALID_ARG;
    void* face = nullptr;
    if (sameId(iid, v3_funknown_iid) || sameId(iid, v3_plugin_view_iid))
        face = &view_;
    else if (sameId(iid, v3_plugin_view_content_scale_iid))
        face = &contentScale_;
    else if (sameId(iid, v3_timer_handler_iid))
        face = &timer_;
    *obj = face;
    if (!face) return V3_NO_INTERFACE;
    ref();
    return V3_OK;
}

uint32_t Vst3View::unref() {
    const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

// One parent per attachment; on Linux only with the host's run loop to
// read the X connection from.
v3_result Vst3View::attached(void* parent, const char* type) {
    if (!parent || typeSupported(nullptr, type) != V3_TRUE || form_) return V3_FALSE;
    if (kNeedsTimer && !startTimer()) return V3_FALSE;
    parent_ = parent;
    buildForm();
    form_->show();
    return V3_OK;
}

v3_result Vst3View::removed() {
    form_.reset();
    if (kNeedsTimer && parent_) stopTimer();
    parent_ = nullptr;
    return V3_OK;
}

void Vst3View::buildForm() {
    form_.reset();  // one form at a time: the window system layer serves one
    form_ = std::make_unique<TForm1>(*platform_, parent_, scale_);
    // Only now: the form must not reach the instrument while it is built.
    form_->Synth = this;
}

v3_result Vst3View::size(v3_view_rect* rect) const {
    if (!rect) return V3_INVALID_ARG;
    *rect = v3_view_rect{0, 0, TForm1::widthAt(scale_), TForm1::heightAt(scale_)};
    return V3_OK;
}

// The host sized its window and the form follows, at the largest scale
// that fits inside it.
v3_result Vst3View::onSize(const v3_view_rect* rect) {
    if (!rect) return V3_INVALID_ARG;
    setScale(TForm1::scaleToFit(rect->right - rect->left, rect->bottom - rect->top));
    return V3_OK;
}

// A frame that changes while the form is up takes the timer along.
v3_result Vst3View::setFrame(v3_plugin_frame** frame) {
    if (frame == frame_) return V3_OK;
    const bool moveTimer = kNeedsTimer && parent_;
    if (moveTimer) stopTimer();
    if (frame) v3_cpp_obj_ref(frame);
    if (loop_) v3_cpp_obj_unref(loop_);
    if (frame_) v3_cpp_obj_unref(frame_);
    frame_ = frame;
    loop_ = nullptr;
    if (frame && v3_cpp_obj_query_interface(frame, v3_run_loop_iid, &loop_) != V3_OK) loop_ = nullptr;
    if (moveTimer) startTimer();
    return V3_OK;
}

bool Vst3View::startTimer() {
    return loop_ && v3_cpp_obj(loop_)->register_timer(loop_, reinterpret_cast<v3_timer_handler**>(&timer_), kTimerMs) == V3_OK;
}

void Vst3View::stopTimer() {
    if (loop_) v3_cpp_obj(loop_)->unregister_timer(loop_, reinterpret_cast<v3_timer_handler**>(&timer_));
}

v3_result Vst3View::setContentScale(double scale) {
    if (!(scale > 0.0)) return V3_INVALID_ARG;
    const double before = scale_;
    setScale(scale);
    if (frame_ && scale_ != before) {
        v3_view_rect rect;
        size(&rect);
        v3_cpp_obj(frame_)->resize_view(frame_, view(), &rect);
    }
    return V3_OK;
}

void Vst3View::setScale(double scale) {
    const double before = scale_;
    scale_ = Scale(scale).factor();
    if (!form_ || scale_ == before) return;
    buildForm();
    form_->Timer1Timer();  // the new controls show the values at once, not a poll later
    form_->show();
}

void Vst3View::onTimer() {
    if (form_) platform_->idle();
}

// The form polls the values on the main thread on every system: also the
// tick on which a program a block selected reaches the host.
float Vst3View::getParameter(int index) {
    synth_.tellHost();
    return synth_.instrument().value(index);
}

// Applied at once, as the VST 2 editor does, and told to the host, which
// records it and sends it back in a block.
void Vst3View::setParameterAutomated(int index, float value) {
    synth_.instrument().setValue(index, value);
    if (auto* h = synth_.handler()) v3_cpp_obj(h)->perform_edit(h, static_cast<v3_param_id>(index), value);
}
void Vst3View::beginEdit(int index) {
    if (auto* h = synth_.handler()) v3_cpp_obj(h)->begin_edit(h, static_cast<v3_param_id>(index));
}
void Vst3View::endEdit(int index) {
    if (auto* h = synth_.handler()) v3_cpp_obj(h)->end_edit(h, static_cast<v3_param_id>(index));
}

}  // namespace orvo::vst3
