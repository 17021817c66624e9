#pragma once
// Shows the editor's row table in a QTableView: data row r of the table is model row
// r - 1, the columns carry the table's captions and the text RowCellText makes of the
// row's fields (the section time text on the sound clip's frames), column 0 is painted
// with the row marker colour. The model resets once per tableChanged(), so a command that
// touches thousands of rows repaints once.

#include <QAbstractTableModel>

namespace vk {

class Editor;

class RowTableModel final : public QAbstractTableModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RowTableModel)

public:
    explicit RowTableModel(Editor& editor, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Redraws from the table: a reset when the row count changed, otherwise one
    // dataChanged over the whole table.
    void refresh();

private:
    Editor& m_editor;
    int m_rows = 0;
};

} // namespace vk
