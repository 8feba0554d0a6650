#include "wizard/memoryimage.h"

#include "util/hexconv.h"

#include <stdexcept>

namespace corvana {

ImageGrid::ImageGrid() : cells_(static_cast<size_t>(ColCount) * RowCount) {
    Reset();
}

void ImageGrid::Reset() {
    at(0, 0) = "add";
    for (int col = 1; col < ColCount; ++col)
        at(col, 0) = xIntToHex(col - 1, 1);
    for (int row = 1; row < RowCount; ++row) {
        at(0, row) = xIntToHex((row - 1) * 16, 4);
        for (int col = 1; col < ColCount; ++col)
            at(col, row) = "FF";
    }
}

std::string& ImageGrid::at(int col, int row) {
    return cells_[static_cast<size_t>(row) * ColCount + static_cast<size_t>(col)];
}

const std::string& ImageGrid::Cells(int col, int row) const {
    if (col < 0 || col >= ColCount || row < 0 || row >= RowCount)
        throw std::out_of_range("Grid1: cell " + std::to_string(col) + "," + std::to_string(row) +
                                " outside the table");
    return cells_[static_cast<size_t>(row) * ColCount + static_cast<size_t>(col)];
}

void ImageGrid::SetCell(int col, int row, std::string text) {
    if (col < 0 || col >= ColCount || row < 0 || row >= RowCount)
        throw std::out_of_range("Grid1: cell " + std::to_string(col) + "," + std::to_string(row) +
                                " outside the table");
    at(col, row) = std::move(text);
}

} // namespace corvana
