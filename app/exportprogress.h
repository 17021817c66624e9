#pragma once
// The window beside the main window while an export's writer runs: the file written, a
// progress bar with its percentage and a "キャンセル" button, as the renderer shows for a
// render. The main window stays usable meanwhile. Cancel, or closing the window, stops
// the writer, which then leaves no file; the window goes when the writer has ended.

#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace vk {

class ExportCommand;

class ExportProgress final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ExportProgress)
public:
    ExportProgress(ExportCommand& command, QWidget* parent);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void begin(const QString& target);
    void cancel();

    ExportCommand& m_command;
    QLabel* m_path = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_state = nullptr;
    QPushButton* m_cancel = nullptr;
};

} // namespace vk
