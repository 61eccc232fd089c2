#include "ui/text_codec.h"

#include <QByteArray>
#include <algorithm>
#include <QStringDecoder>
#include <QStringEncoder>

namespace strivex::ui {

namespace {
// Qt reaches Windows-1250 through ICU on Debian.
constexpr char kCodePage[] = "windows-1250";
}  // namespace

QString FromLocal8(const std::string& bytes) {
  // ASCII reads the same in the code page; the window's status lines, shown several times a
  // second, are mostly that, and a decoder costs a converter's look-up.
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QStringDecoder decode(kCodePage);
  return decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

std::string ToLocal8(const QString& text) {
  QStringEncoder encode(kCodePage, QStringConverter::Flag::Default);
  const QByteArray bytes = encode(text);
  return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

}  // namespace strivex::ui
