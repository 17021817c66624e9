#include "app/keycodes.h"

#include "app/editor.h"

namespace vk {

int KeyCode(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Space: return 32;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 13;
    case Qt::Key_Left: return 37;
    case Qt::Key_Up: return 38;
    case Qt::Key_Right: return 39;
    case Qt::Key_Down: return 40;
    case Qt::Key_Delete: return 46;
    case Qt::Key_Comma:
    case Qt::Key_Less: return 188;
    case Qt::Key_Period:
    case Qt::Key_Greater: return 190;
    default: break;
    }
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z)
        return 65 + (qtKey - Qt::Key_A);
    return 0;
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
