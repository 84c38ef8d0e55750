// The user's edits in the editor, on their way to a host that takes them as
// events of its audio or flush call (CLAP's parameter and gesture events).
// The editor applies a value to the instrument itself, at once, as the
// VST 2 editor does; what crosses to the audio thread is only the news that
// a parameter was edited and whether a gesture is open, as per-parameter
// counters. Rapid edits within one block therefore reach the host as one
// value event carrying the latest value, which is what hosts record anyway.
//
// Threads: note/begin/end on the UI thread, collect on the audio thread
// (process) or the main thread (flush), never both at once.
#pragma once

#include <atomic>
#include <cstdint>

#include "Identity.h"

namespace orvo {

class UiEdits {
public:
    enum class Kind { kBegin, kValue, kEnd };

    // UI thread.
    void noteValue(int index) { edits_[index].fetch_add(1, std::memory_order_relaxed); }
    // A gesture is open while its counter is odd.
    void begin(int index) {
        if ((gestures_[index].load(std::memory_order_relaxed) & 1) == 0)
            gestures_[index].fetch_add(1, std::memory_order_relaxed);
    }
    void end(int index) {
        if ((gestures_[index].load(std::memory_order_relaxed) & 1) != 0)
            gestures_[index].fetch_add(1, std::memory_order_relaxed);
    }

    // Audio or main thread: calls report(kind, index) in the order a host
    // must see them, for every parameter whose state changed since the last
    // call. A gesture that opened and closed in between is still reported.
    template <class F>
    void collect(F&& report) {
        for (int i = 0; i < kNumParams; ++i) {
            const uint32_t g = gestures_[i].load(std::memory_order_relaxed);
            const uint32_t e = edits_[i].load(std::memory_order_relaxed);
            const bool wasOpen = (seenGesture_[i] & 1) != 0, isOpen = (g & 1) != 0;
            const bool gestured = g != seenGesture_[i];
            if (gestured && !wasOpen) report(Kind::kBegin, i);
            if (e != seenEdit_[i]) report(Kind::kValue, i);
            if (gestured && !isOpen) report(Kind::kEnd, i);
            seenGesture_[i] = g;
            seenEdit_[i] = e;
        }
    }

private:
    std::atomic<uint32_t> edits_[kNumParams] = {};
    std::atomic<uint32_t> gestures_[kNumParams] = {};
    // The collecting side's view.
    uint32_t seenEdit_[kNumParams] = {};
    uint32_t seenGesture_[kNumParams] = {};
};

}  // namespace orvo
