// Skin names arrive from the network and end up in file names under skins/ and in request URLs.
// A name that could climb out of skins/, change the request's meaning, or is not GBK text is still
// listed, but never used as a path or in a request.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace qelo::skin {

enum class SkinNameProblem {
  None,
  PathCharacter,     // "/", "\" or ".."
  ControlCharacter,  // a byte below 32, or 127
  UrlCharacter,      // "&", "#", "?" or "%", which would change the request URL
  NotGbk,            // bytes that are not valid GBK text
  TooLong,           // longer than a cache file name can hold with its ending (in UTF-8)
};

// Longest name (in bytes, GBK and UTF-8 alike) that is used: room for the longest ending within
// a file name.
inline constexpr size_t kMaxSkinNameBytes = 240;

// The first problem found in a GBK name, None when it may be used. The empty name is usable: it
// names the cache files ".skn", ".jpg" and so on inside skins/.
SkinNameProblem CheckSkinName(std::string_view gbkName);

// The status-bar text (GBK) that says why a name is not used.
std::string SkinNameRefusal(SkinNameProblem problem);

// A skin name that passed CheckSkinName: the only kind the cache builds file names from and the
// skin window puts into a request. It exists only through Make, so holding one is the check.
class TSkinName {
 public:
  // The name when it may be used; nothing otherwise, with the problem in *problem when given.
  static std::optional<TSkinName> Make(std::string_view gbkName,
                                       SkinNameProblem* problem = nullptr);

  const std::string& Gbk() const { return gbk_; }
  // The name as it appears in a file name: UTF-8, the platform's encoding.
  std::string FileName() const;
  bool operator==(const TSkinName& other) const = default;

 private:
  explicit TSkinName(std::string gbk) : gbk_(std::move(gbk)) {}
  std::string gbk_;
};

}  // namespace qelo::skin
