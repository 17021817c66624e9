#pragma once
// The row table: a grid of text cells, 12 columns, row 0 the header and column 0 the
// row marker. Every data row is a sound section of the sound clip, with an optional
// video registration. The main table, the table the open undo step started from and
// the video clipboard are all values of this class; the window shows the main one
// through a table model.
//
// Cells hold text. Commands read and write a row through its fields (section start,
// video span, speed setting, effect, media size), which convert between the cells and
// the values; a cell that does not hold what its field means raises ConversionError.
// Column 0 carries no text, only the row marker colour.

#include <QString>
#include <optional>
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

// A row's speed setting: none (no video span, or not worked out yet), the ratio of the
// video span to the section length (shown as "0.5x"), or 等速, where the video plays
// at its own speed from the in point for the whole section.
struct SpeedSetting {
    enum class Kind { None, Ratio, Normal };
    Kind kind = Kind::None;
    double ratio = 0.0; // only with Kind::Ratio

    static SpeedSetting none() { return {}; }
    static SpeedSetting normal() { return {Kind::Normal, 0.0}; }
    static SpeedSetting of(double ratio) { return {Kind::Ratio, ratio}; }
    bool isNone() const { return kind == Kind::None; }
    bool isNormal() const { return kind == Kind::Normal; }

    // "", "等速" or the ratio as its shortest decimal and "x" ("1.5x"), as the project
    // file holds it.
    QString text() const;
    // The inverse of text(); any other text raises ConversionError.
    static SpeedSetting fromText(const QString& text);

    bool operator==(const SpeedSetting& other) const
    {
        return kind == other.kind && (kind != Kind::Ratio || ratio == other.ratio);
    }
    bool operator!=(const SpeedSetting& other) const { return !(*this == other); }
};

// The picture size of a row's media, as the media-size probe found it.
struct MediaSize {
    int width = 0;
    int height = 0;
    bool operator==(const MediaSize& other) const { return width == other.width && height == other.height; }
};

// A time in ms as frames of `interval` ms hold it, the frame the time text shows:
// rounded down to its frame (as far as the time text's fields reach). Raises
// ConversionError when the time text cannot hold it.
int FramePoint(int ms, int interval);

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

    // ---- a row's fields ----------------------------------------------------------------
    // Section start in ms: what the output cuts at and the commands compute with.
    int sectionStart(int row) const;
    // Sets the start and its time text in whole sound frames of `soundInterval` ms; a
    // start the time text cannot hold shows empty, and the result is false.
    bool setSectionStart(int row, int ms, int soundInterval);

    // The video file; empty when the row has no video registration.
    const QString& videoFile(int row) const;
    bool hasVideo(int row) const { return !videoFile(row).isEmpty(); }
    void setVideoFile(int row, const QString& file);
    // Frame interval of the video in ms; nullopt when the row has none.
    std::optional<int> frameInterval(int row) const;
    void setFrameInterval(int row, std::optional<int> interval);
    // In and out point in ms, on the frames of the row's frame interval (-1 without
    // one); nullopt when the row has no such point.
    std::optional<int> inPoint(int row) const;
    std::optional<int> outPoint(int row) const;
    // Sets a point in ms on the frames of the row's frame interval (set that first).
    // A point the time text cannot hold leaves the row without it and returns false.
    bool setInPoint(int row, std::optional<int> ms);
    bool setOutPoint(int row, std::optional<int> ms);
    // A video registration: file, frame interval, in and out point; false when a
    // point could not be held (see setInPoint).
    bool setVideoSpan(int row, const QString& file, int interval, int inMs, int outMs);

    SpeedSetting speed(int row) const;
    void setSpeed(int row, const SpeedSetting& speed);

    // The transition effect into this row; empty for none.
    const QString& effect(int row) const;
    void setEffect(int row, const QString& name);
    // The transition's length in ms; nullopt when the row has none.
    std::optional<double> effectLength(int row) const;
    void setEffectLength(int row, std::optional<double> ms);

    // nullopt when the size is not known.
    std::optional<MediaSize> mediaSize(int row) const;
    void setMediaSize(int row, std::optional<MediaSize> size);

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
