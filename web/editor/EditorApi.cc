// The plug-ins' editor form on the page, as plain C exports like the rest of
// orvo.wasm. It edits the page's own instrument (the one Api.cc makes); each
// user edit is also queued, and the page drains the queue after every call
// that can edit and passes the values on to the audio thread. A queue rather
// than a call into JavaScript keeps the module free of imports.
#include <cstdint>
#include <memory>
#include <new>

#include "CanvasPlatform.h"
#include "Instrument.h"
#include "ParamTable.h"
#include "Unit1.h"

#define ORVO_EXPORT extern "C" __attribute__((used, visibility("default")))

// Api.cc's instrument behind its handle.
orvo::Instrument& voiceInstrument(void* voice);

namespace {

class PageLink final : public orvo::SynthLink {
public:
    explicit PageLink(orvo::Instrument& instrument) : instrument(instrument) {}
    float getParameter(int index) override { return instrument.value(index); }
    // A parameter already queued keeps its place and takes the newer value:
    // the queue never holds more than one entry per parameter, so it cannot
    // fill up however fast the mouse moves.
    void setParameterAutomated(int index, float value) override {
        if (!orvo::isParamIndex(index)) return;
        instrument.setValue(index, value);
        for (int i = 0; i < count; ++i)
            if (index_[i] == index) {
                value_[i] = value;
                return;
            }
        index_[count] = index;
        value_[count++] = value;
    }

    orvo::Instrument& instrument;
    int count = 0;
    int index_[orvo::kNumParams] = {};
    float value_[orvo::kNumParams] = {};
};

struct Editor {
    explicit Editor(orvo::Instrument& instrument) : link(instrument) {}
    orvo::web::CanvasPlatform platform;
    PageLink link;
    std::unique_ptr<orvo::TForm1> form;
};

}  // namespace

// The form at `scale` (clamped to 1..3) for the page's instrument `voice`,
// showing its values from the first paint.
ORVO_EXPORT Editor* orvo_editor_new(void* voice, double scale) {
    auto* editor = new (std::nothrow) Editor(voiceInstrument(voice));
    if (!editor) return nullptr;
    editor->form = std::make_unique<orvo::TForm1>(editor->platform, nullptr, scale);
    editor->form->Synth = &editor->link;
    editor->form->show();
    editor->form->Timer1Timer();
    return editor;
}

ORVO_EXPORT void orvo_editor_delete(Editor* editor) { delete editor; }
ORVO_EXPORT int orvo_editor_width(Editor* editor) { return editor->form->ClientWidth(); }
ORVO_EXPORT int orvo_editor_height(Editor* editor) { return editor->form->ClientHeight(); }

// what: 0 press, 1 move, 2 release of the main button, at form pixels.
ORVO_EXPORT void orvo_editor_pointer(Editor* editor, int what, int x, int y, int held) {
    editor->platform.pointer(static_cast<orvo::web::Pointer>(what), x, y, held != 0);
}

// The form's timer: picks up values changed elsewhere (programs, presets).
ORVO_EXPORT void orvo_editor_tick(Editor* editor) { editor->platform.tick(); }

// The number of words in the display list, 0 when nothing changed since the
// last paint; the words are at orvo_editor_list.
ORVO_EXPORT int orvo_editor_paint(Editor* editor) {
    const auto* list = editor->platform.paintIfChanged();
    return list ? list->size() : 0;
}
ORVO_EXPORT const std::int32_t* orvo_editor_list(Editor* editor) { return editor->platform.painted().data(); }

ORVO_EXPORT int orvo_editor_edit_count(Editor* editor) { return editor->link.count; }
ORVO_EXPORT int orvo_editor_edit_index(Editor* editor, int i) { return editor->link.index_[i]; }
ORVO_EXPORT float orvo_editor_edit_value(Editor* editor, int i) { return editor->link.value_[i]; }
ORVO_EXPORT void orvo_editor_edits_clear(Editor* editor) { editor->link.count = 0; }
