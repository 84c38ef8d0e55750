#include "ClapEditor.h"

#include <algorithm>
#include <cstring>

#include "ClapSynth.h"
#include "NativePlatform.h"

namespace orvo::clap {
namespace {

constexpr bool kNeedsTimer = kNeedsHostTimer;
constexpr uint32_t kTimerMs = kHostTimerMs;

bool CLAP_ABI guiApiSupported(const clap_plugin_t*, const char* api, bool floating) {  // main
    return api && !floating && !std::strcmp(api, ClapEditor::api());
}
bool CLAP_ABI guiPreferredApi(const clap_plugin_t*, const char** api, bool* floating) {  // main
    if (api) *api = ClapEditor::api();
    if (floating) *floating = false;
    return true;
}
bool CLAP_ABI guiCreate(const clap_plugin_t* p, const char* api, bool floating) {  // main
    ClapSynth& synth = ClapSynth::of(p);
    if (!guiApiSupported(p, api, floating) || synth.editor() || !synth.onMainThread()) return false;
    synth.editor() = ClapEditor::create(synth);
    return synth.editor() != nullptr;
}
void CLAP_ABI guiDestroy(const clap_plugin_t* p) { ClapSynth::of(p).editor().reset(); }  // main
bool CLAP_ABI guiSetScale(const clap_plugin_t* p, double scale) {  // main
    auto& editor = ClapSynth::of(p).editor();
    if (!editor || !(scale > 0.0)) return false;
    editor->setScale(scale);
    return true;
}
bool CLAP_ABI guiGetSize(const clap_plugin_t* p, uint32_t* width, uint32_t* height) {  // main
    auto& editor = ClapSynth::of(p).editor();
    if (!editor || !width || !height) return false;
    *width = editor->width();
    *height = editor->height();
    return true;
}
// Any size the form can take: it scales from 1 to 3 and keeps its shape.
bool CLAP_ABI guiCanResize(const clap_plugin_t* p) { return ClapSynth::of(p).editor() != nullptr; }  // main
bool CLAP_ABI guiResizeHints(const clap_plugin_t*, clap_gui_resize_hints_t* hints) {                // main
    if (!hints) return false;
    hints->can_resize_horizontally = true;
    hints->can_resize_vertically = true;
    hints->preserve_aspect_ratio = true;
    hints->aspect_ratio_width = TForm1::kWidth;
    hints->aspect_ratio_height = TForm1::kHeight;
    return true;
}
bool CLAP_ABI guiAdjustSize(const clap_plugin_t*, uint32_t* width, uint32_t* height) {  // main
    if (!width || !height) return false;
    const double scale = TForm1::scaleToFit(*width, *height);
    *width = static_cast<uint32_t>(TForm1::widthAt(scale));
    *height = static_cast<uint32_t>(TForm1::heightAt(scale));
    return true;
}
// The host sizes its window and the form follows; a size the form cannot
// take exactly is taken as the nearest one inside it, as adjust_size says.
bool CLAP_ABI guiSetSize(const clap_plugin_t* p, uint32_t width, uint32_t height) {  // main
    auto& editor = ClapSynth::of(p).editor();
    if (!editor) return false;
    editor->setScale(TForm1::scaleToFit(width, height));
    return true;
}
bool CLAP_ABI guiSetParent(const clap_plugin_t* p, const clap_window_t* window) {  // main
    auto& editor = ClapSynth::of(p).editor();
    return editor && editor->setParent(window);
}
bool CLAP_ABI guiSetTransient(const clap_plugin_t*, const clap_window_t*) { return false; }  // main: embedded only
void CLAP_ABI guiSuggestTitle(const clap_plugin_t*, const char*) {}                       // main
bool CLAP_ABI guiShow(const clap_plugin_t* p) {                                           // main
    auto& editor = ClapSynth::of(p).editor();
    return editor && editor->show();
}
// The host hides its own window, and the form with it.
bool CLAP_ABI guiHide(const clap_plugin_t* p) { return ClapSynth::of(p).editor() != nullptr; }  // main

void CLAP_ABI timerTick(const clap_plugin_t* p, clap_id id) {  // main
    if (auto& editor = ClapSynth::of(p).editor()) editor->onTimer(id);
}

}  // namespace

const clap_plugin_gui_t kGuiExtension = {guiApiSupported, guiPreferredApi, guiCreate,  guiDestroy,
                                         guiSetScale,     guiGetSize,      guiCanResize, guiResizeHints,
                                         guiAdjustSize,   guiSetSize,      guiSetParent, guiSetTransient,
                                         guiSuggestTitle, guiShow,         guiHide};
const clap_plugin_timer_support_t kTimerExtension = {timerTick};

bool ClapEditor::available() {
#if defined(_WIN32) || defined(ORVO_EDITOR_X11)
    return true;
#else
    return false;
#endif
}

const char* ClapEditor::api() {
#if defined(_WIN32)
    return CLAP_WINDOW_API_WIN32;
#else
    return CLAP_WINDOW_API_X11;
#endif
}

std::unique_ptr<ClapEditor> ClapEditor::create(ClapSynth& synth) {
    if (kNeedsTimer && !synth.hostTimer()) return nullptr;
    auto platform = createNativePlatform();
    if (!platform) return nullptr;
    std::unique_ptr<ClapEditor> editor(new ClapEditor(synth, std::move(platform)));
    if (kNeedsTimer && !synth.hostTimer()->register_timer(synth.host(), kTimerMs, &editor->timer_)) return nullptr;
    return editor;
}

ClapEditor::ClapEditor(ClapSynth& synth, std::unique_ptr<Platform> platform)
    : synth_(synth), platform_(std::move(platform)), timer_(CLAP_INVALID_ID) {}

ClapEditor::~ClapEditor() {
    form_.reset();
    if (timer_ != CLAP_INVALID_ID) synth_.hostTimer()->unregister_timer(synth_.host(), timer_);
}

// One parent per editor: the form is made in the first and stays there.
bool ClapEditor::setParent(const clap_window_t* window) {
    if (!window || !window->api || std::strcmp(window->api, api()) != 0) return false;
    if (form_) return false;
#if defined(_WIN32)
    void* parent = window->win32;
#else
    void* parent = reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11));
#endif
    if (!parent) return false;
    parent_ = parent;
    buildForm();
    return true;
}

void ClapEditor::buildForm() {
    form_.reset();  // one form at a time: the window system layer serves one
    form_ = std::make_unique<TForm1>(*platform_, parent_, scale_);
    // Only now: the form must not reach the instrument while it is built.
    form_->Synth = this;
}

bool ClapEditor::show() {
    if (!form_) return false;
    form_->show();
    shown_ = true;
    return true;
}

void ClapEditor::setScale(double scale) {
    const double before = scale_;
    scale_ = Scale(scale).factor();
    if (!form_ || scale_ == before) return;
    buildForm();
    form_->Timer1Timer();  // the new controls show the values at once, not a poll later
    if (shown_) form_->show();
}

void ClapEditor::onTimer(clap_id id) {
    if (id == timer_) platform_->idle();
}

float ClapEditor::getParameter(int index) { return synth_.value(index); }
void ClapEditor::setParameterAutomated(int index, float value) { synth_.userValue(index, value); }
void ClapEditor::beginEdit(int index) { synth_.userBegin(index); }
void ClapEditor::endEdit(int index) { synth_.userEnd(index); }

}  // namespace orvo::clap
