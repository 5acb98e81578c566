#include "ui/gbk_qt.h"

#include "app/text/gbk.h"

namespace qelo::ui {

QString GbkToQString(std::string_view gbk) {
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
