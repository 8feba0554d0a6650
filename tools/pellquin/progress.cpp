#include "tools/pellquin/progress.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>

namespace corvana::cli {

std::string clockText(long long seconds) {
    char text[32];
    seconds = std::max(0LL, seconds);
    if (seconds >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", seconds / 3600, seconds / 60 % 60,
                      seconds % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", seconds / 60, seconds % 60);
    return text;
}

Progress::Progress(std::ostream& err, bool terminal, int columns, Now now)
    : err_(err), terminal_(terminal), columns_(std::max(columns, 20)),
      now_(now ? std::move(now) : Now([] { return std::chrono::steady_clock::now(); })) {}

Progress::~Progress() {
    finish();
}

void Progress::start(int total) {
    total_ = std::max(total, 0);
    done_ = 0;
    lastTenth_ = -1;
    started_ = now_();
    active_ = true;
    if (terminal_)
        draw();
}

double Progress::rate() const {
    const double seconds = std::chrono::duration<double>(now_() - started_).count();
    return done_ > 0 && seconds > 0 ? done_ / seconds : 0.0;
}

std::string Progress::figures() const {
    char text[96];
    const double r = rate();
    std::string left = "--:--";
    if (r > 0)
        left = clockText(std::llround((total_ - done_) / r));
    std::snprintf(text, sizeof text, "%d/%d blocks  %.1f blocks/s  %s left", done_, total_, r,
                  left.c_str());
    return text;
}

std::string Progress::barLine() const {
    const std::string tail = "  " + figures();
    // "[" + bar + "]" takes what the figures leave, at least 10 characters of bar.
    const int width = std::max(10, columns_ - 1 - 2 - static_cast<int>(tail.size()));
    const int filled =
        total_ > 0 ? static_cast<int>(static_cast<long long>(width) * done_ / total_) : width;
    std::string bar = "[";
    bar.append(static_cast<size_t>(filled), '#');
    bar.append(static_cast<size_t>(width - filled), '.');
    bar += "]";
    return bar + tail;
}

void Progress::draw() {
    // Carriage return and erase-line: the bar replaces itself on the same line.
    err_ << '\r' << barLine() << "\x1b[K" << std::flush;
    drawn_ = true;
}

void Progress::update(int done) {
    if (!active_)
        return;
    done_ = std::clamp(done, 0, total_);
    if (terminal_) {
        draw();
        return;
    }
    const int tenth = total_ > 0 ? done_ * 10 / total_ : 10;
    if (tenth != lastTenth_ || done_ == total_) {
        lastTenth_ = tenth;
        err_ << "programming: " << figures() << '\n' << std::flush;
    }
}

void Progress::message(const std::string& line) {
    if (terminal_ && drawn_)
        err_ << "\r\x1b[K";
    err_ << line << '\n';
    if (terminal_ && active_)
        draw();
    else
        err_ << std::flush;
}

void Progress::finish() {
    if (!active_)
        return;
    active_ = false;
    if (terminal_ && drawn_)
        err_ << '\n' << std::flush;
    drawn_ = false;
}

} // namespace corvana::cli
