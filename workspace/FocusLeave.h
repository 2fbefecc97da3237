#pragma once

#include <functional>

class QWidget;

namespace vistamaze {

// Runs `handler` whenever `control` loses the keyboard focus to another control of the program
// (Tab, a click, a shortcut, or the program taking the focus away). Focus lost only because the
// window was deactivated or a popup opened does not count: the user has not left the control.
// The filter is owned by `control`; exceptions from `handler` reach the application's error
// report like those of any event handler.
void OnFocusLeave(QWidget* control, std::function<void()> handler);

}  // namespace vistamaze
