#pragma once
// Answers the editor's standard dialogs from a timer, as a user would: the save dialog
// with a given file (go to its folder, type the name, press Save), message boxes with OK,
// and questions with Yes or No. Records what it saw. Also the small readers the output
// tests share: one element of the parameters document, the lines of a stand-in
// writer's output.

#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <pugixml.hpp>

namespace vk::testsupport {

class DialogAnswers final : public QObject {
public:
    // `yesToQuestions`: questions (overwrite ...) are answered Yes, else No.
    explicit DialogAnswers(QString saveAs, bool yesToQuestions = false)
        : m_saveAs(std::move(saveAs)), m_yes(yesToQuestions)
    {
        m_timer.setInterval(30);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { poll(); });
        m_timer.start();
    }

    QStringList fileDialogTitles;
    QList<QStringList> fileDialogFilters;
    QStringList messages;
    QList<QMessageBox::Icon> icons;
    QStringList questions;

private:
    void poll()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (!w->isVisible())
                continue;
            if (auto* dialog = qobject_cast<QFileDialog*>(w)) {
                fileDialogTitles << dialog->windowTitle();
                fileDialogFilters << dialog->nameFilters();
                // selectFile leaves the name field alone while it has the focus.
                const QFileInfo target(m_saveAs);
                dialog->setDirectory(target.absolutePath());
                if (auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                    name->setText(target.fileName());
                // The file dialog's own accept checks the name, as the Save button does.
                static_cast<QDialog*>(dialog)->accept();
            } else if (auto* box = qobject_cast<QMessageBox*>(w)) {
                if (QAbstractButton* ok = box->button(QMessageBox::Ok)) {
                    messages << box->text();
                    icons << box->icon();
                    ok->click();
                } else if (QAbstractButton* no = box->button(QMessageBox::No)) {
                    questions << box->text();
                    (m_yes ? box->button(QMessageBox::Yes) : no)->click();
                }
            }
        }
    }

    QString m_saveAs;
    bool m_yes;
    QTimer m_timer;
};

// Text of one child element of a document's root; "<missing>" when there is none.
inline QString ChildText(const QString& path, const char* name)
{
    pugi::xml_document doc;
    if (!doc.load_file(QFile::encodeName(path).constData()))
        return QStringLiteral("<missing>");
    const pugi::xml_node node = doc.document_element().child(name);
    if (!node)
        return QStringLiteral("<missing>");
    return QString::fromUtf8(node.text().get());
}

// The lines of a text file, without a last empty one; empty when it cannot be read.
inline QStringList ReadLines(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace vk::testsupport
