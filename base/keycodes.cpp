#include "base/keycodes.h"

namespace vk {

Key KeyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Space:
        return Key::Space;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return Key::Enter;
    case Qt::Key_Left:
        return Key::Left;
    case Qt::Key_Up:
        return Key::Up;
    case Qt::Key_Right:
        return Key::Right;
    case Qt::Key_Down:
        return Key::Down;
    case Qt::Key_Delete:
        return Key::Delete;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        return Key::Comma;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        return Key::Period;
    default:
        break;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return Key(int(Key::A) + (qtKey - Qt::Key_A));
    return Key::None;
}

int ShiftState(Qt::KeyboardModifiers modifiers)
{
    int s = 0;
    if (modifiers & Qt::ShiftModifier)
        s |= Shift::Shift;
    if (modifiers & Qt::ControlModifier)
        s |= Shift::Ctrl;
    if (modifiers & Qt::AltModifier)
        s |= Shift::Alt;
    return s;
}

} // namespace vk
