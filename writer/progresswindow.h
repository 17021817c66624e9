#pragma once
// The window shown while a file is written: output path, progress bar with
// percentage, elapsed and remaining time, and a Cancel button (texts in the
// editor's language, Japanese). It also prints
// one progress line to standard output whenever the percentage moves, so a
// headless run can be followed from a terminal or a log.

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;

namespace vk {

class RenderJob;

class ProgressWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProgressWindow)
public:
    explicit ProgressWindow(RenderJob& job, QWidget* parent = nullptr);

    // Starts polling the job; finished() follows when the engine stops.
    void begin();
    // Asks the engine to stop; finished() follows once it has.
    void cancel();
    // True once the engine has stopped and finished() was sent.
    bool done() const { return m_done; }

signals:
    void finished();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void poll();

    RenderJob& m_job;
    QLabel* m_path = nullptr;
    QProgressBar* m_bar = nullptr;
    QLabel* m_elapsed = nullptr;
    QLabel* m_remaining = nullptr;
    QPushButton* m_cancel = nullptr;
    QTimer m_timer;
    QElapsedTimer m_clock;
    int m_lastPercent = -1;
    bool m_done = false;
};

// "m:ss" or "h:mm:ss".
QString formatDuration(qint64 ms);

} // namespace vk
