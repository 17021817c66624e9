#pragma once
// The row table: a grid of text cells, 12 columns, row 0 the header and column 0 the
// row marker. Every data row is a sound section of the sound clip, with an optional
// video registration. The main table, the table the open undo step started from and
// the video clipboard are all values of this class; the window shows the main one
// through a table model.
//
// Cells hold text; callers convert when they read (time text, milliseconds, speeds).
// Column 0 carries no text, only the row marker colour.

#include <QString>
#include <vector>

namespace vk {

// A marker colour as 0xRRGGBB.
using Rgb = unsigned int;
constexpr Rgb MakeRgb(int r, int g, int b)
{
    return (Rgb(r) << 16) | (Rgb(g) << 8) | Rgb(b);
}

namespace Col {
constexpr int Marker = 0;
constexpr int SectionText = 1; // section start as time text (sound frames)
constexpr int VideoFile = 2;   // empty = no video registration
constexpr int InPoint = 3;     // time text in the video's frames (column 6)
constexpr int OutPoint = 4;
constexpr int SectionMsec = 5;   // section start in ms (hidden)
constexpr int VideoInterval = 6; // video frame interval in ms (hidden)
constexpr int Speed = 7;         // "", "1.5x" or "等速"
constexpr int Effect = 8;        // transition effect name into this row
constexpr int TransMsec = 9;     // transition duration in ms (hidden)
constexpr int Width = 10;        // media picture width (hidden)
constexpr int Height = 11;       // media picture height (hidden)
constexpr int Count = 12;
} // namespace Col

// The registration columns: everything of a row but its sound section and marker.
constexpr int kRegistrationColumns[] = {Col::VideoFile, Col::InPoint,   Col::OutPoint, Col::VideoInterval, Col::Speed,
                                        Col::Effect,    Col::TransMsec, Col::Width,    Col::Height};

constexpr Rgb kMarkerSelected = MakeRgb(170, 170, 255);
constexpr Rgb kMarkerPlain = MakeRgb(255, 255, 255);

class RowTable final {
public:
    explicit RowTable(int rows = 2, int cols = Col::Count);

    int Rows() const { return m_rows; }
    int Cols() const { return m_cols; }
    // Rows are added or removed at the end; new cells are empty with a plain marker.
    void setRows(int rows);
    void setCols(int cols);

    const QString& text(int row, int col) const;
    void setText(int row, int col, const QString& text);
    Rgb marker(int row) const;
    void setMarker(int row, Rgb colour);

    // Empties every cell (header included) and resets the markers; the size stays.
    void clear();
    void removeRow(int row);
    // Sorts the data rows (row 0 stays) by one column's text, ascending, by plain
    // character comparison; rows with equal text keep their order.
    void sortDataRows(int col);

    // One data row's cells from column 1 on (column 0 holds no text), as undo keeps them.
    using Cells = std::vector<QString>;
    Cells rowCells(int row) const;
    // True when the two rows hold the same text in every column (the marker aside).
    bool sameRow(int row, const RowTable& other, int otherRow) const;
    // Replaces `count` rows from `first` on by `rows`, the rows below moving up or down.
    // The markers stay by position: rows gained or lost are plain ones at the end.
    void spliceRows(int first, int count, const std::vector<Cells>& rows);

    // Copies a row's registration columns to another row (of this or another table).
    void copyRegistration(int fromRow, RowTable& to, int toRow) const;
    void clearRegistration(int row);

    // Header captions and the column widths in pixels (0 hides a column).
    static QString headerText(int col);
    static int columnWidth(int col);
    void writeHeader();

    // The grid's current cell, moved by selection and editing commands.
    int currentRow = 1;
    int currentCol = 0;

    bool operator==(const RowTable& other) const;
    bool operator!=(const RowTable& other) const { return !(*this == other); }

private:
    int index(int row, int col) const { return row * m_cols + col; }
    void checkCell(int row, int col) const;

    int m_rows = 0;
    int m_cols = 0;
    std::vector<QString> m_cells;
    std::vector<Rgb> m_markers;
};

} // namespace vk
