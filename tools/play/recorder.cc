#include "recorder.h"

#include <chrono>

namespace orvo::play {

// No length is known in advance: the writer keeps room for RF64 and
// settles on WAV or RF64 when the file is finished.
Recorder::Recorder(LivePlayer& player, const std::string& path, int rate,
                   std::optional<render::SampleFormat> format)
    : player_(player), path_(path), writer_(path, rate, format, render::kLengthUnknown) {
    thread_ = std::thread([this] { run(); });
}

Recorder::~Recorder() {
    if (!finished_) {
        stop_.store(true, std::memory_order_relaxed);
        if (thread_.joinable()) thread_.join();
        writer_.discard();
    }
}

// One pass over what is waiting; false once writing failed.
bool Recorder::drain() {
    for (;;) {
        const uint32_t n = player_.takeRecorded(chunk_, sizeof chunk_ / sizeof chunk_[0] / 2);
        if (n == 0) return true;
        try {
            writer_.write(chunk_, static_cast<int>(n));
        } catch (const std::exception& e) {
            error_ = e.what();
            failed_.store(true, std::memory_order_relaxed);
            player_.stopRecording();
            return false;
        }
        frames_.fetch_add(n, std::memory_order_relaxed);
    }
}

void Recorder::run() {
    while (!stop_.load(std::memory_order_relaxed)) {
        if (!drain()) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    drain();
}

std::string Recorder::finish() {
    stop_.store(true, std::memory_order_relaxed);
    if (thread_.joinable()) thread_.join();
    finished_ = true;
    if (failed_.load(std::memory_order_relaxed)) {
        writer_.discard();
        return "";
    }
    try {
        return writer_.commit();
    } catch (const std::exception& e) {
        error_ = e.what();
        failed_.store(true, std::memory_order_relaxed);
        return "";
    }
}

}  // namespace orvo::play
