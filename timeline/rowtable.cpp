#include "timeline/rowtable.h"

#include "base/numbers.h"
#include "base/timetext.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace vk {

namespace {
const QString kNormalSpeed = QStringLiteral("等速");

std::optional<int> optionalInt(const QString& text)
{
    if (text.isEmpty())
        return std::nullopt;
    return ParseInt32(text);
}

QString optionalText(std::optional<int> value)
{
    return value ? QString::number(*value) : QString();
}
} // namespace

QString SpeedSetting::text() const
{
    switch (kind) {
    case Kind::None:
        break;
    case Kind::Normal:
        return kNormalSpeed;
    case Kind::Ratio:
        return ShortestDecimal(ratio) + QLatin1Char('x');
    }
    return QString();
}

SpeedSetting SpeedSetting::fromText(const QString& text)
{
    if (text.isEmpty())
        return none();
    if (text == kNormalSpeed)
        return normal();
    if (!text.endsWith(QLatin1Char('x')))
        throw ConversionError(ConversionError::Kind::Type, "not a speed");
    return of(ParseNumber(text.chopped(1)));
}

int FramePoint(int ms, int interval)
{
    // The time text holds the frames; its fields set the reach.
    return TimeTextToMsec(MsecToTimeText(ms, interval), interval);
}

RowTable::RowTable(int rows, int cols)
{
    m_cols = std::max(0, cols);
    setRows(rows);
}

void RowTable::setRows(int rows)
{
    rows = std::max(0, rows);
    m_rows = rows;
    m_cells.resize(size_t(rows) * size_t(m_cols));
    m_markers.resize(size_t(rows), kMarkerPlain);
    if (currentRow >= m_rows)
        currentRow = m_rows - 1;
}

void RowTable::setCols(int cols)
{
    cols = std::max(0, cols);
    if (cols == m_cols)
        return;
    std::vector<QString> cells(size_t(m_rows) * size_t(cols));
    for (int r = 0; r < m_rows; ++r)
        for (int c = 0; c < std::min(cols, m_cols); ++c)
            cells[size_t(r) * size_t(cols) + size_t(c)] = std::move(m_cells[size_t(index(r, c))]);
    m_cells.swap(cells);
    m_cols = cols;
}

void RowTable::checkCell(int row, int col) const
{
    if (row < 0 || row >= m_rows || col < 0 || col >= m_cols)
        throw std::out_of_range("row table cell out of range");
}

const QString& RowTable::text(int row, int col) const
{
    checkCell(row, col);
    return m_cells[size_t(index(row, col))];
}

void RowTable::setText(int row, int col, const QString& text)
{
    checkCell(row, col);
    m_cells[size_t(index(row, col))] = text;
}

Rgb RowTable::marker(int row) const
{
    checkCell(row, 0);
    return m_markers[size_t(row)];
}

void RowTable::setMarker(int row, Rgb colour)
{
    checkCell(row, 0);
    m_markers[size_t(row)] = colour;
}

// ---- a row's fields ----------------------------------------------------------------------

int RowTable::sectionStart(int row) const
{
    return ParseInt32(text(row, Col::SectionMsec));
}

bool RowTable::setSectionStart(int row, int ms, int soundInterval)
{
    QString shown;
    bool held = true;
    try {
        shown = MsecToTimeText(ms, soundInterval);
    } catch (const ConversionError&) {
        // Shown empty, reported to the caller; the start in ms is what the commands
        // and the output use.
        held = false;
    }
    setText(row, Col::SectionText, shown);
    setText(row, Col::SectionMsec, QString::number(ms));
    return held;
}

const QString& RowTable::videoFile(int row) const
{
    return text(row, Col::VideoFile);
}

void RowTable::setVideoFile(int row, const QString& file)
{
    setText(row, Col::VideoFile, file);
}

std::optional<int> RowTable::frameInterval(int row) const
{
    return optionalInt(text(row, Col::VideoInterval));
}

void RowTable::setFrameInterval(int row, std::optional<int> interval)
{
    setText(row, Col::VideoInterval, optionalText(interval));
}

std::optional<int> RowTable::inPoint(int row) const
{
    const QString& point = text(row, Col::InPoint);
    if (point.isEmpty())
        return std::nullopt;
    return TimeTextToMsec(point, frameInterval(row).value_or(-1));
}

std::optional<int> RowTable::outPoint(int row) const
{
    const QString& point = text(row, Col::OutPoint);
    if (point.isEmpty())
        return std::nullopt;
    return TimeTextToMsec(point, frameInterval(row).value_or(-1));
}

namespace {
bool setPoint(RowTable& table, int row, int col, std::optional<int> ms)
{
    QString point;
    bool held = true;
    if (ms) {
        try {
            point = MsecToTimeText(*ms, table.frameInterval(row).value_or(-1));
        } catch (const ConversionError&) {
            held = false; // reported to the caller
        }
    }
    table.setText(row, col, point);
    return held;
}
} // namespace

bool RowTable::setInPoint(int row, std::optional<int> ms)
{
    return setPoint(*this, row, Col::InPoint, ms);
}

bool RowTable::setOutPoint(int row, std::optional<int> ms)
{
    return setPoint(*this, row, Col::OutPoint, ms);
}

bool RowTable::setVideoSpan(int row, const QString& file, int interval, int inMs, int outMs)
{
    setVideoFile(row, file);
    setFrameInterval(row, interval);
    const bool in = setInPoint(row, inMs);
    const bool out = setOutPoint(row, outMs);
    return in && out;
}

SpeedSetting RowTable::speed(int row) const
{
    return SpeedSetting::fromText(text(row, Col::Speed));
}

void RowTable::setSpeed(int row, const SpeedSetting& speed)
{
    setText(row, Col::Speed, speed.text());
}

const QString& RowTable::effect(int row) const
{
    return text(row, Col::Effect);
}

void RowTable::setEffect(int row, const QString& name)
{
    setText(row, Col::Effect, name);
}

std::optional<double> RowTable::effectLength(int row) const
{
    const QString& length = text(row, Col::TransMsec);
    if (length.isEmpty())
        return std::nullopt;
    return ParseNumber(length);
}

void RowTable::setEffectLength(int row, std::optional<double> ms)
{
    setText(row, Col::TransMsec, ms ? ShortestDecimal(*ms) : QString());
}

std::optional<MediaSize> RowTable::mediaSize(int row) const
{
    const std::optional<int> width = optionalInt(text(row, Col::Width));
    const std::optional<int> height = optionalInt(text(row, Col::Height));
    if (!width || !height)
        return std::nullopt;
    return MediaSize{*width, *height};
}

void RowTable::setMediaSize(int row, std::optional<MediaSize> size)
{
    setText(row, Col::Width, size ? QString::number(size->width) : QString());
    setText(row, Col::Height, size ? QString::number(size->height) : QString());
}

void RowTable::clear()
{
    for (auto& c : m_cells)
        c.clear();
    std::fill(m_markers.begin(), m_markers.end(), kMarkerPlain);
}

void RowTable::removeRow(int row)
{
    checkCell(row, 0);
    m_cells.erase(m_cells.begin() + index(row, 0), m_cells.begin() + index(row + 1, 0));
    m_markers.erase(m_markers.begin() + row);
    --m_rows;
    if (currentRow >= m_rows)
        currentRow = m_rows - 1;
}

void RowTable::sortDataRows(int col)
{
    if (m_rows <= 2)
        return;
    checkCell(0, col);
    std::vector<int> order(size_t(m_rows - 1));
    std::iota(order.begin(), order.end(), 1);
    std::stable_sort(order.begin(), order.end(), [this, col](int a, int b) {
        return QString::compare(m_cells[size_t(index(a, col))], m_cells[size_t(index(b, col))], Qt::CaseSensitive) < 0;
    });
    std::vector<QString> cells(m_cells.size());
    std::vector<Rgb> markers(m_markers.size());
    for (int c = 0; c < m_cols; ++c)
        cells[size_t(c)] = std::move(m_cells[size_t(c)]);
    markers[0] = m_markers[0];
    for (int i = 0; i < int(order.size()); ++i) {
        const int from = order[size_t(i)];
        for (int c = 0; c < m_cols; ++c)
            cells[size_t(index(i + 1, c))] = std::move(m_cells[size_t(index(from, c))]);
        markers[size_t(i + 1)] = m_markers[size_t(from)];
    }
    m_cells.swap(cells);
    m_markers.swap(markers);
}

RowTable::Cells RowTable::rowCells(int row) const
{
    checkCell(row, 0);
    const auto from = m_cells.begin() + index(row, 1);
    return Cells(from, from + (m_cols - 1));
}

bool RowTable::sameRow(int row, const RowTable& other, int otherRow) const
{
    if (m_cols != other.m_cols)
        return false;
    checkCell(row, 0);
    other.checkCell(otherRow, 0);
    for (int c = 1; c < m_cols; ++c)
        if (m_cells[size_t(index(row, c))] != other.m_cells[size_t(other.index(otherRow, c))])
            return false;
    return true;
}

void RowTable::spliceRows(int first, int count, const std::vector<Cells>& rows)
{
    if (first < 0 || count < 0 || first + count > m_rows)
        throw std::out_of_range("row table splice out of range");
    std::vector<QString> inserted(rows.size() * size_t(m_cols));
    for (size_t i = 0; i < rows.size(); ++i)
        for (int c = 1; c < m_cols && size_t(c - 1) < rows[i].size(); ++c)
            inserted[i * size_t(m_cols) + size_t(c)] = rows[i][size_t(c - 1)];
    const auto at = m_cells.erase(m_cells.begin() + index(first, 0), m_cells.begin() + index(first + count, 0));
    m_cells.insert(at, std::make_move_iterator(inserted.begin()), std::make_move_iterator(inserted.end()));
    m_rows += int(rows.size()) - count;
    m_markers.resize(size_t(m_rows), kMarkerPlain);
    if (currentRow >= m_rows)
        currentRow = m_rows - 1;
}

void RowTable::copyRegistration(int fromRow, RowTable& to, int toRow) const
{
    for (int c : kRegistrationColumns)
        to.setText(toRow, c, text(fromRow, c));
}

void RowTable::clearRegistration(int row)
{
    for (int c : kRegistrationColumns)
        setText(row, c, QString());
}

QString RowTable::headerText(int col)
{
    switch (col) {
    case Col::SectionText:
        return QStringLiteral("音声区間");
    case Col::VideoFile:
        return QStringLiteral("映像ﾌｧｲﾙ名");
    case Col::InPoint:
        return QStringLiteral("映像ｲﾝ点");
    case Col::OutPoint:
        return QStringLiteral("映像ｱｳﾄ点");
    case Col::SectionMsec:
        return QStringLiteral("音声区間(msec)");
    case Col::VideoInterval:
        return QStringLiteral("映像ｲﾝﾀｰﾊﾞﾙ(msec)");
    case Col::Speed:
        return QStringLiteral("速度");
    case Col::Effect:
        return QStringLiteral("効果");
    case Col::TransMsec:
        return QStringLiteral("ﾄﾗﾝｼﾞｼｮﾝ時間長(msec)");
    case Col::Width:
        return QStringLiteral("横サイズ");
    case Col::Height:
        return QStringLiteral("縦サイズ");
    default:
        return QString();
    }
}

int RowTable::columnWidth(int col)
{
    static const int widths[Col::Count] = {25, 65, 300, 65, 65, 0, 0, 40, 48, 0, 0, 0};
    return (col >= 0 && col < Col::Count) ? widths[col] : 0;
}

void RowTable::writeHeader()
{
    if (m_rows < 1)
        return;
    for (int c = 0; c < m_cols; ++c)
        setText(0, c, headerText(c));
}

bool RowTable::operator==(const RowTable& other) const
{
    return m_rows == other.m_rows && m_cols == other.m_cols && m_cells == other.m_cells;
}

} // namespace vk
