#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

namespace orvo::render {

ProgressBar::ProgressBar(std::FILE* out, bool enabled, std::string label, int sampleRate)
    : out_(out),
      enabled_(enabled && ::isatty(::fileno(out)) == 1),
      label_(std::move(label)),
      rate_(sampleRate),
      start_(std::chrono::steady_clock::now()) {
    auto slash = label_.rfind('/');
    if (slash != std::string::npos && slash + 1 < label_.size()) label_ = label_.substr(slash + 1);
}

int ProgressBar::terminalWidth() const {
    winsize size{};
    if (::ioctl(::fileno(out_), TIOCGWINSZ, &size) == 0 && size.ws_col >= 20) return size.ws_col;
    return 80;
}

std::string ProgressBar::line(int64_t done, int64_t expected, double wallSeconds, int width) const {
    double share = expected > 0 ? std::min(1.0, double(done) / double(expected)) : 0.0;
    double seconds = double(done) / rate_;
    char figures[96];
    std::snprintf(figures, sizeof figures, " %3d%%  %.1f s  %.0fx", int(share * 100), seconds,
                  wallSeconds > 0 ? seconds / wallSeconds : 0.0);
    // The name gives way first, then the bar: the figures always fit.
    const int figuresWidth = int(std::char_traits<char>::length(figures));
    int room = std::max(0, width - 1 - figuresWidth);
    std::string name = label_.substr(0, size_t(std::max(0, std::min<int>(int(label_.size()), room / 2))));
    int barWidth = std::min(30, room - int(name.size()) - (name.empty() ? 2 : 3));
    std::string text = name;
    if (barWidth >= 5) {
        int filled = int(share * barWidth);
        text += (name.empty() ? "[" : " [") + std::string(size_t(filled), '#') +
                std::string(size_t(barWidth - filled), '-') + "]";
    }
    return text + figures;
}

void ProgressBar::update(int64_t done, int64_t expected) {
    if (!enabled_) return;
    auto now = std::chrono::steady_clock::now();
    if (now - start_ < kQuietStart || now - last_ < kRedrawEvery) return;
    last_ = now;
    std::string text = line(done, expected, std::chrono::duration<double>(now - start_).count(), terminalWidth());
    std::fprintf(out_, "\r%s\033[K", text.c_str());
    std::fflush(out_);
    drawn_ = true;
}

void ProgressBar::clear() {
    if (drawn_) {
        std::fputs("\r\033[K", out_);
        std::fflush(out_);
    }
    drawn_ = false;
}

}  // namespace orvo::render
