#pragma once
// The block transfer's progress on the technician's terminal: one bar that redraws itself in
// place (blocks sent of all, rate, time left), or, when the output is no terminal (a log, a
// pipe), a plain line at each tenth of the way.

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>

namespace corvana::cli {

class Progress {
public:
    using Now = std::function<std::chrono::steady_clock::time_point()>;

    // `columns` is the terminal's width; `now` defaults to the steady clock.
    Progress(std::ostream& err, bool terminal, int columns, Now now = {});
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void start(int total);
    void update(int done);
    // Prints a message line without tearing the bar: the bar is drawn again below it.
    void message(const std::string& line);
    // Ends the bar's line; further output starts on a fresh one.
    void finish();

    // "12/448 blocks  6.8 blocks/s  1:04 left": the figures the bar and the lines show.
    std::string figures() const;
    // The bar line for `columns` characters, without carriage return.
    std::string barLine() const;

private:
    void draw();
    double rate() const; // blocks per second so far; 0 before the first block

    std::ostream& err_;
    bool terminal_;
    int columns_;
    Now now_;
    std::chrono::steady_clock::time_point started_{};
    int total_ = 0;
    int done_ = 0;
    int lastTenth_ = -1;
    bool drawn_ = false; // the bar stands on the current terminal line
    bool active_ = false;
};

// Seconds as "m:ss" (or "h:mm:ss" from an hour on).
std::string clockText(long long seconds);

} // namespace corvana::cli
