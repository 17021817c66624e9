#include "timeline/rowtable.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace vk {

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
