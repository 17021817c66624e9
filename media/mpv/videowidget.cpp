#include "media/mpv/videowidget.h"

#include <QMetaObject>
#include <QPainter>

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace vk {

VideoWidget::VideoWidget(QWidget* parent) : QWidget(parent)
{
    // Every pixel is painted each time: no background to clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
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
    if (m_start) {
        m_drawing = true;
        m_start();
    }
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
    m_image = QImage();
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

QImage VideoWidget::canvas(int width, int height)
{
    width = std::max(1, width);
    height = std::max(1, height);
    // The drawer works fastest on rows that start on 64-byte boundaries.
    const size_t stride = (size_t(width) * 4 + 63) & ~size_t(63);
    void* data = std::aligned_alloc(64, stride * size_t(height));
    if (!data)
        return QImage();
    std::memset(data, 0, stride * size_t(height));
    return QImage(
        static_cast<uchar*>(data), width, height, qsizetype(stride), QImage::Format_RGB32,
        [](void* p) { std::free(p); }, data);
}

void VideoWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_drawing || !m_paint) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    const qreal ratio = devicePixelRatioF();
    const QSize pixels(std::max(1, int(width() * ratio)), std::max(1, int(height() * ratio)));
    if (m_image.size() != pixels)
        m_image = canvas(pixels.width(), pixels.height());
    if (m_image.isNull()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    m_paint(m_image);
    m_image.setDevicePixelRatio(ratio);
    painter.drawImage(QPoint(0, 0), m_image);
    emit framePresented();
}

void VideoWidget::stopDrawer()
{
    if (!m_drawing)
        return;
    m_drawing = false;
    if (m_stop)
        m_stop();
}

QWidget* CreateVideoBox(QWidget* parent)
{
    return new VideoWidget(parent);
}

} // namespace vk
