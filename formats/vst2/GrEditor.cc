#include "GrEditor.h"

namespace orvo {

GrEditor::GrEditor(AudioEffect* effect, std::unique_ptr<Platform> platform)
    : AEffEditorX(effect), platform(std::move(platform)), link(effect) {}

GrEditor::~GrEditor() {
    if (openCount > 0) {
        openCount = 1;
        close();
    }
}

// Hosts ask both before and after opening, so the answer follows the form.
VstInt32 GrEditor::getRect(ERect** r) {
    rect = ERect{};
    if (form) {
        rect.bottom = static_cast<VstInt16>(form->ClientHeight());
        rect.right = static_cast<VstInt16>(form->ClientWidth());
    }
    if (r) *r = &rect;
    return 1;
}

VstInt32 GrEditor::open(void* ptr) {
    parentWindow = ptr;
    ++openCount;
    if (openCount == 1) buildForm();
    // A repeated open only shows the form again; it stays in its first parent.
    if (form) form->show();
    return 1;
}

void GrEditor::buildForm() {
    const double scale = askedScale > 0.0 ? askedScale : platform->screenScale(parentWindow);
    form.reset();  // one form at a time: the window system layer serves one
    form = std::make_unique<TForm1>(*platform, parentWindow, scale);
    // Only now: the form must not reach the synthesizer while it is built.
    form->Synth = &link;
    // Rebuilding from inside the form's own window message would pull the
    // window out from under it; the next idle call does it instead.
    form->OnScreenScaleChanged = [this] { screenMoved = true; };
}

void GrEditor::followScreen() {
    screenMoved = false;
    if (!form || askedScale > 0.0) return;  // a front end's scale outranks the screen's
    if (Scale(platform->screenScale(parentWindow)) == Scale(form->scaleFactor())) return;
    buildForm();
    form->Timer1Timer();
    form->show();
    // VST 2 has no other way to say the editor changed size.
    if (audioMasterCallback master = effect->getAudioMaster())
        master(effect->getEffectRecord(), audioMasterSizeWindow, form->ClientWidth(), form->ClientHeight(), nullptr,
               0.0f);
}

bool GrEditor::setContentScale(float scale) {
    if (!(scale > 0.0f)) return false;
    askedScale = scale;
    if (form && Scale(askedScale) != Scale(form->scaleFactor())) {
        buildForm();
        form->Timer1Timer();  // the new controls show the values at once, not a poll later
        form->show();
    }
    return true;
}

void GrEditor::close() {
    // A close without an open is ignored, so the next open still finds
    // openCount at 0 and creates a form.
    if (openCount <= 0) return;
    --openCount;
    if (openCount == 0 && form) {
        form.reset();
        parentWindow = nullptr;
    }
}

void GrEditor::idle() {
    AEffEditorX::idle();
    platform->idle();
    if (screenMoved) followScreen();
}

void GrEditor::update() {
    if (form) form->repaint();
}

}  // namespace orvo
