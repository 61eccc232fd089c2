#pragma once
// The message boxes of the module on screen: a modal box shown on the window's thread. The window's
// thread waits until the operator closes it; any other thread only queues it.

#include <string>

namespace strivex::ui {

// Installs the Qt handler unless one is already installed (a test's recorder stays in place), and
// lets boxes show again after DismissMessageBoxes. Call on the UI thread once QApplication exists.
void InstallQtMessageBoxHandler();

// UI thread, when the module ends or the process exits: closes every box still open (their callers
// return as if the operator had pressed OK) and writes the texts of later ones to standard error
// instead of showing them, so no nested event loop outlives the window it belonged to.
void DismissMessageBoxes();

// Shows `text` in a modal box on the UI thread and returns once it is closed; from another thread,
// queues it and returns at once.
void ShowQtMessageBox(const std::string& text);

}  // namespace strivex::ui
