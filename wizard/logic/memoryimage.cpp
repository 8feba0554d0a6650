#include "wizard/logic/memoryimage.h"

#include "util/hexconv.h"

#include <cstring>
#include <stdexcept>

namespace corvana {
namespace {

// The label cells: row 0 ("add", then the column offsets) and column 0 (the rows' first
// addresses). The same for every image, so made once.
struct Labels {
    std::vector<std::string> top;
    std::vector<std::string> left;
    Labels() {
        top.push_back("add");
        for (int col = 1; col < ImageGrid::ColCount; ++col)
            top.push_back(xIntToHex(col - 1, 1));
        left.push_back(top[0]);
        for (int row = 1; row < ImageGrid::RowCount; ++row)
            left.push_back(xIntToHex((row - 1) * 16, 4));
    }
};

const Labels& labels() {
    static const Labels l;
    return l;
}

[[noreturn]] void outside(int col, int row, const char* what) {
    throw std::out_of_range("Grid1: " + std::string(what) + " " + std::to_string(col) + "," +
                            std::to_string(row));
}

} // namespace

ImageGrid::ImageGrid() : bytes_(static_cast<size_t>(Size)) {
    Reset();
}

void ImageGrid::Reset() {
    for (auto& cell : bytes_)
        cell = ByteCell{{'F', 'F'}, 2};
}

ImageGrid::ByteCell& ImageGrid::byteCell(int col, int row) {
    return bytes_[static_cast<size_t>(row - 1) * 16 + static_cast<size_t>(col - 1)];
}

bool ImageGrid::operator==(const ImageGrid& other) const {
    // Unused characters are always 0 (SetCell), so whole cells compare as bytes.
    static_assert(sizeof(ByteCell) == 3);
    return std::memcmp(bytes_.data(), other.bytes_.data(), bytes_.size() * sizeof(ByteCell)) == 0;
}

std::string_view ImageGrid::Cells(int col, int row) const {
    if (col < 0 || col >= ColCount || row < 0 || row >= RowCount)
        outside(col, row, "no cell");
    if (row == 0)
        return labels().top[static_cast<size_t>(col)];
    if (col == 0)
        return labels().left[static_cast<size_t>(row)];
    const ByteCell& cell = bytes_[static_cast<size_t>(row - 1) * 16 + static_cast<size_t>(col - 1)];
    return {cell.text, cell.size};
}

void ImageGrid::SetCell(int col, int row, std::string_view text) {
    if (col < 1 || col >= ColCount || row < 1 || row >= RowCount)
        outside(col, row, "no byte cell");
    if (text.size() > 2)
        throw std::invalid_argument("Grid1: more than two characters for a byte cell");
    ByteCell& cell = byteCell(col, row);
    cell = ByteCell{{0, 0}, static_cast<uint8_t>(text.size())};
    for (size_t i = 0; i < text.size(); ++i)
        cell.text[i] = text[i];
}

} // namespace corvana
