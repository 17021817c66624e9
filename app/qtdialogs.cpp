#include "app/qtdialogs.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QIdentityProxyModel>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>
#include <memory>

namespace vk {

namespace {
QMessageBox::Icon toQt(UserDialogs::Icon icon)
{
    switch (icon) {
    case UserDialogs::Icon::Information:
        return QMessageBox::Information;
    case UserDialogs::Icon::Warning:
    case UserDialogs::Icon::Exclamation:
        return QMessageBox::Warning;
    case UserDialogs::Icon::Critical:
        return QMessageBox::Critical;
    case UserDialogs::Icon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

QString QtDialogs::applicationTitle()
{
    return QStringLiteral("videokadro");
}

void QtDialogs::message(const QString& text, Icon icon)
{
    QMessageBox box(toQt(icon), applicationTitle(), text, QMessageBox::Ok, m_window);
    box.exec();
}

bool QtDialogs::askYesNo(const QString& text, Icon icon)
{
    QMessageBox box(toQt(icon), applicationTitle(), text, QMessageBox::Yes | QMessageBox::No, m_window);
    return box.exec() == QMessageBox::Yes;
}

int QtDialogs::askChoice(const QString& text, Icon icon, const QStringList& buttons)
{
    QMessageBox box(toQt(icon), applicationTitle(), text, QMessageBox::NoButton, m_window);
    QList<QAbstractButton*> added;
    for (int i = 0; i < buttons.size(); ++i)
        added << box.addButton(buttons.at(i),
                               i + 1 < buttons.size() ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    if (added.isEmpty())
        return -1;
    box.setDefaultButton(qobject_cast<QPushButton*>(added.first()));
    box.setEscapeButton(added.last());
    box.exec();
    const int chosen = int(added.indexOf(box.clickedButton()));
    return chosen >= 0 ? chosen : int(added.size()) - 1;
}

std::optional<QString> QtDialogs::openFileName(const FileDialog& dialog)
{
    return askForFile(dialog, false);
}

std::optional<QString> QtDialogs::saveFileName(const FileDialog& dialog)
{
    return askForFile(dialog, true);
}

namespace {

// The file system model gives the list's header a new blank image at every paint (to
// line the names up with the icons), and each one drawn goes into Qt's pixmap cache under
// a new key: about 1 KB each time the dialog is shown. Without it the header is drawn
// the same, but for that blank space.
class NoHeaderImages final : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role == Qt::DecorationRole)
            return QVariant();
        return QIdentityProxyModel::headerData(section, orientation, role);
    }
};

QFileDialog* newFileDialog(QWidget* parent)
{
    auto* dialog = new QFileDialog(parent);
    dialog->setProxyModel(new NoHeaderImages(dialog));
    return dialog;
}

// The name field's completion list is a window of its own. Enter typed while it is up
// closes the dialog but not the list, which stays over the row table and takes the
// next keys; and the file system model, still reading a folder, can bring it up again
// after the dialog closed. The list belongs to the field only while the dialog shows.
int runWithoutLeftovers(QFileDialog& fd)
{
    const QString kept = QStringLiteral("fileNameCompleter");
    auto* name = fd.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    QPointer<QCompleter> completer = name ? name->completer() : nullptr;
    if (completer)
        completer->setObjectName(kept); // the dialog's own, found again by name once detached
    else if (name)
        completer = fd.findChild<QCompleter*>(kept);
    if (name && completer)
        name->setCompleter(completer);
    const int result = fd.exec();
    if (name && completer) {
        name->setCompleter(nullptr); // hides the list; it shows for no one until the next question
        completer->popup()->hide();
    }
    return result;
}

} // namespace

QFileDialog* QtDialogs::keptFileDialog()
{
    if (!m_window)
        return nullptr;
    if (!m_fileDialog)
        m_fileDialog = newFileDialog(m_window);
    // A question asked while the dialog is up (a call over the bus) gets one of its own.
    return m_fileDialog->isVisible() ? nullptr : m_fileDialog.data();
}

// One file dialog serves every question of the window, shown again each time with the
// question's own title, filter and name. A dialog made anew for each question makes its
// icons anew, and Qt's pixmap cache keeps the drawn copies of every one of them: some
// 16 KB an opening, up to the cache's 10 MB in a long session.
std::optional<QString> QtDialogs::askForFile(const FileDialog& dialog, bool save)
{
    std::unique_ptr<QFileDialog> own;
    QFileDialog* fd = keptFileDialog();
    if (!fd) {
        own.reset(newFileDialog(m_window));
        fd = own.get();
    }
    fd->setWindowTitle(dialog.title);
    fd->setNameFilter(dialog.filter);
    fd->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    fd->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The overwrite question is the editor's own.
    fd->setOptions(save ? QFileDialog::DontConfirmOverwrite : QFileDialog::Options());
    fd->setDefaultSuffix(save ? dialog.defaultSuffix : QString());
    // Nothing of the last answer is offered again: not its name, nor its highlighted file.
    if (auto* name = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        name->clear();
    for (QAbstractItemView* view : fd->findChildren<QAbstractItemView*>()) {
        if (view->selectionModel())
            view->selectionModel()->clearSelection();
    }
    if (!dialog.fileName.isEmpty())
        fd->selectFile(dialog.fileName);
    const int result = runWithoutLeftovers(*fd);
    if (result != QDialog::Accepted || fd->selectedFiles().isEmpty())
        return std::nullopt;
    return fd->selectedFiles().constFirst();
}

std::optional<QString> QtDialogs::inputBox(const QString& title, const QString& prompt, const QString& defaultText)
{
    bool ok = false;
    const QString text = QInputDialog::getText(m_window, title, prompt, QLineEdit::Normal, defaultText, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

void QtDialogs::flashTable()
{
    if (!m_table)
        return;
    m_table->hide();
    QCoreApplication::processEvents();
    QThread::msleep(100);
    m_table->show();
}

void QtDialogs::focusSoundSlider()
{
    if (m_slider && m_slider->isVisible())
        m_slider->setFocus();
}

void QtDialogs::ensureRowVisible(int row)
{
    if (!m_table || !m_table->model() || row < 1)
        return;
    const QModelIndex index = m_table->model()->index(row - 1, 0);
    if (!index.isValid())
        return;
    const QRect rect = m_table->visualRect(index);
    const QRect viewport = m_table->viewport()->rect();
    if (rect.isValid() && viewport.contains(rect))
        return;
    m_table->scrollTo(index, QAbstractItemView::PositionAtTop);
}

void QtDialogs::openEffectDialog(int row)
{
    if (m_openEffect)
        m_openEffect(row);
}

bool QtDialogs::startDetached(const QString& program, const QStringList& arguments)
{
    return QProcess::startDetached(program, arguments);
}

} // namespace vk
