#pragma once
// The picture box of a panel (the sound panel's and the video panel's): a player of
// the media library draws its pictures into it, and it shows black while no player
// draws or the file has no picture.
//
// The player attaches itself as the drawer. Drawing needs this widget's GL context,
// which exists only once the widget has been shown: the drawer's start hook runs as
// soon as the context exists (at once when it already does), and its stop hook runs
// before the context goes away (widget destroyed, moved to another window) or when
// the drawer detaches. Both hooks run with the context current.

#include <QOpenGLWidget>
#include <functional>

namespace vk {

class VideoWidget final : public QOpenGLWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(VideoWidget)

public:
    using StartHook = std::function<void()>;
    // Draws one picture into the framebuffer `fbo` of `width` x `height` device pixels.
    using PaintHook = std::function<void(unsigned fbo, int width, int height)>;
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

signals:
    // A picture was put on screen (after the buffer swap).
    void framePresented();

protected:
    void initializeGL() override;
    void paintGL() override;

private:
    void startDrawer();
    void stopDrawer();
    void onContextAboutToBeDestroyed();

    const void* m_owner = nullptr;
    StartHook m_start;
    PaintHook m_paint;
    StopHook m_stop;
    bool m_drawing = false;
};

// The picture box for a panel: a VideoWidget where the windowing system can draw with
// OpenGL, a plain black box otherwise (the offscreen platform of headless tests, which
// has no GL and cannot show a GL widget).
QWidget* CreateVideoBox(QWidget* parent);

} // namespace vk
