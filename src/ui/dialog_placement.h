#pragma once
// Where a dialog opens: over the window that opened it, its lower edge above that window's bottom
// bar (the backlog line stays in sight), and within the screen.

class QWidget;

namespace strivex::ui {

// The name of the main window's bottom bar, which dialogs leave uncovered.
inline constexpr char kBottomBarName[] = "bottomBar";

// Moves `dialog`, not yet shown, over its parent's window; nothing without a parent.
void PlaceOverOwner(QWidget& dialog);

}  // namespace strivex::ui
