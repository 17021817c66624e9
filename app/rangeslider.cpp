#include "app/rangeslider.h"

#include "base/twips.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <algorithm>

namespace vk {

RangeSlider::RangeSlider(ClickRule rule, QWidget* parent) : QSlider(Qt::Horizontal, parent), m_rule(rule) {}

bool RangeSlider::event(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Paint: {
        // The slider paints itself, then the range goes over its groove.
        QSlider::event(event);
        paintMarks();
        return true;
    }
    case QEvent::KeyPress: {
        auto* e = static_cast<QKeyEvent*>(event);
        const Key code = KeyCode(e->key());
        if (code != Key::None && onKey && onKey(code, ShiftState(e->modifiers())))
            return true;
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
        return mouseEvent(static_cast<QMouseEvent*>(event), event->type() == QEvent::MouseButtonPress);
    default:
        break;
    }
    return QSlider::event(event);
}

bool RangeSlider::mouseEvent(QMouseEvent* event, bool press)
{
    const QPoint pos = event->position().toPoint();
    const int x = PixelsToTwips(pos.x());
    const int y = PixelsToTwips(pos.y());
    if (m_rule == ClickRule::PassThrough) {
        if (press && onMouseDown)
            onMouseDown(x, y);
        if (!press && onMouseUp)
            onMouseUp(x, y, PixelsToTwips(width()));
        return QSlider::event(event);
    }
    if (event->button() != Qt::LeftButton)
        return QSlider::event(event);
    if (press) {
        if (onMouseDown)
            onMouseDown(x, y);
        QStyleOptionSlider opt;
        styleOption(opt);
        const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
        // A press on the thumb drags it; a press elsewhere waits for the release, where
        // the click moves the value (instead of the slider's page step).
        m_pressOnGroove = !handle.contains(pos);
        setFocus(Qt::MouseFocusReason);
        if (m_pressOnGroove)
            return true;
        return QSlider::event(event);
    }
    const bool consumed = m_pressOnGroove;
    m_pressOnGroove = false;
    // Let the slider end the drag first, then apply the click rule.
    if (!consumed)
        QSlider::event(event);
    if (onMouseUp)
        onMouseUp(x, y, PixelsToTwips(width()));
    return true;
}

void RangeSlider::styleOption(QStyleOptionSlider& opt) const
{
    opt.initFrom(this);
    opt.subControls = QStyle::SC_None;
    opt.activeSubControls = QStyle::SC_None;
    opt.orientation = orientation();
    opt.maximum = maximum();
    opt.minimum = minimum();
    opt.tickPosition = tickPosition();
    opt.tickInterval = tickInterval();
    opt.upsideDown = false;
    opt.direction = layoutDirection();
    opt.sliderPosition = sliderPosition();
    opt.sliderValue = value();
    opt.singleStep = singleStep();
    opt.pageStep = pageStep();
}

void RangeSlider::paintMarks()
{
    if (!marks)
        return;
    const Marks m = marks();
    if (!m.shown || m.length <= 0 || maximum() <= minimum())
        return;
    QStyleOptionSlider opt;
    styleOption(opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    if (span <= 0)
        return;
    auto xOf = [&](int v) {
        const int clamped = std::clamp(v, minimum(), maximum());
        return groove.x() + handle.width() / 2 + QStyle::sliderPositionFromValue(minimum(), maximum(), clamped, span);
    };
    const int x1 = xOf(m.start);
    const int x2 = xOf(m.start + m.length);
    const int cy = groove.center().y();
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing, false);
    const QRect band(x1, cy - 3, std::max(1, x2 - x1), 7);
    p.fillRect(band, QColor(40, 90, 230, 150));
    p.setPen(QColor(20, 50, 170));
    p.drawLine(x1, cy - 7, x1, cy + 7);
    p.drawLine(x2, cy - 7, x2, cy + 7);
}

} // namespace vk
