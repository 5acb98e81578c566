#include "skin/skin_names.h"

#include "text/gbk.h"

namespace qelo::skin {

namespace {

// Valid GBK converts to UTF-16 and back unchanged; every invalid sequence turns into "?" on the
// way, and "?" itself is refused before this test runs.
bool IsValidGbk(std::string_view s) {
  return text::Utf16ToGbk(text::GbkToUtf16(s)) == s;
}

}  // namespace

SkinNameProblem CheckSkinName(std::string_view name) {
  if (name.size() > kMaxSkinNameBytes) return SkinNameProblem::TooLong;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (c < 32 || c == 127) return SkinNameProblem::ControlCharacter;
  }
  // Byte tests are safe on GBK text: every byte of a double-byte character is 0x40 or above, so
  // none of these ASCII bytes can be the second half of one.
  for (char c : name)
    if (c == '&' || c == '#' || c == '?' || c == '%') return SkinNameProblem::UrlCharacter;
  if (!IsValidGbk(name)) return SkinNameProblem::NotGbk;
  // A Chinese character takes two bytes in GBK and three in the file name.
  if (text::GbkToUtf8(name).size() > kMaxSkinNameBytes) return SkinNameProblem::TooLong;
  // Checked on valid GBK only: "\" (0x5C) is a legal trail byte, so a lone byte test would refuse
  // good Chinese names. Walk character by character instead.
  for (size_t i = 0; i < name.size();) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x81 && c <= 0xFE) {
      i += 2;
      continue;
    }
    if (c == '/' || c == '\\') return SkinNameProblem::PathCharacter;
    if (c == '.' && i + 1 < name.size() && name[i + 1] == '.')
      return SkinNameProblem::PathCharacter;
    ++i;
  }
  return SkinNameProblem::None;
}

std::optional<TSkinName> TSkinName::Make(std::string_view gbkName, SkinNameProblem* problem) {
  const SkinNameProblem found = CheckSkinName(gbkName);
  if (problem) *problem = found;
  if (found != SkinNameProblem::None) return std::nullopt;
  return TSkinName(std::string(gbkName));
}

std::string TSkinName::FileName() const {
  return text::GbkToUtf8(gbk_);
}

std::string SkinNameRefusal(SkinNameProblem problem) {
  const char* reason = "";
  switch (problem) {
    case SkinNameProblem::None:
      return {};
    case SkinNameProblem::PathCharacter:
      reason = "含有路径字符";
      break;
    case SkinNameProblem::ControlCharacter:
      reason = "含有控制字符";
      break;
    case SkinNameProblem::UrlCharacter:
      reason = "含有网址保留字符";
      break;
    case SkinNameProblem::NotGbk:
      reason = "编码无效";
      break;
    case SkinNameProblem::TooLong:
      reason = "过长";
      break;
  }
  return text::Utf8ToGbk(std::string("皮肤名称") + reason + "，不能使用");
}

}  // namespace qelo::skin
