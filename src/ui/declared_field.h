#pragma once
// A field the administrator declared (DeclaredFields) shown read-only: the next start would put
// its value back whatever the operator chose, so the dialog does not offer the choice.

#include <string_view>

class QWidget;

namespace strivex {
class DeclaredFields;
}

namespace strivex::ui {

// Makes `field` read-only, its tooltip saying where the value is set, when `property` is declared;
// leaves it alone otherwise. A line edit keeps its text selectable; a check box or a list stops
// taking clicks and keys but still shows the tooltip (a disabled one would be re-enabled by a
// dialog that disables its fields while it works).
void MarkDeclared(QWidget* field, const DeclaredFields& declared, std::string_view property);

}  // namespace strivex::ui
