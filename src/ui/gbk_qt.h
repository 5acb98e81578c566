// GBK byte strings at the widget boundary: window texts, list cells and file contents are GBK
// in the model; Qt widgets take QString. These two are the only crossings.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace qelo::ui {

QString GbkToQString(std::string_view gbk);
std::string QStringToGbk(const QString& text);
// A UTF-8 source literal as the model's GBK bytes.
std::string Gbk(std::string_view utf8);

}  // namespace qelo::ui
