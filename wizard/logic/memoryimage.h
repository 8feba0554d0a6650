#pragma once
// The wizard's 32 KB memory image, kept as the table of text cells the programming run
// reads back, and the two hidden edits that bound the range to program.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvana {

// Grid1: 17 columns (0..16) by 2049 rows (0..2048). Row 0 and column 0 are labels ("add",
// "00".."0F"; "0000".."7FF0"); the byte at address A (0000..7FFF) is the cell in column
// A mod 16 + 1 of row A div 16 + 1. A byte cell holds the characters as they stood in the
// code file (two, letter case kept; one where a line was cut short), or "FF" after a reset.
// Every reader converts a cell as hexadecimal text, which takes either case.
class ImageGrid {
public:
    static constexpr int ColCount = 17;
    static constexpr int RowCount = 2049;
    static constexpr int Size = 0x8000;
    static constexpr int LastAddress = Size - 1;

    // Created reset, so the table is never read half made.
    ImageGrid();

    // "FF" into every byte cell; the labels never change.
    void Reset();

    // The text of a cell, valid until the cell is written. Throws std::out_of_range outside
    // the table.
    std::string_view Cells(int col, int row) const;
    // Writes a byte cell (columns 1..16 of rows 1..2048) with at most two characters; throws
    // std::out_of_range for a label cell or a cell outside the table, std::invalid_argument
    // for a longer text.
    void SetCell(int col, int row, std::string_view text);

    static constexpr bool InImage(long long address) {
        return address >= 0 && address <= LastAddress;
    }
    static constexpr int RowOf(int address) { return address / 16 + 1; }
    static constexpr int ColOf(int address) { return address % 16 + 1; }

    // Same text in every cell.
    bool operator==(const ImageGrid& other) const;

    // Display widths in pixels, for a window that ever shows the table.
    static constexpr int ColWidth(int col) { return col == 0 ? 35 : 25; }

private:
    struct ByteCell {
        char text[2];
        uint8_t size;
    };
    ByteCell& byteCell(int col, int row);
    std::vector<ByteCell> bytes_; // row-major, 16 per row
};

// What the loader and the programming run share: the image and its range edits.
struct MemoryImage {
    ImageGrid Grid1;
    // Start address as hexadecimal text; nothing changes it.
    std::string se_Address1 = "1000";
    // End address (last address holding code) as hexadecimal text; "Edit1", not a number,
    // until the loader meets an end record. A new load does not reset it.
    std::string se_address2 = "Edit1";
};

} // namespace corvana
