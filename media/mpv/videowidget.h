#pragma once
// The picture box of a panel (the sound panel's and the video panel's): a player of
// the media library draws its pictures into it, and it shows black while no player
// draws or the file has no picture.
//
// The player attaches itself as the drawer and draws in software into an image of the
// box's size, which the box then puts on screen: no GL context is needed, so the box
// works the same on every windowing system (also offscreen) and its window stays a
// plain one. The drawer's start hook runs when it attaches, its stop hook when it
// detaches or the box goes.

#include <QImage>
#include <QWidget>
#include <functional>

namespace vk {

class VideoWidget final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoWidget)

public:
    using StartHook = std::function<void()>;
    // Draws the picture of now into `image` (the box's size in device pixels, 32-bit
    // RGB, rows aligned to 64 bytes).
    using PaintHook = std::function<void(QImage& image)>;
    using StopHook = std::function<void()>;

    explicit VideoWidget(QWidget* parent = nullptr);
    ~VideoWidget() override;

    // Makes `owner` the one drawer of this box, replacing (and stopping) any other.
    void attachDrawer(const void* owner, StartHook start, PaintHook paint, StopHook stop);
    // Stops and removes the drawer if it is `owner`; the box then shows black.
    void detachDrawer(const void* owner);
    // True while a drawer's start hook has run and its stop hook has not.
    bool isDrawing() const;
    // Asks for a repaint from any thread.
    void requestFrame();

    // A black image of `width` x `height` whose rows suit the drawer (see PaintHook).
    static QImage canvas(int width, int height);

    // The picture last put on screen (null before the first, or while no drawer draws).
    const QImage& presentedPicture() const { return m_image; }

signals:
    // A picture was put on screen.
    void framePresented();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void stopDrawer();

    const void* m_owner = nullptr;
    StartHook m_start;
    PaintHook m_paint;
    StopHook m_stop;
    bool m_drawing = false;
    QImage m_image;
};

// The picture box for a panel.
QWidget* CreateVideoBox(QWidget* parent);

} // namespace vk
