#include "app/qtdialogs.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QThread>

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
    const QString name = QFileDialog::getOpenFileName(m_window, dialog.title, dialog.fileName, dialog.filter);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

std::optional<QString> QtDialogs::saveFileName(const FileDialog& dialog)
{
    QFileDialog fd(m_window, dialog.title, QString(), dialog.filter);
    fd.setAcceptMode(QFileDialog::AcceptSave);
    fd.setFileMode(QFileDialog::AnyFile);
    // The overwrite question is the editor's own.
    fd.setOption(QFileDialog::DontConfirmOverwrite, true);
    if (!dialog.defaultSuffix.isEmpty())
        fd.setDefaultSuffix(dialog.defaultSuffix);
    if (!dialog.fileName.isEmpty())
        fd.selectFile(dialog.fileName);
    if (fd.exec() != QDialog::Accepted || fd.selectedFiles().isEmpty())
        return std::nullopt;
    return fd.selectedFiles().constFirst();
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
