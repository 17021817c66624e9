#pragma once
// The editor's key codes for Qt keys, shared by the main window, the row table and
// the video panel: 32 Space, 13 Enter, 37-40 arrows, 46 Delete, 65-90 letters,
// 188 comma and 190 period (with Shift held they arrive as "<" and ">"); 0 for any
// other key. The shift state is the Shift, Ctrl and Alt bits of the commands.

#include <Qt>

namespace vk {

int KeyCode(int qtKey);
int ShiftState(Qt::KeyboardModifiers modifiers);

} // namespace vk
