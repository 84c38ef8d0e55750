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
    if (openCount == 1) {
        form = std::make_unique<TForm1>(*platform, ptr);
        // Only now: the form must not reach the synthesizer while it is built.
        form->Synth = &link;
    }
    // A repeated open only shows the form again; it stays in its first parent.
    if (form) form->show();
    return 1;
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
}

void GrEditor::update() {
    if (form) form->repaint();
}

}  // namespace orvo
