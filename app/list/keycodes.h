#pragma once

#include <Qt>

class QKeyEvent;

// Key codes of the lists' KeyDown events: Windows virtual-key codes, which
// the handlers compare against.

// The Delete key.
inline constexpr int vbKeyDelete = 46;

// The virtual-key code of a key (Delete is 46); Qt's key code where there is
// no obvious one.
int keyCodeOf(const QKeyEvent *event);

// 1 Shift, 2 Ctrl, 4 Alt.
int shiftStateOf(Qt::KeyboardModifiers modifiers);
