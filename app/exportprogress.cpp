#include "app/exportprogress.h"

#include "render/exportcommand.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace vk {

ExportProgress::ExportProgress(ExportCommand& command, QWidget* parent) : QWidget(parent, Qt::Tool), m_command(command)
{
    setObjectName(QStringLiteral("exportProgress"));
    setWindowTitle(QStringLiteral("書き出し"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("書き込み中:"), this));
    m_path = new QLabel(this);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setWordWrap(true);
    layout->addWidget(m_path);
    m_bar = new QProgressBar(this);
    m_bar->setObjectName(QStringLiteral("exportBar"));
    m_bar->setRange(0, 100);
    m_bar->setFormat(QStringLiteral("%p%"));
    layout->addWidget(m_bar);
    m_state = new QLabel(this);
    layout->addWidget(m_state);
    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    m_cancel->setObjectName(QStringLiteral("exportCancel"));
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    resize(460, 160);

    connect(m_cancel, &QPushButton::clicked, this, &ExportProgress::cancel);
    connect(&command, &ExportCommand::started, this, &ExportProgress::begin);
    connect(&command, &ExportCommand::progress, this,
            [this](double fraction) { m_bar->setValue(int(std::lround(fraction * 100.0))); });
    connect(&command, &ExportCommand::finished, this, &QWidget::hide);
}

void ExportProgress::begin(const QString& target)
{
    m_path->setText(target);
    m_bar->setValue(0);
    m_state->clear();
    m_cancel->setEnabled(true);
    // Over the middle of the main window.
    if (QWidget* owner = parentWidget())
        move(owner->geometry().center() - rect().center());
    show();
    raise();
}

void ExportProgress::cancel()
{
    m_cancel->setEnabled(false);
    m_state->setText(QStringLiteral("キャンセル中..."));
    m_command.cancel();
}

void ExportProgress::closeEvent(QCloseEvent* event)
{
    // Closing the window while the writer runs means cancel; it goes once the writer
    // has ended.
    if (m_command.running()) {
        cancel();
        event->ignore();
        return;
    }
    event->accept();
}

} // namespace vk
