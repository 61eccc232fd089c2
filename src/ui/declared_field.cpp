#include "ui/declared_field.h"

#include <QEvent>
#include <QLineEdit>
#include <QPalette>

#include "settings/declared_fields.h"
#include "ui/text_codec.h"

namespace strivex::ui {

namespace {

// Swallows what would change the field's value; hovering (the tooltip) still reaches it.
class ValueLock : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::MouseButtonPress:
      case QEvent::MouseButtonRelease:
      case QEvent::MouseButtonDblClick:
      case QEvent::KeyPress:
      case QEvent::KeyRelease:
      case QEvent::Wheel:
        return true;
      default:
        return QObject::eventFilter(watched, event);
    }
  }
};

}  // namespace

void MarkDeclared(QWidget* field, const DeclaredFields& declared, std::string_view property) {
  const std::string note = declared.Note(property);
  if (field == nullptr || note.empty()) return;
  if (auto* edit = qobject_cast<QLineEdit*>(field)) {
    edit->setReadOnly(true);
  } else {
    field->installEventFilter(new ValueLock(field));
    field->setFocusPolicy(Qt::NoFocus);
  }
  // The window's own colour where the value would be typed or chosen: visibly not for editing.
  QPalette palette = field->palette();
  palette.setColor(QPalette::Base, palette.color(QPalette::Window));
  palette.setColor(QPalette::Button, palette.color(QPalette::Window));
  field->setPalette(palette);
  field->setToolTip(FromLocal8(note));
}

}  // namespace strivex::ui
