#pragma once
// The module's texts are single bytes in the laboratory's code page, Windows-1250; the window
// converts them only where they meet Qt.

#include <QString>
#include <string>

namespace strivex::ui {

// Windows-1250 bytes to Qt's text; any thread.
QString FromLocal8(const std::string& bytes);
// Qt's text to Windows-1250 bytes (Qt's replacement for characters the code page lacks).
std::string ToLocal8(const QString& text);

}  // namespace strivex::ui
