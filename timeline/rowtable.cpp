#include "timeline/rowtable.h"

#include "base/numbers.h"
#include "base/timetext.h"

#include <algorithm>
#include <stdexcept>

namespace vk {

namespace {
const QString kNormalSpeed = QStringLiteral("等速");
} // namespace

QString SpeedSetting::ratioText(double ratio)
{
    return ShortestDecimal(ratio) + QLatin1Char('x');
}

SpeedSetting SpeedSetting::fromText(const QString& text)
{
    if (text.isEmpty())
        return none();
    if (text == kNormalSpeed)
        return normal();
    if (!text.endsWith(QLatin1Char('x')))
        throw ConversionError(ConversionError::Kind::Type, "not a speed");
    ParseNumber(text.chopped(1)); // a ratio text, whatever its number
    return span();
}

int FramePoint(int ms, int interval)
{
    // Within what the time text's two-digit fields hold (hours up to 99, frames of 10 ms
    // or more), the point is whole seconds and whole frames of the second: worked out
    // without the text, as the fill asks for many points at a time.
    if (ms >= 0 && ms < 100 * 3600000 && interval >= 10) {
        const int second = ms - ms % 1000;
        return second + (ms % 1000) / interval * interval;
    }
    // Elsewhere the time text decides: its fields set the reach.
    return TimeTextToMsec(MsecToTimeText(ms, interval), interval);
}

bool Row::sameFields(const Row& other) const
{
    return start == other.start && videoFile == other.videoFile && frameInterval == other.frameInterval &&
           inPoint == other.inPoint && outPoint == other.outPoint && speed == other.speed && effect == other.effect &&
           effectLength == other.effectLength && mediaSize == other.mediaSize;
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
    m_rowsData.resize(size_t(rows));
    if (currentRow >= m_rows)
        currentRow = m_rows - 1;
}

void RowTable::setCols(int cols)
{
    m_cols = std::max(0, cols);
}

void RowTable::checkRow(int row) const
{
    if (row < 0 || row >= m_rows || m_cols <= 0)
        throw std::out_of_range("row table row out of range");
}

Row& RowTable::at(int row)
{
    checkRow(row);
    return m_rowsData[size_t(row)];
}

const Row& RowTable::row(int row) const
{
    checkRow(row);
    return m_rowsData[size_t(row)];
}

void RowTable::setRow(int row, const Row& fields)
{
    at(row) = fields;
}

Rgb RowTable::marker(int row) const
{
    return this->row(row).marker;
}

void RowTable::setMarker(int row, Rgb colour)
{
    at(row).marker = colour;
}

// ---- a row's fields ----------------------------------------------------------------------

int RowTable::sectionStart(int row) const
{
    const std::optional<int>& start = this->row(row).start;
    if (!start)
        throw ConversionError(ConversionError::Kind::Type, "no section start");
    return *start;
}

bool RowTable::setSectionStart(int row, int ms, int soundInterval)
{
    at(row).start = ms;
    try {
        MsecToTimeText(ms, soundInterval);
    } catch (const ConversionError&) {
        // Shown empty, reported to the caller; the start in ms is what the commands
        // and the output use.
        return false;
    }
    return true;
}

const QString& RowTable::videoFile(int row) const
{
    return this->row(row).videoFile;
}

void RowTable::setVideoFile(int row, const QString& file)
{
    at(row).videoFile = file;
}

std::optional<int> RowTable::frameInterval(int row) const
{
    return this->row(row).frameInterval;
}

void RowTable::setFrameInterval(int row, std::optional<int> interval)
{
    at(row).frameInterval = interval;
}

std::optional<int> RowTable::inPoint(int row) const
{
    return this->row(row).inPoint;
}

std::optional<int> RowTable::outPoint(int row) const
{
    return this->row(row).outPoint;
}

namespace {
// The point on the row's frames, or none when the time text cannot hold it.
std::optional<int> framePoint(const Row& row, int ms, bool& held)
{
    try {
        return FramePoint(ms, row.frameInterval.value_or(-1));
    } catch (const ConversionError&) {
        held = false; // reported to the caller
        return std::nullopt;
    }
}
} // namespace

bool RowTable::setInPoint(int row, std::optional<int> ms)
{
    Row& r = at(row);
    bool held = true;
    r.inPoint = ms ? framePoint(r, *ms, held) : std::nullopt;
    return held;
}

bool RowTable::setOutPoint(int row, std::optional<int> ms)
{
    Row& r = at(row);
    bool held = true;
    r.outPoint = ms ? framePoint(r, *ms, held) : std::nullopt;
    return held;
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
    return this->row(row).speed;
}

void RowTable::setSpeed(int row, const SpeedSetting& speed)
{
    at(row).speed = speed;
}

std::optional<double> RowTable::sectionLength(int row, int soundLength) const
{
    const std::optional<int>& start = this->row(row).start;
    const std::optional<int> end = row >= m_rows - 1 ? std::optional<int>(soundLength) : this->row(row + 1).start;
    if (!start || !end)
        return std::nullopt;
    return double(*end) - double(*start);
}

std::optional<double> RowTable::spanSpeed(int row, int soundLength) const
{
    const Row& r = this->row(row);
    const std::optional<double> length = sectionLength(row, soundLength);
    if (!r.inPoint || !r.outPoint || !length || *length == 0.0)
        return std::nullopt;
    return RoundTo3((double(*r.outPoint) - double(*r.inPoint)) / *length);
}

QString RowTable::speedText(int row, int soundLength) const
{
    switch (this->row(row).speed.kind) {
    case SpeedSetting::Kind::None:
        break;
    case SpeedSetting::Kind::Normal:
        return kNormalSpeed;
    case SpeedSetting::Kind::Span:
        if (const std::optional<double> ratio = spanSpeed(row, soundLength))
            return SpeedSetting::ratioText(*ratio);
        break;
    }
    return QString();
}

const QString& RowTable::effect(int row) const
{
    return this->row(row).effect;
}

void RowTable::setEffect(int row, const QString& name)
{
    at(row).effect = name;
}

std::optional<double> RowTable::effectLength(int row) const
{
    return this->row(row).effectLength;
}

void RowTable::setEffectLength(int row, std::optional<double> ms)
{
    at(row).effectLength = ms;
}

std::optional<MediaSize> RowTable::mediaSize(int row) const
{
    return this->row(row).mediaSize;
}

void RowTable::setMediaSize(int row, std::optional<MediaSize> size)
{
    at(row).mediaSize = size;
}

void RowTable::clear()
{
    for (Row& r : m_rowsData)
        r = Row();
}

void RowTable::removeRow(int row)
{
    checkRow(row);
    m_rowsData.erase(m_rowsData.begin() + row);
    --m_rows;
    if (currentRow >= m_rows)
        currentRow = m_rows - 1;
}

void RowTable::sortDataRows()
{
    if (m_rows <= 2)
        return;
    std::stable_sort(m_rowsData.begin() + 1, m_rowsData.end(),
                     [](const Row& a, const Row& b) { return a.start < b.start; });
}

bool RowTable::sameRow(int row, const RowTable& other, int otherRow) const
{
    if (m_cols != other.m_cols)
        return false;
    return this->row(row).sameFields(other.row(otherRow));
}

void RowTable::spliceRows(int first, int count, const std::vector<Row>& rows)
{
    if (first < 0 || count < 0 || first + count > m_rows)
        throw std::out_of_range("row table splice out of range");
    std::vector<Rgb> markers;
    markers.reserve(m_rowsData.size());
    for (const Row& r : m_rowsData)
        markers.push_back(r.marker);
    const auto at = m_rowsData.erase(m_rowsData.begin() + first, m_rowsData.begin() + first + count);
    m_rowsData.insert(at, rows.begin(), rows.end());
    m_rows = int(m_rowsData.size());
    markers.resize(m_rowsData.size(), kMarkerPlain);
    for (size_t r = 0; r < m_rowsData.size(); ++r)
        m_rowsData[r].marker = markers[r];
    if (currentRow >= m_rows)
        currentRow = m_rows - 1;
}

namespace {
// Everything of a row but its section start and marker.
void assignRegistration(Row& into, const Row& from)
{
    into.videoFile = from.videoFile;
    into.frameInterval = from.frameInterval;
    into.inPoint = from.inPoint;
    into.outPoint = from.outPoint;
    into.speed = from.speed;
    into.effect = from.effect;
    into.effectLength = from.effectLength;
    into.mediaSize = from.mediaSize;
}
} // namespace

void RowTable::copyRegistration(int fromRow, RowTable& to, int toRow) const
{
    assignRegistration(to.at(toRow), row(fromRow));
}

void RowTable::clearRegistration(int row)
{
    assignRegistration(at(row), Row());
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

bool RowTable::operator==(const RowTable& other) const
{
    if (m_rows != other.m_rows || m_cols != other.m_cols)
        return false;
    for (size_t r = 0; r < m_rowsData.size(); ++r)
        if (!m_rowsData[r].sameFields(other.m_rowsData[r]))
            return false;
    return true;
}

} // namespace vk
