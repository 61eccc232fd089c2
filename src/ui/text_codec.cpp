#include "ui/text_codec.h"

#include <QByteArray>
#include <QStringDecoder>
#include <QStringEncoder>

namespace strivex::ui {

namespace {
// Qt reaches Windows-1250 through ICU on Debian.
constexpr char kCodePage[] = "windows-1250";
}  // namespace

QString FromLocal8(const std::string& bytes) {
  QStringDecoder decode(kCodePage);
  return decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string ToLocal8(const QString& text) {
  QStringEncoder encode(kCodePage, QStringConverter::Flag::Default);
  const QByteArray bytes = encode(text);
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace strivex::ui
