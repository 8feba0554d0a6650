#pragma once
// An ordered list of text lines: the hidden memos and list boxes that hold diagnostics.

#include <functional>
#include <string>
#include <vector>

namespace corvana {

class StringList {
public:
    void Add(const std::string& line) {
        lines_.push_back(line);
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
};

} // namespace corvana
