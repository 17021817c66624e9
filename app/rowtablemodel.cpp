#include "app/rowtablemodel.h"

#include "app/rowtabletext.h"
#include "timeline/editor.h"

#include <QBrush>
#include <QColor>

namespace vk {

RowTableModel::RowTableModel(Editor& editor, QObject* parent) : QAbstractTableModel(parent), m_editor(editor)
{
    m_rows = std::max(0, m_editor.Grid().Rows() - 1);
    connect(&m_editor, &Editor::tableChanged, this, &RowTableModel::refresh);
}

int RowTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int RowTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_editor.Grid().Cols();
}

QVariant RowTableModel::data(const QModelIndex& index, int role) const
{
    const RowTable& g = m_editor.Grid();
    const int row = index.row() + 1;
    if (!index.isValid() || row >= g.Rows() || index.column() >= g.Cols())
        return QVariant();
    if (role == Qt::DisplayRole)
        return index.column() == Col::Marker
                   ? QVariant()
                   : QVariant(RowCellText(g, row, index.column(), m_editor.sndFrameInterval(), m_editor.sndLength()));
    if (role == Qt::BackgroundRole && index.column() == Col::Marker) {
        const Rgb c = g.marker(row);
        return QBrush(QColor(int((c >> 16) & 0xff), int((c >> 8) & 0xff), int(c & 0xff)));
    }
    return QVariant();
}

QVariant RowTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    return RowTable::headerText(section);
}

Qt::ItemFlags RowTableModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    // The marker column shows the row marker colour, never the selection highlight.
    if (index.column() == Col::Marker)
        return Qt::ItemIsEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

void RowTableModel::refresh()
{
    const int rows = std::max(0, m_editor.Grid().Rows() - 1);
    if (rows != m_rows) {
        beginResetModel();
        m_rows = rows;
        endResetModel();
        return;
    }
    if (m_rows > 0)
        emit dataChanged(index(0, 0), index(m_rows - 1, columnCount() - 1));
}

} // namespace vk
