#include "ui/gbk_qt.h"

#include "text/gbk.h"

namespace qelo::ui {

namespace {

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

}  // namespace

QString GbkToQString(std::string_view gbk) {
  // ASCII is the same in GBK and UTF-16; most cells (sizes, numbers, links) are ASCII.
  if (IsAscii(gbk)) return QString::fromLatin1(gbk.data(), static_cast<qsizetype>(gbk.size()));
  const std::u16string u = text::GbkToUtf16(gbk);
  return QString(reinterpret_cast<const QChar*>(u.data()), static_cast<qsizetype>(u.size()));
}

std::string QStringToGbk(const QString& text) {
  return text::Utf16ToGbk(std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                                              static_cast<size_t>(text.size())));
}

std::string Gbk(std::string_view utf8) {
  return text::Utf8ToGbk(utf8);
}

}  // namespace qelo::ui
