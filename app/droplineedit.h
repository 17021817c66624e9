#pragma once
// The sound clip field of the main window: a line edit that takes dropped files.

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QUrl>
#include <functional>

namespace vk {

// A line edit that hands dropped files to a callback (the sound clip field).
class DropLineEdit final : public QLineEdit {
public:
    std::function<void(const QString&)> onDrop;
    using QLineEdit::QLineEdit;

protected:
    void dragEnterEvent(QDragEnterEvent* e) override
    {
        if (e->mimeData()->hasUrls())
            e->acceptProposedAction();
        else
            QLineEdit::dragEnterEvent(e);
    }
    void dragMoveEvent(QDragMoveEvent* e) override
    {
        if (e->mimeData()->hasUrls())
            e->acceptProposedAction();
        else
            QLineEdit::dragMoveEvent(e);
    }
    void dropEvent(QDropEvent* e) override
    {
        if (!e->mimeData()->hasUrls()) {
            QLineEdit::dropEvent(e);
            return;
        }
        const QList<QUrl> urls = e->mimeData()->urls();
        e->acceptProposedAction();
        if (!urls.isEmpty() && onDrop)
            onDrop(urls.first().toLocalFile());
    }
};

} // namespace vk
