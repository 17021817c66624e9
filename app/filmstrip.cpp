#include "app/filmstrip.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace vk {

namespace {

// The narrowest view, in ms.
constexpr double kMinViewMs = 1000.0;

} // namespace

Filmstrip::Filmstrip(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("filmstrip"));
    setMinimumHeight(kHeight);
    setFocusPolicy(Qt::NoFocus);
    setToolTip(QStringLiteral("ｸﾘｯｸで移動、ﾎｲｰﾙで拡大/縮小"));
}

void Filmstrip::setShots(const ShotAnalysis& a)
{
    m_thumbs = a.thumbs;
    m_boundaries = a.boundaryMs();
    m_transitions.clear();
    for (const ShotTransition& t : a.transitions)
        m_transitions.emplace_back(a.frameMs(t.firstFrame), a.frameMs(t.lastFrame + 1));
    m_duration = a.durationMs;
    m_from = 0.0;
    m_to = m_duration;
    update();
}

void Filmstrip::clear()
{
    m_thumbs.clear();
    m_boundaries.clear();
    m_transitions.clear();
    m_duration = m_from = m_to = 0.0;
    m_progress = -1.0;
    m_message.clear();
    update();
}

void Filmstrip::setMessage(const QString& text)
{
    m_message = text;
    update();
}

void Filmstrip::setProgress(double fraction)
{
    if (fraction == m_progress)
        return;
    m_progress = fraction;
    update();
}

void Filmstrip::setPosition(double ms)
{
    if (ms == m_position)
        return;
    m_position = ms;
    // A position outside the view moves the view, keeping its width.
    const double span = m_to - m_from;
    if (span > 0.0 && (ms < m_from || ms > m_to)) {
        const double from = std::clamp(ms - span / 2.0, 0.0, std::max(0.0, m_duration - span));
        m_from = from;
        m_to = from + span;
    }
    update();
}

void Filmstrip::setView(double fromMs, double toMs)
{
    if (m_duration <= 0.0)
        return;
    double span = std::clamp(toMs - fromMs, std::min(kMinViewMs, m_duration), m_duration);
    double from = std::clamp(fromMs, 0.0, m_duration - span);
    m_from = from;
    m_to = from + span;
    update();
}

void Filmstrip::zoomAt(double x, double factor)
{
    const int w = std::max(1, width());
    const double at = msAt(x, w);
    const double span = (m_to - m_from) * factor;
    const double share = std::clamp(x / w, 0.0, 1.0);
    setView(at - span * share, at - span * share + span);
}

double Filmstrip::msAt(double x, int width) const
{
    if (width <= 0)
        return m_from;
    return m_from + (m_to - m_from) * std::clamp(x / width, 0.0, 1.0);
}

double Filmstrip::xAt(double ms, int width) const
{
    const double span = m_to - m_from;
    return span > 0.0 ? (ms - m_from) / span * width : 0.0;
}

void Filmstrip::render(QPainter& p, const QRect& rect) const
{
    p.fillRect(rect, QColor(24, 24, 24));
    if (m_progress >= 0.0 && rect.width() > 0) {
        const double f = std::clamp(m_progress, 0.0, 1.0);
        p.fillRect(QRectF(rect.left(), rect.bottom() - 3, rect.width() * f, 4), QColor::fromRgb(kMarkColour));
        p.setPen(QColor(200, 200, 200));
        p.drawText(rect.adjusted(6, 0, -6, -4), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("ｼｮｯﾄ解析中 %1%").arg(int(f * 100.0)));
    }
    if (m_progress < 0.0 && !m_message.isEmpty() && m_thumbs.empty()) {
        p.setPen(QColor(200, 200, 200));
        p.drawText(rect.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter, m_message);
    }
    if (m_thumbs.empty() || m_to <= m_from || rect.width() <= 0)
        return;
    p.save();
    p.setClipRect(rect);
    const int h = rect.height();
    const QImage& first = m_thumbs.front().image;
    const int tileW = std::max(8, first.height() > 0 ? h * first.width() / first.height() : h * 16 / 9);
    // Each tile shows the last thumbnail at or before its middle.
    for (int x = 0; x < rect.width(); x += tileW) {
        const double ms = m_from + (m_to - m_from) * (x + tileW / 2.0) / rect.width();
        auto it = std::upper_bound(m_thumbs.begin(), m_thumbs.end(), ms,
                                   [](double t, const ShotThumb& th) { return t < th.ms; });
        if (it != m_thumbs.begin())
            --it;
        p.drawImage(QRect(rect.left() + x, rect.top(), tileW, h), it->image);
    }
    for (const auto& [a, b] : m_transitions) {
        const int x0 = rect.left() + int(std::floor(xAt(a, rect.width())));
        const int x1 = rect.left() + int(std::ceil(xAt(b, rect.width())));
        p.fillRect(QRect(x0, rect.top(), std::max(1, x1 - x0), h), QColor(255, 208, 0, 90));
    }
    for (double b : m_boundaries) {
        const int x = rect.left() + int(std::lround(xAt(b, rect.width())));
        p.fillRect(QRect(x - 1, rect.top(), 2, h), QColor::fromRgb(kMarkColour));
    }
    const int px = rect.left() + int(std::lround(xAt(m_position, rect.width())));
    if (px >= rect.left() && px < rect.right() + 1)
        p.fillRect(QRect(px, rect.top(), 1, h), QColor::fromRgb(kPositionColour));
    p.restore();
}

void Filmstrip::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    render(p, rect());
}

void Filmstrip::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_thumbs.empty())
        return;
    emit seekRequested(msAt(event->position().x(), width()));
}

void Filmstrip::wheelEvent(QWheelEvent* event)
{
    if (m_thumbs.empty())
        return;
    const int steps = event->angleDelta().y() / 120;
    if (steps != 0)
        zoomAt(event->position().x(), std::pow(0.8, steps));
    event->accept();
}

} // namespace vk
