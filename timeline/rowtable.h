#pragma once
// The row table: 12 columns, row 0 the header and column 0 the row marker. Every data
// row is a sound section of the sound clip, with an optional video registration. The
// main table, the table the open undo step started from and the video clipboard are
// all values of this class; the window shows the main one through a table model.
//
// A row holds typed fields (section start, video span, speed setting, effect, media
// size, marker colour), which commands read and write; the text the window shows in
// each column is made from them by the table model. The columns below name what the
// window shows and in which order; the header row holds no fields.

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

// The columns that show a row's registration: everything of a row but its sound
// section and marker.
constexpr int kRegistrationColumns[] = {Col::VideoFile, Col::InPoint,   Col::OutPoint, Col::VideoInterval, Col::Speed,
                                        Col::Effect,    Col::TransMsec, Col::Width,    Col::Height};

// A row's speed setting: none (no video span, or not worked out yet), the span's own
// speed (the video span stretched over the section, shown as its ratio to the section
// length, "0.5x"), or 等速, where the video plays at its own speed from the in point
// for the whole section. The ratio is never kept: it is worked out from the span and
// the section whenever it is shown or written (RowTable::speedText), so it cannot go
// stale when either changes.
struct SpeedSetting {
    enum class Kind { None, Span, Normal };
    Kind kind = Kind::None;

    static SpeedSetting none() { return {}; }
    static SpeedSetting normal() { return {Kind::Normal}; }
    static SpeedSetting span() { return {Kind::Span}; }
    bool isNone() const { return kind == Kind::None; }
    bool isNormal() const { return kind == Kind::Normal; }
    bool isSpan() const { return kind == Kind::Span; }

    // A ratio as the speed column and the project file show it: its shortest decimal
    // and "x" ("1.5x").
    static QString ratioText(double ratio);
    // The setting a speed text names: "" none, "等速" normal, a ratio text the span's
    // speed (its number is not kept); any other text raises ConversionError.
    static SpeedSetting fromText(const QString& text);

    bool operator==(const SpeedSetting& other) const { return kind == other.kind; }
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
// ConversionError when the time text cannot hold it. The one frame grid: the table's
// points and the fill's spans are both rounded here.
int FramePoint(int ms, int interval);

constexpr Rgb kMarkerSelected = MakeRgb(170, 170, 255);
constexpr Rgb kMarkerPlain = MakeRgb(255, 255, 255);

// One data row's fields.
struct Row {
    std::optional<int> start;         // section start in ms; none on an empty row
    QString videoFile;                // empty = no video registration
    std::optional<int> frameInterval; // of the video, in ms
    std::optional<int> inPoint;       // in ms, on the frames of frameInterval
    std::optional<int> outPoint;
    SpeedSetting speed;
    QString effect;                     // transition effect into this row; empty for none
    std::optional<double> effectLength; // transition length in ms
    std::optional<MediaSize> mediaSize;
    Rgb marker = kMarkerPlain;

    // Every field but the marker alike.
    bool sameFields(const Row& other) const;
};

class RowTable final {
public:
    explicit RowTable(int rows = 2, int cols = Col::Count);

    int Rows() const { return m_rows; }
    // The columns the window shows (the fields are there whatever the count).
    int Cols() const { return m_cols; }
    // Rows are added or removed at the end; new rows are empty with a plain marker.
    void setRows(int rows);
    void setCols(int cols);

    Rgb marker(int row) const;
    void setMarker(int row, Rgb colour);

    // A whole row, its marker included.
    const Row& row(int row) const;
    void setRow(int row, const Row& fields);

    // ---- a row's fields ----------------------------------------------------------------
    // Section start in ms: what the output cuts at and the commands compute with.
    // Raises ConversionError on a row without one.
    int sectionStart(int row) const;
    bool hasSectionStart(int row) const { return this->row(row).start.has_value(); }
    // Sets the start; false when its time text in whole sound frames of
    // `soundInterval` ms cannot hold it (the table then shows it empty, the start in
    // ms stays).
    bool setSectionStart(int row, int ms, int soundInterval);

    // The video file; empty when the row has no video registration.
    const QString& videoFile(int row) const;
    bool hasVideo(int row) const { return !videoFile(row).isEmpty(); }
    void setVideoFile(int row, const QString& file);
    // Frame interval of the video in ms; nullopt when the row has none.
    std::optional<int> frameInterval(int row) const;
    void setFrameInterval(int row, std::optional<int> interval);
    // In and out point in ms, on the frames of the row's frame interval; nullopt when
    // the row has no such point.
    std::optional<int> inPoint(int row) const;
    std::optional<int> outPoint(int row) const;
    // Sets a point in ms, rounded down to the frames of the row's frame interval (set
    // that first; -1 without one) as far as the time text reaches. A point the time
    // text cannot hold leaves the row without it and returns false.
    bool setInPoint(int row, std::optional<int> ms);
    bool setOutPoint(int row, std::optional<int> ms);
    // A video registration: file, frame interval, in and out point; false when a
    // point could not be held (see setInPoint).
    bool setVideoSpan(int row, const QString& file, int interval, int inMs, int outMs);

    SpeedSetting speed(int row) const;
    void setSpeed(int row, const SpeedSetting& speed);
    // The length of a row's section in ms: up to the next row's start, the last row's
    // up to `soundLength` (the sound clip's end); nullopt where a start is missing.
    std::optional<double> sectionLength(int row, int soundLength) const;
    // The span's speed: the video span over the section length, to three decimals;
    // nullopt without both points or a section length (an empty section included).
    std::optional<double> spanSpeed(int row, int soundLength) const;
    // The speed column's text: "" for none, "等速", or the span's speed as a ratio text
    // ("" where it cannot be worked out).
    QString speedText(int row, int soundLength) const;

    // The transition effect into this row; empty for none.
    const QString& effect(int row) const;
    void setEffect(int row, const QString& name);
    // The transition's length in ms; nullopt when the row has none.
    std::optional<double> effectLength(int row) const;
    void setEffectLength(int row, std::optional<double> ms);

    // nullopt when the size is not known.
    std::optional<MediaSize> mediaSize(int row) const;
    void setMediaSize(int row, std::optional<MediaSize> size);

    // Empties every row and resets the markers; the size stays.
    void clear();
    void removeRow(int row);
    // Sorts the data rows (row 0 stays) by section start, ascending, rows without one
    // first; rows with equal starts keep their order. Markers move with their rows.
    void sortDataRows();

    // True when the two rows hold the same fields (the marker aside).
    bool sameRow(int row, const RowTable& other, int otherRow) const;
    // Replaces `count` rows from `first` on by `rows`, the rows below moving up or down.
    // The markers stay by position: rows gained or lost are plain ones at the end.
    void spliceRows(int first, int count, const std::vector<Row>& rows);

    // Copies a row's registration (everything but the section start and the marker)
    // to another row (of this or another table).
    void copyRegistration(int fromRow, RowTable& to, int toRow) const;
    void clearRegistration(int row);

    // Header captions and the column widths in pixels (0 hides a column).
    static QString headerText(int col);
    static int columnWidth(int col);

    // The grid's current cell, moved by selection and editing commands.
    int currentRow = 1;
    int currentCol = 0;

    // Same size and the same fields in every row (the markers aside).
    bool operator==(const RowTable& other) const;
    bool operator!=(const RowTable& other) const { return !(*this == other); }

private:
    void checkRow(int row) const;
    Row& at(int row);

    int m_rows = 0;
    int m_cols = 0;
    std::vector<Row> m_rowsData;
};

} // namespace vk
