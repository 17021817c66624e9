#pragma once
// Plays the rendered range in real time with sound: the engine's sound output
// paces the frames, and each shown frame is painted into this window. Space
// pauses and resumes, Esc or the window's close button ends the preview, and
// the window closes by itself after the last frame of the range. Texts are in
// the editor's language (Japanese).
//
// For the end-to-end tests, a list of timed keys (VK_WRITER_TEST_KEYS, see
// parseTestKeys) can be played into the window: each entry prints the
// position read-out and the play button's text to stdout and then delivers
// the key as a posted key event, so it takes the same path as a key press.

#include "writer/mltbuilder.h"

#include <QElapsedTimer>
#include <QImage>
#include <QMutex>
#include <QWidget>

#include <atomic>
#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace Mlt {
class Profile;
class Producer;
class Consumer;
class Event;
} // namespace Mlt

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

    // One timed test key: "space", "esc" or "look" (print only), afterMs
    // milliseconds after the first frame the engine shows.
    struct TestKey {
        std::string name;
        int afterMs = 0;
    };
    // "space@500,look@900,esc@2500"; empty with `error` set when an entry is
    // not understood.
    static std::vector<TestKey> parseTestKeys(const std::string& list, std::string& error);
    void setTestKeys(std::vector<TestKey> keys);

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
    void onFrameReady(int position);
    void showFrame(int position);
    void startTestKeys();
    void pressTestKey(const TestKey& k);
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
    std::atomic<int> m_lastShown{-1}; // timeline position of the last shown frame
    std::atomic<int> m_holdAt{-1};    // while paused: the one position shown, else -1
    bool m_ended = false;
    bool m_paused = false;
    bool m_firstFrameShown = false;
    std::vector<TestKey> m_testKeys;
    QElapsedTimer m_sinceFirstFrame;
};

} // namespace vk
