#include "app/rowtableview.h"

#include "base/keycodes.h"
#include "timeline/editor.h"

#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QFontMetrics>
#include <QHeaderView>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>

namespace vk {

RowTableView::RowTableView(Editor& editor, QWidget* parent) : QTableView(parent), m_editor(editor)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(18);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    horizontalHeader()->setHighlightSections(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    // Tight cells, so a time text fits its 65-pixel column.
    setStyleSheet(QStringLiteral("QTableView::item { padding: 0px 1px; }"));
    // A width the user drags the file column to becomes its own width.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int newSize) {
        if (!m_fitting && section == Col::VideoFile && newSize > 0)
            m_fileColumnWidth = newSize;
    });
}

void RowTableView::setUpColumns()
{
    // The proportional Gothic at a size where a time text fits its 65-pixel column.
    QFont f(QStringLiteral("IPAPGothic"));
    f.setPixelSize(11);
    setFont(f);
    horizontalHeader()->setFont(f);
    // A time text must stay readable in its column whatever the font gives.
    const int timeWidth = QFontMetrics(f).horizontalAdvance(QStringLiteral("00:00:00:00")) + 6;
    for (int c = 0; c < Col::Count; ++c) {
        int w = RowTable::columnWidth(c);
        setColumnHidden(c, w == 0);
        if (c == Col::SectionText || c == Col::InPoint || c == Col::OutPoint)
            w = std::max(w, timeWidth);
        if (w > 0)
            setColumnWidth(c, w);
    }
    m_fileColumnWidth = RowTable::columnWidth(Col::VideoFile);
    fitColumns();
}

void RowTableView::fitColumns()
{
    if (!model() || m_fileColumnWidth <= 0 || Col::VideoFile >= model()->columnCount() ||
        isColumnHidden(Col::VideoFile))
        return;
    constexpr int kMinFileWidth = 40;
    int others = 0;
    for (int c = 0; c < model()->columnCount(); ++c)
        if (c != Col::VideoFile && !isColumnHidden(c))
            others += columnWidth(c);
    const int room = viewport()->width() - others;
    const int w = std::max(kMinFileWidth, std::min(m_fileColumnWidth, room));
    if (w == columnWidth(Col::VideoFile))
        return;
    m_fitting = true;
    setColumnWidth(Col::VideoFile, w);
    m_fitting = false;
}

void RowTableView::resizeEvent(QResizeEvent* event)
{
    // Also comes when the vertical scroll bar shows or hides: the viewport changes width.
    QTableView::resizeEvent(event);
    fitColumns();
}

void RowTableView::followCurrentRow()
{
    if (!model())
        return;
    const RowTable& g = m_editor.Grid();
    const QModelIndex index = model()->index(g.currentRow - 1, std::max(0, g.currentCol));
    if (!index.isValid() || index == currentIndex())
        return;
    // Only the current cell follows; the scroll position stays where the editor's
    // commands put it (a tap shows the new last row even when the current row is
    // far above it).
    m_following = true;
    const bool scroll = hasAutoScroll();
    setAutoScroll(false);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    setAutoScroll(scroll);
    m_following = false;
}

void RowTableView::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (!m_following && current.isValid()) {
        m_editor.Grid().currentRow = current.row() + 1;
        m_editor.Grid().currentCol = current.column();
    }
}

void RowTableView::mousePressEvent(QMouseEvent* event)
{
    const QModelIndex index = indexAt(event->position().toPoint());
    m_anchorRow = index.isValid() ? index.row() + 1 : -1;
    // A right press moves the current cell like a left one, so the release sees it.
    if (event->button() == Qt::RightButton && index.isValid())
        setCurrentIndex(index);
    QTableView::mousePressEvent(event);
}

void RowTableView::mouseReleaseEvent(QMouseEvent* event)
{
    QTableView::mouseReleaseEvent(event);
    const QPoint pos = event->position().toPoint();
    const QModelIndex under = indexAt(pos);
    const int current = m_anchorRow > 0 ? m_anchorRow : m_editor.Grid().currentRow;
    int selEnd = under.isValid() ? under.row() + 1 : current;
    if (!under.isValid()) {
        // Released below the last row or beside the table: the selection ends where the
        // view's own selection ends.
        const QModelIndexList rows = selectionModel()->selectedIndexes();
        for (const QModelIndex& i : rows)
            if (i.row() + 1 != current)
                selEnd = i.row() + 1;
    }
    m_editor.Grid().currentRow = current;
    const RowSelection::Button button =
        event->button() == Qt::RightButton ? RowSelection::Button::Right : RowSelection::Button::Left;
    const int hitRow = under.isValid() ? under.row() + 1 : -1;
    const int hitCol = under.isValid() ? under.column() : -1;
    // The selection narrows to the column the press started in (rows stay selected).
    if (selectionModel()) {
        const int col = currentIndex().isValid() ? currentIndex().column() : 0;
        const int a = std::min(current, selEnd) - 1;
        const int b = std::max(current, selEnd) - 1;
        if (a >= 0 && model() && b < model()->rowCount()) {
            QItemSelection sel(model()->index(a, col), model()->index(b, col));
            selectionModel()->select(sel, QItemSelectionModel::ClearAndSelect);
        }
    }
    m_editor.selection().GridMouseUp(button, ShiftState(event->modifiers()), current, selEnd, hitRow, hitCol);
    m_anchorRow = -1;
}

void RowTableView::keyPressEvent(QKeyEvent* event)
{
    // Only the first press counts: repeats of a key held down since it was pressed
    // elsewhere do not make its release ours. The editor keeps the shift state the
    // key went down with for its release.
    if (!event->isAutoRepeat()) {
        const Key code = KeyCode(event->key());
        if (code != Key::None) {
            m_pressedKeys.insert(code);
            m_editor.selection().GridKeyDown(code, ShiftState(event->modifiers()));
        }
    }
    QTableView::keyPressEvent(event);
}

void RowTableView::keyReleaseEvent(QKeyEvent* event)
{
    QTableView::keyReleaseEvent(event);
    if (event->isAutoRepeat())
        return;
    const Key code = KeyCode(event->key());
    // A release whose press went to another widget (a dialog closed by that press)
    // is not a command for the table.
    if (code != Key::None && m_pressedKeys.remove(code))
        m_editor.selection().GridKeyUp(code, ShiftState(event->modifiers()));
}

void RowTableView::focusOutEvent(QFocusEvent* event)
{
    // Keys still down when the focus leaves are released elsewhere.
    m_pressedKeys.clear();
    QTableView::focusOutEvent(event);
}

void RowTableView::wheelEvent(QWheelEvent* event)
{
    // The main window scrolls the table, one line per wheel event: the event goes to
    // the window instead of scrolling the view by several lines itself.
    if (QWidget* w = window(); w && w != this)
        QCoreApplication::sendEvent(w, event);
    event->accept();
}

void RowTableView::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void RowTableView::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
}

void RowTableView::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls())
        return;
    QStringList files;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    event->acceptProposedAction();
    m_editor.selection().GridDrop(files);
}

} // namespace vk
