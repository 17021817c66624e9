#pragma once
// The editor's key codes, shared by the main window, the row table, the sound clip
// panel and the video panel: one code per key the commands know, whatever the window
// it was pressed in. The values are the codes the commands have always used (32
// Space, 13 Enter, 37-40 arrows, 46 Delete, 65-90 letters, 188 comma and 190 period);
// Key::None stands for any other key. With Shift held, comma and period arrive from Qt
// as "<" and ">" and still map to Comma and Period.
//
// The shift state of a key or mouse event is a set of the Shift, Ctrl and Alt bits.

#include <Qt>

namespace vk {

enum class Key : int {
    None = 0,
    Enter = 13,
    Space = 32,
    Left = 37,
    Up = 38,
    Right = 39,
    Down = 40,
    Delete = 46,
    A = 65,
    B,
    C,
    D,
    E,
    F,
    G,
    H,
    I,
    J,
    K,
    L,
    M,
    N,
    O,
    P,
    Q,
    R,
    S,
    T,
    U,
    V,
    W,
    X,
    Y,
    Z,
    Comma = 188,
    Period = 190,
};

// Shift state of key and mouse events: Shift, Ctrl and Alt bits.
namespace Shift {
constexpr int Shift = 1;
constexpr int Ctrl = 2;
constexpr int Alt = 4;
} // namespace Shift

// The key of a Qt key code; Key::None for keys the commands do not use.
Key KeyCode(int qtKey);
// The Shift, Ctrl and Alt bits of Qt's modifiers.
int ShiftState(Qt::KeyboardModifiers modifiers);

} // namespace vk
