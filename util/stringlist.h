#pragma once
// An ordered list of text lines: the hidden memos and list boxes that hold diagnostics.

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace corvana {

class StringList {
public:
    StringList() = default;
    // A log that is never emptied would grow for as long as the program runs: past `limit`
    // lines it lets its oldest quarter go, keeping the newest. 0 keeps every line.
    explicit StringList(size_t limit) : limit_(limit) {}

    void Add(const std::string& line) {
        lines_.push_back(line);
        if (limit_ && lines_.size() > limit_)
            lines_.erase(lines_.begin(), lines_.begin() + static_cast<std::ptrdiff_t>(
                                                              lines_.size() - limit_ * 3 / 4));
        if (onAdd)
            onAdd(line);
    }
    void Clear() {
        lines_.clear();
        if (onClear)
            onClear();
    }
    int Count() const { return static_cast<int>(lines_.size()); }
    const std::string& operator[](int i) const { return lines_.at(static_cast<size_t>(i)); }
    const std::vector<std::string>& lines() const { return lines_; }

    // Lets a window mirror the list into a visible control, or a tool print it.
    std::function<void(const std::string&)> onAdd;
    std::function<void()> onClear;

private:
    std::vector<std::string> lines_;
    size_t limit_ = 0;
};

} // namespace corvana
