#pragma once
// Mouse-wheel scrolling of the row table: every wheel event that reaches the main
// window scrolls the table by exactly one line (up when the wheel turns forward, down
// otherwise, whatever the distance) and then goes on to the window as usual. The main
// window owns one WindowHook, which holds one hook at a time.

#include <QObject>
#include <QPointer>

class QAbstractScrollArea;
class QWidget;

namespace vk {

class WheelHook final : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(WheelHook)

public:
    WheelHook(QAbstractScrollArea* target, QObject* parent);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractScrollArea* m_target;
};

class WindowHook final {
public:
    WindowHook() = default;
    ~WindowHook();
    WindowHook(const WindowHook&) = delete;
    WindowHook& operator=(const WindowHook&) = delete;

    // Installs the hook on window, scrolling target. True when it was installed.
    bool HookWindow(QWidget* window, QAbstractScrollArea* target);
    // Removes the hook from window; true when none is left installed (a second call, with
    // nothing installed, is true as well).
    bool UnhookWindow(QWidget* window);

private:
    QPointer<WheelHook> m_hook;
    QPointer<QWidget> m_window;
};

} // namespace vk
