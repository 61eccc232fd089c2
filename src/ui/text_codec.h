#pragma once
// The module's texts are single bytes in the laboratory's code page, Windows-1250; the window
// converts them only where they meet Qt.

#include <QString>
#include <string>

namespace strivex::ui {

QString FromLocal8(const std::string& bytes);
std::string ToLocal8(const QString& text);

}  // namespace strivex::ui
