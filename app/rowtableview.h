#pragma once
// The row table's view on the main window. It turns the grid's mouse releases, key
// releases (of keys pressed on it) and file drops into the editor's row table commands, keeps the editor's
// current row in step with the view's, and leaves the mouse wheel to the main window
// (which scrolls it by one line per wheel event).

#include "base/keycodes.h"

#include <QSet>
#include <QTableView>

namespace vk {

class Editor;

class RowTableView final : public QTableView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RowTableView)

public:
    RowTableView(Editor& editor, QWidget* parent = nullptr);

    // Applies the column widths (0 hides a column) and the grid font.
    void setUpColumns();
    // Moves the view's current cell to the editor's current row.
    void followCurrentRow();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    // Narrows the file column (never below a usable width, never above its own width)
    // so the columns end inside the visible area, beside the vertical scroll bar too.
    void fitColumns();

    Editor& m_editor;
    int m_anchorRow = -1;
    bool m_following = false;
    // Key codes pressed while the table had the focus and not yet released: a release
    // acts only on a press of its own (the Enter that closes a dialog is pressed there).
    QSet<Key> m_pressedKeys;
    int m_fileColumnWidth = 0; // the file column's own width (set up or chosen by the user)
    bool m_fitting = false;
};

} // namespace vk
