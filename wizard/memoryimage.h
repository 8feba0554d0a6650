#pragma once
// The wizard's 32 KB memory image, kept as the table of text cells the programming run
// reads back, and the two hidden edits that bound the range to program.

#include <string>
#include <vector>

namespace corvana {

// Grid1: 17 columns (0..16) by 2049 rows (0..2048). Row 0 and column 0 are labels; the byte
// at address A (0000..7FFF) is the cell in column A mod 16 + 1 of row A div 16 + 1. A byte
// cell holds the two characters as they stood in the code file (letter case kept), or "FF"
// after a reset. Every reader converts a cell as hexadecimal text, which takes either case.
class ImageGrid {
public:
    static constexpr int ColCount = 17;
    static constexpr int RowCount = 2049;
    static constexpr int Size = 0x8000;
    static constexpr int LastAddress = Size - 1;

    // Created reset, so the table is never read half made.
    ImageGrid();

    // Labels "add", "00".."0F" in row 0 and "0000".."7FF0" in column 0; "FF" in every byte
    // cell.
    void Reset();

    // The text of a cell. Throws std::out_of_range outside the table.
    const std::string& Cells(int col, int row) const;
    void SetCell(int col, int row, std::string text);

    static constexpr bool InImage(long long address) {
        return address >= 0 && address <= LastAddress;
    }
    static constexpr int RowOf(int address) { return address / 16 + 1; }
    static constexpr int ColOf(int address) { return address % 16 + 1; }

    // Display widths in pixels, for a window that ever shows the table.
    static constexpr int ColWidth(int col) { return col == 0 ? 35 : 25; }

private:
    std::string& at(int col, int row);
    std::vector<std::string> cells_;
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
