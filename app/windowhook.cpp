#include "app/windowhook.h"

#include <QAbstractScrollArea>
#include <QPointer>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWidget>

namespace vk {

WheelHook::WheelHook(QAbstractScrollArea* target, QObject* parent) : QObject(parent), m_target(target) {}

bool WheelHook::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel && m_target) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        const int distance = wheel->angleDelta().y();
        m_target->verticalScrollBar()->triggerAction(distance > 0 ? QAbstractSlider::SliderSingleStepSub
                                                                  : QAbstractSlider::SliderSingleStepAdd);
    }
    // Every event, the wheel included, goes on to the window.
    return QObject::eventFilter(watched, event);
}

WindowHook::~WindowHook()
{
    UnhookWindow(m_window);
}

bool WindowHook::HookWindow(QWidget* window, QAbstractScrollArea* target)
{
    if (!window || !target)
        return false;
    if (m_hook)
        UnhookWindow(m_window);
    m_hook = new WheelHook(target, window);
    m_window = window;
    window->installEventFilter(m_hook);
    return true;
}

bool WindowHook::UnhookWindow(QWidget* window)
{
    if (!m_hook)
        return true;
    if (window != m_window)
        return false;
    if (window)
        window->removeEventFilter(m_hook);
    delete m_hook;
    m_window = nullptr;
    return true;
}

} // namespace vk
