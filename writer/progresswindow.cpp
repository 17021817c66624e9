#include "writer/progresswindow.h"

#include "writer/renderjob.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <cstdio>

namespace vk {

QString formatDuration(qint64 ms)
{
    if (ms < 0)
        ms = 0;
    const qint64 s = (ms + 500) / 1000;
    const qint64 h = s / 3600, m = (s / 60) % 60, sec = s % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(sec, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(sec, 2, 10, QLatin1Char('0'));
}

ProgressWindow::ProgressWindow(RenderJob& job, QWidget* parent) : QWidget(parent), m_job(job)
{
    setWindowTitle(QStringLiteral("T-VideoWrite"));
    auto* layout = new QVBoxLayout(this);
    m_path = new QLabel(QString::fromStdString(job.target()), this);
    m_path->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_path->setWordWrap(true);
    layout->addWidget(new QLabel(QStringLiteral("書き込み中:"), this));
    layout->addWidget(m_path);
    m_bar = new QProgressBar(this);
    m_bar->setRange(0, 100);
    m_bar->setValue(0);
    m_bar->setFormat(QStringLiteral("%p%"));
    layout->addWidget(m_bar);
    auto* times = new QGridLayout;
    times->addWidget(new QLabel(QStringLiteral("経過時間:"), this), 0, 0);
    m_elapsed = new QLabel(QStringLiteral("0:00"), this);
    times->addWidget(m_elapsed, 0, 1);
    times->addWidget(new QLabel(QStringLiteral("残り時間:"), this), 1, 0);
    m_remaining = new QLabel(QStringLiteral("-"), this);
    times->addWidget(m_remaining, 1, 1);
    times->setColumnStretch(2, 1);
    layout->addLayout(times);
    m_cancel = new QPushButton(QStringLiteral("キャンセル"), this);
    layout->addWidget(m_cancel, 0, Qt::AlignRight);
    connect(m_cancel, &QPushButton::clicked, this, &ProgressWindow::cancel);
    connect(&m_timer, &QTimer::timeout, this, &ProgressWindow::poll);
    resize(460, 190);
}

void ProgressWindow::begin()
{
    m_clock.start();
    m_timer.start(50); // cheap; the end of the render is noticed at once
    poll();
}

void ProgressWindow::cancel()
{
    if (m_done)
        return;
    m_cancel->setEnabled(false);
    m_remaining->setText(QStringLiteral("キャンセル中..."));
    std::printf("cancel requested\n");
    std::fflush(stdout);
    m_job.cancel();
}

void ProgressWindow::closeEvent(QCloseEvent* event)
{
    // Closing the window while writing means cancel; the window goes away
    // once the engine has stopped.
    if (!m_done) {
        cancel();
        event->ignore();
        return;
    }
    event->accept();
}

void ProgressWindow::poll()
{
    const long long total = std::max(1LL, m_job.framesTotal());
    const long long done = std::min(total, m_job.framesDone());
    const int percent = int(done * 100 / total);
    const qint64 elapsed = m_clock.elapsed();
    m_bar->setValue(percent);
    m_elapsed->setText(formatDuration(elapsed));
    if (!m_job.cancelled())
        m_remaining->setText(done > 0 ? formatDuration(elapsed * (total - done) / done) : QStringLiteral("-"));
    if (percent != m_lastPercent) {
        m_lastPercent = percent;
        std::printf("progress %3d%% frame %lld/%lld elapsed %s remaining %s\n", percent, done, total,
                    qPrintable(formatDuration(elapsed)),
                    done > 0 ? qPrintable(formatDuration(elapsed * (total - done) / done)) : "-");
        std::fflush(stdout);
    }
    if (!m_job.running() && !m_done) {
        m_done = true;
        m_timer.stop();
        m_cancel->setEnabled(false);
        emit finished();
    }
}

} // namespace vk
