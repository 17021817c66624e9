#pragma once
// Plays the rendered range in real time with sound: the engine's sound output
// paces the frames, and each shown frame is painted into this window. Space
// pauses and resumes, Esc or the window's close button ends the preview, and
// the window closes by itself after the last frame of the range.

#include "writer/mltbuilder.h"

#include <QImage>
#include <QMutex>
#include <QWidget>

#include <atomic>
#include <memory>
#include <string>

class QLabel;
class QPushButton;

namespace Mlt {
class Profile;
class Producer;
class Consumer;
class Event;
}

namespace vk {

class VideoView final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoView)
public:
    explicit VideoView(QWidget* parent = nullptr);
    void setImage(const QImage& image);
    QSize sizeHint() const override { return m_hint; }
    void setHint(QSize s) { m_hint = s; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QImage m_image;
    QSize m_hint{640, 480};
};

class PreviewWindow final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PreviewWindow)
public:
    PreviewWindow(Mlt::Profile& profile, std::string engineXml, FrameRange range, QWidget* parent = nullptr);
    ~PreviewWindow() override;

    bool start(std::string& error);
    bool reachedEnd() const { return m_ended; }

    // Called on the engine's thread for every frame it shows.
    void frameShown(void* frame);

public slots:
    void togglePause();

signals:
    void frameReady(int position);
    void ended();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void showFrame(int position);
    void stopEngine();

    Mlt::Profile& m_profile;
    std::string m_xml;
    FrameRange m_range;
    std::unique_ptr<Mlt::Producer> m_producer;
    std::unique_ptr<Mlt::Consumer> m_consumer;
    Mlt::Event* m_showEvent = nullptr;
    VideoView* m_view = nullptr;
    QLabel* m_position = nullptr;
    QPushButton* m_play = nullptr;
    QMutex m_lock;
    QImage m_pending;
    std::atomic<bool> m_endSignalled{false};
    bool m_ended = false;
    bool m_paused = false;
};

}  // namespace vk
