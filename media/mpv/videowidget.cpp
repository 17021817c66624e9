#include "media/mpv/videowidget.h"

#include <QGuiApplication>
#include <QPalette>

#include <QMetaObject>
#include <QOpenGLContext>
#include <QOpenGLFunctions>

namespace vk {

VideoWidget::VideoWidget(QWidget* parent) : QOpenGLWidget(parent)
{
    setAutoFillBackground(false);
    connect(this, &QOpenGLWidget::frameSwapped, this, &VideoWidget::framePresented);
}

VideoWidget::~VideoWidget()
{
    stopDrawer();
    m_owner = nullptr;
}

void VideoWidget::attachDrawer(const void* owner, StartHook start, PaintHook paint, StopHook stop)
{
    if (m_owner && m_owner != owner)
        detachDrawer(m_owner);
    stopDrawer();
    m_owner = owner;
    m_start = std::move(start);
    m_paint = std::move(paint);
    m_stop = std::move(stop);
    if (isValid())
        startDrawer();
    update();
}

void VideoWidget::detachDrawer(const void* owner)
{
    if (!owner || owner != m_owner)
        return;
    stopDrawer();
    m_owner = nullptr;
    m_start = nullptr;
    m_paint = nullptr;
    m_stop = nullptr;
    update();
}

bool VideoWidget::isDrawing() const
{
    return m_owner && m_drawing;
}

void VideoWidget::requestFrame()
{
    QMetaObject::invokeMethod(
        this, [this] { update(); }, Qt::QueuedConnection);
}

void VideoWidget::initializeGL()
{
    // A new context (first show, or after moving to another window).
    connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &VideoWidget::onContextAboutToBeDestroyed,
            Qt::DirectConnection);
    if (m_owner && !m_drawing)
        startDrawer();
}

void VideoWidget::paintGL()
{
    const qreal ratio = devicePixelRatioF();
    const int w = int(width() * ratio);
    const int h = int(height() * ratio);
    if (m_drawing && m_paint) {
        m_paint(defaultFramebufferObject(), w, h);
        return;
    }
    QOpenGLFunctions* f = context()->functions();
    f->glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    f->glClear(GL_COLOR_BUFFER_BIT);
}

void VideoWidget::startDrawer()
{
    if (m_drawing || !m_start || !isValid())
        return;
    makeCurrent();
    m_drawing = true;
    m_start();
    doneCurrent();
}

void VideoWidget::stopDrawer()
{
    if (!m_drawing)
        return;
    m_drawing = false;
    const bool haveContext = isValid();
    if (haveContext)
        makeCurrent();
    if (m_stop)
        m_stop();
    if (haveContext)
        doneCurrent();
}

void VideoWidget::onContextAboutToBeDestroyed()
{
    // The context is current here; the drawer must let go of it now.
    if (!m_drawing)
        return;
    m_drawing = false;
    if (m_stop)
        m_stop();
}

QWidget* CreateVideoBox(QWidget* parent)
{
    const QString platform = QGuiApplication::platformName();
    if (platform == QStringLiteral("offscreen") || platform == QStringLiteral("minimal")) {
        auto* box = new QWidget(parent);
        box->setAutoFillBackground(true);
        QPalette p = box->palette();
        p.setColor(QPalette::Window, Qt::black);
        box->setPalette(p);
        return box;
    }
    return new VideoWidget(parent);
}

} // namespace vk
