#include "app/windowhook.h"

#include <QAbstractScrollArea>
#include <QPointer>
#include <QScrollBar>
#include <QWheelEvent>
#include <QWidget>

namespace vk {

namespace {
QPointer<WheelHook> g_hook;
QPointer<QWidget> g_window;
} // namespace

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

bool HookWindow(QWidget* window, QAbstractScrollArea* target)
{
    if (!window || !target)
        return false;
    if (g_hook)
        UnhookWindow(g_window);
    g_hook = new WheelHook(target, window);
    g_window = window;
    window->installEventFilter(g_hook);
    return true;
}

bool UnhookWindow(QWidget* window)
{
    if (!g_hook)
        return true;
    if (window != g_window)
        return false;
    if (window)
        window->removeEventFilter(g_hook);
    delete g_hook;
    g_window = nullptr;
    return true;
}

} // namespace vk
