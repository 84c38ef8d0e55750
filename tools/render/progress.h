// The progress line of a long render: on a terminal only, so scripts' logs
// and quick renders stay clean.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace orvo::render {

class ProgressBar {
public:
    // Draws on `out` (stderr) if `enabled` and it is a terminal. `label`
    // names the file being rendered.
    ProgressBar(std::FILE* out, bool enabled, std::string label, int sampleRate);
    ~ProgressBar() { clear(); }
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Frames rendered so far of the expected total; draws once the render
    // has taken a second, then a few times a second.
    void update(int64_t done, int64_t expected);
    // Takes the line away again, so what follows starts on a clean line.
    void clear();

    // The line for a render `done` frames in after `wallSeconds`, exposed
    // for the tests; `width` is the terminal's.
    std::string line(int64_t done, int64_t expected, double wallSeconds, int width) const;

    static constexpr auto kQuietStart = std::chrono::seconds(1);
    static constexpr auto kRedrawEvery = std::chrono::milliseconds(250);

private:
    int terminalWidth() const;

    std::FILE* out_;
    bool enabled_;
    std::string label_;
    int rate_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point start_, last_{};
};

}  // namespace orvo::render
